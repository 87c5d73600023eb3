#include "bitmap/shadow.h"

#include <algorithm>

#include "bitmap/color_math.h"

namespace kestal {

void BlendPixelThroughMask(uint8_t* d, ColorTriple t, const uint8_t* m, int32_t percent) {
  const int32_t strength = m[0];
  if (strength == 0 && percent >= 100) {
    d[0] = t.blue;
    d[1] = t.green;
    d[2] = t.red;
    return;
  }
  const int32_t w = ((255 - strength) * percent) / 255;
  const int32_t target[3] = {t.blue, t.green, t.red};
  for (int k = 0; k < 3; ++k) {
    // A percent outside 0..100 given by a direct caller could push the byte out of
    // range; it is kept within 0..255 instead of wrapping around.
    const int32_t v = d[k] + ((target[k] - d[k]) * w) / 100;
    d[k] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
}

void DrawShadow(const Bitmap24& mask, const Rect& maskRect, Bitmap24& dest, int32_t x,
                int32_t y, const Rect& destRect, Color color, int32_t percent) {
  if (percent <= 0) return;
  percent = std::min(percent, 100);
  const ColorTriple t = ColorToTriple(color);
  Rect mr = maskRect;
  ClipRectToBitmap(mr, mask);
  if (IsRectEmpty(mr)) return;
  Rect dr = destRect;
  ClipRectToBitmap(dr, dest);
  // The placed mask's far edges are computed in 64 bits: x + width may pass the
  // int32 range for a far-off x. The clipped rectangle lies within `dest`, so the
  // intersection fits 32 bits again.
  const int64_t left = std::max<int64_t>(dr.Left, x);
  const int64_t top = std::max<int64_t>(dr.Top, y);
  const int64_t right = std::min<int64_t>(dr.Right, int64_t{x} + RectWidth(mr));
  const int64_t bottom = std::min<int64_t>(dr.Bottom, int64_t{y} + RectHeight(mr));
  if (right <= left || bottom <= top) return;
  for (int64_t row = top; row < bottom; ++row) {
    const uint8_t* m = mask.Row(static_cast<int32_t>(row - y));
    uint8_t* d = dest.Row(static_cast<int32_t>(row));
    for (int64_t col = left; col < right; ++col) {
      const uint8_t* mp = m + 3 * (col - x);
      if (mp[0] < 255) BlendPixelThroughMask(d + 3 * col, t, mp, percent);
    }
  }
}

}  // namespace kestal
