#include "bitmap/rect_utils.h"

#include <algorithm>
#include <cstdlib>

namespace kestal {

int64_t RectWidth(const Rect& r) { return std::llabs(static_cast<int64_t>(r.Right) - r.Left); }

int64_t RectHeight(const Rect& r) { return std::llabs(static_cast<int64_t>(r.Bottom) - r.Top); }

Rect PointsToRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return Rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

Rect NormalizedRect(const Rect& r) { return PointsToRect(r.Left, r.Top, r.Right, r.Bottom); }

bool IsRectEmpty(const Rect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

Rect IntersectRect(const Rect& a, const Rect& b) {
  const Rect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
  if (IsRectEmpty(r)) return Rect{};
  return r;
}

}  // namespace kestal
