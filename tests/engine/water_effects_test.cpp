#include "render/water_effects.h"

#include <gtest/gtest.h>

#include <cmath>

#include "export/export_driver.h"
#include "export/html_test_page.h"
#include "render/animation_model.h"
#include "render/wave_render.h"
#include "support/test_support.h"

namespace kestal {
namespace {

Bitmap24 Flat(int w, int h, ColorTriple c) {
  auto b = Bitmap24::Create(w, h);
  b->Fill(c);
  return std::move(b.value());
}

// A photo whose top-left pixel is not black, so rows filled from the background row
// are told apart from untouched memory.
Bitmap24 Pattern(int w, int h) {
  auto b = Bitmap24::Create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixel(x, y, ColorTriple{uint8_t(x * 7 + 11), uint8_t(y * 3), uint8_t(x + y)});
  return std::move(b.value());
}

uint64_t HashFrames(AnimationModel& m, int frames) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the pixel bytes of every frame
  for (int f = 0; f < frames; ++f) {
    m.NextFrame();
    const Bitmap24& p = m.PaneBitmap();
    for (int y = 0; y < p.Height(); ++y)
      for (int x = 0; x < p.Width() * 3; ++x) h = (h ^ p.Row(y)[x]) * 1099511628211ull;
  }
  return h;
}

WaterSettings With(void (*change)(WaterSettings&)) {
  WaterSettings w;
  change(w);
  return w;
}

TEST(WaterEffects, SettingsThatChangeNothingGiveTheDesignedFramesByteForByte) {
  // Hashes of five frames each, recorded from the renderer before the water settings
  // existed.
  struct Case {
    int w, h, pct;
    WaveMode mode;
    WaveLength wave;
    uint64_t hash;
  } cases[] = {{37, 61, 90, WaveMode::Perspective, WaveLength::Medium, 0x24e1a291f092b15aull},
               {37, 61, 100, WaveMode::Regular, WaveLength::Short, 0x1b694b8331f52950ull},
               {20, 120, 30, WaveMode::Regular, WaveLength::Long, 0xca369b675d1387abull},
               {9, 1, 100, WaveMode::Perspective, WaveLength::Medium, 0x221d2c89facae0fcull}};
  struct Row {
    const char* what;
    WaterSettings water;
  } rows[] = {
      {"defaults", WaterSettings{}},
      {"a tint colour at 0 %", With([](WaterSettings& w) { w.tintColor = Rgb(255, 0, 0); })},
      {"the line at 100 %", With([](WaterSettings& w) { w.line = {100, WaterLine::Unit::Percent}; })},
      {"a smooth fade to the tint at 0 %",
       With([](WaterSettings& w) { w.fadeCurve = FadeCurve::Smooth, w.fadeTarget = FadeTarget::Tint; })},
      {"strength 100 %", With([](WaterSettings& w) { w.strengthPercent = 100; })},
  };
  for (const Row& row : rows) {
    for (const Case& c : cases) {
      AnimationModel m;
      m.SetMode(c.mode);
      m.SetWaveLength(c.wave);
      ASSERT_TRUE(m.SetPercent(c.pct).ok());
      ASSERT_TRUE(m.SetWater(row.water).ok());
      ASSERT_TRUE(m.SetPhoto(Pattern(c.w, c.h)).ok());
      EXPECT_EQ(HashFrames(m, 5), c.hash) << row.what << ", " << c.w << " x " << c.h << " at " << c.pct;
    }
  }
  // The bottom row as a row number is the same line.
  AnimationModel m;
  ASSERT_TRUE(m.SetWater(With([](WaterSettings& w) { w.line = {61, WaterLine::Unit::Rows}; })).ok());
  ASSERT_TRUE(m.SetPhoto(Pattern(37, 61)).ok());
  EXPECT_EQ(HashFrames(m, 5), cases[0].hash);
}

TEST(WaterEffects, TintAndFadeWorkedValues) {
  // 50 % red on grey 128: each channel moves half way, truncated (128 + 127 / 2).
  WaterSettings tint;
  tint.tintColor = Rgb(255, 0, 0);
  tint.tintPercent = 50;
  auto mirror = MakeWaterMirror(Flat(3, 2, {128, 128, 128}), 2, 2, tint);
  ASSERT_TRUE(mirror.ok());
  EXPECT_EQ(mirror->Pixel(2, 1), (ColorTriple{64, 64, 191}));

  struct Row {
    const char* what;
    int percent;
    FadeCurve curve;
    int row;
    uint8_t expected;  // grey 200 faded to black over 5 reflection rows
  } rows[] = {
      {"linear, water line", 100, FadeCurve::Linear, 0, 200},
      {"linear, middle", 100, FadeCurve::Linear, 2, 100},
      {"linear, last row reaches the value", 100, FadeCurve::Linear, 4, 0},
      {"linear, rows below the reflection keep the last value", 60, FadeCurve::Linear, 6, 80},
      {"smooth, first quarter eases in (t = 0.25: 0.156)", 100, FadeCurve::Smooth, 1, 169},
      {"smooth, middle", 60, FadeCurve::Smooth, 2, 140},
      {"smooth, last row", 60, FadeCurve::Smooth, 4, 80},
  };
  for (const Row& r : rows) {
    Bitmap24 b = Flat(2, 8, {200, 200, 200});
    FadeRows(b, 5, r.percent, r.curve, Rgb(0, 0, 0));
    EXPECT_EQ(b.Pixel(1, r.row), (ColorTriple{r.expected, r.expected, r.expected})) << r.what;
  }

  // Fading to the tint colour: the last row is the tint colour at 100 %.
  WaterSettings toTint;
  toTint.tintColor = Rgb(10, 20, 30);
  toTint.fadePercent = 100;
  toTint.fadeTarget = FadeTarget::Tint;
  auto faded = MakeWaterMirror(Flat(2, 4, {200, 200, 200}), 4, 4, toTint);
  EXPECT_EQ(faded->Pixel(0, 3), (ColorTriple{30, 20, 10}));
  EXPECT_EQ(faded->Pixel(0, 0), (ColorTriple{200, 200, 200}));
}

TEST(WaterEffects, BlurIsATentAndKeepsFlatAreas) {
  // A vertical edge: two passes of a 3-pixel box give the tent 1 2 3 2 1 / 9, each
  // pass rounding to the nearest value.
  auto edge = Bitmap24::Create(8, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 4; x < 8; ++x) edge->SetPixel(x, y, {255, 255, 255});
  ASSERT_TRUE(BlurBitmap(*edge, 1).ok());
  const uint8_t expected[8] = {0, 0, 28, 85, 170, 227, 255, 255};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(edge->Pixel(x, y).red, expected[x]) << x << ", " << y;

  Bitmap24 flat = Flat(5, 4, {9, 99, 199});
  ASSERT_TRUE(BlurBitmap(flat, kMaxBlurRadius).ok()) << "a radius wider than the picture repeats its edges";
  EXPECT_TRUE(flat.SamePixels(Flat(5, 4, {9, 99, 199})));
}

TEST(WaterEffects, WaterLineKeepsThePhotoAboveAndMirrorsIt) {
  const Bitmap24 photo = test::Gradient(6, 20);
  WaterSettings still;
  still.line = {12, WaterLine::Unit::Rows};
  still.strengthPercent = 0;
  AnimationModel m;
  ASSERT_TRUE(m.SetPercent(50).ok());
  ASSERT_TRUE(m.SetWater(still).ok());
  auto copy = photo.Clone();
  ASSERT_TRUE(m.SetPhoto(std::move(copy.value())).ok());
  EXPECT_EQ(m.WaterLineRow(), 12);
  EXPECT_EQ(m.PaneBitmap().Height(), 6) << "the height percentage applies to the 12 rows above the line";

  auto composer = FrameComposer::Create(m, Composition::PhotoAndReflection);
  ASSERT_TRUE(composer.ok());
  composer->NextFrame(m);
  const Bitmap24& out = composer->Output();
  EXPECT_EQ(out.Height(), 18);
  EXPECT_EQ(composer->Y0(), 12);
  for (int y = 0; y < 12; ++y) EXPECT_EQ(out.Pixel(3, y), photo.Pixel(3, y)) << "row " << y << " above the line";
  for (int y = 12; y < 18; ++y)
    EXPECT_EQ(out.Pixel(3, y), photo.Pixel(3, 23 - y)) << "row " << y << " mirrors row " << 23 - y;

  // A percentage resolves like the reflection height: 55 % of 20 rows is row 11.
  still.line = {55, WaterLine::Unit::Percent};
  ASSERT_TRUE(m.SetWater(still).ok());
  EXPECT_EQ(m.WaterLineRow(), 11);
}

TEST(WaterEffects, LinesOutsideThePhotoAreRefusedAndChangeNothing) {
  struct Row {
    WaterLine line;
    int photoHeight;
    const char* cause;
  } rows[] = {
      {{0, WaterLine::Unit::Rows}, 10, "the water line (row 0) is at the photo's top row: there is nothing above it to reflect"},
      {{4, WaterLine::Unit::Percent}, 10, "the water line (4 % of 10 rows) is at the photo's top row: there is nothing above it to reflect"},
      {{11, WaterLine::Unit::Rows}, 10, "the water line (row 11) is below the photo's bottom edge (row 10)"},
      {{1, WaterLine::Unit::Percent}, 1, "the water line (1 % of 1 row) is at the photo's top row: there is nothing above it to reflect"},
  };
  for (const Row& r : rows) {
    auto row = WaterLineRow(r.line, r.photoHeight);
    ASSERT_FALSE(row.ok());
    EXPECT_EQ(row.error().cause, r.cause);
    EXPECT_EQ(FitWaterLine(r.line, r.photoHeight).value, r.line.value == 11 ? 10 : 1);
  }
  AnimationModel m;
  ASSERT_TRUE(m.SetPhoto(test::Gradient(4, 10)).ok());
  WaterSettings w;
  w.line = {11, WaterLine::Unit::Rows};
  EXPECT_EQ(m.SetWater(w).error().kind, ErrorKind::OverLimit);
  EXPECT_EQ(m.WaterLineRow(), 10);
  EXPECT_EQ(m.Water(), WaterSettings{});
  w.line = {8, WaterLine::Unit::Rows};
  ASSERT_TRUE(m.SetWater(w).ok());
  ASSERT_TRUE(m.SetPhoto(test::Gradient(4, 3)).ok());
  EXPECT_EQ(m.WaterLineRow(), 3) << "a new photo above the line brings the line to its bottom edge";
}

TEST(WaterEffects, OutOfRangeValuesNameTheControlAndRange) {
  WaterSettings w;
  w.blurRadius = 11;
  EXPECT_EQ(CheckWaterSettings(w).error().cause, "the blur 11 px is outside 0..10 px");
  w = WaterSettings{};
  w.line = {0, WaterLine::Unit::Percent};
  EXPECT_EQ(CheckWaterSettings(w).error().cause, "the water line 0 % is outside 1..100 %");
}

TEST(WaterEffects, StrengthZeroIsTheStillMirror) {
  AnimationModel m;
  ASSERT_TRUE(m.SetPercent(100).ok());
  ASSERT_TRUE(m.SetPhoto(test::Gradient(5, 64)).ok());
  auto still = m.PaneBitmap().Clone();
  WaterSettings w;
  w.strengthPercent = 0;
  ASSERT_TRUE(m.SetWater(w).ok());
  for (WaveMode mode : {WaveMode::Perspective, WaveMode::Regular}) {
    m.SetMode(mode);
    for (int f = 0; f < 5; ++f) {
      m.NextFrame();
      EXPECT_TRUE(m.PaneBitmap().SamePixels(*still)) << "strength 0 is the still mirror, frame " << f;
    }
  }
}

TEST(WaterEffects, BackgroundRowsTakeTheWatersColourAndEdgesStaySafe) {
  // Rows past the mirror's end show the background colour after tint and fade, so the
  // bottom of a darkened reflection is not a band of the undarkened sky.
  Bitmap24 photo = Flat(4, 40, {255, 0, 0});
  AnimationModel m;
  ASSERT_TRUE(m.SetPercent(100).ok());
  WaterSettings w;
  w.fadePercent = 100;
  ASSERT_TRUE(m.SetWater(w).ok());
  ASSERT_TRUE(m.SetPhoto(std::move(photo)).ok());
  m.NextFrame();
  EXPECT_EQ(m.PaneBitmap().Pixel(1, 39), (ColorTriple{0, 0, 0}));
  EXPECT_EQ(WaterBackground(Rgb(0, 0, 255), w), Rgb(0, 0, 0));

  // A one-row photo with every effect on: the line can only be its bottom edge.
  WaterSettings all;
  all.tintPercent = 40;
  all.fadePercent = 100;
  all.blurRadius = kMaxBlurRadius;
  all.strengthPercent = kMaxStrengthPercent;
  AnimationModel one;
  ASSERT_TRUE(one.SetPercent(100).ok());
  ASSERT_TRUE(one.SetWater(all).ok());
  ASSERT_TRUE(one.SetPhoto(Flat(3, 1, {200, 200, 200})).ok());
  one.NextFrame();
  EXPECT_EQ(one.PaneBitmap().Height(), 1);
  EXPECT_EQ(one.PaneBitmap().Pixel(0, 0), (ColorTriple{0, 0, 0})) << "its only row is the last row";
}

TEST(WaterEffects, ChangesKeepTheFrameOnShowUnlessTheLineMoves) {
  AnimationModel m;
  ASSERT_TRUE(m.SetPhoto(test::Gradient(6, 30)).ok());
  m.NextFrame();
  m.NextFrame();
  WaterSettings w;
  w.strengthPercent = 150;
  ASSERT_TRUE(m.SetWater(w).ok());
  EXPECT_EQ(m.FrameIndex(), 1);
  w.tintPercent = 30;
  ASSERT_TRUE(m.SetWater(w).ok());
  EXPECT_EQ(m.FrameIndex(), 1) << "the tint shows in the same frame";
  auto expected = Bitmap24::Create(6, m.PaneBitmap().Height());
  RenderPerspectiveWave(m.MirrorBitmap(), *expected, 1, 5, WaterBackground(m.BackgroundColor(), w), 150);
  EXPECT_TRUE(m.PaneBitmap().SamePixels(*expected));
  w.line = {20, WaterLine::Unit::Rows};
  ASSERT_TRUE(m.SetWater(w).ok());
  EXPECT_EQ(m.FrameIndex(), -1);
  EXPECT_EQ(m.PaneBitmap().Height(), 18);
}

TEST(WaterEffects, TestPageShowsThePhotoDownToTheWaterLine) {
  // Above a reflection-only GIF, the page shows the photo's rows above the line only.
  const std::string cropped = HtmlTestPageText("/t/r.gif", 8, 5, false, HtmlPhoto{"/t/p.png", 8, 9, 6});
  EXPECT_NE(cropped.find("<div style=\"height:6px;overflow:hidden\"><img src=\"file:///t/p.png\" width=\"8\" "
                         "height=\"9\"></div>\r\n<img src=\"file:///t/r.gif\""),
            std::string::npos)
      << cropped;
  EXPECT_EQ(HtmlTestPageText("/t/r.gif", 8, 5, false, HtmlPhoto{"/t/p.png", 8, 9, 9}),
            HtmlTestPageText("/t/r.gif", 8, 5, false, HtmlPhoto{"/t/p.png", 8, 9}))
      << "the line at the bottom edge keeps the page as it was";
}

}  // namespace
}  // namespace kestal

namespace kestal {
namespace {

// The blur by its definition: each pass averages 2r + 1 pixels, indices clamped to the
// picture, rounded to the nearest value; across, then down, twice.
Bitmap24 ReferenceBlur(const Bitmap24& in, int r) {
  Bitmap24 b = in.Clone().value();
  const int n = 2 * r + 1;
  for (int pass = 0; pass < 2; ++pass) {
    for (int across = 1; across >= 0; --across) {
      Bitmap24 from = b.Clone().value();
      for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
          for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (int k = -r; k <= r; ++k) {
              const int px = across ? std::clamp(x + k, 0, b.Width() - 1) : x;
              const int py = across ? y : std::clamp(y + k, 0, b.Height() - 1);
              sum += from.Row(py)[3 * px + c];
            }
            b.Row(y)[3 * x + c] = static_cast<uint8_t>((sum + n / 2) / n);
          }
    }
  }
  return b;
}

TEST(WaterEffects, BlurMatchesItsDefinitionAtEveryRadiusAndSize) {
  for (auto [w, h] : {std::pair{1, 1}, {2, 7}, {5, 3}, {37, 23}}) {
    const Bitmap24 photo = test::Noise(w, h, w * 31 + h);
    for (int r = 1; r <= kMaxBlurRadius; ++r) {
      Bitmap24 blurred = photo.Clone().value();
      ASSERT_TRUE(BlurBitmap(blurred, r).ok());
      EXPECT_TRUE(blurred.SamePixels(ReferenceBlur(photo, r))) << w << "x" << h << " radius " << r;
    }
  }
}

TEST(WaterEffects, PreviewIsThePaneAtScaleOneAndSmallerBelow) {
  WaterSettings w;
  w.tintPercent = 35;
  w.fadePercent = 60;
  w.fadeCurve = FadeCurve::Smooth;
  w.blurRadius = 4;
  for (const WaterLine line : {WaterLine{}, WaterLine{29, WaterLine::Unit::Rows}}) {
    w.line = line;
    AnimationModel m;
    ASSERT_TRUE(m.SetPercent(70).ok());
    ASSERT_TRUE(m.SetPhoto(test::Noise(48, 40, 5)).ok());
    ASSERT_TRUE(m.SetWater(w).ok());
    auto preview = PreviewWaterPane(m.Photo(), 70, w, 1.0);
    ASSERT_TRUE(preview.ok());
    EXPECT_TRUE(preview->SamePixels(m.PaneBitmap())) << "line " << line.value;

    // Half the size: the photo's rows above the line sampled down, the effects there.
    auto half = PreviewWaterPane(m.Photo(), 70, w, 0.5);
    ASSERT_TRUE(half.ok());
    const int rows = (m.WaterLineRow() + 1) / 2;
    EXPECT_EQ(half->Width(), 24);
    EXPECT_EQ(half->Height(), ReflectionHeight(rows, 70));
  }
  WaterSettings low;
  low.line = {41, WaterLine::Unit::Rows};
  EXPECT_FALSE(PreviewWaterPane(test::Noise(4, 40, 1), 90, low, 0.5).ok()) << "a line below the photo";
}

}  // namespace
}  // namespace kestal
