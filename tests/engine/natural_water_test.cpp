#include "render/natural_water.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "render/natural_sampling.h"
#include "render/wave_render.h"
#include "support/test_support.h"

namespace kestal {
namespace {

// A mirror whose every row has its own colour, the same across the row, so that the
// colours an output row holds tell which source rows it was taken from.
Bitmap24 RowStriped(int32_t width, int32_t height) {
  Bitmap24 b = Bitmap24::Create(width, height).value();
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      b.SetPixel(x, y, ColorTriple{uint8_t(y * 7), uint8_t(y * 3 + 40), uint8_t(255 - y)});
  return b;
}

Bitmap24 Render(const Bitmap24& mirror, int32_t height, int frame, int frames, const NaturalWaterSettings& water,
                int strength = 100) {
  Bitmap24 pane = Bitmap24::Create(mirror.Width(), height).value();
  RenderNaturalWave(mirror, pane, frame, frames, water, Rgb(10, 20, 30), strength);
  return pane;
}

struct Case {
  const char* name;
  NaturalWaterSettings water;
  int frames;
};
const Case kCases[] = {
    {"calm, 5 frames", {0, 0, 0, true}, 5},
    {"default, 12 frames", {}, 12},
    {"breezy rain across, 30 frames", {100, 90, 100, true}, 30},
    {"rain, no glints, 7 frames", {40, -60, 60, false}, 7},
};

TEST(NaturalWater, LoopsExactlyAndNeverRepeatsInside) {
  const Bitmap24 mirror = RowStriped(97, 80);
  for (const Case& c : kCases) {
    const Bitmap24 first = Render(mirror, 72, 0, c.frames, c.water);
    EXPECT_TRUE(first.SamePixels(Render(mirror, 72, c.frames, c.frames, c.water))) << c.name;
    EXPECT_TRUE(first.SamePixels(Render(mirror, 72, 0, c.frames, c.water))) << c.name << ": not deterministic";
    EXPECT_FALSE(first.SamePixels(Render(mirror, 72, 1, c.frames, c.water))) << c.name << ": frame 1 is frame 0";
  }
}

// A pane large enough to be rendered in two bands on two threads gives the same bytes
// every time, and on one thread, and still loops.
TEST(NaturalWater, ALargePaneInTwoBandsIsTheSameEveryTime) {
  const Bitmap24 mirror = RowStriped(1024, 520);
  const NaturalWaterSettings water{100, 30, 100, true};
  const Bitmap24 first = Render(mirror, 512, 2, 6, water);
  EXPECT_TRUE(first.SamePixels(Render(mirror, 512, 2, 6, water)));
  EXPECT_TRUE(first.SamePixels(Render(mirror, 512, 8, 6, water)));
  Bitmap24 oneThread = Bitmap24::Create(1024, 512).value();
  NaturalRendering rendering;
  rendering.oneThread = true;
  RenderNaturalWave(mirror, oneThread, 2, 6, water, Rgb(10, 20, 30), 100, rendering);
  EXPECT_TRUE(first.SamePixels(oneThread));
}

// The glints read the mirror's glint map when the caller keeps one, else a map of the
// rows they reach made for the frame: the bytes are the same, for whole frames and for
// a band of rows.
TEST(NaturalWater, TheMirrorsGlintMapGivesTheBytesOfTheFramesOwn) {
  const Bitmap24 mirror = test::Noise(203, 160, 5);
  const NaturalGlintMap map = MakeNaturalGlintMap(mirror);
  for (const Case& c : kCases)
    for (auto [from, to] : {std::pair{0, -1}, {90, 130}}) {
      NaturalRendering own, kept;
      own.fromRow = kept.fromRow = from;
      own.toRow = kept.toRow = to;
      kept.glintMap = &map;
      Bitmap24 a = Bitmap24::Create(203, 150).value(), b = Bitmap24::Create(203, 150).value();
      RenderNaturalWave(mirror, a, 3, c.frames, c.water, Rgb(10, 20, 30), 200, own);
      RenderNaturalWave(mirror, b, 3, c.frames, c.water, Rgb(10, 20, 30), 200, kept);
      EXPECT_TRUE(a.SamePixels(b)) << c.name << ", rows " << from << ".." << to;
    }
  EXPECT_TRUE(MakeNaturalGlintMap(Bitmap24()).near.empty());
}

// Natural water mixes source rows within an output row; the designed modes copy whole
// rows, so each of their output rows holds one colour.
TEST(NaturalWater, MixesSourceRowsWhereTheDesignedModesDoNot) {
  const Bitmap24 mirror = RowStriped(160, 90);
  const auto coloursIn = [](const Bitmap24& pane, int32_t y) {
    std::set<uint32_t> seen;
    for (int32_t x = 0; x < pane.Width(); ++x) {
      const ColorTriple c = pane.Pixel(x, y);
      seen.insert(uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue);
    }
    return seen.size();
  };
  for (const Case& c : kCases) {
    const Bitmap24 natural = Render(mirror, 81, 2, c.frames, c.water);
    int mixed = 0;
    for (int32_t y = 0; y < natural.Height(); ++y) mixed += coloursIn(natural, y) > 1;
    EXPECT_GT(mixed, natural.Height() / 2) << c.name;
  }
  Bitmap24 designed = Bitmap24::Create(160, 81).value();
  for (int frame = 0; frame < 5; ++frame) {
    RenderPerspectiveWave(mirror, designed, frame, 5, Rgb(10, 20, 30));
    for (int32_t y = 0; y < designed.Height(); ++y) ASSERT_EQ(coloursIn(designed, y), 1u) << "perspective row " << y;
    RenderRegularWave(mirror, designed, frame, 5, WaveLength::Short, Rgb(10, 20, 30));
    for (int32_t y = 0; y < designed.Height(); ++y) ASSERT_EQ(coloursIn(designed, y), 1u) << "regular row " << y;
  }
}

TEST(NaturalWater, NoStrengthIsTheStillMirrorAndOddSizesAreSafe) {
  const Bitmap24 mirror = RowStriped(33, 40);
  for (const Case& c : kCases) {
    const Bitmap24 still = Render(mirror, 40, 3, c.frames, c.water, 0);
    for (int32_t y = 0; y < still.Height(); ++y)
      for (int32_t x = 0; x < still.Width(); ++x) ASSERT_EQ(still.Pixel(x, y), mirror.Pixel(x, y)) << c.name;
  }
  // One pixel, one row, one column, a reflection as tall as the mirror at full strength:
  // every sample stays inside the mirror or takes the background (the sanitizers watch).
  for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {5, 5}}) {
    const Bitmap24 small = RowStriped(w, h);
    for (const Case& c : kCases) Render(small, h, 1, c.frames, c.water, 400);
  }
}

std::vector<natural::Kernel> VectorKernels() {
  std::vector<natural::Kernel> kernels;
  for (natural::Kernel k : {natural::Kernel::Avx2, natural::Kernel::Avx512})
    if (natural::KernelAvailable(k)) kernels.push_back(k);
  return kernels;
}

// The vector kernels do the scalar kernel's arithmetic: whole frames, with groups of
// pixels near the mirror's end, the row's end and widths around the vector's, have
// the same bytes from each.
TEST(NaturalWater, EveryKernelGivesTheScalarBytes) {
  if (VectorKernels().empty()) GTEST_SKIP() << "this CPU has no vector kernel";
  struct Size {
    int32_t width, mirrorHeight, paneHeight;
  };
  const Size sizes[] = {{1, 6, 6}, {2, 5, 5}, {9, 9, 7}, {10, 12, 12}, {17, 30, 21}, {97, 80, 72}, {1030, 520, 512}};
  for (const Size& size : sizes) {
    const Bitmap24 mirror = test::Noise(size.width, size.mirrorHeight, static_cast<uint32_t>(size.width));
    for (const Case& c : kCases)
      for (int strength : {100, 400}) {
        Bitmap24 scalar = Bitmap24::Create(size.width, size.paneHeight).value();
        NaturalRendering rendering;
        rendering.kernel = natural::Kernel::Scalar;
        RenderNaturalWave(mirror, scalar, 2, c.frames, c.water, Rgb(10, 20, 30), strength, rendering);
        for (natural::Kernel k : VectorKernels()) {
          Bitmap24 vector = Bitmap24::Create(size.width, size.paneHeight).value();
          rendering.kernel = k;
          RenderNaturalWave(mirror, vector, 2, c.frames, c.water, Rgb(10, 20, 30), strength, rendering);
          EXPECT_TRUE(vector.SamePixels(scalar)) << c.name << ", " << size.width << " x " << size.paneHeight
                                                 << ", strength " << strength << ", kernel " << int(k);
        }
      }
  }
}

// The same for one row at a time with fields no wave makes: offsets far past every edge
// of the mirror, steep changes between points, every fraction.
TEST(NaturalWater, EveryKernelSamplesWildFieldsAsTheScalarOne) {
  const Bitmap24 mirror = test::Noise(203, 40, 7);
  std::vector<uint8_t> background(203 * 3, 0x5a);
  std::vector<const uint8_t*> rows;
  for (int32_t y = 0; y < mirror.Height(); ++y) rows.push_back(mirror.Row(y));
  rows.push_back(background.data());
  rows.push_back(background.data());
  const natural::RowSource source{rows.data(), mirror.Row(0), mirror.Stride(), mirror.Width(), mirror.Height()};
  const int32_t points = (mirror.Width() - 1) / natural::kStep + 2 + natural::kFieldPadding;
  std::mt19937 random(11);
  for (int32_t reach : {300, 3000, 40000}) {
    std::uniform_int_distribution<int32_t> offset(-reach, reach);
    for (int32_t y = 0; y < mirror.Height(); ++y) {
      std::vector<int32_t> fieldX(points), fieldY(points);
      for (int32_t k = 0; k < points; ++k) {
        fieldX[k] = offset(random);
        fieldY[k] = offset(random);
      }
      std::vector<uint8_t> scalar(203 * 3), vector(203 * 3);
      natural::SampleRow(natural::Kernel::Scalar, source, y, fieldX.data(), fieldY.data(), scalar.data());
      for (natural::Kernel k : VectorKernels()) {
        natural::SampleRow(k, source, y, fieldX.data(), fieldY.data(), vector.data());
        ASSERT_EQ(vector, scalar) << "row " << y << ", reach " << reach << ", kernel " << int(k);
      }
    }
  }
}

}  // namespace
}  // namespace kestal
