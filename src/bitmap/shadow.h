#pragma once
// Painting a colour through a grey mask: the drop shadow of the tool-bar glyphs.
// A mask pixel's blue byte is its strength: 0 full, 255 none.

#include <cstdint>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "bitmap/rect_utils.h"

namespace kestal {

// Moves the destination pixel `d` towards `t` by the mask's strength times `percent`:
// w = ((255 - m) * percent) div 255, then each byte d += ((t - d) * w) div 100. With
// m = 0 and percent >= 100 the pixel becomes exactly t. Results are kept in 0..255.
void BlendPixelThroughMask(uint8_t* d, ColorTriple t, const uint8_t* m, int32_t percent);

// Blends `color` into `dest` through `mask`, whose top-left corner is placed on
// (x, y) of `dest`; `maskRect` contributes only its size (clipped to the mask), and
// only the part inside `destRect` (clipped to `dest`) is touched. Mask pixels whose
// first byte is 255 leave their destination pixel alone. A percent <= 0 does
// nothing; above 100 it counts as 100.
void DrawShadow(const Bitmap24& mask, const Rect& maskRect, Bitmap24& dest, int32_t x,
                int32_t y, const Rect& destRect, Color color, int32_t percent);

}  // namespace kestal
