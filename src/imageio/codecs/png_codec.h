#pragma once
// PNG through libpng: every colour type and bit depth, palettes with transparency,
// interlaced files; alpha flattened over white.

#include "bitmap/bitmap24.h"
#include "imageio/image_registry.h"

namespace kestal {

bool SniffPng(ByteSpan data);
Result<Bitmap24> ReadPng(ByteSpan data, const PixelLimits& limits);

// Composites a pixel of 8-bit colour and alpha over white, rounding to nearest.
inline uint8_t OverWhite(unsigned c, unsigned a) {
  return static_cast<uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
}

}  // namespace kestal
