#include "bitmap/color_math.h"

#include <cstdlib>

namespace kestal {

void ClipRectToSize(Rect& r, int32_t width, int32_t height) {
  r = IntersectRect(Rect{0, 0, width, height}, NormalizedRect(r));
}

void ClipRectToBitmap(Rect& r, const Bitmap24& b) { ClipRectToSize(r, b.Width(), b.Height()); }

bool ColorsNear(Color c1, Color c2, int32_t tol) {
  const Color a = ResolveColor(c1);
  const Color b = ResolveColor(c2);
  return std::abs(BlueOf(a) - BlueOf(b)) <= tol && std::abs(GreenOf(a) - GreenOf(b)) <= tol &&
         std::abs(RedOf(a) - RedOf(b)) <= tol;
}

Color MixColors(Color c1, Color c2, int32_t p) {
  if (p <= 0 || p > 100) return c1;
  const Color a = ResolveColor(c1);
  const Color b = ResolveColor(c2);
  // C++ integer division truncates toward zero, also for negative quotients.
  auto mix = [p](int x, int y) { return static_cast<uint8_t>(x + ((y - x) * p) / 100); };
  return Rgb(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

}  // namespace kestal
