#include "text/menu_colors.h"

#include "bitmap/color_math.h"

namespace kestal {

MenuPalette ComputeMenuPalette() {
  const Color menu = SystemColor(kColorMenu);
  const Color highlight = SystemColor(kColorHighlight);
  return MenuPalette{
      MixColors(menu, Rgb(51, 0, 17), 12),
      MixColors(menu, highlight, 77),
      MixColors(menu, highlight, 33),
      Rgb(128, 0, 0),
  };
}

Color GradientColumnColor(Color a, Color b, int c, int w) {
  const Color ra = ResolveColor(a);
  const Color rb = ResolveColor(b);
  auto step = [c, w](int x, int y) {
    return static_cast<uint8_t>(x + static_cast<int>((static_cast<int64_t>(c) * (y - x)) / w));
  };
  return Rgb(step(RedOf(ra), RedOf(rb)), step(GreenOf(ra), GreenOf(rb)), step(BlueOf(ra), BlueOf(rb)));
}

}  // namespace kestal
