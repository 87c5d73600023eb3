#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include "cli/progress_bar.h"
#include "support/test_support.h"

namespace kestal::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseArguments(args); }

TEST(CliOptions, DefaultsMatchTheDesktopProgram) {
  ParseResult r = Parse({"photo.jpg", "out.gif"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.frames, 5);
  EXPECT_EQ(r.options.percent, 90);
  EXPECT_EQ(r.options.mode, WaveMode::Perspective);
  EXPECT_EQ(r.options.waveLength, WaveLength::Medium);
  EXPECT_EQ(r.options.settings.intervalMs, 120);
  EXPECT_EQ(r.options.settings.colors, 256);
  EXPECT_EQ(r.options.settings.repetitions, 1);
  EXPECT_EQ(r.options.settings.composition, Composition::PhotoAndReflection);
}

TEST(CliOptions, EveryOptionInBothSpellings) {
  ParseResult r = Parse({"-n", "30", "--height=100", "-m", "regular", "--wave", "long", "-s", "fast",
                         "-c16", "-r", "--repeat", "100", "--html", "-q", "-f", "avi", "p.png", "o"});
  ASSERT_EQ(r.error, "");
  const Options& o = r.options;
  EXPECT_EQ(o.frames, 30);
  EXPECT_EQ(o.percent, 100);
  EXPECT_EQ(o.mode, WaveMode::Regular);
  EXPECT_EQ(o.waveLength, WaveLength::Long);
  EXPECT_EQ(o.settings.intervalMs, 50);
  EXPECT_EQ(o.settings.colors, 16);
  EXPECT_EQ(o.settings.composition, Composition::ReflectionOnly);
  EXPECT_EQ(o.settings.repetitions, 100);
  EXPECT_TRUE(o.settings.htmlPage);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.settings.format, ExportFormat::Avi);
  EXPECT_EQ(o.photo, "p.png");
}

TEST(CliOptions, BadValuesNameTheOptionAndItsRange) {
  struct Row {
    std::vector<std::string> args;
    const char* error;
  } rows[] = {
      {{"-n", "1", "a", "b"}, "--frames: '1' is not a whole number from 2 to 30"},
      {{"-n", "31", "a", "b"}, "--frames: '31' is not a whole number from 2 to 30"},
      {{"--height", "25", "a", "b"}, "--height: '25' is not a whole number from 30 to 100"},
      {{"-p", "9x", "a", "b"}, "--height: '9x' is not a whole number from 30 to 100"},
      {{"-R", "0", "a", "b"}, "--repeat: '0' is not a whole number from 1 to 100"},
      {{"-c", "128", "a", "b"}, "--colors: '128' is not one of 16, 32, 64, 256"},
      {{"-m", "wavy", "a", "b"}, "--mode: 'wavy' is not one of perspective, regular, natural"},
      {{"--speed", "warp", "a", "b"}, "--speed: 'warp' is not one of slow, medium, fast"},
      {{"-f", "png", "a", "b"}, "--format: 'png' is not one of bmp, jpg, gif, avi, mp4, webm, webp, apng, avif"},
      {{"--bogus", "a", "b"}, "unknown option '--bogus' (see --help)"},
      {{"a"}, "expected PHOTO and OUTPUT (see --help)"},
      {{"a", "b", "c"}, "too many arguments: expected PHOTO and OUTPUT (see --help)"},
      {{"a", "b", "-n"}, "--frames needs a value (see --help)"},
      {{"--quiet=yes", "a", "b"}, "--quiet takes no value"},
  };
  for (const Row& r : rows) EXPECT_EQ(Parse(r.args).error, r.error);
}

TEST(CliOptions, FormatFollowsTheOutputName) {
  test::TempDir dir;
  struct Row {
    std::string output;
    bool ok;
    ExportFormat format;
  } rows[] = {
      {"clip.AVI", true, ExportFormat::Avi},
      {"anim.gif", true, ExportFormat::Gif},
      {"frames/", true, ExportFormat::BmpSequence},
      {dir.path().string(), true, ExportFormat::BmpSequence},
      {"picture.png", true, ExportFormat::Apng},  // an animated PNG
      {"picture.tga", false, ExportFormat::Gif},
  };
  for (const Row& r : rows) {
    ParseResult p = Parse({"photo.jpg", r.output});
    ASSERT_EQ(p.error, "");
    const std::string err = ResolveFormat(p.options);
    EXPECT_EQ(err.empty(), r.ok) << r.output;
    if (r.ok) {
      EXPECT_EQ(p.options.settings.format, r.format) << r.output;
    }
  }
  ParseResult forced = Parse({"-f", "jpg", "photo.jpg", "anything"});
  EXPECT_EQ(ResolveFormat(forced.options), "");
  EXPECT_EQ(forced.options.settings.format, ExportFormat::JpgSequence);
}

TEST(CliOptions, OptionsThatDoNotApplyToTheOutputAreUsageErrors) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // "" when the command line is fine
  } rows[] = {
      {{"--repeat", "3", "p.jpg", "a.gif"}, "--repeat applies only to AVI, MP4, WebM, WebP, APNG or AVIF output, not to gif output"},
      {{"-R", "2", "p.jpg", "frames/"}, "--repeat applies only to AVI, MP4, WebM, WebP, APNG or AVIF output, not to bmp output"},
      {{"--colors", "16", "p.jpg", "a.avi"}, "--colors applies only to GIF output, not to avi output"},
      {{"--html", "-f", "jpg", "p.jpg", "frames/"}, "--html applies only to GIF output, not to jpg output"},
      {{"-f", "jpg", "p.jpg", "out.gif"}, "--format jpg does not match the output 'out.gif', whose name says gif"},
      {{"-f", "gif", "p.jpg", "out.AVI"}, "--format gif does not match the output 'out.AVI', whose name says avi"},
      {{"p.jpg", "-"}, "'-' writes to standard output: give the format with --format gif"},
      {{"-f", "avi", "p.jpg", "-"},
       "--format avi cannot go to standard output: only a GIF is written as it is made (an AVI's sizes are "
       "written at its end)"},
      {{"-f", "gif", "--html", "p.jpg", "-"}, "--html needs a GIF file beside the page, not standard output"},
      {{"-f", "gif", "-c", "16", "p.jpg", "-"}, ""},
      {{"-R", "2", "-s", "fast", "p.jpg", "a.avi"}, ""},
      {{"-f", "bmp", "p.jpg", "frames.d"}, ""},
  };
  for (const Row& r : rows) {
    ParseResult p = Parse(r.args);
    ASSERT_EQ(p.error, "") << r.error;
    EXPECT_EQ(ResolveFormat(p.options), r.error);
  }
  EXPECT_EQ(Parse({"", "out.gif"}).error, "no photo given: PHOTO is an empty name");
  EXPECT_EQ(Parse({"p.jpg", ""}).error, "no output given: OUTPUT is an empty name");
}

// The natural water's options, read from its table: their values, their ranges, and
// their refusal in the modes they do not shape, wherever -m stands.
TEST(CliOptions, NaturalWaterOptionsOnlyWithTheNaturalMode) {
  ParseResult r = Parse({"--wind", "100", "--direction=-90", "--rain", "55", "--glints", "off", "-m", "natural",
                         "p.jpg", "o.gif"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.natural, (NaturalWaterSettings{100, -90, 55, false}));
  EXPECT_EQ(Parse({"-m", "natural", "p.jpg", "o.gif"}).options.natural, NaturalWaterSettings{});
  struct Row {
    std::vector<std::string> args;
    const char* error;
  } rows[] = {
      {{"--wind", "50", "p.jpg", "o.gif"}, "--wind applies only to --mode natural, not to perspective mode"},
      {{"-m", "regular", "--glints", "on", "p.jpg", "o.gif"},
       "--glints applies only to --mode natural, not to regular mode"},
      {{"--rain=3", "-m", "perspective", "p.jpg", "o.gif"},
       "--rain applies only to --mode natural, not to perspective mode"},
      {{"-m", "natural", "--wind", "101", "p", "o"}, "--wind: '101' is not a whole number from 0 to 100"},
      {{"-m", "natural", "--direction", "-91", "p", "o"}, "--direction: '-91' is not a whole number from -90 to 90"},
      {{"-m", "natural", "--rain", "", "p", "o"}, "--rain: '' is not a whole number from 0 to 100"},
      {{"-m", "natural", "--glints", "yes", "p", "o"}, "--glints: 'yes' is not on or off"},
  };
  for (const Row& row : rows) EXPECT_EQ(Parse(row.args).error, row.error);
  for (const NaturalSettingInfo& row : kNaturalSettingTable)
    EXPECT_NE(UsageText().find(std::string("--") + row.option + " " + row.argument), std::string::npos) << row.option;
}

TEST(CliOptions, ErrorLinesAndExitCodes) {
  const Error io = Error::Io("No space left on device");
  EXPECT_EQ(ErrorLine(io, "a.gif"), "kestal-export: a.gif: No space left on device");
  EXPECT_EQ(ErrorLine(Error{"/o/sea01.bmp", "Permission denied"}, ""),
            "kestal-export: /o/sea01.bmp: Permission denied");
  EXPECT_EQ(ExitCodeFor(FailedStage::Output), kExitOutput);
  EXPECT_EQ(ExitCodeFor(FailedStage::Photo), kExitPhoto);
}

TEST(CliOptions, ProgressBarRendering) {
  EXPECT_EQ(ProgressBar::Render(0, 4, 8), "Exporting image 0 of 4 [        ]");
  EXPECT_EQ(ProgressBar::Render(2, 4, 8), "Exporting image 2 of 4 [####    ]");
  EXPECT_EQ(ProgressBar::Render(9, 4, 8), "Exporting image 4 of 4 [########]");
}

}  // namespace
}  // namespace kestal::cli
