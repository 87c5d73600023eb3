// The shared formats' engine parts: scaling the photo, the clip length in whole cycles,
// the exact sizes behind the export dialog's estimate, and the command line's options.

#include <gtest/gtest.h>

#include <cmath>

#include "cli/cli_options.h"
#include "export/codec_levels.h"
#include "export/export_driver.h"
#include "export/gif_export.h"
#include "export/avi_export.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "export/share_export.h"
#include "export/size_estimate.h"
#include "export/webp_export.h"
#include "imageio/image_files.h"
#include "support/test_support.h"
#include "base/file_input.h"
#include "text/text_utils.h"

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
    ExportModel scaled(model, scale, settings.composition);
    ASSERT_NE(scaled.Get(), nullptr);
    ASSERT_TRUE(ExportClip(*scaled.Get(), dir / r.file, settings).ok());
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
      {{"p.jpg", "o.png", "--quality", "5"}, "--quality applies only to MP4, WebM, WebP or AVIF output, not to apng output", ExportFormat::Apng},
      {{"p.jpg", "o.mp4", "--lossless"}, "--lossless applies only to WebP output, not to mp4 output", ExportFormat::Mp4},
      {{"p.jpg", "o.gif", "--seconds", "3"}, "--seconds applies only to AVI, MP4, WebM, WebP, APNG or AVIF output, not to gif output", ExportFormat::Gif},
      {{"p.jpg", "o.mp4", "--seconds", "0"}, "--seconds: '0' is not a number of seconds above 0, at most 3600",
       ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "--scale", "9"}, "--scale: '9' is not a whole number from 10 to 100", ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "--fit", "1280"}, "--fit: '1280' is not a size such as 1280x720", ExportFormat::Mp4},
      {{"p.jpg", "o.mp4", "-f", "mkv"}, "--format: 'mkv' is not one of bmp, jpg, gif, avi, mp4, webm, webp, apng, avif",
       ExportFormat::Mp4},
      {{"p.jpg", "o.AVIF", "--quality", "63", "--seconds", "2"}, "", ExportFormat::Avif},
      {{"p.jpg", "o.avif", "--quality", "64"}, "--quality: the quality of avif runs from 0 to 63, not 64", ExportFormat::Avif},
      {{"p.jpg", "o.avif", "--lossless"}, "--lossless applies only to WebP output, not to avif output", ExportFormat::Avif},
      {{"-f", "avif", "p.jpg", "o.webp"}, "--format avif does not match the output 'o.webp', whose name says webp",
       ExportFormat::Avif},
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

// What the command line does when the size or length is not asked: the shared formats
// fit in 1920 × 1920, the videos last at least 5 s; an option of the user's wins, and
// the original four keep the photo's size and one cycle.
TEST(CliShareOptions, DefaultsForWhatIsNotAsked) {
  const struct {
    std::vector<std::string> args;
    int fit;         // the fit box's side, 0 for none
    int percent;
    double seconds;
  } rows[] = {
      {{"p.jpg", "o.mp4"}, 1920, 100, 5},
      {{"p.jpg", "o.webm"}, 1920, 100, 5},
      {{"p.jpg", "o.webp"}, 1920, 100, 0},
      {{"p.jpg", "o.png"}, 1920, 100, 0},
      {{"p.jpg", "o.avif"}, 1920, 100, 0},
      {{"p.jpg", "o.mp4", "-R", "2"}, 1920, 100, 0},
      {{"p.jpg", "o.webm", "--seconds", "2"}, 1920, 100, 2},
      {{"p.jpg", "o.mp4", "--scale", "100"}, 0, 100, 5},
      {{"p.jpg", "o.webp", "--fit", "640x480"}, 640, 100, 0},
      {{"p.jpg", "o.gif"}, 0, 100, 0},
      {{"p.jpg", "o.avi"}, 0, 100, 0},
      {{"p.jpg", "seq/"}, 0, 100, 0},
  };
  for (const auto& r : rows) {
    cli::ParseResult p = cli::ParseArguments(r.args);
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(cli::ResolveFormat(p.options), "") << r.args[1];
    EXPECT_EQ(p.options.scale.fitWidth, r.fit) << r.args[1] << " " << r.args.size();
    EXPECT_EQ(p.options.scale.percent, r.percent) << r.args[1];
    EXPECT_EQ(p.options.settings.encode.seconds, r.seconds) << r.args[1] << " " << r.args.size();
  }
}

// The smallest level that holds the picture (ITU-T H.264 Table A-1), and a refusal
// naming the highest level's limits.
TEST(CodecLevels, SmallestH264LevelThatHoldsThePicture) {
  const struct {
    int32_t width, height;
    int fps;
    int level;  // 0: refused
  } rows[] = {
      {176, 144, 5, 10},      {640, 760, 8, 31},        {1280, 720, 20, 31},     {1080, 1920, 8, 40},
      {1920, 1140, 8, 42},    {1920, 1920, 8, 50},      {4096, 2304, 20, 51},    {4096, 2304, 8, 51},
      {8192, 4320, 20, 60},   {16384, 38, 8, 60},       {8000, 11400, 8, 0},     {6000, 6000, 5, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.width) + " x " + std::to_string(r.height));
    auto level = H264LevelFor(r.width, r.height, r.fps);
    if (r.level == 0) {
      ASSERT_FALSE(level.ok());
      EXPECT_EQ(level.error().kind, ErrorKind::OverLimit);
      EXPECT_EQ(level.error().cause, "the exported picture would be " + std::to_string(r.width) + " x " +
                                         std::to_string(r.height) +
                                         " pixels; H.264's highest level, 6.2, holds at most 35651584 pixels a "
                                         "frame and 16880 a side");
    } else {
      ASSERT_TRUE(level.ok()) << level.error().cause;
      EXPECT_EQ(*level, r.level);
    }
  }
}

// A picture the codec cannot hold is refused before the file is made, naming the size
// and the limit: over the encoders' 16384 pixels a side, or over the highest level. The
// estimate gives no size for it either.
TEST(ShareExport, PicturesOverTheCodecsLimitsAreRefusedBeforeWriting) {
  const struct {
    int32_t width, height;
    ExportFormat format;
    const char* cause;
  } rows[] = {
      {16400, 20, ExportFormat::Mp4,
       "the exported picture would be 16400 x 40 pixels; an MP4 clip holds at most 16384 pixels a side"},
      {16400, 20, ExportFormat::WebM,
       "the exported picture would be 16400 x 40 pixels; a WebM clip holds at most 16384 pixels a side"},
      {6000, 3000, ExportFormat::Mp4,
       "the exported picture would be 6000 x 6000 pixels; H.264's highest level, 6.2, holds at most 35651584 pixels a "
       "frame and 16880 a side"},
      {6000, 3000, ExportFormat::WebM,
       "the exported picture would be 6000 x 6000 pixels; VP9's highest level, 6.2, holds at most 35651584 pixels a "
       "frame and 16384 a side"},
  };
  test::TempDir dir;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.cause);
    AnimationModel model;
    ASSERT_TRUE(model.SetPercent(100).ok());
    ASSERT_TRUE(model.SetPhoto(test::Gradient(r.width, r.height)).ok());
    ExportSettings settings;
    settings.format = r.format;
    const Status s = ExportClip(model, dir / "big.clip", settings);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().kind, ErrorKind::OverLimit);
    EXPECT_EQ(s.error().cause, r.cause);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing is written";
    auto estimate = EstimateExportSize(model, settings, {});
    ASSERT_FALSE(estimate.ok()) << "no size for what cannot be written";
    EXPECT_EQ(estimate.error().cause, r.cause);
  }
}

// The estimate against the file written with the same settings, for every format at its
// default scale, the water off and on: within 20 %.
TEST(SizeEstimate, EveryFormatWithinAFifthOfTheRealFile) {
  auto photo = LoadImageFile(test::DefaultPhoto().string());
  ASSERT_TRUE(photo.ok());
  WaterSettings water;
  water.line = WaterLine{70, WaterLine::Unit::Percent};
  water.tintPercent = 25;
  water.fadePercent = 70;
  water.fadeCurve = FadeCurve::Smooth;
  water.blurRadius = 2;
  water.strengthPercent = 120;
  test::TempDir dir;
  for (const bool with_water : {false, true}) {
    AnimationModel model;
    ASSERT_TRUE(model.SetWater(with_water ? water : WaterSettings{}).ok());
    ASSERT_TRUE(model.SetPhoto(photo->Clone().value()).ok());
    for (const OutputFormatInfo& info : OutputFormats()) {
      SCOPED_TRACE(std::string(info.name) + (with_water ? " with water" : ""));
      ExportSettings settings;
      settings.format = info.format;
      // Four cycles: more than the trial encodes, fewer than the 5 s of the default, to
      // keep the test short.
      settings.repetitions = 4;
      const ScaleRequest scale = DefaultScale(info.format);
      auto estimate = EstimateExportSize(model, settings, scale);
      ASSERT_TRUE(estimate.ok()) << estimate.error().cause;
      const std::string out = dir / (std::string("a") + info.extension);
      uint64_t real = 0;
      if (info.format == ExportFormat::BmpSequence || info.format == ExportFormat::JpgSequence) {
        const std::string ext = info.format == ExportFormat::JpgSequence ? "jpg" : "bmp";
        std::filesystem::create_directories(dir / "seq");
        auto report = ExportSequence(model, dir / "seq", "p.jpg", ext, settings.composition);
        ASSERT_TRUE(report.ok());
        ASSERT_TRUE(report->failures.empty());
        for (const std::string& file : report->written) real += static_cast<uint64_t>(GetFileSizeBytes(file));
      } else if (info.format == ExportFormat::Gif) {
        ASSERT_TRUE(ExportGif(model, out, settings).ok());
      } else if (info.format == ExportFormat::Avi) {
        ASSERT_TRUE(ExportAvi(model, out, settings).ok());
      } else {
        ExportModel scaled(model, scale, settings.composition);
        ASSERT_NE(scaled.Get(), nullptr);
        ASSERT_TRUE(ExportClip(*scaled.Get(), out, settings).ok());
      }
      if (real == 0) real = static_cast<uint64_t>(GetFileSizeBytes(out));
      EXPECT_NEAR(static_cast<double>(estimate->bytes) / static_cast<double>(real), 1.0, 0.2)
          << estimate->bytes << " for " << real;
    }
  }
}

}  // namespace
}  // namespace kestal

namespace kestal {
namespace {

// Every row of the format table is reachable from the command line by its name and by
// its extension, in any case, and is listed in the help; exactly the clips have a
// writer; each frame lasts what the format's rule says.
TEST(OutputFormats, EveryRowServesTheCommandLineAndTheClipDriver) {
  const std::string help = cli::UsageText();
  for (const OutputFormatInfo& info : OutputFormats()) {
    SCOPED_TRACE(info.name);
    EXPECT_EQ(&FormatInfo(info.format), &info);
    const std::string ext = info.extension;
    const std::string output = ext.empty() ? "seq/" : "o" + ext;
    for (const bool named : {true, false}) {
      cli::ParseResult p = cli::ParseArguments(named ? std::vector<std::string>{"-f", info.name, "p.jpg", output}
                                                     : std::vector<std::string>{"p.jpg", output});
      ASSERT_EQ(p.error, "");
      if (!named && info.format == ExportFormat::JpgSequence) continue;  // a folder alone means BMP
      EXPECT_EQ(cli::ResolveFormat(p.options), "");
      EXPECT_EQ(p.options.settings.format, info.format);
    }
    if (!ext.empty()) {
      std::string upper = "O" + ext;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(FormatByExtension(upper), info.format);
      EXPECT_NE(help.find(ext + ": " + info.help), std::string::npos) << help;
    }
    EXPECT_EQ(info.writer != nullptr, info.clip);
  }
  const struct {
    ExportFormat format;
    int intervalMs;
    double frameMs;
  } lengths[] = {
      {ExportFormat::Avi, kMediumIntervalMs, 125},   // 8 frames a second
      {ExportFormat::Mp4, kFastIntervalMs, 50},
      {ExportFormat::Apng, kSlowIntervalMs, 200},
      {ExportFormat::WebP, kMediumIntervalMs, 120},  // the timer's own interval
      {ExportFormat::Avif, kMediumIntervalMs, 120},
      {ExportFormat::WebM, 0, 0},                    // no rate at all
  };
  for (const auto& r : lengths) EXPECT_EQ(FrameMs(r.format, r.intervalMs), r.frameMs) << FormatInfo(r.format).name;
}

}  // namespace
}  // namespace kestal

namespace kestal {
namespace {

// Keeps every frame it is given.
class RecordingWriter : public FrameWriter {
 public:
  Status Begin(int32_t, int32_t, const FramePace&) override { return Status::Ok(); }
  Status Add(const Bitmap24& frame) override {
    frames.push_back(frame.Clone().value());
    return Status::Ok();
  }
  Status Finish() override { return Status::Ok(); }
  void Abort() override {}
  uint64_t Bytes() const override { return 0; }
  std::string FileMessage() const override { return "recording"; }
  std::vector<Bitmap24> frames;
};

// A clip of several cycles writes the first cycle's frames again: every frame must be
// what the model renders for it, in every mode, with the water's effects on.
TEST(ShareExport, LaterCyclesRepeatTheRenderedFrames) {
  for (WaveMode mode : {WaveMode::Perspective, WaveMode::Regular, WaveMode::Natural}) {
    AnimationModel model;
    model.SetFrameCount(4);
    model.SetMode(mode);
    WaterSettings water;
    water.blurRadius = 1;
    water.strengthPercent = 150;
    ASSERT_TRUE(model.SetWater(water).ok());
    ASSERT_TRUE(model.SetPhoto(test::Noise(24, 20, 3)).ok());
    ExportSettings settings{.format = ExportFormat::Avi, .repetitions = 3};
    RecordingWriter writer;
    ASSERT_TRUE(ExportClip(model, writer, settings).ok());
    ASSERT_EQ(writer.frames.size(), 12u);
    // The same frames rendered one by one.
    auto composer = FrameComposer::Create(model, settings.composition);
    ASSERT_TRUE(composer.ok());
    model.ResetFrameIndex();
    for (size_t i = 0; i < writer.frames.size(); ++i) {
      composer->NextFrame(model);
      EXPECT_TRUE(writer.frames[i].SamePixels(composer->Output())) << "mode " << int(mode) << ", frame " << i;
    }
  }
}

}  // namespace
}  // namespace kestal
