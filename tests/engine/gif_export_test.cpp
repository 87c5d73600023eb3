#include "export/gif_export.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "imageio/color_reduce.h"
#include "imageio/gif_writer.h"
#include "imageio/image_files.h"
#include "support/gif_reader.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Gradient;
using test::Noise;
using test::ReadGif;
using test::ReadGifFile;
using test::TempDir;

AnimationModel ModelFor(Bitmap24 photo, int frames, int percent = 90) {
  AnimationModel model;
  model.SetFrameCount(frames);
  EXPECT_TRUE(model.SetPercent(percent).ok());
  EXPECT_TRUE(model.SetPhoto(std::move(photo)).ok());
  return model;
}

bool NoFilesLeft(const TempDir& dir) { return std::filesystem::is_empty(dir.path()); }

TEST(GifExport, ChoicesAndDelays) {
  EXPECT_EQ(GifColorCountForChoice(0), 16);
  EXPECT_EQ(GifColorCountForChoice(1), 32);
  EXPECT_EQ(GifColorCountForChoice(2), 64);
  EXPECT_EQ(GifColorCountForChoice(3), 256);
  EXPECT_EQ(GifColorCountForChoice(-1), 256);
  EXPECT_EQ(GifDelayForInterval(kSlowIntervalMs), 20);
  EXPECT_EQ(GifDelayForInterval(kMediumIntervalMs), 12);
  EXPECT_EQ(GifDelayForInterval(kFastIntervalMs), 5);
}

struct Layout {
  const char* description;
  Composition composition;
  int frames, colors, intervalMs;
  int screenHeight, laterTop, delay;
};

// A 40 × 30 photo at 90 % has a 27-row reflection.
TEST(GifExport, FileLayoutReadBackWithGiflib) {
  const Layout rows[] = {
      {"photo and reflection, 5 frames, medium", Composition::PhotoAndReflection, 5, 256, kMediumIntervalMs, 57, 30, 12},
      {"reflection only, 16 colours, fast", Composition::ReflectionOnly, 3, 16, kFastIntervalMs, 27, 0, 5},
      {"photo and reflection, 64 colours, slow", Composition::PhotoAndReflection, 2, 64, kSlowIntervalMs, 57, 30, 20},
  };
  for (const Layout& r : rows) {
    SCOPED_TRACE(r.description);
    TempDir dir;
    AnimationModel model = ModelFor(Noise(40, 30, 3), r.frames);
    ExportSettings settings;
    settings.composition = r.composition;
    settings.colors = r.colors;
    settings.intervalMs = r.intervalMs;
    std::vector<int> progress;
    auto report = ExportGif(model, dir / "a.gif", settings, [&](int n, int total) {
      EXPECT_EQ(total, r.frames);
      progress.push_back(n);
    });
    ASSERT_TRUE(report) << report.error().Line();
    EXPECT_EQ(report->width, 40);
    EXPECT_EQ(report->height, r.screenHeight);
    EXPECT_EQ(progress.size(), size_t(r.frames));
    EXPECT_EQ(progress.back(), r.frames);
    EXPECT_EQ(model.FrameIndex(), r.frames - 1);

    auto gif = ReadGifFile(dir / "a.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->version, "GIF89a");
    EXPECT_EQ(gif->width, 40);
    EXPECT_EQ(gif->height, r.screenHeight);
    EXPECT_EQ(gif->palette.size(), size_t(r.colors));
    EXPECT_EQ(gif->loopCount, 0);
    ASSERT_EQ(gif->images.size(), size_t(r.frames));
    for (size_t i = 0; i < gif->images.size(); ++i) {
      const auto& img = gif->images[i];
      EXPECT_FALSE(img.localPalette) << "frame " << i;
      EXPECT_TRUE(img.hasControl) << "frame " << i;
      EXPECT_EQ(img.delay, r.delay) << "frame " << i;
      EXPECT_EQ(img.disposal, 0) << "frame " << i;
      EXPECT_EQ(img.transparent, -1) << "frame " << i;
      EXPECT_EQ(img.left, 0);
      EXPECT_EQ(img.top, i == 0 ? 0 : r.laterTop) << "frame " << i;
      EXPECT_EQ(img.width, 40);
      EXPECT_EQ(img.height, i == 0 ? r.screenHeight : 27) << "frame " << i;
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "a.gif"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary left";
  }
}

// The frames hold exactly what ReduceBitmapColors makes of them: frame 1 the palette
// computed from the composed output, with the photo dithered as a still picture above
// its reflection dithered as an animation frame; later frames the pane on that palette,
// also as animation frames.
TEST(GifExport, PixelsAreTheReducedFrames) {
  TempDir dir;
  AnimationModel model = ModelFor(Gradient(48, 20), 4);
  ExportSettings settings;
  settings.colors = 32;
  ASSERT_TRUE(ExportGif(model, dir / "p.gif", settings));
  auto gif = ReadGifFile(dir / "p.gif");
  ASSERT_TRUE(gif && gif->images.size() == 4u);

  AnimationModel replay = ModelFor(Gradient(48, 20), 4);
  auto composer = FrameComposer::Create(replay, Composition::PhotoAndReflection);
  ASSERT_TRUE(composer);
  replay.ResetFrameIndex();
  composer->NextFrame(replay);
  auto frame1 = composer->Output().Clone();
  auto reduced = ReduceBitmapColors(frame1.value(), 32, kReduceDither | kReduceIndexed | kReduceReturnPalette);
  ASSERT_TRUE(reduced);
  EXPECT_EQ(gif->palette, reduced->palette);
  auto photo = Bitmap24::Create(48, composer->Y0());
  photo->Draw(composer->Output(), 0, 0);
  const unsigned given = kReduceIndexed | kReduceGivenPalette;
  auto still = ReduceBitmapColors(photo.value(), 32, kReduceDither | given, &reduced->palette);
  for (int a = 1; a <= 4; ++a) {
    if (a > 1) replay.NextFrame();
    auto pane = replay.PaneBitmap().Clone();
    auto later = ReduceBitmapColors(pane.value(), 32, kReduceSteadyDither | given, &reduced->palette);
    ASSERT_TRUE(still && later);
    std::vector<uint8_t> expected = later->indices;
    if (a == 1) expected.insert(expected.begin(), still->indices.begin(), still->indices.end());
    EXPECT_EQ(gif->images[a - 1].indices, expected) << "frame " << a;
  }
}

// Frames are reduced and encoded on several threads; the file must not show it.
TEST(GifExport, SameBytesWithOneAndTwoThreads) {
  const struct {
    Composition composition;
    int colors, frames;
  } rows[] = {{Composition::PhotoAndReflection, 256, 7}, {Composition::ReflectionOnly, 16, 4}};
  for (const auto& r : rows) {
    std::string bytes[2];
    for (int threads : {1, 2}) {
      TempDir dir;
      AnimationModel model = ModelFor(Noise(90, 50, 11), r.frames);
      ExportSettings settings;
      settings.composition = r.composition;
      settings.colors = r.colors;
      ASSERT_TRUE(ExportGif(model, dir / "t.gif", settings, {}, threads));
      std::ifstream in(dir / "t.gif", std::ios::binary);
      bytes[threads - 1].assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_GT(bytes[0].size(), 1000u);
    EXPECT_TRUE(bytes[0] == bytes[1]) << r.colors << " colours";
  }
}

TEST(GifExport, RefusesAndLeavesNothingBehind) {
  struct Row {
    const char* description;
    int width, height, colors;
    std::string folder;  // relative to the temporary folder
    const char* cause;
  };
  const Row rows[] = {
      {"colour count 0", 10, 10, 0, "", "1 to 256 colours"},
      {"missing folder", 10, 10, 256, "missing/", "No such file or directory"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.description);
    TempDir dir;
    auto photo = Bitmap24::Create(r.width, r.height);
    AnimationModel model = ModelFor(std::move(photo.value()), 2, 50);
    ExportSettings settings;
    settings.colors = r.colors;
    const std::string path = dir / (r.folder + "x.gif");
    auto result = ExportGif(model, path, settings);
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().message.find(path), std::string::npos) << result.error().message;
    EXPECT_NE(result.error().cause.find(r.cause), std::string::npos) << result.error().cause;
    EXPECT_TRUE(NoFilesLeft(dir));
  }
}

// A full disk, simulated by a file size limit: the write fails part-way, the error
// names the file and the cause, and no file is left behind.
TEST(GifExport, WriteErrorPartWayLeavesNothing) {
  TempDir dir;
  AnimationModel model = ModelFor(Noise(64, 48), 3);
  const std::string path = dir / "full.gif";
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 6000;
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  auto result = ExportGif(model, path, ExportSettings{});
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  ASSERT_FALSE(result);
  EXPECT_NE(result.error().message.find(path), std::string::npos);
  EXPECT_EQ(result.error().cause, "File too large");
  EXPECT_TRUE(NoFilesLeft(dir));
}

// A one-row photo at 30 % has a reflection without rows; the GIF still holds every
// frame and each shows the photo.
TEST(GifExport, ReflectionWithoutRows) {
  TempDir dir;
  AnimationModel model = ModelFor(Gradient(6, 1), 3, 30);
  ASSERT_EQ(model.PaneBitmap().Height(), 0);
  ASSERT_TRUE(ExportGif(model, dir / "z.gif", ExportSettings{}));
  auto gif = ReadGifFile(dir / "z.gif");
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->images.size(), 3u);
  EXPECT_EQ(gif->images[1].indices[0], gif->images[0].indices[0]);
}

TEST(GifExport, SingleImageThroughSaveBitmapFile) {
  TempDir dir;
  const Bitmap24 picture = Gradient(47, 33);
  ASSERT_TRUE(SaveBitmapFile(dir / "still.GIF", picture));
  auto gif = ReadGifFile(dir / "still.GIF");
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->palette.size(), 256u);
  ASSERT_EQ(gif->images.size(), 1u);
  EXPECT_FALSE(gif->images[0].hasControl);
  EXPECT_FALSE(gif->loopCount);
  // Dithered onto 256 colours: every pixel stays close to the original.
  double error = 0;
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 47; ++x) {
      const ColorTriple a = picture.Pixel(x, y), b = gif->Color(gif->images[0], x, y);
      error += std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
    }
  EXPECT_LT(error / (47 * 33 * 3), 6.0);
}

TEST(GifWriter, RefusesSizesOverTheFormatsLimitBeforeWriting) {
  TempDir dir;
  GifWriter w;
  const Palette palette = {{0, 0, 0}, {255, 255, 255}};
  for (auto [width, height] : {std::pair{65536, 1}, std::pair{1, 65536}, std::pair{0, 5}}) {
    Status s = w.Open(dir / "big.gif", width, height, palette);
    ASSERT_FALSE(s) << width << " x " << height;
  }
  EXPECT_NE(CheckGifSize(65536, 1).error().cause.find("at most 65535 pixels a side"), std::string::npos);
  EXPECT_TRUE(CheckGifSize(65535, 65535));
  EXPECT_TRUE(NoFilesLeft(dir));
}

// The LZW data decodes back to the indices (giflib reads it): code widths growing to 12
// bits, table clears, long runs, and the smallest code size.
TEST(GifWriter, EncodedIndicesDecodeExactly) {
  struct Row {
    const char* description;
    int width, height, paletteSize;
    std::function<uint8_t(size_t)> index;
  };
  uint32_t seed = 99;
  auto random = [&seed](size_t) { return uint8_t((seed = seed * 1664525u + 1013904223u) >> 24); };
  const Row rows[] = {
      {"one pixel", 1, 1, 2, [](size_t) { return uint8_t(1); }},
      {"two colours, runs", 301, 97, 2, [](size_t i) { return uint8_t((i / 7) % 2); }},
      {"one long run", 1000, 300, 16, [](size_t) { return uint8_t(9); }},
      {"noise, many table clears", 640, 480, 256, random},
      {"ramps", 257, 255, 64, [](size_t i) { return uint8_t((i * i / 97) % 64); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.description);
    TempDir dir;
    Palette palette(size_t(r.paletteSize), ColorTriple{1, 2, 3});
    std::vector<uint8_t> pixels(size_t(r.width) * r.height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = r.index(i);
    GifWriter w;
    ASSERT_TRUE(w.Open(dir / "l.gif", r.width, r.height, palette));
    ASSERT_TRUE(w.AddFrame(GifFrame{pixels.data(), 0, 0, r.width, r.height, 1}));
    ASSERT_TRUE(w.Finish());
    auto gif = ReadGifFile(dir / "l.gif");
    ASSERT_TRUE(gif && gif->images.size() == 1u);
    EXPECT_TRUE(gif->images[0].indices == pixels);
  }
}

TEST(GifWriter, RefusesFramesOutsideTheScreenAndCallsAfterFailure) {
  TempDir dir;
  GifWriter w;
  const Palette palette = {{0, 0, 0}, {255, 255, 255}};
  ASSERT_TRUE(w.Open(dir / "w.gif", 4, 4, palette));
  const uint8_t pixels[16] = {};
  EXPECT_FALSE(w.AddFrame(GifFrame{pixels, 0, 2, 4, 4, 1}));
  EXPECT_FALSE(w.AddFrame(GifFrame{pixels, 0, 0, 4, 4, 1}));
  EXPECT_FALSE(w.Finish());
  EXPECT_TRUE(NoFilesLeft(dir));
}

}  // namespace
}  // namespace kestal
