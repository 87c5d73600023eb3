#include "imageio/codecs/bmp_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/jpeg_codec.h"
#include "bitmap/flatten.h"
#include "bitmap/palette.h"
#include "imageio/codecs/png_codec.h"

namespace kestal {
namespace {

constexpr size_t kFileHeaderSize = 14;

enum Compression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kJpeg = 4,
  kPng = 5,
  kAlphaBitFields = 6,
  // OS/2 2.x reuses 3 and 4 for Huffman 1D and RLE24; these are our own codes for them.
  kHuffman1D = 1003,
  kRle24 = 1004,
};

// The fields of every DIB header variant that decoding needs, validated.
struct DibHeader {
  uint32_t header_size = 0;
  int64_t width = 0;
  int64_t height = 0;  // always positive; top_down tells the row order
  bool top_down = false;
  uint16_t bpp = 0;
  uint32_t compression = kRgb;
  uint32_t colors_used = 0;
  std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
  bool has_masks = false;
  size_t palette_offset = 0;  // from the start of the DIB
  size_t palette_entry = 4;   // bytes per palette entry (3 for OS/2 1.x)
};

bool IsWindowsHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}
bool IsKnownHeaderSize(uint32_t size) {
  return size == 12 || (size >= 16 && size <= 64) || IsWindowsHeaderSize(size);
}

// The header's fields: the 16-bit ones of OS/2 1.x, or the 32-bit ones of every later
// variant, which OS/2 2.x may end after any field. Returns the plane count.
uint16_t ReadDibFields(ByteReader& r, DibHeader& h) {
  uint16_t planes = 0;
  if (h.header_size == 12) {
    // OS/2 1.x: 16-bit sizes, 3-byte palette entries, no compression.
    h.width = r.U16LE();
    h.height = r.U16LE();
    planes = r.U16LE();
    h.bpp = r.U16LE();
    h.palette_entry = 3;
  } else {
    h.width = r.S32LE();
    const int64_t height = r.S32LE();
    planes = r.U16LE();
    h.bpp = r.U16LE();
    // OS/2 2.x headers may stop after any field; what is missing reads as zero.
    // fields[i] lies at offset 16 + 4i: compression, image size, resolutions, colours
    // used and important, then the red, green, blue and alpha masks.
    uint32_t fields[10] = {};
    for (size_t i = 0; i < 10 && 16 + 4 * i + 4 <= h.header_size; ++i) fields[i] = r.U32LE();
    h.compression = fields[0];
    h.colors_used = fields[4];
    if (height < 0) {
      h.top_down = true;
      h.height = -height;
    } else {
      h.height = height;
    }
    const bool os2 = !IsWindowsHeaderSize(h.header_size) ||
                     (h.header_size == 40 && ((h.compression == 3 && h.bpp == 1) ||
                                              (h.compression == 4 && h.bpp == 24)));
    if (os2 && h.compression == 3) h.compression = kHuffman1D;
    if (os2 && h.compression == 4) h.compression = kRle24;
    if (h.header_size >= 52 && IsWindowsHeaderSize(h.header_size)) {
      h.masks = {fields[6], fields[7], fields[8], h.header_size >= 56 ? fields[9] : 0};
    }
  }
  return planes;
}

// Checks what the fields say together: one plane, a picture size, a depth that suits
// the compression, and row order.
Status CheckDibHeader(const DibHeader& h, uint16_t planes) {
  if (planes != 1) return Error::Invalid("invalid BMP header: " + std::to_string(planes) + " planes");
  if (h.width <= 0 || h.height <= 0) {
    return Error::Invalid("invalid BMP picture size " + std::to_string(h.width) + " × " +
                          std::to_string(h.height));
  }
  switch (h.compression) {
    case kRgb:
      if (h.bpp != 1 && h.bpp != 2 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 &&
          h.bpp != 32 && h.bpp != 64) {
        return Error::Unsupported("unsupported BMP depth of " + std::to_string(h.bpp) + " bits per pixel");
      }
      break;
    case kRle8:
      if (h.bpp != 8) return Error::Invalid("invalid BMP header: RLE8 data needs 8 bits per pixel");
      break;
    case kRle4:
      if (h.bpp != 4) return Error::Invalid("invalid BMP header: RLE4 data needs 4 bits per pixel");
      break;
    case kRle24:
      if (h.bpp != 24) return Error::Invalid("invalid BMP header: RLE24 data needs 24 bits per pixel");
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (h.bpp != 16 && h.bpp != 32) {
        return Error::Invalid("invalid BMP header: bit fields need 16 or 32 bits per pixel");
      }
      break;
    case kJpeg:
    case kPng:
      break;
    case kHuffman1D:
      return Error::Unsupported("Huffman 1D compressed BMP files are not supported");
    default:
      return Error::Unsupported("unsupported BMP compression " + std::to_string(h.compression));
  }
  if (h.top_down && (h.compression == kRle4 || h.compression == kRle8 || h.compression == kRle24)) {
    return Error::Invalid("invalid BMP header: compressed rows cannot be stored top-down");
  }
  return Status::Ok();
}

// Reads and checks a DIB header starting at dib[0]; nothing is allocated.
Result<DibHeader> ParseDibHeader(ByteSpan dib) {
  ByteReader r(dib);
  DibHeader h;
  h.header_size = r.U32LE();
  if (r.Failed()) return Error::Truncated();
  if (!IsKnownHeaderSize(h.header_size)) {
    return Error::Unsupported("unsupported BMP header size " + std::to_string(h.header_size));
  }
  if (dib.size() < h.header_size) return Error::Truncated();
  const uint16_t planes = ReadDibFields(r, h);
  h.palette_offset = h.header_size;
  if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
    h.has_masks = true;
    if (h.header_size == 40) {
      // The masks follow a 40-byte header, before the palette.
      const size_t n = h.compression == kAlphaBitFields ? 4 : 3;
      if (dib.size() < 40 + 4 * n) return Error::Truncated();
      ByteReader m(dib.subspan(40));
      for (size_t i = 0; i < n; ++i) h.masks[i] = m.U32LE();
      h.palette_offset += 4 * n;
    }
  }
  if (Status s = CheckDibHeader(h, planes); !s) return s.error();
  return h;
}

// The colour table: the entries the header asks for, at most 2^bpp, and only those
// present before the pixels. Indices past its end read as black.
Palette ReadPalette(ByteSpan dib, const DibHeader& h, size_t pixel_offset) {
  Palette palette;
  if (h.bpp > 8) return palette;
  const size_t max = size_t{1} << h.bpp;
  size_t count = h.colors_used == 0 ? max : std::min<size_t>(h.colors_used, max);
  const size_t end = std::min(pixel_offset, dib.size());
  if (h.palette_offset >= end) return palette;
  count = std::min(count, (end - h.palette_offset) / h.palette_entry);
  palette.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = dib.data() + h.palette_offset + i * h.palette_entry;
    palette.push_back(ColorTriple{p[0], p[1], p[2]});
  }
  return palette;
}

// A decoded picture with, where the file has one, its alpha channel (one byte per
// pixel, top-down).
struct Decoded {
  Bitmap24 bitmap;
  std::vector<uint8_t> alpha;
};

// Where the colour table ends, by the header; the pixels usually start there.
size_t PaletteEnd(const DibHeader& h) {
  if (h.bpp > 8) return h.palette_offset;
  const size_t max = size_t{1} << h.bpp;
  return h.palette_offset + h.palette_entry * (h.colors_used ? std::min<size_t>(h.colors_used, max) : max);
}

// Bytes of one uncompressed row, padded to 4 bytes.
size_t RowBytes(const DibHeader& h) { return ((static_cast<size_t>(h.width) * h.bpp + 31) / 32) * 4; }

int32_t DestRow(const DibHeader& h, int64_t y) {
  return static_cast<int32_t>(h.top_down ? y : h.height - 1 - y);
}

// Whether `available` bytes hold every uncompressed row. The last row may lack its
// padding; everything else must be there.
bool RowsPresent(size_t available, const DibHeader& h) {
  const size_t stride = RowBytes(h), rows = static_cast<size_t>(h.height);
  const size_t last_row = (static_cast<size_t>(h.width) * h.bpp + 7) / 8;
  return available / stride >= rows - 1 && available - stride * (rows - 1) >= last_row;
}

// 64-bit pixels: blue, green, red and alpha as signed 16-bit fixed point numbers with
// 13 fraction bits, the colours in linear light. Each becomes a byte, the colours
// encoded with the sRGB curve; values outside 0 to 1 are clamped.
constexpr int kFixedOne = 1 << 13;

void Decode64BitRows(ByteSpan pixels, const DibHeader& h, Decoded& out) {
  static const std::array<uint8_t, kFixedOne + 1> kEncoded = [] {
    std::array<uint8_t, kFixedOne + 1> table{};
    for (int i = 0; i <= kFixedOne; ++i) {
      const double l = static_cast<double>(i) / kFixedOne;
      const double e = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
      table[static_cast<size_t>(i)] = static_cast<uint8_t>(std::lround(std::clamp(e, 0.0, 1.0) * 255));
    }
    return table;
  }();
  const size_t w = static_cast<size_t>(h.width);
  out.alpha.assign(w * static_cast<size_t>(h.height), 255);
  for (int64_t y = 0; y < h.height; ++y) {
    const uint8_t* in = pixels.data() + RowBytes(h) * static_cast<size_t>(y);
    const int32_t row = DestRow(h, y);
    uint8_t* dst = out.bitmap.Row(row);
    for (size_t x = 0; x < w; ++x, in += 8) {
      const auto value = [in](int i) {
        return std::clamp<int>(static_cast<int16_t>(in[2 * i] | in[2 * i + 1] << 8), 0, kFixedOne);
      };
      for (int c = 0; c < 3; ++c) dst[3 * x + static_cast<size_t>(c)] = kEncoded[static_cast<size_t>(value(c))];
      out.alpha[static_cast<size_t>(row) * w + x] = static_cast<uint8_t>((value(3) * 255 + kFixedOne / 2) / kFixedOne);
    }
  }
}

// Uncompressed rows (checked by RowsPresent): palette indices, 16/32-bit words with bit fields, or BGR bytes.
Status DecodeRows(ByteSpan pixels, const DibHeader& h, const Palette& palette,
                  Decoded& out) {
  if (h.bpp == 64) {
    Decode64BitRows(pixels, h, out);
    return Status::Ok();
  }
  const size_t w = static_cast<size_t>(h.width);
  const size_t stride = RowBytes(h);
  std::array<uint32_t, 4> masks = h.masks;
  if (!h.has_masks) {
    masks = h.bpp == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                        : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
  }
  const BitField red = BitField::From(masks[0]), green = BitField::From(masks[1]),
                 blue = BitField::From(masks[2]), alpha = BitField::From(masks[3]);
  const bool with_alpha = h.has_masks && masks[3] != 0;
  if (with_alpha) out.alpha.assign(w * static_cast<size_t>(h.height), 255);

  for (int64_t y = 0; y < h.height; ++y) {
    const uint8_t* in = pixels.data() + stride * static_cast<size_t>(y);
    const int32_t row = DestRow(h, y);
    uint8_t* dst = out.bitmap.Row(row);
    if (h.bpp == 24) {  // BGR already
      std::memcpy(dst, in, 3 * w);
      continue;
    }
    for (size_t x = 0; x < w; ++x, dst += 3) {
      ColorTriple c{};
      switch (h.bpp) {
        case 1:
        case 2:
        case 4:
        case 8: {
          const size_t bit = x * h.bpp;
          const unsigned shift = 8 - h.bpp - static_cast<unsigned>(bit % 8);
          c = PaletteColor(palette, (in[bit / 8] >> shift) & ((1u << h.bpp) - 1));
          break;
        }
        case 24:
          c = ColorTriple{in[3 * x], in[3 * x + 1], in[3 * x + 2]};
          break;
        default: {
          const uint32_t v = h.bpp == 16 ? uint32_t{in[2 * x]} | uint32_t{in[2 * x + 1]} << 8
                                         : uint32_t{in[4 * x]} | uint32_t{in[4 * x + 1]} << 8 |
                                               uint32_t{in[4 * x + 2]} << 16 |
                                               uint32_t{in[4 * x + 3]} << 24;
          c = ColorTriple{blue.Get(v), green.Get(v), red.Get(v)};
          if (with_alpha) out.alpha[static_cast<size_t>(row) * w + x] = alpha.Get(v, 255);
        }
      }
      dst[0] = c.blue;
      dst[1] = c.green;
      dst[2] = c.red;
    }
  }
  return Status::Ok();
}

// RLE4, RLE8 and RLE24. A run or literal never writes past the row's end, and a delta
// past the picture ends it. Pixels the data skips keep palette entry 0 (black for
// RLE24). Every command consumes input, so the loop ends with the data.
Status DecodeRle(ByteSpan data, const DibHeader& h, const Palette& palette,
                 Decoded& out) {
  out.bitmap.Fill(h.compression == kRle24 ? ColorTriple{0, 0, 0} : PaletteColor(palette, 0));
  ByteReader r(data);
  int64_t x = 0, y = 0;
  auto put = [&](ColorTriple c) {
    if (x < h.width && y < h.height) out.bitmap.SetPixel(static_cast<int32_t>(x), DestRow(h, y), c);
    ++x;
  };
  while (y < h.height) {
    const uint8_t count = r.U8();
    const uint8_t value = r.U8();
    if (r.Failed()) return Error::Truncated("the compressed pixel data is truncated");
    if (count > 0) {
      if (h.compression == kRle24) {
        const uint8_t g = r.U8(), red = r.U8();
        for (int i = 0; i < count && x < h.width; ++i) put(ColorTriple{value, g, red});
      } else if (h.compression == kRle8) {
        for (int i = 0; i < count && x < h.width; ++i) put(PaletteColor(palette, value));
      } else {
        for (int i = 0; i < count && x < h.width; ++i) {
          put(PaletteColor(palette, i % 2 == 0 ? value >> 4 : value & 15));
        }
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      const uint8_t dx = r.U8(), dy = r.U8();
      if (r.Failed()) return Error::Truncated("the compressed pixel data is truncated");
      x += dx;
      y += dy;
    } else {  // literal run of `value` pixels, padded to 16 bits
      const size_t bytes = h.compression == kRle24 ? 3u * value
                           : h.compression == kRle8 ? value
                                                    : (value + 1u) / 2;
      auto lit = r.Take(bytes);
      if (lit.size() != bytes) return Error::Truncated("the compressed pixel data is truncated");
      r.Skip(bytes % 2);
      for (size_t i = 0; i < value; ++i) {
        if (h.compression == kRle24) {
          put(ColorTriple{lit[3 * i], lit[3 * i + 1], lit[3 * i + 2]});
        } else if (h.compression == kRle8) {
          put(PaletteColor(palette, lit[i]));
        } else {
          put(PaletteColor(palette, i % 2 == 0 ? lit[i / 2] >> 4 : lit[i / 2] & 15));
        }
      }
    }
  }
  return Status::Ok();
}

// True when the picture has an alpha channel that is not zero everywhere. A 32-bit
// file whose alpha is all zero was written by a program that ignores alpha, so it is
// shown opaque.
bool HasAlpha(const Decoded& d) {
  return std::any_of(d.alpha.begin(), d.alpha.end(), [](uint8_t a) { return a != 0; });
}

// Decodes the DIB at dib[0] whose pixels start at `pixel_offset` (from the DIB's start;
// 0: right after the colour table).
Result<Decoded> DecodeDib(ByteSpan dib, size_t pixel_offset, const DibHeader& h,
                          const PixelLimits& limits) {
  if (pixel_offset == 0) pixel_offset = std::min(PaletteEnd(h), dib.size());
  if (pixel_offset > dib.size()) return Error::Truncated();
  const ByteSpan pixels = dib.subspan(pixel_offset);

  if (h.compression == kJpeg || h.compression == kPng) {
    auto inner = h.compression == kJpeg ? ReadJpeg(pixels, limits) : ReadPng(pixels, limits);
    if (!inner) return inner.error();
    return Decoded{std::move(inner.value()), {}};
  }
  if (h.bpp <= 8 && h.palette_offset >= dib.size()) return Error::Truncated();
  const Palette palette = ReadPalette(dib, h, pixel_offset);
  if (h.bpp <= 8 && palette.empty()) return Error::Invalid("the colour table is missing");

  const bool rle = h.compression == kRle4 || h.compression == kRle8 || h.compression == kRle24;
  if (Status s = CheckPixelSize(h.width, h.height, limits); !s) return s.error();
  if (!rle && !RowsPresent(pixels.size(), h)) return Error::Truncated();
  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  Decoded d{std::move(bitmap.value()), {}};
  Status s = rle ? DecodeRle(pixels, h, palette, d) : DecodeRows(pixels, h, palette, d);
  if (!s) return s.error();
  return d;
}

// Utah RLE files share the .rle extension; their magic is 0x52CC little-endian.
bool IsUtahRle(ByteSpan data) { return data.size() >= 2 && data[0] == 0x52 && data[1] == 0xCC; }

// A BMP file's DIB and where its pixels start (0: after the colour table), with the
// DIB's header read and checked.
struct BmpFile {
  ByteSpan dib;
  size_t pixel_offset = 0;
  DibHeader header;
};

Result<BmpFile> ParseBmpFile(ByteSpan data) {
  if (IsUtahRle(data)) return Error::Unsupported("Utah RLE images are not supported");
  BmpFile file{data, 0, {}};
  if (StartsWith(data, "BM")) {
    if (data.size() < kFileHeaderSize + 4) return Error::Truncated();
    ByteReader r(data);
    r.Skip(10);
    const uint32_t offset = r.U32LE();
    file.dib = data.subspan(kFileHeaderSize);
    // An offset inside the headers is wrong; the pixels then follow the colour table.
    if (offset > kFileHeaderSize) file.pixel_offset = offset - kFileHeaderSize;
  } else {
    // A headerless DIB (.dib) must at least start with a known header size.
    ByteReader r(data);
    if (!IsKnownHeaderSize(r.U32LE())) return Error::Invalid("not a BMP image");
  }
  auto header = ParseDibHeader(file.dib);
  if (!header) return header.error();
  file.header = header.value();
  if (file.pixel_offset != 0 && file.pixel_offset < file.header.palette_offset) file.pixel_offset = 0;
  return file;
}

// An icon entry's DIB header: its height counts the colour image and the AND mask,
// which comes second.
Result<DibHeader> ParseIconDibHeader(ByteSpan dib) {
  auto parsed = ParseDibHeader(dib);
  if (!parsed) return parsed.error();
  DibHeader h = parsed.value();
  h.height /= 2;
  return h;
}

}  // namespace

bool SniffBmp(ByteSpan data) {
  if (!StartsWith(data, "BM") || data.size() < kFileHeaderSize + 4) return false;
  ByteReader r(data.subspan(kFileHeaderSize));
  return IsKnownHeaderSize(r.U32LE());
}

Result<Bitmap24> ReadBmp(ByteSpan data, const PixelLimits& limits) {
  auto file = ParseBmpFile(data);
  if (!file) return file.error();
  auto decoded = DecodeDib(file->dib, file->pixel_offset, file->header, limits);
  if (!decoded) return decoded.error();
  if (HasAlpha(decoded.value())) FlattenOverWhite(decoded->bitmap, decoded->alpha);
  return std::move(decoded->bitmap);
}

Result<ClaimedSize> BmpHeaderSize(const FileHead& file) {
  auto parsed = ParseBmpFile(file.Head());
  if (!parsed) return parsed.error();
  return ClaimedSize{parsed->header.width, parsed->header.height};
}

Result<ClaimedSize> IconDibSize(ByteSpan dib) { return SizeOf(ParseIconDibHeader(dib)); }

Result<Bitmap24> ReadIconDib(ByteSpan dib, const PixelLimits& limits) {
  auto parsed = ParseIconDibHeader(dib);
  if (!parsed) return parsed.error();
  DibHeader h = parsed.value();
  if (h.compression != kRgb && h.compression != kBitFields) {
    return Error::Unsupported("unsupported compression in an icon image");
  }
  if (h.height == 0 || h.top_down) return Error::Invalid("invalid icon image size");
  if (h.bpp == 32 && !h.has_masks) {
    // 32-bit icon pixels are BGRA even without bit fields.
    h.has_masks = true;
    h.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  }
  auto decoded = DecodeDib(dib, 0, h, limits);
  if (!decoded) return decoded.error();
  Decoded& d = decoded.value();

  if (!HasAlpha(d)) {
    // No usable alpha: the AND mask (1 = transparent) follows the colour rows. A
    // missing mask leaves every pixel opaque.
    const size_t w = static_cast<size_t>(h.width);
    const size_t mask_stride = ((w + 31) / 32) * 4;
    const size_t mask_at = PaletteEnd(h) + RowBytes(h) * static_cast<size_t>(h.height);
    d.alpha.assign(w * static_cast<size_t>(h.height), 255);
    if (mask_at <= dib.size() && (dib.size() - mask_at) / mask_stride >= static_cast<size_t>(h.height)) {
      for (int64_t y = 0; y < h.height; ++y) {
        const uint8_t* m = dib.data() + mask_at + mask_stride * static_cast<size_t>(y);
        uint8_t* a = d.alpha.data() + static_cast<size_t>(DestRow(h, y)) * w;
        for (size_t x = 0; x < w; ++x) a[x] = (m[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
      }
    }
  }
  FlattenOverWhite(d.bitmap, d.alpha);
  return std::move(d.bitmap);
}

}  // namespace kestal
