#include "imageio/image_registry.h"

#include <algorithm>
#include <cctype>

namespace kestal {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

ImageRegistry& ImageRegistry::Instance() {
  static ImageRegistry registry = [] {
    ImageRegistry r;
    for (ImageFamily& f : BuiltInImageFamilies()) r.Register(std::move(f));
    return r;
  }();
  return registry;
}

void ImageRegistry::Register(ImageFamily family) {
  std::sort(family.extensions.begin(), family.extensions.end());
  for (ImageFamily& f : families_) {
    if (f.description == family.description) {
      f = std::move(family);
      return;
    }
  }
  families_.push_back(std::move(family));
}

void ImageRegistry::Unregister(std::string_view extension) {
  const std::string ext = Lower(extension);
  std::erase_if(families_, [&](const ImageFamily& f) {
    return std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end();
  });
}

const ImageFamily* ImageRegistry::FindByExtension(std::string_view extension) const {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty()) return nullptr;
  const std::string ext = Lower(extension);
  for (const ImageFamily& f : families_) {
    if (std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end()) return &f;
  }
  for (const ImageFamily& f : families_) {
    const auto& more = f.unlisted_extensions;
    if (std::find(more.begin(), more.end(), ext) != more.end()) return &f;
  }
  return nullptr;
}

const ImageFamily* ImageRegistry::FindBySignature(ByteSpan data, const ImageFamily* except) const {
  for (const ImageFamily& f : families_) {
    if (&f != except && f.sniff && f.reader && f.sniff(data)) return &f;
  }
  return nullptr;
}

std::vector<const ImageFamily*> ImageRegistry::SortedFamilies() const {
  std::vector<const ImageFamily*> sorted;
  for (const ImageFamily& f : families_) sorted.push_back(&f);
  std::stable_sort(sorted.begin(), sorted.end(), [](const ImageFamily* a, const ImageFamily* b) {
    return Lower(a->description) < Lower(b->description);
  });
  return sorted;
}

std::string ImageRegistry::CompactFilter() const {
  std::string filter;
  for (const ImageFamily* f : SortedFamilies()) {
    std::string patterns;
    for (const std::string& ext : f->extensions) {
      if (!patterns.empty()) patterns += ";";
      patterns += "*." + ext;
    }
    if (!filter.empty()) filter += "|";
    filter += f->description + " (" + patterns + ")|" + patterns;
  }
  return filter;
}

}  // namespace kestal
