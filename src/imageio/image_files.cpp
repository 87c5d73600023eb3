#include "imageio/image_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/codecs/tga_codec.h"
#include "base/file_output.h"
#include "imageio/gif_writer.h"
#include "ui/text_utils.h"
#include "ui/string_table.h"

namespace kestal {
namespace {

constexpr const char* kDefaultLoadError = "Impossible d'ouvrir l'image dans le fichier \"%s\"";
constexpr const char* kDefaultSaveError = "Impossible d'enregistrer l'image dans le fichier \"%s\"";

using ImageWriter = Status (*)(const std::string& path, const Bitmap24& bitmap);

// The writer of each row of SaveFormats, in the same order.
constexpr ImageWriter kWriters[SaveFormats.size()] = {
    WriteBmpFile,
    WriteJpegFile,
    WriteGifFile,
    WriteTgaFile,
};

Error LoadFailure(const std::string& path, std::string cause) {
  return Error{FormatWithString(LoadErrorFormat(), path), std::move(cause)};
}

}  // namespace

std::string& LoadErrorFormat() {
  static std::string format = kDefaultLoadError;
  return format;
}

std::string& SaveErrorFormat() {
  static std::string format = kDefaultSaveError;
  return format;
}

void ResetImageFileTexts() {
  LoadErrorFormat() = kDefaultLoadError;
  SaveErrorFormat() = kDefaultSaveError;
}

void ApplyStartupImageFileTexts() {
  LoadErrorFormat() = "Unable to load image in file \"%s\" !";
  SaveErrorFormat() = "Unable to save image in file \"%s\" !";
}

Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path, int64_t maxBytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return MakeError(ErrnoText(errno));
  struct stat st {};
  if (::fstat(::fileno(f.get()), &st) != 0) return MakeError(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return MakeError("it is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return MakeError("it is not a regular file");
  if (st.st_size > maxBytes) {
    return MakeError("the file is larger than " + std::to_string(maxBytes >> 20) + " MB");
  }
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    return MakeError("not enough memory to read the file");
  }
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    return MakeError(std::ferror(f.get()) ? ErrnoText(errno) : "the file changed while it was read");
  }
  return bytes;
}

namespace {

// Picks the family by the name's extension (or by a signature the bytes plainly
// carry) and decodes. With a path, a family whose pictures depend on files beside
// them reads those too.
Result<Bitmap24> Decode(ByteSpan data, std::string_view name, const std::string* path, const PixelLimits& limits) {
  const ImageRegistry& registry = ImageRegistry::Instance();
  const std::string ext = LowerExtensionOf(name);
  const ImageFamily* family = registry.FindByExtension(ext);
  if (!family) {
    if (ext.empty()) return MakeError("the file name has no extension, so its image type is unknown");
    return MakeError("\"" + ext + "\" files are not a supported image type");
  }
  // Extensions are ambiguous; a file that plainly carries another family's signature
  // is read as what it is.
  if (!(family->sniff && family->sniff(data))) {
    if (const ImageFamily* other = registry.FindBySignature(data, family)) family = other;
  }
  if (!family->reader) return MakeError("reading " + family->description + " images is not available");
  if (data.empty()) return MakeError("the file is empty");
  if (path && family->file_reader) return family->file_reader(*path, data, limits);
  return family->reader(data, limits);
}

}  // namespace

Result<Bitmap24> DecodeImage(ByteSpan data, std::string_view name, const PixelLimits& limits) {
  return Decode(data, name, nullptr, limits);
}

Result<Bitmap24> LoadImageFile(const std::string& path, const PixelLimits& limits) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return LoadFailure(path, bytes.error().cause);
  auto bitmap = Decode(ByteSpan(bytes.value()), path, &path, limits);
  if (!bitmap) return LoadFailure(path, bitmap.error().cause);
  return bitmap;
}

Status SaveBitmapFile(const std::string& path, const Bitmap24& bitmap) {
  const int index = SaveFormatIndex(path);
  Status written = index < 0 ? Status(MakeError("only .bmp, .jpg, .gif and .tga files can be written"))
                             : kWriters[index](path, bitmap);
  if (!written) return Error{FormatWithString(SaveErrorFormat(), path), written.error().cause};
  return written;
}

std::string BuildOpenFilter() {
  std::string filter = ImageRegistry::Instance().CompactFilter();
  for (size_t pos; (pos = filter.find("; *")) != std::string::npos;) filter.replace(pos, 3, ";*");
  return Lang(StrCommonImages) + "|*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.tga;*.bmp;*.gif|" +
         Lang(StrAllImages) + "|*.*|" + filter;
}

std::string BuildSaveFilter() {
  std::string filter;
  for (const SaveFormat& f : SaveFormats) {
    if (!filter.empty()) filter += "|";
    filter += std::string(f.description) + " (*" + f.extension + ")|*" + f.extension;
  }
  return filter;
}

int SaveFormatIndex(std::string_view name) {
  const std::string ext = LowerExtensionOf(name);
  if (ext.empty()) return -1;
  for (int i = static_cast<int>(SaveFormats.size()) - 1; i >= 0; --i) {
    if (ext == SaveFormats[i].extension) return i;
  }
  return -1;
}

}  // namespace kestal
