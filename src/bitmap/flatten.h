#pragma once
// Transparency flattened over white: pictures are shown on a white page, so a pixel's
// colour is mixed with white by its opacity when a file is read.

#include <cstdint>

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

// A colour channel with 8-bit alpha composited over white, rounding to nearest.
inline uint8_t OverWhite(unsigned c, unsigned a) {
  return static_cast<uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
}

// How a file stores colours beside alpha: as they are, or already multiplied by the
// alpha (then white only adds 255 × (1 − alpha)).
enum class AlphaStorage { kStraight, kPremultiplied };

// Composites every pixel of `bitmap` over white. `alpha` holds one byte per pixel,
// `Width()` bytes a row, top row first; when it holds fewer rows than the bitmap, the
// rows past it are left alone.
void FlattenOverWhite(Bitmap24& bitmap, ByteSpan alpha, AlphaStorage storage = AlphaStorage::kStraight);

}  // namespace kestal
