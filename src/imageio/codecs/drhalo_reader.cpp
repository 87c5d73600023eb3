#include "imageio/codecs/drhalo_reader.h"

#include <algorithm>
#include <filesystem>

#include "base/byte_reader.h"
#include "base/file_input.h"
#include "base/paths.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {
namespace {

constexpr size_t kPaletteHeaderSize = 40;
constexpr size_t kPaletteBlock = 512;
constexpr size_t kPaletteEntrySize = 6;
// A palette file of a few hundred entries is a few kilobytes; anything far larger is
// not one.
constexpr int64_t kMaxPaletteFileBytes = 1 << 20;

// One coded line: count bytes whose top bit marks a run (the next byte repeated
// count & 0x7F times) and whose clear top bit announces that many literal bytes; a
// count of zero ends the line. Pixels past the width are dropped; a short line leaves
// the rest at index 0.
void DecodeLine(ByteSpan record, uint8_t* row, int32_t width) {
  ByteReader in(record);
  int32_t x = 0;
  while (in.Remaining() > 0) {
    const uint8_t code = in.U8();
    const uint8_t count = code & 0x7F;
    if (count == 0) break;
    if (code & 0x80) {
      const uint8_t value = in.U8();
      if (in.Failed()) break;
      const int32_t n = std::min<int32_t>(count, width - x);
      std::fill_n(row + x, n, value);
      x += n;
    } else {
      auto bytes = in.Take(count);
      const int32_t n = std::min<int32_t>(static_cast<int32_t>(bytes.size()), width - x);
      std::copy_n(bytes.begin(), n, row + x);
      x += n;
    }
  }
}

// Grey levels, or black and white for a picture that only uses indices 0 and 1.
Palette DefaultPalette(const Bitmap24& indices) {
  uint8_t highest = 0;
  for (int32_t y = 0; y < indices.Height(); ++y) {
    const uint8_t* row = indices.Row(y);
    highest = std::max(highest, *std::max_element(row, row + indices.Width()));
  }
  Palette p = GreyRampPalette();
  if (highest <= 1) SetPaletteEntry(p, 1, 255, 255, 255);
  return p;
}

}  // namespace

Result<Palette> ReadDrHaloPalette(ByteSpan data) {
  ByteReader in(data);
  if (!StartsWith(data, "AH")) return Error::Invalid("not a Dr. Halo palette (no AH signature)");
  in.Skip(12);  // signature, version, size, type, subtype, board, graphics mode
  const uint16_t maxIndex = in.U16LE();
  const uint16_t maxRed = in.U16LE(), maxGreen = in.U16LE(), maxBlue = in.U16LE();
  if (!in.Seek(kPaletteHeaderSize)) return Error::Truncated("the Dr. Halo palette is truncated");
  Palette p = GreyRampPalette();
  for (unsigned i = 0; i <= std::min<unsigned>(maxIndex, 255); ++i) {
    if (in.Position() % kPaletteBlock > kPaletteBlock - kPaletteEntrySize) {
      in.Seek((in.Position() / kPaletteBlock + 1) * kPaletteBlock);
    }
    const uint16_t r = in.U16LE(), g = in.U16LE(), b = in.U16LE();
    if (in.Failed()) return Error::Truncated("the Dr. Halo palette is truncated");
    SetPaletteEntry(p, i, ScaleTo8(r, maxRed), ScaleTo8(g, maxGreen), ScaleTo8(b, maxBlue));
  }
  return p;
}

Result<Bitmap24> DecodeDrHalo(ByteSpan data, const Palette* palette, const PixelLimits& limits) {
  ByteReader in(data);
  const uint16_t width = in.U16LE();
  const uint16_t height = in.U16LE();
  in.U16LE();  // reserved
  if (in.Failed()) return Error::Truncated("the Dr. Halo file is shorter than its header");
  if (width == 0 || height == 0) return Error::Invalid("the Dr. Halo picture has no pixels (its size is 0)");
  // Every line takes at least its 2-byte length and an end code.
  if (static_cast<size_t>(height) * 3 > in.Remaining()) return Error::Truncated("the Dr. Halo file is truncated");
  if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();
  auto bitmap = Bitmap24::Create(width, height, limits);
  if (!bitmap) return bitmap;

  for (int32_t y = 0; y < height; ++y) {
    const uint16_t length = in.U16LE();
    ByteSpan record = in.Take(length);
    if (in.Failed()) {
      return Error::Truncated("the Dr. Halo file is truncated (line " + std::to_string(y + 1) + " of " +
                       std::to_string(height) + ")");
    }
    DecodeLine(record, bitmap->Row(y), width);
  }
  const Palette colours = palette ? *palette : DefaultPalette(bitmap.value());
  ExpandIndicesInPlace(bitmap.value(), colours);
  return bitmap;
}

Result<Bitmap24> ReadDrHalo(ByteSpan data, const PixelLimits& limits) { return DecodeDrHalo(data, nullptr, limits); }

Result<Bitmap24> ReadDrHaloFile(const std::string& path, ByteSpan data, const PixelLimits& limits) {
  // The palette shares the picture's name; on case-sensitive file systems its
  // extension may be written either way.
  for (const char* ext : {".pal", ".PAL", ".Pal"}) {
    const std::string palPath = ChangeExtension(path, ext);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(palPath, ec)) continue;
    auto bytes = ReadWholeFile(palPath, kMaxPaletteFileBytes);
    if (!bytes) {
      return Error::Make(bytes.error().kind,
                         "its palette " + FileNameOf(palPath) + " cannot be read: " + bytes.error().cause);
    }
    auto palette = ReadDrHaloPalette(ByteSpan(bytes.value()));
    if (!palette) {
      return Error::Make(palette.error().kind,
                         "its palette " + FileNameOf(palPath) + " is unusable: " + palette.error().cause);
    }
    return DecodeDrHalo(data, &palette.value(), limits);
  }
  return DecodeDrHalo(data, nullptr, limits);
}

}  // namespace kestal
