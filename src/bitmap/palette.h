#pragma once
// Palette: the one colour table of the program, up to 256 colours in index order.
// Indexed files decode through it and the GIF encoder writes it. Readers of indexed
// formats start from a 256-entry table (black, or a grey ramp) and set the entries the
// file gives; the quantiser builds one of exactly the colours it chose.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitmap/bitmap24.h"

namespace kestal {

using Palette = std::vector<ColorTriple>;

inline constexpr size_t kMaxPaletteColors = 256;

// 256 entries where index i is grey level i: the usual stand-in when a file carries no
// colours.
inline Palette GreyRampPalette() {
  Palette p(kMaxPaletteColors);
  for (size_t i = 0; i < p.size(); ++i) {
    const auto v = static_cast<uint8_t>(i);
    p[i] = ColorTriple{v, v, v};
  }
  return p;
}

// Sets an entry from red, green and blue; indices past the table are ignored.
inline void SetPaletteEntry(Palette& p, size_t index, uint8_t red, uint8_t green, uint8_t blue) {
  if (index < p.size()) p[index] = ColorTriple{blue, green, red};
}

// The colour of an index; an index past the table is black (a file may use more
// indices than it gives colours).
inline ColorTriple PaletteColor(const Palette& p, size_t index) {
  return index < p.size() ? p[index] : ColorTriple{0, 0, 0};
}

// Readers of indexed formats decode the indices into the first `width` bytes of each
// row of the bitmap they return, so that no second pixel buffer is needed; this widens
// them into colours. Each row is walked from the right: pixel x is written at 3x,
// which never lies before an index still to be read.
inline void ExpandIndicesInPlace(Bitmap24& bitmap, const Palette& palette) {
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = bitmap.Row(y);
    for (int32_t x = bitmap.Width() - 1; x >= 0; --x) {
      const ColorTriple c = PaletteColor(palette, row[x]);
      uint8_t* out = row + 3 * static_cast<size_t>(x);
      out[0] = c.blue;
      out[1] = c.green;
      out[2] = c.red;
    }
  }
}

// Widens a 6-bit VGA DAC level (0..63) to 8 bits so that 63 becomes 255.
inline uint8_t Widen6Bit(uint8_t v) {
  v &= 0x3F;
  return static_cast<uint8_t>((v << 2) | (v >> 4));
}

}  // namespace kestal
