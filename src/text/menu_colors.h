#pragma once
// The colours and the gradient rule of the owner-drawn menus. The colours are derived
// once, from the system colours in effect when they are computed; later changes of the
// colour scheme do not alter them.

#include "bitmap/colors.h"

namespace kestal {

// Width of the coloured band down the left side of drop-down menus.
inline constexpr int kMenuBandWidth = 77;
// Width of the check-mark column at the left of a drop-down item, and the padding the
// caption keeps on each side.
inline constexpr int kMenuCheckColumn = 16;

struct MenuPalette {
  Color band;            // the band's start colour, 12 % of the way from the menu colour to a dark purple
  Color highlightStart;  // 77 % of the way from the menu colour to the highlight colour
  Color highlightEnd;    // 33 % of the way
  Color shortcut;        // shortcut texts of items that are neither disabled nor selected
};

MenuPalette ComputeMenuPalette();

// Column c (0 .. w - 1) of a horizontal gradient w columns wide from a to b: each channel
// a + c * (b - a) / w, truncated toward zero, so the last column stops one step short of b.
Color GradientColumnColor(Color a, Color b, int c, int w);

}  // namespace kestal
