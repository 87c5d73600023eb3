// The malformed legacy files of tests/data/bad (which the fuzz harnesses also replay)
// are refused through the registry with an error that names the file and says what
// kind of failure it is.

#include <gtest/gtest.h>

#include <string>

#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

// Loads a file of tests/data/bad, which must be refused with a message naming it.
Error LoadBad(const char* file) {
  const std::string path = (test::TestData() / "bad" / file).string();
  auto r = LoadImageFile(path);
  if (r.ok()) {
    ADD_FAILURE() << file << " was read";
    return Error();
  }
  EXPECT_NE(r.error().message.find(path), std::string::npos) << file << ": " << r.error().message;
  return r.error();
}

TEST(LegacyBadFiles, EachIsRefusedWithItsKind) {
  const struct {
    const char* file;
    ErrorKind kind;
  } cases[] = {
      {"autodesk-chunk-past-end.pic", ErrorKind::Truncated},
      {"autodesk-subchunk-past-frame.cel", ErrorKind::Truncated},
      {"autodesk-animator-no-pixels.cel", ErrorKind::Truncated},
      {"rla-scanline-past-end.rla", ErrorKind::Truncated},
      {"rla-run-past-record.rla", ErrorKind::Truncated},
      {"pcd-base-cut-short.pcd", ErrorKind::Truncated},
      {"drhalo-line-past-end.cut", ErrorKind::Truncated},
      {"psp-block-past-end.psp", ErrorKind::Invalid},
      {"eps-tiff-past-end.eps", ErrorKind::Truncated},
      {"eps-preview-cut-short.eps", ErrorKind::Truncated},
      {"huge-header.bmp", ErrorKind::OverLimit},
      {"huge-header.tga", ErrorKind::OverLimit},
      {"truncated-rle8.bmp", ErrorKind::Truncated},
      // Cut short where what is left still decodes: refused rather than drawn in part.
      {"wmf-no-end-record.wmf", ErrorKind::Truncated},
      {"emf-no-end-record.emf", ErrorKind::Truncated},
      {"ico-image-cut-short.ico", ErrorKind::Truncated},
      {"eps-cut-before-trailer.eps", ErrorKind::Truncated},
  };
  for (const auto& c : cases) {
    const Error e = LoadBad(c.file);
    EXPECT_EQ(e.kind, c.kind) << c.file << ": " << e.cause;
  }
}

TEST(LegacyBadFiles, MetafilesAreRefusedWithTheirCause) {
  const struct {
    const char* file;
    const char* cause;
  } cases[] = {
      {"wmf-record-past-end.wmf", "past the end"},
      {"emf-bitmap-outside-record.emf", "outside itself"},
      {"wmf-polygon-past-record.wmf", "shorter than its parameters"},
      {"emf-polypolygon-counts.emf", "do not add up"},
      {"emf-text-outside-record.emf", "outside itself"},
      // Damaged in ways a reader could paper over: refused rather than shown in part.
      {"jpeg-corrupt-data.jpg", "picture data is damaged"},
      {"jpeg-extraneous-scan-bytes.jpg", "extraneous bytes before marker 0xd9"},
      {"pcx-palette-cut-off.pcx", "palette at the end is cut off"},
      {"wmf-header-cut-off.wmf", "header is truncated"},
      {"png-over-limits.png", "at most 30000 pixels a side"},
      {"png-text-chunk-past-end.png", "\"iTXt\" chunk claims 2113929243 bytes"},
  };
  for (const auto& c : cases) {
    const Error e = LoadBad(c.file);
    EXPECT_NE(e.cause.find(c.cause), std::string::npos) << c.file << ": " << e.cause;
  }
}

}  // namespace
}  // namespace kestal
