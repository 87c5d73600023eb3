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

Error LoadFailure(const std::string& path, const Error& error) {
  return error.WithMessage(FormatWithString(LoadErrorFormat(), path));
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

namespace {

// Picks the family by the name's extension (or by a signature the bytes plainly
// carry) and decodes. With a path, a family whose pictures depend on files beside
// them reads those too.
Result<Bitmap24> Decode(ByteSpan data, std::string_view name, const std::string* path, const PixelLimits& limits) {
  const ImageRegistry& registry = ImageRegistry::Instance();
  const std::string ext = LowerExtensionOf(name);
  const ImageFamily* family = registry.FindByExtension(ext);
  if (!family) {
    if (ext.empty()) return Error::Invalid("the file name has no extension, so its image type is unknown");
    return Error::Unsupported("\"" + ext + "\" files are not a supported image type");
  }
  // Extensions are ambiguous; a file that plainly carries another family's signature
  // is read as what it is.
  if (!(family->sniff && family->sniff(data))) {
    if (const ImageFamily* other = registry.FindBySignature(data, family)) family = other;
  }
  if (!family->reader) return Error::Unsupported("reading " + family->description + " images is not available");
  if (data.empty()) return Error::Invalid("the file is empty");
  if (path && family->file_reader) return family->file_reader(*path, data, limits);
  return family->reader(data, limits);
}

}  // namespace

Result<Bitmap24> DecodeImage(ByteSpan data, std::string_view name, const PixelLimits& limits) {
  return Decode(data, name, nullptr, limits);
}

Result<Bitmap24> LoadImageFile(const std::string& path, const PixelLimits& limits) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return LoadFailure(path, bytes.error());
  auto bitmap = Decode(ByteSpan(bytes.value()), path, &path, limits);
  if (!bitmap) return LoadFailure(path, bitmap.error());
  return bitmap;
}

Status SaveBitmapFile(const std::string& path, const Bitmap24& bitmap) {
  const int index = SaveFormatIndex(path);
  Status written = index < 0 ? Status(Error::Unsupported("only .bmp, .jpg, .gif and .tga files can be written"))
                             : kWriters[index](path, bitmap);
  if (!written) return written.error().WithMessage(FormatWithString(SaveErrorFormat(), path));
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
