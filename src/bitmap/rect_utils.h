#pragma once
// Rectangles: Left, Top, Right, Bottom as signed 32-bit integers, Right and Bottom
// exclusive. A rectangle is empty when Right <= Left or Bottom <= Top.

#include <cstdint>

namespace kestal {

struct Rect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool operator==(const Rect&) const = default;
};

// The rectangle that stands for "the whole bitmap" once clipped.
inline constexpr Rect AllRect{-99999, -99999, 99999, 99999};

// Widths and heights are computed in 64 bits: |Right - Left| of two int32 values can
// exceed the int32 range.
int64_t RectWidth(const Rect& r);
int64_t RectHeight(const Rect& r);
Rect PointsToRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
Rect NormalizedRect(const Rect& r);
bool IsRectEmpty(const Rect& r);
// The intersection; (0, 0, 0, 0) when the two do not meet.
Rect IntersectRect(const Rect& a, const Rect& b);

}  // namespace kestal
