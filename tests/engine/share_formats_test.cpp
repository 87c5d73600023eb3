// The shared formats' engine parts: scaling the photo, the clip length in whole cycles,
// the exact sizes behind the export dialog's estimate, and the command line's options.

#include <gtest/gtest.h>

#include <cmath>

#include "cli/cli_options.h"
#include "export/avi_export.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "export/share_export.h"
#include "export/size_estimate.h"
#include "imageio/image_files.h"
#include "support/test_support.h"
#include "ui/text_utils.h"

namespace kestal {
namespace {

TEST(ScaledPhotoSize, PercentAndFit) {
  const Composition both = Composition::PhotoAndReflection, alone = Composition::ReflectionOnly;
  struct Row {
    const char* what;
    PixelSize photo;
    ScaleRequest request;
    int reflectionPercent;
    Composition composition;
    PixelSize expected;
  } rows[] = {
      {"100 % keeps the size", {640, 427}, {100}, 90, both, {640, 427}},
      {"25 % rounds each side", {640, 427}, {25}, 90, both, {160, 107}},
      {"10 % of a tiny photo stays 1 pixel", {5, 3}, {10}, 90, both, {1, 1}},
      {"out-of-range percent is clamped to 10", {1000, 1000}, {3}, 90, both, {100, 100}},
      // 811 rows exported: the height limits; 105 rows + 94 of reflection = 199.
      {"fit: the height of photo and reflection", {640, 427}, {100, 200, 200}, 90, both, {158, 105}},
      {"fit: the reflection alone is limited by the width", {640, 427}, {100, 200, 200}, 90, alone, {200, 133}},
      {"fit: the reflection alone, a tall box", {640, 427}, {100, 640, 100}, 90, alone, {167, 111}},
      {"fit: the width limits", {640, 427}, {100, 320, 5000}, 50, both, {320, 214}},
      {"fit never enlarges", {64, 40}, {100, 1000, 1000}, 90, both, {64, 40}},
  };
  for (const Row& r : rows) {
    const PixelSize got = ScaledPhotoSize(r.photo, r.request, r.reflectionPercent, r.composition);
    EXPECT_EQ(got, r.expected) << r.what << ": " << got.width << " x " << got.height;
    if (r.request.fitWidth > 0) {
      EXPECT_LE(OutputHeight(got.height, r.reflectionPercent, r.composition), r.request.fitHeight) << r.what;
      EXPECT_LE(got.width, r.request.fitWidth) << r.what;
    }
  }
}

// A scaled export is the export of the scaled photo with every water setting kept and
// a line in rows moved with the photo; the sizes the dialog and the fit compute are the
// sizes of the frames written.
TEST(ScaledModel, KeepsTheWater) {
  const Composition both = Composition::PhotoAndReflection, alone = Composition::ReflectionOnly;
  const WaterSettings shaped = test::ShapedWater();
  const auto with_line = [](WaterLine line) { return test::ShapedWater(line); };
  struct Row {
    const char* what;
    WaterSettings water;
    ScaleRequest request;
    Composition composition;
    WaterLine expectedLine;  // the scaled model's line
  } rows[] = {
      {"tint, fade, blur and strength at 50 %", shaped, {50}, both, {}},
      {"a row moves with the photo", with_line({30, WaterLine::Unit::Rows}), {50}, both, {15, WaterLine::Unit::Rows}},
      {"a row rounds to the nearest", with_line({31, WaterLine::Unit::Rows}), {25}, alone, {8, WaterLine::Unit::Rows}},
      {"a percentage stays", with_line({60, WaterLine::Unit::Percent}), {40}, both, {60, WaterLine::Unit::Percent}},
      {"a row at a fit", with_line({20, WaterLine::Unit::Rows}), {100, 100, 30}, both, {17, WaterLine::Unit::Rows}},
      {"a row at a fit, reflection alone", with_line({45, WaterLine::Unit::Rows}), {100, 50, 20}, alone,
       {28, WaterLine::Unit::Rows}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    AnimationModel model;
    model.SetMode(WaveMode::Regular);
    ASSERT_TRUE(model.SetPercent(70).ok());
    ASSERT_TRUE(model.SetWater(r.water).ok());
    ASSERT_TRUE(model.SetPhoto(test::Noise(61, 47, 3)).ok());
    auto scaled = ScaledModel(model, r.request, r.composition);
    ASSERT_TRUE(scaled.ok()) << scaled.error().Text();
    WaterSettings expected = r.water;
    expected.line = r.expectedLine;
    EXPECT_EQ(scaled->Water(), expected);

    // The same as opening the scaled photo with those settings.
    AnimationModel opened;
    opened.SetMode(WaveMode::Regular);
    ASSERT_TRUE(opened.SetPercent(70).ok());
    ASSERT_TRUE(opened.SetWater(expected).ok());
    auto photo = ScaleDown(model.Photo(), scaled->Photo().Width(), scaled->Photo().Height());
    ASSERT_TRUE(photo.ok());
    ASSERT_TRUE(opened.SetPhoto(std::move(photo.value())).ok());
    EXPECT_TRUE(scaled->MirrorBitmap().SamePixels(opened.MirrorBitmap()));
    scaled->NextFrame();
    opened.NextFrame();
    EXPECT_TRUE(scaled->PaneBitmap().SamePixels(opened.PaneBitmap())) << "the strength applies";

    auto composer = FrameComposer::Create(*scaled, r.composition);
    ASSERT_TRUE(composer.ok());
    const PixelSize written{composer->Output().Width(), composer->Output().Height()};
    EXPECT_EQ(ExportedSize(model, r.request, r.composition), written);
    if (r.request.fitWidth > 0) {
      EXPECT_LE(written.width, r.request.fitWidth);
      EXPECT_LE(written.height, r.request.fitHeight);
    }
    ExportSettings bmp;
    bmp.format = ExportFormat::BmpSequence;
    bmp.composition = r.composition;
    auto estimate = EstimateExportSize(model, bmp, r.request);
    ASSERT_TRUE(estimate.ok());
    EXPECT_EQ(estimate->bytes, BmpFileSize(written.width, written.height) * static_cast<uint64_t>(model.FrameCount()));
  }
}

TEST(ScaleDown, AveragesTheAreaEachPixelCovers) {
  // 3 → 2 columns: each output pixel covers 1.5 source pixels.
  auto src = Bitmap24::Create(3, 2);
  const uint8_t values[] = {0, 90, 180};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) src->SetPixel(x, y, ColorTriple{values[x], uint8_t(y * 100), 7});
  auto out = ScaleDown(*src, 2, 1);
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out->Pixel(0, 0), (ColorTriple{30, 50, 7}));   // (0 + 90 / 2) / 1.5, rows 0 and 100 averaged
  EXPECT_EQ(out->Pixel(1, 0), (ColorTriple{150, 50, 7}));  // (90 / 2 + 180) / 1.5

  const Bitmap24 noise = test::Noise(37, 23);
  auto same = ScaleDown(noise, 37, 23);
  ASSERT_TRUE(same.ok());
  EXPECT_TRUE(same->SamePixels(noise)) << "the identity keeps every pixel";
  EXPECT_FALSE(ScaleDown(noise, 38, 23).ok()) << "never enlarges";
  EXPECT_FALSE(ScaleDown(noise, 0, 23).ok());
}

TEST(ClipCycles, RepeatsOrSecondsInWholeCycles) {
  struct Row {
    const char* what;
    int repetitions;
    double seconds;
    int frames;
    double frameMs;
    int expected;  // 0: refused
  } rows[] = {
      {"repetitions as given", 3, 0, 5, 125, 3},
      {"one cycle of 0.625 s lasts 0.6 s", 1, 0.6, 5, 125, 1},
      {"exactly one cycle does not round up", 1, 0.6, 5, 120, 1},
      {"1 s needs two cycles of 0.625 s", 1, 1, 5, 125, 2},
      {"a tenth of a second is still one cycle", 1, 0.1, 30, 50, 1},
      {"an hour of 2-frame cycles at 20 fps is too many", 1, 3600, 2, 50, 0},
      {"no repetitions", 0, 0, 5, 125, 0},
  };
  for (const Row& r : rows) {
    ExportSettings s;
    s.repetitions = r.repetitions;
    s.encode.seconds = r.seconds;
    auto got = ClipCycles(s, r.frames, r.frameMs);
    if (r.expected == 0) {
      EXPECT_FALSE(got.ok()) << r.what;
    } else {
      ASSERT_TRUE(got.ok()) << r.what;
      EXPECT_EQ(*got, r.expected) << r.what;
    }
  }
}

TEST(SizeEstimate, ExactSizesMatchTheWrittenFiles) {
  test::TempDir dir;
  const struct {
    int32_t width, height, frames;
  } rows[] = {{1, 1, 1}, {401, 27, 2}, {64, 40, 15}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.width) + " x " + std::to_string(r.height));
    const Bitmap24 frame = test::Gradient(r.width, r.height);
    ASSERT_TRUE(SaveBitmapFile(dir / "f.bmp", frame).ok());
    EXPECT_EQ(BmpFileSize(r.width, r.height), static_cast<uint64_t>(GetFileSizeBytes(dir / "f.bmp")));
    TCreateAvi avi(dir / "c.avi");
    for (int i = 0; i < r.frames; ++i) ASSERT_EQ(avi.AddFrame(frame), kAviOk);
    ASSERT_TRUE(avi.Close().ok());
    EXPECT_EQ(AviClipSize(r.width, r.height, r.frames), static_cast<uint64_t>(GetFileSizeBytes(dir / "c.avi")));
  }
}

// The trials extrapolate; they should land near the real file, reduced copy or not.
TEST(SizeEstimate, TrialsLandNearTheRealFile) {
  auto photo = LoadImageFile(test::DefaultPhoto().string());
  ASSERT_TRUE(photo.ok());
  AnimationModel model;
  ASSERT_TRUE(model.SetPhoto(std::move(photo.value())).ok());
  test::TempDir dir;
  const struct {
    ExportFormat format;
    const char* file;
    int scale;
  } rows[] = {{ExportFormat::Mp4, "a.mp4", 100}, {ExportFormat::WebP, "a.webp", 50}, {ExportFormat::Apng, "a.png", 50}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    ExportSettings settings;
    settings.format = r.format;
    settings.repetitions = 2;
    ScaleRequest scale;
    scale.percent = r.scale;
    auto estimate = EstimateExportSize(model, settings, scale);
    ASSERT_TRUE(estimate.ok());
    EXPECT_FALSE(estimate->exact);
    ASSERT_TRUE(ExportShared(model, dir / r.file, settings, scale).ok());
    const double real = static_cast<double>(GetFileSizeBytes(dir / r.file));
    EXPECT_NEAR(static_cast<double>(estimate->bytes) / real, 1.0, 0.5) << estimate->bytes << " for " << real;
  }
}

TEST(CliShareOptions, FormatsQualityLengthAndScale) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // "" when accepted
    ExportFormat format;
  } rows[] = {
      {{"p.jpg", "o.MP4"}, "", ExportFormat::Mp4},
      {{"p.jpg", "o.webm", "--quality", "63"}, "", ExportFormat::WebM},
      {{"p.jpg", "o.webp", "--lossless", "--seconds", "2.5"}, "", ExportFormat::WebP},
      {{"p.jpg", "o.png"}, "", ExportFormat::Apng},
      {{"-f", "apng", "p.jpg", "o.bin", "--scale", "10"}, "", ExportFormat::Apng},
      {{"p.jpg", "o.gif", "--fit", "1280x720"}, "", ExportFormat::Gif},
      {{"p.jpg", "o.mp4", "--quality", "52"}, "--quality: the quality of mp4 runs from 0 to 51, not 52", ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "--quality", "-1"}, "--quality: the quality of mp4 runs from 0 to 51, not -1", ExportFormat::Mp4},
      {{"p.jpg", "o.webm", "--quality=-7"}, "--quality: the quality of webm runs from 0 to 63, not -7", ExportFormat::WebM},
      {{"p.jpg", "o.webp", "--quality", "high"}, "--quality: 'high' is not a whole number", ExportFormat::WebP},
      {{"p.jpg", "o.mp4", "--repeat", "5", "--seconds", "1"},
       "--repeat and --seconds both set the clip's length: give one of them", ExportFormat::Mp4},
      {{"p.jpg", "o.png", "--quality", "5"}, "--quality applies only to MP4, WebM or WebP output, not to apng output", ExportFormat::Apng},
      {{"p.jpg", "o.mp4", "--lossless"}, "--lossless applies only to WebP output, not to mp4 output", ExportFormat::Mp4},
      {{"p.jpg", "o.gif", "--seconds", "3"}, "--seconds applies only to AVI, MP4, WebM, WebP or APNG output, not to gif output", ExportFormat::Gif},
      {{"p.jpg", "o.mp4", "--seconds", "0"}, "--seconds: '0' is not a number of seconds above 0, at most 3600",
       ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "--scale", "9"}, "--scale: '9' is not a whole number from 10 to 100", ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "--fit", "1280"}, "--fit: '1280' is not a size such as 1280x720", ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "-f", "mkv"}, "--format: 'mkv' is not one of bmp, jpg, gif, avi, mp4, webm, webp, apng",
       ExportFormat::Mp4},
  };
  for (const Row& r : rows) {
    cli::ParseResult p = cli::ParseArguments(r.args);
    std::string error = p.error;
    if (error.empty()) error = cli::ResolveFormat(p.options);
    EXPECT_EQ(error, r.error) << r.args[1];
    if (error.empty()) {
      EXPECT_EQ(p.options.settings.format, r.format) << r.args[1];
    }
  }
}

}  // namespace
}  // namespace kestal
