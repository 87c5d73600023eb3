#pragma once
// A 256-entry colour table for the indexed formats, and the expansion of index rows
// into 24-bit rows.

#include <array>
#include <cstdint>

#include "bitmap/bitmap24.h"

namespace kestal {

struct Palette {
  std::array<ColorTriple, 256> entries{};

  // Index i is grey level i: the usual stand-in when a file carries no colours.
  static Palette GreyRamp() {
    Palette p;
    for (unsigned i = 0; i < 256; ++i) {
      const auto v = static_cast<uint8_t>(i);
      p.entries[i] = ColorTriple{v, v, v};
    }
    return p;
  }

  void Set(unsigned index, uint8_t red, uint8_t green, uint8_t blue) {
    entries[index & 0xFF] = ColorTriple{blue, green, red};
  }

  // Readers of indexed formats decode the indices into the first `width` bytes of each
  // row of the bitmap they return, so that no second pixel buffer is needed; this widens
  // them into colours. Each row is walked from the right: pixel x is written at 3x,
  // which never lies before an index still to be read.
  void ExpandInPlace(Bitmap24& bitmap) const {
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
      uint8_t* row = bitmap.Row(y);
      for (int32_t x = bitmap.Width() - 1; x >= 0; --x) {
        const ColorTriple c = entries[row[x]];
        uint8_t* out = row + 3 * static_cast<size_t>(x);
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
      }
    }
  }
};

// Widens a 6-bit VGA DAC level (0..63) to 8 bits so that 63 becomes 255.
inline uint8_t Widen6Bit(uint8_t v) {
  v &= 0x3F;
  return static_cast<uint8_t>((v << 2) | (v >> 4));
}

}  // namespace kestal
