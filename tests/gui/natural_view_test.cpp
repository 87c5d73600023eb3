// Natural water for a reduced view: its frames look like the full-size frames reduced,
// and the designed modes' tick is the model's own.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "export/scale.h"
#include "gui/natural_view.h"
#include "imageio/image_files.h"
#include "support/gui_support.h"
#include "support/test_support.h"

namespace kestal {
namespace {

double Psnr(const Bitmap24& a, const Bitmap24& b) {
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  double sum = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width() * 3; ++x) {
      const double d = double(a.Row(y)[x]) - double(b.Row(y)[x]);
      sum += d * d;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The bundled photo enlarged three times (each pixel a 3 × 3 block), so that the
// reduced views are still a few hundred pixels wide.
AnimationModel PhotoModel(const NaturalWaterSettings& water) {
  const Bitmap24 photo = LoadImageFile(test::DefaultPhoto().string()).value();
  Bitmap24 big = Bitmap24::Create(photo.Width() * 3, photo.Height() * 3).value();
  for (int32_t y = 0; y < big.Height(); ++y)
    for (int32_t x = 0; x < big.Width(); ++x) big.SetPixel(x, y, photo.Pixel(x / 3, y / 3));
  AnimationModel model;
  EXPECT_TRUE(model.SetPhoto(std::move(big)).ok());
  model.SetMode(WaveMode::Natural);
  model.SetNaturalWater(water);
  model.SetFrameCount(8);
  return model;
}

// About a dB under the lowest agreement measured (30.3 dB, the breezy rain at a
// quarter; 34 dB at fit zoom, 38 to 40 dB at half size and more).
constexpr double kPsnrFloor = 29;

TEST(NaturalView, ReducedFramesAgreeWithTheFullFramesReduced) {
  struct Case {
    const char* name;
    NaturalWaterSettings water;
    double zoom;
  };
  const Case cases[] = {
      {"default at fit zoom", {}, 0.13},
      {"calm at half size", {0, 0, 0, true}, 0.5},
      {"breezy rain across at a quarter", {100, 60, 100, true}, 0.25},
      {"no glints at 90 %", {40, -30, 30, false}, 0.9},
  };
  for (const Case& c : cases) {
    AnimationModel model = PhotoModel(c.water);
    NaturalView view;
    for (int tick = 0; tick < 3; ++tick) {
      const Bitmap24& shown = view.Tick(model, c.zoom);
      ASSERT_NE(&shown, &model.PaneBitmap()) << c.name;
      EXPECT_EQ(shown.Width(), std::lround(model.PaneBitmap().Width() * c.zoom)) << c.name;
      model.RenderFrame();
      const Bitmap24 reduced = ScaleDown(model.PaneBitmap(), shown.Width(), shown.Height()).value();
      const double agreement = Psnr(shown, reduced);
      EXPECT_GT(agreement, kPsnrFloor) << c.name << ", frame " << model.FrameIndex();
      if (c.water.wind > 0) {
        // The frame it stands for agrees better than the next one.
        AnimationModel other = PhotoModel(c.water);
        for (int i = 0; i <= model.FrameIndex() + 1; ++i) other.NextFrame();
        const Bitmap24 off = ScaleDown(other.PaneBitmap(), shown.Width(), shown.Height()).value();
        EXPECT_LT(Psnr(shown, off), agreement) << c.name << ", frame " << model.FrameIndex();
      }
    }
  }
}

TEST(NaturalView, TheDesignedModesTickInTheModel) {
  for (WaveMode mode : {WaveMode::Perspective, WaveMode::Regular}) {
    AnimationModel model = PhotoModel({});
    AnimationModel plain = PhotoModel({});
    model.SetMode(mode);
    plain.SetMode(mode);
    NaturalView view;
    for (int tick = 0; tick < 3; ++tick) {
      const Bitmap24& shown = view.Tick(model, 0.25);
      plain.NextFrame();
      EXPECT_EQ(&shown, &model.PaneBitmap());
      EXPECT_TRUE(shown.SamePixels(plain.PaneBitmap())) << "mode " << int(mode) << ", tick " << tick;
    }
  }
}

// Back at 100 % the model's pane shows the frame the reduced view was on.
TEST(NaturalView, FullSizeCatchesUpWithTheReducedView) {
  AnimationModel model = PhotoModel({});
  AnimationModel plain = PhotoModel({});
  NaturalView view;
  for (int tick = 0; tick < 3; ++tick) {
    view.Tick(model, 0.5);
    plain.NextFrame();
  }
  const Bitmap24& shown = view.Show(model, 1.0);
  EXPECT_EQ(&shown, &model.PaneBitmap());
  EXPECT_TRUE(shown.SamePixels(plain.PaneBitmap()));
}

// At 100 % and more the rows on view are rendered, the frame's own bytes, and rows
// scrolled into view later come as the same frame's.
TEST(NaturalView, ZoomedInRendersTheRowsOnView) {
  AnimationModel model = PhotoModel({70, 20, 50, true});
  AnimationModel plain = PhotoModel({70, 20, 50, true});
  NaturalView view;
  const auto sameRows = [&](int32_t from, int32_t to) {
    for (int32_t y = from; y < to; ++y)
      if (std::memcmp(model.PaneBitmap().Row(y), plain.PaneBitmap().Row(y), 3 * size_t(plain.PaneBitmap().Width())) != 0)
        return false;
    return true;
  };
  for (int tick = 0; tick < 2; ++tick) {
    view.Tick(model, 2.0, {100, 300});
    plain.NextFrame();
  }
  EXPECT_TRUE(sameRows(100, 300));
  EXPECT_FALSE(sameRows(0, 100)) << "rows off view are left as they were";
  ASSERT_GT(model.PaneBitmap().Height(), 1100);
  view.Show(model, 2.0, {900, 1100});
  EXPECT_TRUE(sameRows(900, 1100));
  const Bitmap24& whole = view.Show(model, 1.0);
  EXPECT_TRUE(whole.SamePixels(plain.PaneBitmap()));
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
