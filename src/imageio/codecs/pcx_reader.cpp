#include "imageio/codecs/pcx_reader.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "bitmap/flatten.h"
#include "bitmap/palette.h"

namespace kestal {
namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kVgaPaletteSize = 1 + 768;  // 0x0C marker and 256 RGB entries

struct PcxHeader {
  uint8_t version = 0;
  bool rle = false;
  uint8_t bpp = 0;  // bits per pixel in each plane
  int64_t width = 0, height = 0;
  uint8_t planes = 0;
  uint16_t bytes_per_line = 0;
  std::array<ColorTriple, 16> ega{};

  size_t ScanlineBytes() const { return size_t{planes} * bytes_per_line; }
  bool TrueColor() const { return bpp == 8 && (planes == 3 || planes == 4); }
};

// The standard 16-colour EGA palette, for version 3 files that store none.
constexpr std::array<uint32_t, 16> kDefaultEga = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

Result<PcxHeader> ParseHeader(ByteSpan data) {
  if (data.size() < kHeaderSize || data[0] != 0x0A) return Error::Invalid("not a PCX image");
  ByteReader r(data);
  r.Skip(1);
  PcxHeader h;
  h.version = r.U8();
  const uint8_t encoding = r.U8();
  h.bpp = r.U8();
  const uint16_t xmin = r.U16LE(), ymin = r.U16LE(), xmax = r.U16LE(), ymax = r.U16LE();
  r.Skip(4);
  for (auto& c : h.ega) {
    const uint8_t red = r.U8(), green = r.U8(), blue = r.U8();
    c = ColorTriple{blue, green, red};
  }
  r.Skip(1);
  h.planes = r.U8();
  h.bytes_per_line = r.U16LE();
  if (encoding > 1) return Error::Invalid("not a PCX image (unknown encoding)");
  h.rle = encoding == 1;
  if (xmax < xmin || ymax < ymin) return Error::Invalid("invalid PCX header: the picture bounds are reversed");
  h.width = int64_t{xmax} - xmin + 1;
  h.height = int64_t{ymax} - ymin + 1;
  const bool indexed = h.planes * h.bpp <= 8 && (h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8);
  if (!indexed && !h.TrueColor()) {
    return Error::Unsupported("unsupported PCX layout: " + std::to_string(h.planes) + " planes of " +
                     std::to_string(h.bpp) + " bits");
  }
  if (size_t{h.bytes_per_line} * 8 < static_cast<size_t>(h.width) * h.bpp) {
    return Error::Invalid("invalid PCX header: rows are shorter than the picture width");
  }
  if (h.version == 3) {
    for (size_t i = 0; i < 16; ++i) {
      const uint32_t v = kDefaultEga[i];
      h.ega[i] = ColorTriple{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
  }
  return h;
}

// The pixel data, one scan line at a time. An RLE run may continue on the next scan
// line; the part that did not fit is kept for it.
class ScanlineReader {
 public:
  ScanlineReader(ByteSpan in, bool rle) : in_(in), rle_(rle) {}

  // Bytes of the input after the last one read.
  size_t Remaining() const { return in_.size() - pos_; }

  bool Next(std::vector<uint8_t>& line) {
    size_t o = 0;
    while (o < line.size()) {
      if (pending_ == 0) {
        if (pos_ >= in_.size()) return false;
        value_ = in_[pos_++];
        pending_ = 1;
        if (rle_ && (value_ & 0xC0) == 0xC0) {
          pending_ = value_ & 0x3F;
          if (pos_ >= in_.size()) return false;
          value_ = in_[pos_++];
        }
      }
      const size_t n = std::min(pending_, line.size() - o);
      std::fill_n(line.begin() + static_cast<ptrdiff_t>(o), n, value_);
      o += n;
      pending_ -= n;
    }
    return true;
  }

 private:
  ByteSpan in_;
  bool rle_;
  size_t pos_ = 0;
  size_t pending_ = 0;  // bytes of the current run not yet stored
  uint8_t value_ = 0;
};

// The colours of an indexed picture: 8-bit single-plane files keep 256 colours after
// the pixels (without them the picture is grey), 1-bit files are black and white, and
// the others use the header's 16 EGA colours.
Palette PcxPalette(ByteSpan data, const PcxHeader& h) {
  if (h.bpp == 8 && h.planes == 1) {
    const bool present = data.size() >= kHeaderSize + kVgaPaletteSize &&
                         data[data.size() - kVgaPaletteSize] == 0x0C;
    if (!present) return GreyRampPalette();
    Palette palette(kMaxPaletteColors);
    const uint8_t* p = data.data() + data.size() - 768;
    for (size_t i = 0; i < palette.size(); ++i, p += 3) SetPaletteEntry(palette, i, p[0], p[1], p[2]);
    return palette;
  }
  if (h.bpp == 1 && h.planes == 1) return Palette{ColorTriple{0, 0, 0}, ColorTriple{255, 255, 255}};
  return Palette(h.ega.begin(), h.ega.end());
}

// One decoded scan line (all planes) into a row of 24-bit pixels.
using RowDecoder = void (*)(const std::vector<uint8_t>& line, const PcxHeader& h, const Palette& palette,
                            uint8_t* out);

// Planes 0, 1 and 2 are red, green and blue; a fourth is alpha.
void TrueColorRow(const std::vector<uint8_t>& line, const PcxHeader& h, const Palette&, uint8_t* out) {
  for (size_t x = 0; x < static_cast<size_t>(h.width); ++x, out += 3) {
    const auto plane = [&](size_t p) { return line[p * h.bytes_per_line + x]; };
    out[0] = plane(2), out[1] = plane(1), out[2] = plane(0);
    if (h.planes == 4) {
      for (int c = 0; c < 3; ++c) out[c] = OverWhite(out[c], plane(3));
    }
  }
}

// Planes hold successive bits of the palette index, plane 0 the lowest.
void IndexedRow(const std::vector<uint8_t>& line, const PcxHeader& h, const Palette& palette, uint8_t* out) {
  for (size_t x = 0; x < static_cast<size_t>(h.width); ++x, out += 3) {
    unsigned index = 0;
    const size_t bit = x * h.bpp;
    for (size_t p = 0; p < h.planes; ++p) {
      const uint8_t byte = line[p * h.bytes_per_line + bit / 8];
      const unsigned v = (byte >> (8 - h.bpp - bit % 8)) & ((1u << h.bpp) - 1);
      index |= v << (p * h.bpp);
    }
    const ColorTriple c = PaletteColor(palette, index);
    out[0] = c.blue, out[1] = c.green, out[2] = c.red;
  }
}

}  // namespace

Result<Bitmap24> ReadPcx(ByteSpan data, const PixelLimits& limits) {
  auto parsed = ParseHeader(data);
  if (!parsed) return parsed.error();
  const PcxHeader& h = parsed.value();
  if (Status s = CheckPixelSize(h.width, h.height, limits); !s) return s.error();
  const ByteSpan body = data.subspan(kHeaderSize);
  // One RLE byte pair yields at most 63 bytes: check the data can cover the picture.
  const size_t total = h.ScanlineBytes() * static_cast<size_t>(h.height);
  if (body.size() < (h.rle ? total / 63 : total)) return Error::Truncated();

  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  std::vector<uint8_t> line(h.ScanlineBytes());
  ScanlineReader reader(body, h.rle);
  const RowDecoder decode = h.TrueColor() ? TrueColorRow : IndexedRow;
  const Palette palette = h.TrueColor() ? Palette() : PcxPalette(data, h);
  Bitmap24& b = bitmap.value();
  for (int32_t y = 0; y < b.Height(); ++y) {
    if (!reader.Next(line)) {
      return h.rle ? Error::Truncated("the compressed pixel data is truncated") : Error::Truncated();
    }
    decode(line, h, palette, b.Row(y));
  }
  // Something follows the pixels but too little for the palette: the file was cut
  // inside it, and the colours would be wrong.
  const bool vga = h.bpp == 8 && h.planes == 1;
  const bool present_palette = data.size() >= kHeaderSize + kVgaPaletteSize &&
                               data[data.size() - kVgaPaletteSize] == 0x0C;
  if (vga && !present_palette) {
    const size_t rest = reader.Remaining();
    if (rest > 0 && rest < kVgaPaletteSize) return Error::Truncated("the colour palette at the end is cut off");
  }
  return bitmap;
}

Result<ClaimedSize> PcxHeaderSize(const FileHead& file) { return SizeOf(ParseHeader(file.Head())); }

}  // namespace kestal
