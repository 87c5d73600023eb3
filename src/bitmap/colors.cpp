#include "bitmap/colors.h"

#include <array>

namespace kestal {
namespace {

constexpr std::array<Color, kSysColorCount> kDefaultSystemColors = [] {
  std::array<Color, kSysColorCount> t{};
  t.fill(Rgb(192, 192, 192));
  t[kColorScrollbar] = Rgb(200, 200, 200);
  t[kColorBackground] = Rgb(0, 0, 0);
  t[kColorMenu] = Rgb(240, 240, 240);
  t[kColorWindow] = Rgb(255, 255, 255);
  t[kColorMenuText] = Rgb(0, 0, 0);
  t[kColorWindowText] = Rgb(0, 0, 0);
  t[kColorAppWorkspace] = Rgb(171, 171, 171);
  t[kColorHighlight] = Rgb(0, 120, 215);
  t[kColorHighlightText] = Rgb(255, 255, 255);
  t[kColorBtnFace] = Rgb(240, 240, 240);
  t[kColorBtnShadow] = Rgb(160, 160, 160);
  t[kColorGrayText] = Rgb(109, 109, 109);
  t[kColorBtnText] = Rgb(0, 0, 0);
  t[kColorBtnHighlight] = Rgb(255, 255, 255);
  return t;
}();

std::array<Color, kSysColorCount> g_system_colors = kDefaultSystemColors;

}  // namespace

Color ResolveColor(Color c) {
  if (IsSystemColor(c)) {
    const uint32_t index = c & 0xFF;
    return index < g_system_colors.size() ? g_system_colors[index] : Rgb(0, 0, 0);
  }
  return c & 0x00FFFFFFu;
}

void SetSystemColorValue(SysColor index, Color rgb) {
  if (index >= 0 && index < kSysColorCount) g_system_colors[index] = rgb & 0x00FFFFFFu;
}

void ResetSystemColors() { g_system_colors = kDefaultSystemColors; }

ColorTriple ColorToTriple(Color c) {
  const Color rgb = ResolveColor(c);
  return ColorTriple{BlueOf(rgb), GreenOf(rgb), RedOf(rgb)};
}

}  // namespace kestal
