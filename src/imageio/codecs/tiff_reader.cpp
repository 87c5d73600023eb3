#include "imageio/codecs/tiff_reader.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/jpeg_codec.h"

namespace kestal {
namespace {

// The file (whole in memory, or its head with the rest read by position), and the
// first error libtiff reports about it.
struct Source {
  const FileHead& file;
  uint64_t pos = 0;
  std::string error;
  uint64_t Size() const { return static_cast<uint64_t>(file.Size()); }
};

tsize_t ReadProc(thandle_t h, tdata_t buf, tsize_t size) {
  auto* s = static_cast<Source*>(h);
  if (size <= 0 || s->pos >= s->Size()) return 0;
  const size_t n = std::min<uint64_t>(static_cast<uint64_t>(size), s->Size() - s->pos);
  if (!s->file.ReadAt(static_cast<int64_t>(s->pos), {static_cast<uint8_t*>(buf), n})) return -1;
  s->pos += n;
  return static_cast<tsize_t>(n);
}
tsize_t WriteProc(thandle_t, tdata_t, tsize_t) { return -1; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Source*>(h);
  uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->Size() : 0;
  if (off > UINT64_MAX - base) return static_cast<toff_t>(-1);
  s->pos = base + off;
  return s->pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Source*>(h)->Size(); }
int MapProc(thandle_t h, tdata_t* base, toff_t* size) {
  auto* s = static_cast<Source*>(h);
  const ByteSpan head = s->file.Head();
  if (head.size() != s->Size()) return 0;  // only part of the file is in memory
  // The file is opened read-only, so libtiff never writes through this pointer.
  *base = const_cast<uint8_t*>(head.data());
  *size = head.size();
  return 1;
}
void UnmapProc(thandle_t, tdata_t, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* s = static_cast<Source*>(user);
  if (s->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    s->error = module && *module ? std::string(module) + ": " + text : text;
  }
  return 1;  // handled: nothing reaches the terminal
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

Error Failure(const Source& s, const char* fallback) {
  return Error::Invalid("invalid TIFF data: " + (s.error.empty() ? std::string(fallback) : s.error));
}

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Opens the file with libtiff, which reads its header and first directory, with the
// errors going to `src` and no buffer larger than the RGBA picture at the limits.
Result<TiffHandle> Open(Source& src, const PixelLimits& limits) {
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> opts(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  if (!opts) return Error::NoMemory("not enough memory");
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnError, &src);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnWarning, &src);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), static_cast<tmsize_t>(limits.max_pixels) * 4 + (1 << 20));
  TiffHandle tif(TIFFClientOpenExt("image", "rm", &src, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                   UnmapProc, opts.get()));
  if (!tif) return Failure(src, "the file header is unreadable");
  return tif;
}

// The picture size of the first directory.
Result<ClaimedSize> PictureSize(TIFF* tif, const Source& src) {
  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
    return Failure(src, "the picture size is missing");
  }
  return ClaimedSize{width, height};
}
struct RgbaImage {
  TIFFRGBAImage img{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&img);
  }
};

}  // namespace

bool SniffTiff(ByteSpan data) {
  static const uint8_t kLittle[4] = {'I', 'I', 42, 0}, kBig[4] = {'M', 'M', 0, 42};
  static const uint8_t kBigLittle[4] = {'I', 'I', 43, 0}, kBigBig[4] = {'M', 'M', 0, 43};
  return StartsWith(data, ByteSpan(kLittle, 4)) || StartsWith(data, ByteSpan(kBig, 4)) ||
         StartsWith(data, ByteSpan(kBigLittle, 4)) || StartsWith(data, ByteSpan(kBigBig, 4));
}

Result<Bitmap24> ReadTiff(ByteSpan data, const PixelLimits& limits) {
  if (!SniffTiff(data)) return Error::Invalid("not a TIFF image");
  const FileHead whole(data);
  Source src{whole, 0, {}};
  auto opened = Open(src, limits);
  if (!opened) return opened.error();
  TIFF* const tif = opened->get();
  auto size = PictureSize(tif, src);
  if (!size) return size.error();
  const uint32_t width = static_cast<uint32_t>(size->width), height = static_cast<uint32_t>(size->height);
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  if (width == 0 || height == 0) return Error::Invalid("invalid TIFF data: the picture is empty");
  if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();

  char message[1024] = {0};
  RgbaImage rgba;
  if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&rgba.img, tif, 0, message)) {
    return Error::Unsupported(std::string("unsupported TIFF layout: ") + message);
  }
  rgba.begun = true;
  // Decode the rows as stored (top row first) and turn the picture afterwards, since
  // libtiff's RGBA interface does not rotate the transposed orientations 5 to 8.
  rgba.img.req_orientation = ORIENTATION_TOPLEFT;
  rgba.img.orientation = ORIENTATION_TOPLEFT;
  std::vector<uint32_t> raster;
  try {
    raster.resize(size_t{width} * height);
  } catch (const std::bad_alloc&) {
    return Error::NoMemory("not enough memory");
  }
  if (!TIFFRGBAImageGet(&rgba.img, raster.data(), width, height)) return Failure(src, "the pixel data is unreadable");

  auto bitmap = CreateFromHeader(width, height, limits);
  if (!bitmap) return bitmap.error();
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = bitmap->Row(static_cast<int32_t>(y));
    const uint32_t* in = raster.data() + size_t{y} * width;
    for (uint32_t x = 0; x < width; ++x, out += 3) {
      // libtiff gives colours premultiplied by alpha: white adds 255 × (1 − alpha).
      const uint32_t p = in[x];
      const unsigned white = 255 - TIFFGetA(p);
      out[0] = static_cast<uint8_t>(std::min(255u, TIFFGetB(p) + white));
      out[1] = static_cast<uint8_t>(std::min(255u, TIFFGetG(p) + white));
      out[2] = static_cast<uint8_t>(std::min(255u, TIFFGetR(p) + white));
    }
  }
  if (orientation < 2 || orientation > 8) return bitmap;
  return ApplyOrientation(bitmap.value(), orientation);
}

Result<ClaimedSize> TiffHeaderSize(const FileHead& file) {
  if (!SniffTiff(file.Head())) return Error::Invalid("not a TIFF image");
  Source src{file, 0, {}};
  auto opened = Open(src, kDefaultPixelLimits);
  if (!opened) return opened.error();
  return PictureSize(opened->get(), src);
}

}  // namespace kestal
