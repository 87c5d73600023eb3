#pragma once
// Filtres24: in-place filters on 24-bit bitmaps: the 3 x 3 box blur, the colour tint and the
// grey tint. Each bounds its work by the rectangle clipped to the bitmap.

#include <array>
#include <cstdint>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "bitmap/rect_utils.h"

namespace kestal {

// Each pixel of `r` becomes the truncated mean of its 3 x 3 neighbourhood, read from
// the unfiltered picture; a neighbour outside `r` is replaced by the nearest pixel
// inside it, so pixels outside `r` are never written (nor do they bleed in).
void Blur3x3(Bitmap24& b, const Rect& r);

// The per-channel lookup table that moves every value `percent` of the way towards
// `target`: i + ((target - i) * percent) div 100, clamped to 0..255.
using ChannelTable = std::array<uint8_t, 256>;
ChannelTable TintTable(uint8_t target, int32_t percent);

// Moves every pixel of `r` `percent` of the way towards `color`; a negative percent
// pushes away from it. 100 fills `r` with exactly `color`. A percent of 0 or outside
// -100..100 does nothing.
void TintRect(Bitmap24& b, Color color, int32_t percent, const Rect& r);

// Greys the whole bitmap: pixels within 7 of `key` in every channel become exactly
// `color`; every other pixel becomes the grey mean of its channels tinted `percent`
// of the way towards `color`. A percent <= 0 does nothing; above 100 counts as 100.
void GrayTint(Bitmap24& b, Color key, Color color, int32_t percent);

}  // namespace kestal
