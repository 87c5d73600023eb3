#include "bitmap/key_color_mask.h"

#include <utility>

#include "bitmap/color_math.h"

namespace kestal {

Status KeyColorMask(const Bitmap24& src, Bitmap24& dst, Color key, int32_t tol, bool setWhite,
                    const Rect& rect) {
  if (tol < 0) return Status::Ok();
  Rect r = rect;
  ClipRectToBitmap(r, src);
  if (IsRectEmpty(r)) return Status::Ok();
  if (&src != &dst && (dst.Width() != src.Width() || dst.Height() != src.Height())) {
    auto resized = Bitmap24::Create(src.Width(), src.Height());
    if (!resized) return resized.error();
    resized->Draw(dst, 0, 0);
    dst = std::move(resized.value());
  }
  const Color k = ResolveColor(key);
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    const uint8_t* s = src.Row(y) + 3 * static_cast<size_t>(r.Left);
    uint8_t* d = dst.Row(y) + 3 * static_cast<size_t>(r.Left);
    for (int32_t x = r.Left; x < r.Right; ++x, s += 3, d += 3) {
      if (!ColorsNear(Rgb(s[2], s[1], s[0]), k, tol)) {
        d[0] = d[1] = d[2] = 0;
      } else if (setWhite) {
        d[0] = d[1] = d[2] = 255;
      }
    }
  }
  return Status::Ok();
}

}  // namespace kestal
