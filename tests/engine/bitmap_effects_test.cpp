// The tool-bar image effects: blend, shadow, blur, tints, key mask, image list and
// the two glyph-list builders. Numbers come from the integer rules (div truncating
// toward zero), worked by hand.

#include <gtest/gtest.h>

#include "bitmap/color_math.h"
#include "bitmap/buffers.h"
#include "bitmap/filters.h"
#include "bitmap/image_list.h"
#include "bitmap/toolbar_glyphs.h"
#include "bitmap/key_color_mask.h"
#include "bitmap/shadow.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Gradient;
using test::Noise;

Bitmap24 Solid(int32_t w, int32_t h, ColorTriple c) {
  auto b = Bitmap24::Create(w, h);
  EXPECT_TRUE(b.ok());
  b->Fill(c);
  return std::move(b.value());
}

ColorTriple Grey(uint8_t v) { return ColorTriple{v, v, v}; }

TEST(BlendPixelThroughMask, WorkedExamples) {
  struct Row {
    const char* what;
    uint8_t mask;
    int32_t percent;
    uint8_t before;
    ColorTriple target;
    uint8_t after;
  } rows[] = {
      {"full mask at 33 % towards black: w = 33", 0, 33, 200, Grey(0), 134},
      {"half mask at 33 %: w = 127*33/255 = 16", 128, 33, 200, Grey(0), 168},
      {"towards white rounds toward zero", 0, 33, 100, Grey(255), 151},
      {"mask 254 at 100 %: w = 0, unchanged", 254, 100, 77, Grey(0), 77},
      {"full mask at 100 % copies the colour", 0, 100, 10, Grey(250), 250},
      {"full mask above 100 % copies the colour", 0, 150, 10, Grey(250), 250},
      {"a direct percent above 100 stays in range", 1, 300, 10, Grey(250), 255},
  };
  for (const Row& r : rows) {
    uint8_t d[3] = {r.before, r.before, r.before};
    const uint8_t m[3] = {r.mask, 0, 0};
    BlendPixelThroughMask(d, r.target, m, r.percent);
    EXPECT_EQ(d[0], r.after) << r.what;
    EXPECT_EQ(d[2], r.after) << r.what;
  }
}

TEST(DrawShadow, BlendsOnlyUnderMaskAndInsideBothRectangles) {
  // Mask 3x3: the centre is full strength, the rest is 255 (none) except one 128.
  Bitmap24 mask = Solid(3, 3, Grey(255));
  mask.SetPixel(1, 1, Grey(0));
  mask.SetPixel(2, 1, Grey(128));
  Bitmap24 dest = Solid(6, 5, Grey(200));
  DrawShadow(mask, AllRect, dest, 2, 1, AllRect, Rgb(0, 0, 0), 100);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) {
      // Mask 128 at 100 %: w = 127*100/255 = 49, 200 - 200*49/100 = 102.
      const uint8_t expected = (x == 3 && y == 2) ? 0 : (x == 4 && y == 2) ? 102 : 200;
      EXPECT_EQ(dest.Pixel(x, y), Grey(expected)) << x << "," << y;
    }

  Bitmap24 clipped = Solid(6, 5, Grey(200));
  DrawShadow(mask, AllRect, clipped, 2, 1, Rect{0, 0, 4, 5}, Rgb(0, 0, 0), 100);
  EXPECT_EQ(clipped.Pixel(3, 2), Grey(0));
  EXPECT_EQ(clipped.Pixel(4, 2), Grey(200)) << "outside the destination rectangle";

  Bitmap24 none = Solid(6, 5, Grey(200));
  const Bitmap24 before = Solid(6, 5, Grey(200));
  DrawShadow(mask, AllRect, none, 2, 1, AllRect, Rgb(0, 0, 0), 0);
  DrawShadow(mask, Rect{5, 5, 9, 9}, none, 2, 1, AllRect, Rgb(0, 0, 0), 100);
  DrawShadow(mask, AllRect, none, INT32_MAX - 1, INT32_MIN + 1, AllRect, Rgb(0, 0, 0), 100);
  EXPECT_TRUE(none.SamePixels(before)) << "percent 0, empty mask rectangle, far-off place";
}

TEST(Blur3x3, EdgeCases) {
  Bitmap24 noise = Noise(7, 6, 3);
  Bitmap24 b = Noise(7, 6, 3);
  Blur3x3(b, Rect{3, 2, 4, 3});
  EXPECT_TRUE(b.SamePixels(noise)) << "a one-pixel rectangle is its own neighbourhood";

  Bitmap24 uniform = Solid(9, 4, ColorTriple{10, 20, 30});
  Blur3x3(uniform, AllRect);
  EXPECT_TRUE(uniform.SamePixels(Solid(9, 4, ColorTriple{10, 20, 30})));

  Bitmap24 empty = Noise(7, 6, 3);
  Blur3x3(empty, Rect{8, 0, 12, 6});
  EXPECT_TRUE(empty.SamePixels(noise)) << "a rectangle outside the bitmap";
}

TEST(Blur3x3, UsesRectangleEdgesAndNeverWritesOutside) {
  // A single bright pixel just outside the rectangle must neither change nor bleed in.
  Bitmap24 b = Solid(5, 5, Grey(0));
  b.SetPixel(0, 2, Grey(255));
  Blur3x3(b, Rect{1, 1, 4, 4});
  EXPECT_EQ(b.Pixel(0, 2), Grey(255));
  for (int32_t y = 1; y < 4; ++y)
    for (int32_t x = 1; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), Grey(0)) << x << "," << y;

  // A bright corner: outside neighbours are replaced by the nearest pixel inside, so
  // the corner counts itself 4 times, its edge neighbours 2 times, the centre once.
  Bitmap24 c = Solid(3, 3, Grey(0));
  c.SetPixel(0, 0, Grey(255));
  Blur3x3(c, AllRect);
  const uint8_t expected[3][3] = {{113, 56, 0}, {56, 28, 0}, {0, 0, 0}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(c.Pixel(x, y), Grey(expected[y][x])) << x << "," << y;
}

TEST(Blur3x3, RowsWiderThanTheInitialBuffers) {
  Bitmap24 wide = Solid(12000, 3, Grey(90));
  wide.SetPixel(11999, 1, Grey(180));
  Blur3x3(wide, AllRect);
  EXPECT_GE(RowBufferBytes(), size_t{36000});
  // The right edge duplicates the last column: (180*2 + 90*7) div 9 = 110.
  EXPECT_EQ(wide.Pixel(11999, 1), Grey(110));
  EXPECT_EQ(wide.Pixel(11998, 1), Grey(100));
}

TEST(TintRect, Percentages) {
  struct Row {
    const char* what;
    int32_t percent;
    uint8_t value;
    uint8_t expected;
  } rows[] = {
      {"100 gives exactly the colour", 100, 37, 200},
      {"50 goes half way", 50, 100, 150},
      {"-100: clamp(2v - c) below zero", -100, 60, 0},
      {"-100: clamp(2v - c) in range", -100, 220, 240},
      {"0 does nothing", 0, 37, 37},
      {"101 does nothing", 101, 37, 37},
      {"-101 does nothing", -101, 37, 37},
  };
  for (const Row& r : rows) {
    Bitmap24 b = Solid(4, 3, Grey(r.value));
    TintRect(b, Rgb(200, 200, 200), r.percent, Rect{1, 1, 3, 2});
    EXPECT_EQ(b.Pixel(1, 1), Grey(r.expected)) << r.what;
    EXPECT_EQ(b.Pixel(0, 1), Grey(r.value)) << r.what << ": outside the rectangle";
  }
  Bitmap24 channels = Solid(1, 1, ColorTriple{0, 0, 0});
  TintRect(channels, Rgb(10, 20, 30), 100, AllRect);
  EXPECT_EQ(channels.Pixel(0, 0), (ColorTriple{30, 20, 10})) << "red is the colour's low byte";
}

TEST(GrayTint, KeyToleranceAndGreyLevels) {
  const Color key = Rgb(206, 237, 220);
  Bitmap24 b = Solid(4, 1, Grey(0));
  b.SetPixel(0, 0, ColorTriple{220 + 7, 237 - 7, 206 + 7});  // within 7 everywhere
  b.SetPixel(1, 0, ColorTriple{220, 237, 206 + 8});          // 8 off in red
  b.SetPixel(2, 0, ColorTriple{30, 60, 90});                 // grey 60
  GrayTint(b, key, Rgb(100, 100, 100), 50);
  EXPECT_EQ(b.Pixel(0, 0), Grey(100)) << "key pixels take the colour exactly";
  // (220 + 237 + 214) div 3 = 223, half way to 100: 223 + (-123*50)/100 = 162.
  EXPECT_EQ(b.Pixel(1, 0), Grey(162));
  EXPECT_EQ(b.Pixel(2, 0), Grey(80));
  EXPECT_EQ(b.Pixel(3, 0), Grey(50));

  Bitmap24 untouched = Noise(5, 4);
  GrayTint(untouched, key, Rgb(100, 100, 100), 0);
  EXPECT_TRUE(untouched.SamePixels(Noise(5, 4)));
  Bitmap24 clamped = Solid(1, 1, ColorTriple{30, 60, 90});
  GrayTint(clamped, key, Rgb(100, 100, 100), 250);
  EXPECT_EQ(clamped.Pixel(0, 0), Grey(100)) << "above 100 counts as 100";
}

TEST(KeyColorMask, BlackensGlyphAndOptionallyWhitensKey) {
  const Color key = Rgb(206, 237, 220);
  const ColorTriple k = ColorToTriple(key);
  auto make = [&] {
    Bitmap24 s = Solid(3, 1, k);
    s.SetPixel(1, 0, ColorTriple{1, 2, 3});
    return s;
  };
  Bitmap24 s = make();
  ASSERT_TRUE(KeyColorMask(s, s, key, 7, true, AllRect).ok());
  EXPECT_EQ(s.Pixel(0, 0), Grey(255));
  EXPECT_EQ(s.Pixel(1, 0), Grey(0));

  Bitmap24 src = make();
  Bitmap24 dst = Solid(2, 2, Grey(77));
  ASSERT_TRUE(KeyColorMask(src, dst, key, 7, false, AllRect).ok());
  EXPECT_EQ(dst.Width(), 3);
  EXPECT_EQ(dst.Height(), 1);
  EXPECT_EQ(dst.Pixel(0, 0), Grey(77)) << "key pixels keep what the destination held";
  EXPECT_EQ(dst.Pixel(1, 0), Grey(0));

  Bitmap24 neg = make();
  ASSERT_TRUE(KeyColorMask(neg, neg, key, -1, true, AllRect).ok());
  EXPECT_TRUE(neg.SamePixels(make())) << "a negative tolerance does nothing";
}

TEST(ImageList, MaskByTransparentColourAndClippedDraw) {
  ImageList list(3, 2);
  Bitmap24 glyph = Solid(3, 2, ColorTriple{255, 0, 255});
  glyph.SetPixel(1, 0, ColorTriple{1, 2, 3});
  ASSERT_TRUE(list.AddMasked(glyph, Rgb(255, 0, 255)).ok());
  EXPECT_FALSE(list.AddMasked(Solid(4, 2, Grey(0)), Rgb(0, 0, 0)).ok()) << "wrong size";
  EXPECT_EQ(list.Count(), 1);
  EXPECT_TRUE(list.IsTransparent(0, 0, 0));
  EXPECT_FALSE(list.IsTransparent(0, 1, 0));

  Bitmap24 dest = Solid(2, 2, Grey(9));
  list.Draw(0, dest, 0, 0);
  EXPECT_EQ(dest.Pixel(0, 0), Grey(9));
  EXPECT_EQ(dest.Pixel(1, 0), (ColorTriple{1, 2, 3}));
  list.Draw(0, dest, -1, 1);  // the opaque pixel lands on (0, 1)
  EXPECT_EQ(dest.Pixel(0, 1), (ColorTriple{1, 2, 3}));
  list.Draw(0, dest, INT32_MAX, INT32_MAX);
  list.Draw(5, dest, 0, 0);
}

ImageList OneGlyph() {
  // A 4x3 glyph: one opaque dark pixel at (1, 1) over the magenta mask colour.
  ImageList list(4, 3);
  Bitmap24 g = Solid(4, 3, ColorTriple{255, 0, 255});
  g.SetPixel(1, 1, ColorTriple{40, 40, 40});
  EXPECT_TRUE(list.AddMasked(g, Rgb(255, 0, 255)).ok());
  return list;
}

TEST(BuildDisabledImages, GreysGlyphsOverTheBackColour) {
  const Color back = Rgb(240, 240, 240);
  auto list = BuildDisabledImages(OneGlyph(), back, 50);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->Count(), 1);
  EXPECT_TRUE(list->IsTransparent(0, 0, 0)) << "the background became the back colour";
  EXPECT_EQ(list->Image(0).Pixel(1, 1), Grey(140)) << "40 half way to 240";
  EXPECT_FALSE(list->IsTransparent(0, 1, 1));

  auto none = BuildDisabledImages(OneGlyph(), back, 0);
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->Image(0).Pixel(0, 0), ColorToTriple(KeyColor));
  EXPECT_FALSE(none->IsTransparent(0, 0, 0)) << "key colour stays opaque when nothing is tinted";

  auto empty = BuildDisabledImages(ImageList(39, 34), back, 50);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->Count(), 0);
  EXPECT_EQ(empty->Width(), 39);
  EXPECT_EQ(empty->Height(), 34);
}

TEST(BuildShadowedImages, SoftShadowRightAndBelow) {
  const Color back = Rgb(240, 240, 240);
  auto list = BuildShadowedImages(OneGlyph(), back, 33);
  ASSERT_TRUE(list.has_value());
  const Bitmap24& img = list->Image(0);
  EXPECT_EQ(img.Pixel(1, 1), Grey(40)) << "the glyph itself is drawn over its shadow";
  // The mask's black pixel sits at (2, 2) of the mask; blurred, it is 255*8/9 = 226
  // around and 226 at its centre. At (2, 2) of the image: w = (29*33)/255 = 3,
  // 240 - 240*3/100 = 233.
  EXPECT_EQ(img.Pixel(2, 2), Grey(233));
  EXPECT_FALSE(list->IsTransparent(0, 2, 2));
  EXPECT_EQ(img.Pixel(0, 0), Grey(240));
  EXPECT_TRUE(list->IsTransparent(0, 0, 0)) << "untouched pixels are exactly the back colour";

  EXPECT_FALSE(BuildShadowedImages(OneGlyph(), back, -1).has_value());
  EXPECT_FALSE(BuildShadowedImages(OneGlyph(), back, 101).has_value());
  auto empty = BuildShadowedImages(ImageList(39, 34), back, 33);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->Count(), 0);
}

}  // namespace
}  // namespace kestal
