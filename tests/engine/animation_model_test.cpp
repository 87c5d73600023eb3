#include "render/animation_model.h"

#include <gtest/gtest.h>

#include "render/wave_render.h"
#include "support/test_support.h"

namespace kestal {
namespace {

TEST(AnimationModel, ReflectionHeightRoundsHalvesToEven) {
  struct Row {
    int h, pct, expected;
  } rows[] = {{480, 90, 432}, {5, 90, 4}, {7, 50, 4}, {1, 30, 0}, {100, 30, 30},
              {100, 100, 100}, {15, 30, 4} /* 4.5 */, {25, 30, 8} /* 7.5 */, {3, 50, 2} /* 1.5 */};
  for (const Row& r : rows) EXPECT_EQ(ReflectionHeight(r.h, r.pct), r.expected) << r.h << " at " << r.pct;
}

TEST(AnimationModel, OpeningAPhotoBuildsTheMirrorAndTheStillPane) {
  AnimationModel m;
  ASSERT_TRUE(m.SetPhoto(test::Gradient(64, 48)).ok());
  const Bitmap24& photo = m.Photo();
  const Bitmap24& mirror = m.MirrorBitmap();
  for (int i = 0; i < 48; ++i) EXPECT_EQ(mirror.Pixel(5, i), photo.Pixel(5, 47 - i));
  EXPECT_EQ(m.PaneBitmap().Width(), 64);
  EXPECT_EQ(m.PaneBitmap().Height(), 43);  // 48 × 90 / 100 = 43.2
  EXPECT_EQ(m.PaneBitmap().Pixel(0, 0), photo.Pixel(0, 47)) << "the pane's top row is the photo's bottom row";
  EXPECT_EQ(m.FrameIndex(), -1);

  ASSERT_TRUE(m.SetPercent(100).ok());
  EXPECT_EQ(m.PaneBitmap().Pixel(3, 47), photo.Pixel(3, 0)) << "at 100 % the last pane row is the top row";
  ASSERT_TRUE(m.SetPercent(30).ok());
  EXPECT_EQ(m.PaneBitmap().Height(), 14);
}

TEST(AnimationModel, OnePixelHighPhotoAtThirtyPercentHasAnEmptyPane) {
  AnimationModel m;
  ASSERT_TRUE(m.SetPercent(30).ok());
  ASSERT_TRUE(m.SetPhoto(test::Gradient(200, 1)).ok());
  EXPECT_EQ(m.PaneBitmap().Height(), 0);
  m.NextFrame();  // renders nothing, and must not fail
  EXPECT_EQ(m.FrameIndex(), 0);
}

TEST(AnimationModel, FramesCycleAndChangesRestartAtFrameZero) {
  AnimationModel m;
  ASSERT_TRUE(m.SetPhoto(test::Gradient(8, 8)).ok());
  m.SetFrameCount(2);
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    m.NextFrame();
    seen.push_back(m.FrameIndex());
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 0, 1}));

  m.SetFrameCount(10);
  for (int i = 0; i < 8; ++i) m.NextFrame();
  EXPECT_EQ(m.FrameIndex(), 7);
  m.SetFrameCount(3);
  m.NextFrame();
  EXPECT_EQ(m.FrameIndex(), 0) << "lowering the count restarts the cycle";

  m.NextFrame();
  ASSERT_TRUE(m.SetPercent(50).ok());
  EXPECT_EQ(m.FrameIndex(), -1) << "a new layout restarts the cycle";
}

TEST(AnimationModel, NextFrameRendersTheChosenModeWithThePhotosTopLeftColour) {
  AnimationModel m;
  Bitmap24 photo = test::Gradient(16, 40);
  photo.SetPixel(0, 0, ColorTriple{255, 0, 0});  // pure blue
  ASSERT_TRUE(m.SetPercent(100).ok());
  ASSERT_TRUE(m.SetPhoto(std::move(photo)).ok());
  EXPECT_EQ(m.BackgroundColor(), Rgb(0, 0, 255));

  m.NextFrame();
  auto expected = Bitmap24::Create(16, 40);
  RenderPerspectiveWave(m.MirrorBitmap(), expected.value(), 0, 5, Rgb(0, 0, 255));
  EXPECT_TRUE(m.PaneBitmap().SamePixels(*expected));
  EXPECT_EQ(m.PaneBitmap().Pixel(4, 39), (ColorTriple{255, 0, 0})) << "rows past the mirror are blue";

  m.SetMode(WaveMode::Regular);
  m.SetWaveLength(WaveLength::Long);
  m.NextFrame();
  RenderRegularWave(m.MirrorBitmap(), expected.value(), 1, 5, WaveLength::Long, Rgb(0, 0, 255));
  EXPECT_TRUE(m.PaneBitmap().SamePixels(*expected));
}

}  // namespace
}  // namespace kestal
