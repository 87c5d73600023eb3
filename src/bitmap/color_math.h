#pragma once
// BmpCouleurs: clipping a rectangle to a bitmap, the colour-closeness test and the colour mix.

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "bitmap/rect_utils.h"

namespace kestal {

// r becomes its normalised form intersected with (0, 0, width, height) of b;
// (0, 0, 0, 0) when they do not meet.
void ClipRectToBitmap(Rect& r, const Bitmap24& b);
void ClipRectToSize(Rect& r, int32_t width, int32_t height);

// True when the resolved colours differ by at most tol in each of blue, green and red.
bool ColorsNear(Color c1, Color c2, int32_t tol);

// Moves each channel of c1 p percent of the way towards c2 (integer arithmetic that
// truncates toward zero). For p <= 0 or p > 100, c1 is returned unchanged and
// unresolved.
Color MixColors(Color c1, Color c2, int32_t p);

}  // namespace kestal
