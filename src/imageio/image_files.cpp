#include "imageio/image_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/codecs/tga_codec.h"
#include "base/file_output.h"
#include "imageio/gif_writer.h"
#include "base/file_input.h"
#include "base/paths.h"
#include "text/text_utils.h"
#include "text/string_table.h"

namespace kestal {
namespace {

// How many bytes of a file are read before its header is looked at (fewer when the
// file is shorter). Formats whose size may lie further in read the bytes they need
// through FileHead::ReadAt.
constexpr size_t kHeaderProbeBytes = size_t{1} << 20;

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

// An open file descriptor, closed with the object.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens a plain file for reading. The open does not wait: a FIFO with no writer, a
// device or a socket given as a photo is refused at once instead of blocking.
Result<int64_t> OpenPlainFile(const std::string& path, Descriptor& file) {
  file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (file.fd < 0) return Error::Io(ErrnoText(errno));
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) return Error::Io(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return Error::Io("it is a folder, not a file");
  if (S_ISFIFO(st.st_mode)) return Error::Io("it is a FIFO, not a file");
  if (S_ISSOCK(st.st_mode)) return Error::Io("it is a socket, not a file");
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return Error::Io("it is a device, not a file");
  if (!S_ISREG(st.st_mode)) return Error::Io("it is not a regular file");
  const int flags = ::fcntl(file.fd, F_GETFL);
  if (flags >= 0) ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
  return static_cast<int64_t>(st.st_size);
}

// Reads up to bytes.size() bytes at the current position; false on a read error.
bool ReadFully(int fd, std::span<uint8_t> bytes, size_t& got) {
  got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

// Reads the rest of the file after `bytes` (which holds its first bytes) into `bytes`.
Status ReadRest(int fd, int64_t size, int64_t maxBytes, std::vector<uint8_t>& bytes) {
  if (size > maxBytes) return Error::OverLimit("the file is larger than " + std::to_string(maxBytes >> 20) + " MB");
  const size_t have = bytes.size();
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return Error::NoMemory("not enough memory to read the file");
  }
  size_t got = 0;
  if (!ReadFully(fd, std::span<uint8_t>(bytes).subspan(have), got)) return Error::Io(ErrnoText(errno));
  if (got != bytes.size() - have) return Error::Io("the file changed while it was read");
  return Status::Ok();
}

}  // namespace


namespace {

// The family a file is read as: by its name's extension, unless its bytes plainly
// carry another family's signature (extensions are ambiguous; the content decides and
// the extension breaks ties). Null for an unknown extension.
const ImageFamily* FamilyOf(ByteSpan data, std::string_view name) {
  const ImageRegistry& registry = ImageRegistry::Instance();
  const ImageFamily* family = registry.FindByExtension(LowerExtensionOf(name));
  if (family && !(family->sniff && family->sniff(data))) {
    if (const ImageFamily* other = registry.FindBySignature(data, family)) family = other;
  }
  return family;
}

// Picks the family and decodes. With a path, a family whose pictures depend on files
// beside them reads those too.
Result<Bitmap24> Decode(ByteSpan data, std::string_view name, const std::string* path, const PixelLimits& limits) {
  const ImageFamily* family = FamilyOf(data, name);
  if (!family) {
    const std::string ext = LowerExtensionOf(name);
    if (ext.empty()) return Error::Invalid("the file name has no extension, so its image type is unknown");
    return Error::Unsupported("\"" + ext + "\" files are not a supported image type");
  }
  if (!family->reader) return Error::Unsupported("reading " + family->description + " images is not available");
  if (data.empty()) return Error::Invalid("the file is empty");
  auto decoded = path && family->file_reader ? family->file_reader(*path, data, limits) : family->reader(data, limits);
  // A file read by its content as another family than its extension names says so
  // when it fails: a damaged TIFF named .rla is not a damaged RLA.
  const ImageFamily* named = ImageRegistry::Instance().FindByExtension(LowerExtensionOf(name));
  if (!decoded && named && named != family) {
    Error& e = decoded.error();
    e.cause = "its content is " + family->description + ", not " + named->description + ": " + e.cause;
  }
  return decoded;
}

}  // namespace

Result<Bitmap24> DecodeImage(ByteSpan data, std::string_view name, const PixelLimits& limits) {
  return Decode(data, name, nullptr, limits);
}

Result<Bitmap24> LoadImageFile(const std::string& path, const PixelLimits& limits) {
  Descriptor file;
  auto size = OpenPlainFile(path, file);
  if (!size) return LoadFailure(path, size.error());
  // The first bytes first: where the header says the size, an oversized picture is
  // refused before the rest of the file is read (the header may read more of it, by
  // position).
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<int64_t>(size.value(), kHeaderProbeBytes)));
  size_t got = 0;
  if (!ReadFully(file.fd, bytes, got)) return LoadFailure(path, Error::Io(ErrnoText(errno)));
  bytes.resize(got);
  if (const ImageFamily* family = FamilyOf(ByteSpan(bytes), path); family && family->header_size) {
    if (auto claimed = family->header_size(FileHead(ByteSpan(bytes), size.value(), file.fd)); claimed) {
      if (Status s = CheckPixelSize(claimed->width, claimed->height, limits); !s) return LoadFailure(path, s.error());
    }
  }
  if (Status s = ReadRest(file.fd, size.value(), kMaxImageFileBytes, bytes); !s) return LoadFailure(path, s.error());
  auto bitmap = Decode(ByteSpan(bytes), path, &path, limits);
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
