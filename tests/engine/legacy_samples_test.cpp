// The legacy readers over the shared sample files, checked against an independent
// decoder where one reads the family, and against each other where the samples hold
// one picture at several depths.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "imageio/image_files.h"
#include "support/image_compare.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Samples;

std::string SamplePath(const std::string& relative) { return (Samples() / "formats" / relative).string(); }

Bitmap24 LoadSample(const std::string& relative) {
  auto b = LoadImageFile(SamplePath(relative));
  EXPECT_TRUE(b.ok()) << relative << ": " << (b.ok() ? "" : b.error().Line());
  return b.ok() ? std::move(b.value()) : Bitmap24();
}

void ExpectClose(const Bitmap24& ours, const std::optional<Bitmap24>& theirs, int maxDiff, double meanDiff) {
  ASSERT_TRUE(theirs.has_value()) << "the independent decoder could not read the file";
  ASSERT_EQ(ours.Width(), theirs->Width());
  ASSERT_EQ(ours.Height(), theirs->Height());
  const test::PixelDifference d = test::Compare(ours, *theirs);
  EXPECT_LE(d.max, maxDiff);
  EXPECT_LE(d.mean, meanDiff);
}

struct OracleCase {
  const char* description;
  const char* file;
  int maxDiff;
  double meanDiff;
};

TEST(LegacySamples, MatchPillow) {
  KESTAL_REQUIRE_SAMPLES();
  if (!test::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  const OracleCase cases[] = {
      // Pillow converts PhotoYCC with the same equations; it rounds its tables
      // differently by a level or so.
      {"Photo-CD Base image", "pcd/Pillow/hopper.pcd", 4, 0.5},
  };
  for (const OracleCase& c : cases) {
    SCOPED_TRACE(c.description);
    ExpectClose(LoadSample(c.file), test::PillowDecode(SamplePath(c.file)), c.maxDiff, c.meanDiff);
  }
}

TEST(LegacySamples, AnimatorProCelsMatchFfmpeg) {
  KESTAL_REQUIRE_SAMPLES();
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const OracleCase cases[] = {
      {"colour and byte-run chunks behind a prefix chunk", "autodesk/animatorpro-flc/LOGO.CEL", 0, 0},
      {"a small cel", "autodesk/animatorpro-flc/RED.CEL", 0, 0},
      {"ten frames: the first is read", "autodesk/animatorpro-flc/SUN.CEL", 0, 0},
  };
  for (const OracleCase& c : cases) {
    SCOPED_TRACE(c.description);
    ExpectClose(LoadSample(c.file), test::FfmpegDecode(SamplePath(c.file)), c.maxDiff, c.meanDiff);
  }
}

}  // namespace
}  // namespace kestal

namespace kestal {
namespace {

// No second decoder reads these Alias/Wavefront files; two of them hold one picture
// stored by two writers at 16 and 8 bits, which must decode alike.
TEST(LegacySamples, AliasWavefrontDepthsAgree) {
  KESTAL_REQUIRE_SAMPLES();
  const Bitmap24 rgba16 = LoadSample("rla/oiio-images/ginsu_rgba_nc16.rla");
  const Bitmap24 rgba8 = LoadSample("rla/oiio-images/imgmake_rgba_nc8.rla");
  const Bitmap24 rgb8 = LoadSample("rla/oiio-images/ginsu_rgb_nc8.rla");
  EXPECT_EQ(rgb8.Width(), 512);
  ASSERT_EQ(rgba16.Width(), 512);
  ASSERT_EQ(rgba16.Height(), 512);
  const test::PixelDifference d = test::Compare(rgba16, rgba8);
  EXPECT_LE(d.max, 2) << "16-bit and 8-bit colour with matte";
}

TEST(LegacySamples, OriginalAnimatorCels) {
  KESTAL_REQUIRE_SAMPLES();
  struct Case {
    const char* file;
    int width, height;
  } cases[] = {{"CRSHAIR.CEL", 314, 146}, {"ZIN.CEL", 6, 6}, {"ZOUT.CEL", 6, 5}};
  for (const Case& c : cases) {
    const std::string rel = std::string("autodesk/animator1-9119/") + c.file;
    const Bitmap24 b = LoadSample(rel);
    EXPECT_EQ(b.Width(), c.width) << c.file;
    EXPECT_EQ(b.Height(), c.height) << c.file;
  }
  // The first pixel of the starship cel is index 0 of its palette, (0, 0, 0) in
  // 6-bit levels, and the palette's entry 1 is (8, 8, 8), widened to 33.
  const Bitmap24 ship = LoadSample("autodesk/animator1-9119/CRSHAIR.CEL");
  EXPECT_EQ(ship.Pixel(0, 0), (ColorTriple{0, 0, 0}));
}

}  // namespace
}  // namespace kestal
