// EPS previews (TIFF behind a DOS binary header, EPSI hexadecimal bitmaps) and the
// Ghostscript path: its absence, its time limit, and (when gs is installed) a rendering.

#include "imageio/codecs/eps_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "imageio/image_files.h"
#include "support/image_compare.h"
#include "support/test_support.h"

namespace kestal {
namespace {

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string Epsi(const std::string& previewHeader, const std::string& hexLines) {
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 4 2\n%%EndComments\n%%BeginPreview: " + previewHeader +
         "\n" + hexLines + "%%EndPreview\nshowpage\n";
}

TEST(EpsReader, EpsiPreviewsOfEachDepth) {
  const struct {
    const char* description;
    std::string file;
    uint8_t expected[2][4];  // grey levels
  } cases[] = {
      {"1 bit: set bits are black", Epsi("4 2 1 2", "% A0\n% 50\n"), {{0, 255, 0, 255}, {255, 0, 255, 0}}},
      {"2 bits: 0 white, 3 black", Epsi("4 2 2 1", "% 1B E4\n"), {{255, 170, 85, 0}, {0, 85, 170, 255}}},
      {"8 bits, digits split over lines and spaced", Epsi("4 2 8 3", "% 00FF 80\n%7F 00\n% 11 22 33\n"),
       {{255, 0, 127, 128}, {255, 238, 221, 204}}},
  };
  for (const auto& c : cases) {
    auto b = ReadEps(ByteSpan(Text(c.file)), kDefaultPixelLimits);
    ASSERT_TRUE(b.ok()) << c.description << ": " << b.error().Line();
    ASSERT_EQ(b->Width(), 4);
    ASSERT_EQ(b->Height(), 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(b->Pixel(x, y).green, c.expected[y][x]) << c.description << " " << x << "," << y;
  }
}

TEST(EpsReader, MalformedFilesAreRefused) {
  std::vector<uint8_t> pastEnd = {0xC5, 0xD0, 0xD3, 0xC6, 30, 0, 0, 0, 10, 0, 0, 0};
  pastEnd.resize(30, 0);
  pastEnd[20] = 200;  // TIFF start past the end
  pastEnd[24] = 4;
  test::ExpectRefusals(ReadEpsPreview, {
      {"binary header cut short", {0xC5, 0xD0, 0xD3, 0xC6, 1, 0}, "truncated"},
      {"binary header pointing past the end", pastEnd, "past the end"},
      {"preview header without numbers", Text(Epsi("wide", "")), "unreadable"},
      {"preview of 3 bits a sample", Text(Epsi("4 2 3 1", "% 00\n")), "depth 3"},
      {"preview rows missing", Text(Epsi("4 200 8 1", "% 00112233\n")), "truncated"},
      {"no preview at all", Text("%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n"), "no preview"},
  });
}

TEST(EpsReader, TiffPreviewBehindBinaryHeader) {
  KESTAL_REQUIRE_SAMPLES();
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string path = (test::Samples() / "formats/eps/Pillow/1.eps").string();
  auto bytes = ReadWholeFile(path);
  ASSERT_TRUE(bytes.ok());
  auto ours = LoadImageFile(path);
  ASSERT_TRUE(ours.ok()) << ours.error().Line();
  // ImageMagick reads the TIFF section once it is cut out of the file.
  const std::vector<uint8_t>& d = bytes.value();
  auto u32 = [&](size_t at) { return uint32_t(d[at]) | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24; };
  test::TempDir dir;
  std::ofstream(dir / "preview.tif", std::ios::binary)
      .write(reinterpret_cast<const char*>(d.data() + u32(20)), std::streamsize(u32(24)));
  auto theirs = test::ImageMagickDecode(dir / "preview.tif");
  ASSERT_TRUE(theirs.has_value());
  ASSERT_EQ(ours->Width(), theirs->Width());
  ASSERT_EQ(ours->Height(), theirs->Height());
  EXPECT_EQ(test::Compare(ours.value(), *theirs).max, 0);
}

TEST(EpsReader, WithoutGhostscriptTheErrorSaysSo) {
  auto r = RenderPostScript(ByteSpan(Text("%!PS\nshowpage\n")), kDefaultPixelLimits, "kestal-no-such-gs");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("no preview"), std::string::npos) << r.error().cause;
  EXPECT_NE(r.error().cause.find("Ghostscript (gs) is not installed"), std::string::npos) << r.error().cause;
}

TEST(EpsReader, AnInterpreterThatHangsIsStopped) {
  test::TempDir dir;
  const std::string script = dir / "slow-gs";
  std::ofstream(script) << "#!/bin/sh\nexec sleep 30\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  auto r = RenderPostScript(ByteSpan(Text("%!PS\n")), kDefaultPixelLimits, script, 1);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("longer than 1 seconds"), std::string::npos) << r.error().cause;
}

TEST(EpsReader, GhostscriptRendersFilesWithoutPreview) {
  KESTAL_REQUIRE_SAMPLES();
  if (!test::HaveTool("gs")) GTEST_SKIP() << "Ghostscript is not installed";
  auto ours = LoadImageFile((test::Samples() / "formats/eps/kimageformats/rgb.eps").string());
  ASSERT_TRUE(ours.ok()) << ours.error().Line();
  auto reference = LoadImageFile((test::Samples() / "formats/eps/kimageformats/rgb.png").string());
  ASSERT_TRUE(reference.ok());
  ASSERT_EQ(ours->Width(), reference->Width());
  ASSERT_EQ(ours->Height(), reference->Height());
  EXPECT_LE(test::Compare(ours.value(), reference.value()).mean, 8.0);
}

TEST(EpsReader, GhostscriptUsesTheTrailersBoxAndNeedsNoShowpage) {
  if (!test::HaveTool("gs")) GTEST_SKIP() << "Ghostscript is not installed";
  const std::string fill = "%%EndComments\n0 0 1 setrgbcolor 0 0 20 10 rectfill\n";
  const struct {
    const char* description;
    std::string file;
  } cases[] = {
      {"the box in the trailer (the last one counts)",
       "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: (atend)\n" + fill +
           "showpage\n%%Trailer\n%%BoundingBox: 0 0 40 40\n%%BoundingBox: 0 0 20 10\n%%EOF\n"},
      {"no showpage", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 20 10\n" + fill + "%%EOF\n"},
      {"a preview left blank", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 20 10\n%%BeginPreview: 20 10 1 1\n% " +
                                   std::string(60, '0') + "\n%%EndPreview\n" + fill + "%%EOF\n"},
  };
  for (const auto& c : cases) {
    auto b = ReadEps(ByteSpan(Text(c.file)), kDefaultPixelLimits);
    ASSERT_TRUE(b.ok()) << c.description << ": " << b.error().Line();
    EXPECT_EQ(b->Width(), 20) << c.description;
    EXPECT_EQ(b->Height(), 10) << c.description;
    EXPECT_EQ(b->Pixel(10, 5), (ColorTriple{255, 0, 0})) << c.description;
  }
}

}  // namespace
}  // namespace kestal
