#include <gtest/gtest.h>

#include <algorithm>

#include "bitmap/bitmap24.h"
#include "bitmap/color_math.h"
#include "support/test_support.h"

namespace kestal {
namespace {

TEST(Bitmap24, FactoryChecksSizesBeforeAllocating) {
  struct Row {
    const char* description;
    int64_t w, h;
    bool ok;
  } rows[] = {
      {"an empty bitmap is valid", 0, 0, true},
      {"zero rows are valid (an empty reflection)", 640, 0, true},
      {"the largest side", 30000, 3000, true},
      {"one pixel too wide", 30001, 1, false},
      {"over 100 megapixels", 20000, 5001, false},
      {"negative", -1, 5, false},
      {"absurd header values", 100000, 100000, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(CheckPixelSize(r.w, r.h).ok(), r.ok) << r.description;
  }
  const PixelLimits small{100, 1000};
  EXPECT_FALSE(Bitmap24::Create(50, 21, small).ok()) << "limits are parameters";
  EXPECT_TRUE(Bitmap24::Create(50, 20, small).ok());
  EXPECT_FALSE(Bitmap24::CreateUninitialized(50, 21, small).ok()) << "the unfilled factory checks the same";
  EXPECT_FALSE(Bitmap24::CreateUninitialized(-1, 5).ok());
}

TEST(Bitmap24, RowsArePaddedToFourBytesAndStartBlack) {
  auto b = Bitmap24::Create(401, 3);
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(b->Stride(), 1204u);
  for (int32_t y = 0; y < 3; ++y)
    for (size_t i = 0; i < b->Stride(); ++i) ASSERT_EQ(b->Row(y)[i], 0);
  // Small and large (a memory mapping of its own) bitmaps: black, padding zero, and a
  // clone of a drawn one equal to it.
  for (int32_t w : {401, 1601}) {
    auto big = Bitmap24::Create(w, 1800);
    ASSERT_TRUE(big.ok());
    EXPECT_TRUE(std::all_of(big->Data(), big->Data() + big->SizeBytes(), [](uint8_t v) { return v == 0; })) << w;
    auto u = Bitmap24::CreateUninitialized(w, 1800);  // pixels unset, padding still zero
    ASSERT_TRUE(u.ok());
    for (int32_t y = 0; y < 1800; ++y)
      for (size_t i = size_t(w) * 3; i < u->Stride(); ++i) ASSERT_EQ(u->Row(y)[i], 0) << w;
    big->Fill(ColorTriple{1, 2, 3});
    auto copy = big->Clone();
    ASSERT_TRUE(copy.ok());
    EXPECT_TRUE(copy->SamePixels(*big)) << w;
  }
}

TEST(Bitmap24, DrawClipsToTheDestinationAndLeavesPaddingAlone) {
  Bitmap24 src = test::Gradient(5, 4);
  auto dst = Bitmap24::Create(6, 6);
  dst->Draw(src, 3, 4);  // only a 3 × 2 corner fits
  EXPECT_EQ(dst->Pixel(3, 4), src.Pixel(0, 0));
  EXPECT_EQ(dst->Pixel(5, 5), src.Pixel(2, 1));
  EXPECT_EQ(dst->Pixel(2, 4), (ColorTriple{0, 0, 0}));
  EXPECT_EQ(dst->Row(5)[18], 0) << "padding byte";
  dst->Draw(src, -4, -3);  // the bottom-right pixel lands at (0, 0)
  EXPECT_EQ(dst->Pixel(0, 0), src.Pixel(4, 3));
}

TEST(Bitmap24, CloneIsIndependent) {
  Bitmap24 a = test::Gradient(7, 3);
  auto b = a.Clone();
  ASSERT_TRUE(b.ok());
  EXPECT_TRUE(a.SamePixels(*b));
  b->SetPixel(0, 0, ColorTriple{9, 9, 9});
  EXPECT_FALSE(a.SamePixels(*b));
}

TEST(RectUtils, WidthHeightAndNormalisation) {
  EXPECT_EQ(RectWidth(Rect{10, 0, 4, 0}), 6);
  EXPECT_EQ(RectHeight(Rect{0, 9, 0, 2}), 7);
  EXPECT_EQ(PointsToRect(5, 9, 2, 1), (Rect{2, 1, 5, 9}));
  EXPECT_TRUE(IsRectEmpty(PointsToRect(3, 3, 3, 8)));
  const Rect reversed{30, 20, 10, 5};
  EXPECT_EQ(NormalizedRect(reversed), (Rect{10, 5, 30, 20}));
  EXPECT_EQ(reversed, (Rect{30, 20, 10, 5})) << "the argument is not changed";
  EXPECT_EQ(RectWidth(Rect{INT32_MIN, 0, INT32_MAX, 0}), int64_t{UINT32_MAX}) << "no overflow";
}

TEST(BmpCouleurs, ClipRectToBitmap) {
  auto b = Bitmap24::Create(39, 34);
  struct Row {
    const char* description;
    Rect in, out;
  } rows[] = {
      {"the whole-bitmap rectangle", AllRect, {0, 0, 39, 34}},
      {"a reversed rectangle is normalised", {30, 20, 10, 5}, {10, 5, 30, 20}},
      {"wholly outside gives all zero", {50, 50, 60, 60}, {0, 0, 0, 0}},
      {"touching the edge only gives all zero", {39, 0, 45, 10}, {0, 0, 0, 0}},
  };
  for (const Row& r : rows) {
    Rect rect = r.in;
    ClipRectToBitmap(rect, *b);
    EXPECT_EQ(rect, r.out) << r.description;
  }
}

TEST(BmpCouleurs, ColorsNearResolvesAndComparesEachChannel) {
  ResetSystemColors();
  EXPECT_TRUE(ColorsNear(Rgb(10, 20, 30), Rgb(10, 20, 30), 0));
  EXPECT_FALSE(ColorsNear(Rgb(10, 20, 30), Rgb(10, 20, 31), 0));
  EXPECT_FALSE(ColorsNear(Rgb(10, 20, 30), Rgb(10, 20, 30), -1)) << "negative tolerance never holds";
  EXPECT_TRUE(ColorsNear(Rgb(206, 237, 220), Rgb(213, 230, 227), 7));
  EXPECT_FALSE(ColorsNear(Rgb(206, 237, 220), Rgb(214, 237, 220), 7));
  SetSystemColorValue(kColorBtnFace, Rgb(1, 2, 3));
  EXPECT_TRUE(ColorsNear(SystemColor(kColorBtnFace), Rgb(1, 2, 3), 0));
  ResetSystemColors();
}

TEST(BmpCouleurs, MixColors) {
  ResetSystemColors();
  const Color black = Rgb(0, 0, 0), white = Rgb(255, 255, 255);
  EXPECT_EQ(MixColors(black, white, 33), Rgb(84, 84, 84));
  EXPECT_EQ(MixColors(white, black, 33), Rgb(171, 171, 171)) << "truncates toward zero";
  const Color face = SystemColor(kColorBtnFace);
  EXPECT_EQ(MixColors(face, white, 0), face) << "unresolved below 1";
  EXPECT_EQ(MixColors(face, white, 101), face) << "unresolved above 100";
  SetSystemColorValue(kColorHighlight, Rgb(0, 120, 215));
  EXPECT_EQ(MixColors(white, SystemColor(kColorHighlight), 100), Rgb(0, 120, 215));
  ResetSystemColors();
}

}  // namespace
}  // namespace kestal
