// The malformed legacy files of tests/data/bad (which the fuzz harnesses also replay)
// are refused through the registry with an error that names the cause.

#include <gtest/gtest.h>

#include <string>

#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

TEST(LegacyBadFiles, EachIsRefusedWithItsCause) {
  const struct {
    const char* file;
    const char* cause;
  } cases[] = {
      {"autodesk-chunk-past-end.pic", "truncated"},
      {"autodesk-subchunk-past-frame.cel", "truncated"},
      {"autodesk-animator-no-pixels.cel", "truncated"},
      {"rla-scanline-past-end.rla", "truncated"},
      {"rla-run-past-record.rla", "corrupt"},
      {"pcd-base-cut-short.pcd", "before its Base image is complete"},
      {"drhalo-line-past-end.cut", "truncated"},
      {"psp-block-past-end.psp", "cut short"},
      {"eps-tiff-past-end.eps", "past the end"},
      {"eps-preview-cut-short.eps", "preview is truncated"},
      {"wmf-record-past-end.wmf", "past the end"},
      {"emf-bitmap-outside-record.emf", "outside itself"},
      {"wmf-polygon-past-record.wmf", "shorter than its parameters"},
      {"emf-polypolygon-counts.emf", "do not add up"},
      {"emf-text-outside-record.emf", "outside itself"},
  };
  for (const auto& c : cases) {
    const std::string path = (test::TestData() / "bad" / c.file).string();
    auto r = LoadImageFile(path);
    ASSERT_FALSE(r.ok()) << c.file;
    EXPECT_NE(r.error().message.find(path), std::string::npos) << c.file << ": " << r.error().message;
    EXPECT_NE(r.error().cause.find(c.cause), std::string::npos) << c.file << ": " << r.error().cause;
  }
}

}  // namespace
}  // namespace kestal
