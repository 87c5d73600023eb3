// The owner-drawn menus' colours and gradient arithmetic.

#include <gtest/gtest.h>

#include "text/menu_colors.h"

namespace kestal {
namespace {

TEST(MenuColors, GradientColumns) {
  struct Row {
    const char* what;
    Color a, b;
    int c, w;
    Color expected;
  } rows[] = {
      {"first column is the start colour", Rgb(10, 20, 30), Rgb(250, 0, 130), 0, 77, Rgb(10, 20, 30)},
      {"last column stops one step short", Rgb(0, 0, 0), Rgb(77, 154, 255), 76, 77, Rgb(76, 152, 251)},
      {"falling channels truncate toward zero", Rgb(100, 100, 100), Rgb(0, 0, 0), 1, 3, Rgb(67, 67, 67)},
      {"one column wide is the start colour", Rgb(5, 6, 7), Rgb(200, 200, 200), 0, 1, Rgb(5, 6, 7)},
  };
  for (const Row& row : rows) EXPECT_EQ(GradientColumnColor(row.a, row.b, row.c, row.w), row.expected) << row.what;
}

TEST(MenuColors, PaletteFromTheSystemColoursAtThatMoment) {
  SetSystemColorValue(kColorMenu, Rgb(200, 100, 0));
  SetSystemColorValue(kColorHighlight, Rgb(0, 200, 100));
  const MenuPalette p = ComputeMenuPalette();
  EXPECT_EQ(p.band, Rgb(200 - (149 * 12) / 100, 100 - 12, (17 * 12) / 100));
  EXPECT_EQ(p.highlightStart, Rgb(200 - 154, 100 + 77, 77));
  EXPECT_EQ(p.highlightEnd, Rgb(200 - 66, 100 + 33, 33));
  EXPECT_EQ(p.shortcut, Rgb(128, 0, 0));
  // A palette is a snapshot: a later change of the scheme reaches only a palette
  // computed after it.
  SetSystemColorValue(kColorMenu, Rgb(0, 0, 0));
  const MenuPalette later = ComputeMenuPalette();
  EXPECT_EQ(later.band, Rgb((51 * 12) / 100, 0, (17 * 12) / 100)) << "computed from the colours of its moment";
  EXPECT_EQ(later.highlightEnd, Rgb(0, 66, 33));
  EXPECT_NE(later.band, p.band);
  ResetSystemColors();
}

}  // namespace
}  // namespace kestal
