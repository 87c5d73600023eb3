#include "imageio/codecs/tiff_reader.h"

#include <tiffio.h>

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "bitmap/flatten.h"
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

// Decodes the picture through libtiff's RGBA interface, the rows as stored (top row
// first); alpha is flattened over white.
Result<Bitmap24> ReadThroughRgba(TIFF* tif, const Source& src, uint32_t width, uint32_t height,
                                 const PixelLimits& limits) {
  char message[1024] = {0};
  RgbaImage rgba;
  if (!TIFFRGBAImageBegin(&rgba.img, tif, 0, message)) {
    return Error::Unsupported(std::string("unsupported TIFF layout: ") + message);
  }
  rgba.begun = true;
  // libtiff's RGBA interface does not rotate the transposed orientations 5 to 8, so
  // the caller turns the picture afterwards.
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
  return bitmap;
}

// The sample layout of a picture read sample by sample: what the RGBA interface
// refuses (samples of 2, 4, 6, 10, 12, 14, 24 or 32 bits per colour, floating point,
// 16-bit CMYK, grey with alpha under 8 bits) and palette pictures with alpha, which it
// draws opaque.
struct SampleLayout {
  uint16_t bits = 0, format = SAMPLEFORMAT_UINT, photometric = 0, planar = PLANARCONFIG_CONTIG, samples = 1;
  int colours = 0;  // colour samples a pixel: 1 grey or palette, 3 RGB, 4 CMYK
  int alpha = -1;   // the sample holding alpha, or none
  bool premultiplied = false;
  const uint16_t* map[3] = {nullptr, nullptr, nullptr};  // palette: red, green, blue
  bool map16 = false;  // palette entries use all 16 bits (else they hold 8-bit values)
  int Outputs() const { return (photometric == PHOTOMETRIC_PALETTE ? 3 : colours) + (alpha >= 0 ? 1 : 0); }
};

// Whether the fourth sample of an RGB picture is an extra sample of unspecified meaning.
// libtiff's RGBA interface takes it as premultiplied alpha; the files that carry one
// (Photoshop's among them) store plain colours under it, brighter than their alpha
// allows premultiplied colours to be, so it is read as straight alpha, as ImageMagick
// reads it.
bool UnspecifiedAlpha(uint16_t photometric, uint16_t samples, uint16_t extra_count, const uint16_t* extra) {
  return photometric == PHOTOMETRIC_RGB && samples >= 4 && extra_count > 0 && extra[0] == EXTRASAMPLE_UNSPECIFIED;
}

// Reads the tags that decide how samples are read; refuses what this path cannot draw.
Result<SampleLayout> ReadSampleLayout(TIFF* tif) {
  SampleLayout l;
  uint16_t extra_count = 0, inkset = INKSET_CMYK;
  const uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) {
    return Error::Unsupported("unsupported TIFF layout: the photometric interpretation is missing");
  }
  const std::string layout = std::to_string(l.samples) + " samples of " + std::to_string(l.bits) + " bits";
  switch (l.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE: l.colours = 1; break;
    case PHOTOMETRIC_RGB: l.colours = 3; break;
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
      if (l.bits != 8) return Error::Unsupported("unsupported TIFF layout: L*a*b* samples of " + layout);
      l.colours = 3;
      break;
    case PHOTOMETRIC_SEPARATED:
      if (inkset != INKSET_CMYK) return Error::Unsupported("unsupported TIFF layout: separated inks other than CMYK");
      l.colours = 4;
      break;
    default:
      return Error::Unsupported("unsupported TIFF layout: photometric interpretation " +
                                std::to_string(l.photometric) + " with " + layout);
  }
  const bool integer = l.format == SAMPLEFORMAT_UINT || l.format == SAMPLEFORMAT_INT;
  const bool real = l.format == SAMPLEFORMAT_IEEEFP && (l.bits == 16 || l.bits == 32 || l.bits == 64);
  if (!(integer && l.bits >= 1 && l.bits <= 32) && !real) {
    return Error::Unsupported("unsupported TIFF layout: sample format " + std::to_string(l.format) + " with " + layout);
  }
  if (l.samples < l.colours || l.samples > 32) {
    return Error::Invalid("invalid TIFF data: " + layout + " for photometric interpretation " +
                          std::to_string(l.photometric));
  }
  if (l.photometric == PHOTOMETRIC_PALETTE) {
    if (!integer || l.bits > 16) return Error::Invalid("invalid TIFF data: a palette picture with " + layout);
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &l.map[0], &l.map[1], &l.map[2])) {
      return Error::Invalid("invalid TIFF data: the palette is missing");
    }
    // Some writers store 8-bit palette values; 16-bit ones have some entry above 255.
    const size_t entries = size_t{1} << l.bits;
    for (size_t i = 0; i < entries && !l.map16; ++i) l.map16 = (l.map[0][i] | l.map[1][i] | l.map[2][i]) > 255;
  }
  // The first extra sample marked as alpha is the transparency. An RGB picture of four
  // samples without the tag has alpha too, as libtiff's RGBA interface assumes.
  for (uint16_t i = 0; i < extra_count && l.colours + i < l.samples; ++i) {
    if (extra[i] == EXTRASAMPLE_ASSOCALPHA || extra[i] == EXTRASAMPLE_UNASSALPHA) {
      l.alpha = l.colours + i;
      l.premultiplied = extra[i] == EXTRASAMPLE_ASSOCALPHA;
      break;
    }
  }
  if (extra_count == 0 && l.photometric == PHOTOMETRIC_RGB && l.samples == 4) l.alpha = 3, l.premultiplied = true;
  if (UnspecifiedAlpha(l.photometric, l.samples, extra_count, extra)) l.alpha = 3, l.premultiplied = false;
  return l;
}

// An IEEE half-precision value.
float HalfToFloat(uint16_t h) {
  const int exponent = (h >> 10) & 31, mantissa = h & 1023;
  const float sign = h & 0x8000 ? -1.0f : 1.0f;
  if (exponent == 0) return sign * std::ldexp(static_cast<float>(mantissa), -24);
  if (exponent == 31) return mantissa ? 0.0f : sign * INFINITY;
  return sign * std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
}

// Sample `index` of a decoded row. libtiff hands 16, 24, 32 and 64-bit samples over in
// the machine's byte order; other widths stay packed, most significant bit first.
uint64_t RawSample(const uint8_t* row, size_t index, unsigned bits) {
  switch (bits) {
    case 8: return row[index];
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + 2 * index, 2);
      return v;
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, row + 4 * index, 4);
      return v;
    }
    case 64: {
      uint64_t v;
      std::memcpy(&v, row + 8 * index, 8);
      return v;
    }
    default: break;
  }
  if (bits == 24 && std::endian::native == std::endian::little) {
    const uint8_t* p = row + 3 * index;
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  }
  uint64_t v = 0;
  size_t bit = index * bits;
  for (unsigned i = 0; i < bits; ++i, ++bit) v = v << 1 | ((row[bit >> 3] >> (7 - (bit & 7))) & 1);
  return v;
}

// A sample scaled to 0..255: integers over their full range (signed ones from the most
// negative), floating point values over 0..1.
uint8_t SampleTo8(const SampleLayout& l, uint64_t raw) {
  if (l.format == SAMPLEFORMAT_IEEEFP) {
    double v = 0;
    if (l.bits == 16) {
      v = HalfToFloat(static_cast<uint16_t>(raw));
    } else if (l.bits == 32) {
      float f;
      const uint32_t r32 = static_cast<uint32_t>(raw);
      std::memcpy(&f, &r32, 4);
      v = f;
    } else {
      std::memcpy(&v, &raw, 8);
    }
    if (!(v > 0)) return 0;  // also NaN
    return v >= 1 ? 255 : static_cast<uint8_t>(v * 255 + 0.5);
  }
  if (l.format == SAMPLEFORMAT_INT && l.bits > 8) {
    // Signed samples span the whole range, the most negative black, zero mid grey and
    // the most positive white, as image viewers show them: flipping the sign bit makes
    // them unsigned ones. Signed bytes are read as unsigned ones, as NeedsSamplePath says.
    const uint64_t sign = uint64_t{1} << (l.bits - 1);
    return ScaleTo8(static_cast<uint32_t>(raw ^ sign), static_cast<uint32_t>((sign << 1) - 1));
  }
  return ScaleTo8(static_cast<uint32_t>(raw), static_cast<uint32_t>((uint64_t{1} << l.bits) - 1));
}

// The 8-bit output channels of each pixel, filled strip by strip or tile by tile: the
// colours (grey, RGB from the palette, RGB or CMYK), then alpha.
struct SamplePlanes {
  const SampleLayout& layout;
  uint32_t width, height;
  int outputs;
  std::vector<uint8_t> values;

  // Stores sample `s` of pixel (x, y).
  void Put(uint32_t x, uint32_t y, int s, uint64_t raw) {
    uint8_t* p = values.data() + (size_t{y} * width + x) * static_cast<size_t>(outputs);
    const SampleLayout& l = layout;
    if (s == l.alpha) {
      p[outputs - 1] = SampleTo8(l, raw);
    } else if (s >= l.colours) {
      return;  // another extra sample
    } else if (l.photometric == PHOTOMETRIC_PALETTE) {
      for (int c = 0; c < 3; ++c) {
        const uint16_t v = l.map[c][raw];  // raw < 2^bits, the palette's size
        p[c] = static_cast<uint8_t>(l.map16 ? (v * 255u + 32767u) / 65535u : v);
      }
    } else {
      p[s] = SampleTo8(l, raw);
    }
  }
};

// One strip or tile: where its top left pixel lies, its size in pixels, the plane it
// holds (separate planes) and the bytes of one of its rows.
struct Block {
  uint32_t x0, y0, width, rows;
  int plane;
  size_t row_bytes;
};

void StoreBlock(const Block& b, const std::vector<uint8_t>& buffer, SamplePlanes& planes) {
  const SampleLayout& l = planes.layout;
  const bool contig = l.planar == PLANARCONFIG_CONTIG;
  const int per_pixel = contig ? l.samples : 1;
  const uint32_t columns = std::min(b.width, planes.width - b.x0), rows = std::min(b.rows, planes.height - b.y0);
  for (uint32_t r = 0; r < rows; ++r) {
    const uint8_t* row = buffer.data() + r * b.row_bytes;
    for (uint32_t x = 0; x < columns; ++x) {
      for (int s = 0; s < per_pixel; ++s) {
        planes.Put(b.x0 + x, b.y0 + r, contig ? s : b.plane, RawSample(row, size_t{x} * per_pixel + s, l.bits));
      }
    }
  }
}

// The largest strip or tile read at once, far beyond those of real files.
constexpr uint64_t kMaxBlockBytes = uint64_t{1} << 30;

// Reads every strip or tile into `planes`.
Status ReadBlocks(TIFF* tif, const Source& src, SamplePlanes& planes) {
  const SampleLayout& l = planes.layout;
  const bool tiled = TIFFIsTiled(tif);
  const int plane_count = l.planar == PLANARCONFIG_SEPARATE ? l.samples : 1;
  uint32_t block_w = planes.width, block_h = 0;
  uint64_t row_bytes = 0, block_bytes = 0;
  if (tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &block_w);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &block_h);
    row_bytes = TIFFTileRowSize64(tif);
    block_bytes = TIFFTileSize64(tif);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &block_h);
    block_h = std::min(block_h, planes.height);
    row_bytes = TIFFScanlineSize64(tif);
    block_bytes = TIFFStripSize64(tif);
  }
  if (block_w == 0 || block_h == 0 || row_bytes == 0 || block_bytes == 0) {
    return Failure(src, "the strip or tile size is invalid");
  }
  // Every row of the block must lie in the block's buffer.
  if (block_bytes > kMaxBlockBytes || block_bytes / row_bytes < block_h) {
    return Error::OverLimit("a TIFF strip or tile is too large (" + std::to_string(block_bytes) + " bytes)");
  }
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(block_bytes));
  } catch (const std::bad_alloc&) {
    return Error::NoMemory("not enough memory");
  }
  const uint32_t across = tiled ? (planes.width - 1) / block_w + 1 : 1;
  const uint32_t down = (planes.height - 1) / block_h + 1;
  for (int plane = 0; plane < plane_count; ++plane) {
    for (uint32_t by = 0; by < down; ++by) {
      for (uint32_t bx = 0; bx < across; ++bx) {
        const uint32_t x0 = bx * block_w, y0 = by * block_h;
        const uint16_t p = static_cast<uint16_t>(plane);
        const tmsize_t size = static_cast<tmsize_t>(block_bytes);
        const tmsize_t got = tiled ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, p), buffer.data(), size)
                                   : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, p), buffer.data(), size);
        if (got < 0) return Failure(src, "the pixel data is unreadable");
        StoreBlock(Block{x0, y0, block_w, block_h, plane, static_cast<size_t>(row_bytes)}, buffer, planes);
      }
    }
  }
  return Status::Ok();
}

// Decodes the picture sample by sample, for layouts the RGBA interface refuses.
Result<Bitmap24> ReadBySamples(TIFF* tif, const Source& src, uint32_t width, uint32_t height,
                               const PixelLimits& limits) {
  auto layout = ReadSampleLayout(tif);
  if (!layout) return layout.error();
  const SampleLayout& l = layout.value();
  auto bitmap = CreateFromHeader(width, height, limits);
  if (!bitmap) return bitmap.error();
  SamplePlanes planes{l, width, height, l.Outputs(), {}};
  try {
    planes.values.assign(size_t{width} * height * static_cast<size_t>(planes.outputs), 255);
  } catch (const std::bad_alloc&) {
    return Error::NoMemory("not enough memory");
  }
  if (Status s = ReadBlocks(tif, src, planes); !s) return s.error();

  const bool has_alpha = l.alpha >= 0;
  std::vector<uint8_t> alpha(has_alpha ? size_t{width} * height : 0);
  const uint8_t* p = planes.values.data();
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = bitmap->Row(static_cast<int32_t>(y));
    for (uint32_t x = 0; x < width; ++x, out += 3, p += planes.outputs) {
      if (l.colours == 4) {
        // CMYK: each colour is what its ink and black leave of white.
        const unsigned k = 255u - p[3];
        out[0] = static_cast<uint8_t>(((255u - p[2]) * k + 127) / 255);
        out[1] = static_cast<uint8_t>(((255u - p[1]) * k + 127) / 255);
        out[2] = static_cast<uint8_t>(((255u - p[0]) * k + 127) / 255);
      } else if (l.photometric == PHOTOMETRIC_CIELAB || l.photometric == PHOTOMETRIC_ICCLAB) {
        // CIELAB keeps a* and b* as signed bytes, ICCLAB offset by 128.
        const uint8_t flip = l.photometric == PHOTOMETRIC_CIELAB ? 0x80 : 0;
        LabToRgb(p[0], p[1] ^ flip, p[2] ^ flip, out);
      } else if (l.photometric == PHOTOMETRIC_PALETTE || l.colours == 3) {
        out[0] = p[2], out[1] = p[1], out[2] = p[0];
      } else {
        out[0] = out[1] = out[2] = l.photometric == PHOTOMETRIC_MINISWHITE ? 255 - p[0] : p[0];
      }
      if (has_alpha) alpha[size_t{y} * width + x] = p[planes.outputs - 1];
    }
  }
  if (has_alpha) {
    FlattenOverWhite(bitmap.value(), alpha, l.premultiplied ? AlphaStorage::kPremultiplied : AlphaStorage::kStraight);
  }
  return bitmap;
}

// Whether the picture goes sample by sample: the RGBA interface refuses it, would read
// wide signed or floating point samples as unsigned ones, would take an unspecified
// extra sample for premultiplied alpha, or would draw a palette picture with alpha
// opaque, or gets grey with alpha or 16-bit grey tiles wrong. Signed bytes stay with it,
// read as unsigned ones as other readers do.
bool NeedsSamplePath(TIFF* tif) {
  char message[1024] = {0};
  if (!TIFFRGBAImageOK(tif, message)) return true;
  uint16_t photometric = 0, format = SAMPLEFORMAT_UINT, bits = 1, extra_count = 0;
  const uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  // libtiff's own L*a*b* conversion is far from the CIE one; 8-bit L*a*b* goes through ours.
  if ((photometric == PHOTOMETRIC_CIELAB || photometric == PHOTOMETRIC_ICCLAB) && bits == 8) return true;
  const bool plain = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
                     photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_SEPARATED;
  if (plain && (format == SAMPLEFORMAT_IEEEFP || (format == SAMPLEFORMAT_INT && bits > 8))) return true;
  uint16_t samples = 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  // For grey pictures the RGBA interface hands straight alpha over as it is (or drops
  // it at 16 bits), where it premultiplies that of RGB ones, and it reads the tiles of
  // 16-bit grey at twice their size: it refuses a small picture and draws stripes of a
  // larger one.
  const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
  if (grey && (samples > 1 || (bits == 16 && TIFFIsTiled(tif)))) return true;
  if (UnspecifiedAlpha(photometric, samples, extra_count, extra)) return true;
  return photometric == PHOTOMETRIC_PALETTE && extra_count > 0;
}

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

  auto bitmap = NeedsSamplePath(tif) ? ReadBySamples(tif, src, width, height, limits)
                                     : ReadThroughRgba(tif, src, width, height, limits);
  // The RGBA interface still refuses some layouts it passed as fit (2-bit RGB, 16-bit
  // CMYK) once it looks closer.
  if (!bitmap && bitmap.error().kind == ErrorKind::Unsupported) bitmap = ReadBySamples(tif, src, width, height, limits);
  if (!bitmap) return bitmap.error();
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
