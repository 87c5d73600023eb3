#include "imageio/color_reduce.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/test_support.h"

namespace kestal {
namespace {

using test::Gradient;
using test::Noise;

uint32_t Key(ColorTriple c) { return (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue; }

std::set<uint32_t> DistinctColors(const Bitmap24& b) {
  std::set<uint32_t> s;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) s.insert(Key(b.Pixel(x, y)));
  return s;
}

std::set<uint32_t> PaletteSet(const Palette& p) {
  std::set<uint32_t> s;
  for (ColorTriple c : p) s.insert(Key(c));
  return s;
}

// A w × h picture tiled with the given colours, one per pixel in turn.
Bitmap24 Tiled(int32_t w, int32_t h, const std::vector<ColorTriple>& colors) {
  auto b = Bitmap24::Create(w, h);
  EXPECT_TRUE(b.ok());
  size_t i = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixel(x, y, colors[i++ % colors.size()]);
  return std::move(b.value());
}

TEST(ColorReduce, PaletteAndIndexedSizesFollowTheCount) {
  struct Row {
    const char* description;
    int count, bits, depth;
  };
  const Row rows[] = {
      {"one colour", 1, 1, 1},       {"two colours", 2, 1, 1},    {"three need 4 bits", 3, 4, 4},
      {"16", 16, 4, 4},              {"17 need 5 bits", 17, 5, 8}, {"32", 32, 5, 8},
      {"64", 64, 6, 8},              {"100", 100, 7, 8},           {"256", 256, 8, 8},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(PaletteBitsForCount(r.count), r.bits) << r.description;
    EXPECT_EQ(IndexedDepthForCount(r.count), r.depth) << r.description;
  }
}

TEST(ColorReduce, TwoColoursInSixteenAskedKeepsThePictureExactly) {
  const ColorTriple red{0, 0, 255}, blue{255, 0, 0};
  Bitmap24 b = Tiled(7, 5, {red, blue, blue});
  auto before = b.Clone();
  auto r = ReduceBitmapColors(b, 16, kReduceDither | kReduceIndexed | kReduceReturnPalette);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->palette.size(), 16u);
  EXPECT_EQ(r->bitsPerPixel, 4);
  EXPECT_TRUE(PaletteSet(r->palette).count(Key(red)));
  EXPECT_TRUE(PaletteSet(r->palette).count(Key(blue)));
  EXPECT_TRUE(b.SamePixels(before.value()));
  ASSERT_EQ(r->indices.size(), 35u);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(r->palette[r->indices[y * 7 + x]], b.Pixel(x, y));
}

TEST(ColorReduce, AsManyColoursAsAskedGivesExactlyThoseColours) {
  for (int count : {16, 32, 64, 256}) {
    std::vector<ColorTriple> colors;
    // Close colours in pairs, which a plain octree would fold together.
    for (int i = 0; i < count; ++i) colors.push_back(ColorTriple{uint8_t(i / 2), uint8_t(i % 2), uint8_t(255 - i)});
    Bitmap24 b = Tiled(61, 37, colors);
    auto before = b.Clone();
    for (unsigned dither : {0u, unsigned{kReduceDither}, unsigned{kReduceSteadyDither}}) {
      Bitmap24 work = std::move(before->Clone().value());
      auto r = ReduceBitmapColors(work, count, dither | kReduceReturnPalette);
      ASSERT_TRUE(r) << count;
      EXPECT_EQ(PaletteSet(r->palette), DistinctColors(b)) << count << " colours, dither " << dither;
      EXPECT_TRUE(work.SamePixels(b)) << count << " colours, dither " << dither;
    }
  }
}

TEST(ColorReduce, ComputedPalettesAreFullAndDistinctOnRichPictures) {
  const Bitmap24 pictures[] = {Gradient(300, 200), Noise(120, 90, 7)};
  for (const Bitmap24& picture : pictures) {
    for (int count : {2, 16, 32, 64, 256}) {
      const Palette p = ComputePalette(picture, count);
      EXPECT_EQ(p.size(), size_t(count));
      EXPECT_EQ(PaletteSet(p).size(), size_t(count)) << count << " entries must all differ";
      // Every entry serves some pixel: the nearest mapping uses all of them.
      std::vector<uint8_t> indices;
      MapToPalette(picture, p, Dither::None, indices);
      EXPECT_EQ(std::set<uint8_t>(indices.begin(), indices.end()).size(), size_t(count)) << count;
    }
  }
}

// A photo-like picture: warm, noisy mid-tones, a shadow ramp down to black on the left
// and a highlight ramp up to white on the right, each a small share of the pixels. The
// palette keeps black and white at every count, so error diffusion can still reach
// the shadows and the highlights (a palette whose darkest entry is brown turns every
// shadow brown).
TEST(ColorReduce, DarkAndBrightExtremesSurvive) {
  auto b = Bitmap24::Create(200, 150);
  uint32_t s = 5;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) {
      s = s * 1664525u + 1013904223u;
      int r = 120 + x / 4 + int(s >> 28), g = 80 + y / 4 + int((s >> 24) & 15), bl = 50 + int((s >> 20) & 15);
      if (x < 30) {
        const int t = x * 2 + y % 7;
        r = t * 2 / 3, g = t / 3, bl = t / 5;
      } else if (x >= 190) {
        r = g = bl = 255 - (199 - x) * 4 - y % 5;
      }
      b->SetPixel(x, y, ColorTriple{uint8_t(bl), uint8_t(g), uint8_t(r)});
    }
  for (int count : {16, 32, 64, 256}) {
    const std::set<uint32_t> p = PaletteSet(ComputePalette(b.value(), count));
    EXPECT_TRUE(p.count(0x000000)) << count << " colours lose black";
    EXPECT_TRUE(p.count(0xffffff)) << count << " colours lose white";
  }
}

namespace {

int FullSearch(const Palette& palette, int r, int g, int b) {
  int best = INT32_MAX, want = 0;
  for (size_t i = 0; i < palette.size(); ++i) {
    const int d = (r - palette[i].red) * (r - palette[i].red) + (g - palette[i].green) * (g - palette[i].green) +
                  (b - palette[i].blue) * (b - palette[i].blue);
    if (d < best) best = d, want = int(i);
  }
  return want;
}

}  // namespace

// Each map is tried without tables, with room for a few (then candidate lists), and
// with room for all it meets.
TEST(ColorReduce, NearestColourMapAgreesWithAFullSearch) {
  uint32_t s = 12345;
  auto next = [&] { return s = s * 1664525u + 1013904223u; };
  for (int size : {1, 2, 5, 16, 256}) {
    Palette palette;
    for (int i = 0; i < size; ++i) palette.push_back(ColorTriple{uint8_t(next() >> 24), uint8_t(next() >> 24), uint8_t(next() >> 24)});
    if (size == 5) palette[3] = palette[1];  // a duplicate: the lower index wins
    for (int64_t pixels : {0, 64 * 16 * 20, 1 << 30}) {
      NearestColorMap map(palette, pixels);
      for (int n = 0; n < 20000; ++n) {
        const uint32_t v = next();
        const uint8_t r = uint8_t(v >> 8), g = uint8_t(v >> 16), b = uint8_t(v >> 24);
        ASSERT_EQ(map.Find(r, g, b), FullSearch(palette, r, g, b))
            << "palette of " << size << ", colour " << int(r) << "," << int(g) << "," << int(b) << ", " << pixels;
      }
    }
  }
  // A dense lattice (4 and 6 apart, one entry repeated): cells hold many candidates
  // and colours half-way between entries tie; every colour of the region is checked.
  Palette dense;
  for (int i = 0; i < 256; ++i) {
    dense.push_back(ColorTriple{uint8_t(100 + (i >> 6) * 6), uint8_t(100 + (i >> 3 & 7) * 4), uint8_t(100 + (i & 7) * 4)});
  }
  dense[200] = dense[7];
  for (int64_t pixels : {0, 64 * 16 * 20, 1 << 30}) {
    NearestColorMap map(dense, pixels);
    for (int r = 94; r < 140; ++r)
      for (int g = 94; g < 140; ++g)
        for (int b = 94; b < 140; ++b) {
          ASSERT_EQ(map.Find(uint8_t(r), uint8_t(g), uint8_t(b)), FullSearch(dense, r, g, b))
              << r << "," << g << "," << b << ", " << pixels;
        }
  }
}

TEST(ColorReduce, AGivenPaletteIsUsedUnchanged) {
  const Palette given = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 255, 0}};
  Bitmap24 b = Noise(33, 21);
  auto r = ReduceBitmapColors(b, 4, kReduceDither | kReduceIndexed | kReduceReturnPalette | kReduceGivenPalette, &given);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->palette, given);
  EXPECT_EQ(r->bitsPerPixel, 4);
  for (uint32_t c : DistinctColors(b)) EXPECT_TRUE(PaletteSet(given).count(c));
}

TEST(ColorReduce, DitheringKeepsTheAverageTone) {
  // A flat grey on two entries: error diffusion mixes them in the grey's proportion;
  // the nearest colour alone would make every pixel one colour. Between two near
  // entries an animation frame's pixel may keep its own nearest colour against the
  // error: the error of the colour it keeps must still travel on, or the area turns all
  // dark. A grey a level off an entry keeps its tone in a still picture, within the
  // damping's pull towards the entry (at most 0.6 of a level here): errors smaller than
  // a level must add up, not be rounded away. In an animation frame it stays on the
  // entry, where it must not flicker.
  const Palette near_entries = {{100, 100, 100}, {110, 110, 110}};
  const struct {
    const char* description;
    Dither dither;
    Palette palette;
    uint8_t grey;
    long upper;  // pixels expected on entry 1, of 64 × 64
    long slack = 100;
  } rows[] = {
      {"mid grey on black and white", Dither::Still, {{0, 0, 0}, {255, 255, 255}}, 128, 64 * 64 * 128 / 255},
      {"mid grey on black and white", Dither::Steady, {{0, 0, 0}, {255, 255, 255}}, 128, 64 * 64 * 128 / 255},
      {"grey between two near entries", Dither::Still, near_entries, 104, 64 * 64 * 4 / 10},
      {"grey between two near entries", Dither::Steady, near_entries, 104, 64 * 64 * 4 / 10},
      {"grey next to an entry", Dither::Still, near_entries, 101, 64 * 64 / 10, 64 * 64 * 6 / 100},
      {"grey next to an entry", Dither::Steady, near_entries, 101, 0},
  };
  for (const auto& r : rows) {
    const std::string what = std::string(r.description) + (r.dither == Dither::Still ? ", still" : ", steady");
    auto grey = Bitmap24::Create(64, 64);
    grey->Fill(ColorTriple{r.grey, r.grey, r.grey});
    std::vector<uint8_t> dithered, nearest;
    MapToPalette(grey.value(), r.palette, r.dither, dithered);
    MapToPalette(grey.value(), r.palette, Dither::None, nearest);
    EXPECT_NEAR(std::count(dithered.begin(), dithered.end(), 1), r.upper, r.slack) << what;
    const long nearest_upper = r.grey * 2 > r.palette[0].red + r.palette[1].red ? 64 * 64 : 0;
    EXPECT_EQ(std::count(nearest.begin(), nearest.end(), 1), nearest_upper) << what;
  }
}

TEST(ColorReduce, RefusesWhatItCannotReduce) {
  const Palette empty;
  Bitmap24 none;
  Bitmap24 b = Gradient(9, 9);
  struct Row {
    const char* description;
    Bitmap24* bitmap;
    int count;
    unsigned options;
    const Palette* palette;
  };
  const Row rows[] = {
      {"no pixels", &none, 16, 0, nullptr},
      {"count 0", &b, 0, 0, nullptr},
      {"count 257", &b, 257, 0, nullptr},
      {"given palette missing", &b, 16, kReduceGivenPalette, nullptr},
      {"given palette empty", &b, 16, kReduceGivenPalette, &empty},
  };
  for (const Row& r : rows) {
    EXPECT_FALSE(ReduceBitmapColors(*r.bitmap, r.count, r.options, r.palette)) << r.description;
  }
  EXPECT_TRUE(b.SamePixels(Gradient(9, 9)));
}

}  // namespace
}  // namespace kestal
