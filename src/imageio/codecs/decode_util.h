#pragma once
// Small helpers shared by the image readers: the size a header claims, size checks
// before allocation, sample scaling to 8 bits, bit-field extraction and CIE L*a*b*
// colours.

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "bitmap/bitmap24.h"

namespace kestal {

// The picture size a file's header claims. Loading checks it against the pixel limits
// before it reads the rest of the file, so a huge (or sparse) file claiming an
// oversized picture costs neither the time nor the memory of reading it. Each reader
// that can tell it reports it from its own header parse.
struct ClaimedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// The size a reader's header parse found, or its error.
template <class Header>
Result<ClaimedSize> SizeOf(const Result<Header>& header) {
  if (!header) return header.error();
  return ClaimedSize{static_cast<int64_t>(header->width), static_cast<int64_t>(header->height)};
}

// Checks a header's size (any sign, any width) against the limits and allocates the
// picture. Negative or zero sides are refused as corrupt, not as too large.
inline Result<Bitmap24> CreateFromHeader(int64_t width, int64_t height, const PixelLimits& limits) {
  if (width <= 0 || height <= 0) {
    return Error::Invalid("the header gives an invalid picture size (" + std::to_string(width) + " × " +
                     std::to_string(height) + ")");
  }
  if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();
  return Bitmap24::Create(static_cast<int32_t>(width), static_cast<int32_t>(height), limits);
}

// A sample of 0..maxval scaled to 0..255, rounding to nearest.
inline uint8_t ScaleTo8(uint32_t v, uint32_t maxval) {
  if (maxval == 255) return static_cast<uint8_t>(v);
  if (maxval == 0) return 0;
  if (v >= maxval) return 255;
  return static_cast<uint8_t>((uint64_t{v} * 255 + maxval / 2) / maxval);
}

// A channel held under `mask` in `value`, scaled to 8 bits. Masks of any width and
// position work; an empty mask gives `fallback`.
struct BitField {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  static BitField From(uint32_t m) {
    BitField f;
    f.mask = m;
    if (m == 0) return f;
    f.shift = std::countr_zero(m);
    f.max = m >> f.shift;
    return f;
  }
  uint8_t Get(uint32_t value, uint8_t fallback = 0) const {
    if (mask == 0) return fallback;
    return ScaleTo8((value & mask) >> shift, max);
  }
};

// An sRGB companded channel of a linear value.
inline uint8_t ToSrgb(double v) {
  v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return v <= 0 ? 0 : v >= 1 ? 255 : static_cast<uint8_t>(v * 255 + 0.5);
}

// A CIE L*a*b* colour (L 0..255 for 0..100, a and b offset by 128) as sRGB, with D65
// white (CIE 15 inverse of L*a*b*, then the sRGB matrix of IEC 61966-2-1).
inline void LabToRgb(uint8_t l8, uint8_t a8, uint8_t b8, uint8_t* bgr) {
  const double fy = (l8 * 100.0 / 255 + 16) / 116, fx = fy + (a8 - 128) / 500.0, fz = fy - (b8 - 128) / 200.0;
  auto inverse = [](double f) { return f > 6.0 / 29 ? f * f * f : 3 * (6.0 / 29) * (6.0 / 29) * (f - 4.0 / 29); };
  const double x = 0.95047 * inverse(fx), y = inverse(fy), z = 1.08883 * inverse(fz);
  bgr[2] = ToSrgb(3.2404542 * x - 1.5371385 * y - 0.4985314 * z);
  bgr[1] = ToSrgb(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z);
  bgr[0] = ToSrgb(0.0556434 * x - 0.2040259 * y + 1.0572252 * z);
}

}  // namespace kestal
