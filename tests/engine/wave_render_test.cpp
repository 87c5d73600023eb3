#include "render/wave_render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "support/test_support.h"

namespace kestal {
namespace {

struct WorkedValue {
  const char* description;
  int y;
  int displacement;
};

// Source height 100, frame 1 of 5.
TEST(WaveRender, PerspectiveWorkedValues) {
  const WorkedValue rows[] = {
      {"row 0 moves up by one", 0, -1}, {"row 1", 1, 1},  {"row 2", 2, 1},  {"row 3", 3, 0},
      {"row 4", 4, 0},                  {"row 5", 5, 0},  {"row 6", 6, 1},  {"row 7", 7, -1},
      {"row 8", 8, 1},                  {"row 9", 9, 1},
  };
  for (const WorkedValue& r : rows) {
    EXPECT_EQ(PerspectiveDisplacement(r.y, 100, 1, 5), r.displacement) << r.description;
  }
}

TEST(WaveRender, RegularWorkedValues) {
  const WorkedValue rows[] = {
      {"row 4", 4, 1},     {"row 6", 6, 2},     {"row 12", 12, -5}, {"row 24", 24, -11},
      {"row 31", 31, 10},  {"row 32", 32, 3},   {"row 36", 36, -15}, {"row 50", 50, -3},
  };
  for (const WorkedValue& r : rows) {
    EXPECT_EQ(RegularDisplacement(r.y, 1, 5, WaveLength::Medium), r.displacement) << r.description;
  }
}


using test::Gradient;

// A mirror whose rows are told apart by their first byte (row index) and whose
// background colour is unlike any row.
Bitmap24 NumberedRows(int32_t w, int32_t h) {
  auto b = Bitmap24::Create(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixel(x, y, ColorTriple{uint8_t(y), uint8_t(y >> 8), 7});
  return std::move(b.value());
}

int SourceRowOf(const Bitmap24& dst, int y, const Bitmap24& src) {
  for (int r = 0; r < src.Height(); ++r) {
    if (std::memcmp(dst.Row(y), src.Row(r), size_t(dst.Width()) * 3) == 0) return r;
  }
  return -1;  // not a source row: the background
}

TEST(WaveRender, WorkedRowsAreCopiedWholeFromTheirSourceRow) {
  const Bitmap24 src = NumberedRows(4, 100);
  auto dst = Bitmap24::Create(4, 90);
  RenderPerspectiveWave(src, dst.value(), 1, 5, Rgb(1, 2, 3));
  const int expected_perspective[] = {0, 2, 3, 3, 4, 5, 7, 6, 9, 10};
  for (int y = 0; y < 10; ++y) EXPECT_EQ(SourceRowOf(*dst, y, src), expected_perspective[y]) << "row " << y;

  RenderRegularWave(src, dst.value(), 1, 5, WaveLength::Medium, Rgb(1, 2, 3));
  const std::pair<int, int> expected_regular[] = {{4, 5}, {6, 8}, {12, 7}, {24, 13}, {31, 41},
                                                  {32, 35}, {36, 21}, {50, 47}};
  for (auto [y, r] : expected_regular) EXPECT_EQ(SourceRowOf(*dst, y, src), r) << "row " << y;
}

TEST(WaveRender, RowsBeyondTheMirrorTakeTheBackgroundColour) {
  // At 100 %, frame 0 of 5 in perspective mode: row 93 copies source row 99 and rows
  // 94 to 99 reach r = 100.
  const Bitmap24 src = NumberedRows(3, 100);
  auto dst = Bitmap24::Create(3, 100);
  RenderPerspectiveWave(src, dst.value(), 0, 5, Rgb(0, 0, 255));
  EXPECT_EQ(SourceRowOf(*dst, 93, src), 99);
  for (int y = 94; y < 100; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dst->Pixel(x, y), (ColorTriple{255, 0, 0})) << "row " << y;
  }
}

TEST(WaveRender, EmptyReflectionIsLeftUntouchedButTheBackgroundRowIsFilled) {
  const Bitmap24 src = NumberedRows(5, 10);
  auto dst = Bitmap24::Create(5, 0);
  RenderRegularWave(src, dst.value(), 0, 5, WaveLength::Medium, Rgb(10, 20, 30));
  const uint8_t* bg = BackgroundRow();
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(bg[3 * x], 30);
    EXPECT_EQ(bg[3 * x + 1], 20);
    EXPECT_EQ(bg[3 * x + 2], 10);
  }
}

TEST(WaveRender, RegularRowZeroIsNeverDisplaced) {
  for (int frames = 2; frames <= 30; ++frames)
    for (int frame = 0; frame < frames; ++frame)
      for (WaveLength wave : {WaveLength::Short, WaveLength::Medium, WaveLength::Long})
        EXPECT_EQ(RegularDisplacement(0, frame, frames, wave), 0);
}

TEST(WaveRender, FramesAreDeterministicAndPerspectiveIgnoresWaveLength) {
  const Bitmap24 src = Gradient(64, 120);
  auto a = Bitmap24::Create(64, 100);
  auto b = Bitmap24::Create(64, 100);
  RenderPerspectiveWave(src, a.value(), 3, 7, Rgb(9, 9, 9));
  RenderPerspectiveWave(src, b.value(), 3, 7, Rgb(9, 9, 9));
  EXPECT_TRUE(a->SamePixels(*b));
  RenderRegularWave(src, a.value(), 3, 7, WaveLength::Short, Rgb(9, 9, 9));
  RenderRegularWave(src, b.value(), 3, 7, WaveLength::Long, Rgb(9, 9, 9));
  EXPECT_FALSE(a->SamePixels(*b)) << "the wave length changes regular frames";
}

TEST(WaveRender, PhotosWiderThanTheInitialBackgroundRowWork) {
  const int32_t w = 7000;
  auto src = Bitmap24::Create(w, 40);
  src->Fill(ColorTriple{1, 2, 3});
  auto dst = Bitmap24::Create(w, 40);
  RenderPerspectiveWave(*src, dst.value(), 0, 5, Rgb(200, 100, 50));
  // The last rows reach past the mirror and must be background across the full width.
  EXPECT_EQ(dst->Pixel(w - 1, 39), (ColorTriple{50, 100, 200}));
}

TEST(WaveRender, MismatchedBitmapsAreLeftAloneInsteadOfReadPastTheMirror) {
  const Bitmap24 src = NumberedRows(4, 10);
  auto taller = Bitmap24::Create(4, 11);
  taller->Fill(ColorTriple{1, 1, 1});
  RenderRegularWave(src, taller.value(), 0, 5, WaveLength::Medium, Rgb(0, 0, 0));
  EXPECT_EQ(taller->Pixel(0, 10), (ColorTriple{1, 1, 1}));
  auto wider = Bitmap24::Create(5, 5);
  wider->Fill(ColorTriple{1, 1, 1});
  RenderPerspectiveWave(src, wider.value(), 0, 5, Rgb(0, 0, 0));
  EXPECT_EQ(wider->Pixel(0, 0), (ColorTriple{1, 1, 1}));
}

}  // namespace
}  // namespace kestal
