// kestal-export's water options end to end: the frames they shape and the photo they
// refuse.

#include <gtest/gtest.h>

#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::RunCommand;
using test::ShellQuote;

std::string Export(const std::string& args) { return std::string(KESTAL_EXPORT_BIN) + " " + args + " 2>&1"; }

TEST(WaterCli, WaterLineKeepsThePhotoAboveAndTheLineIsCheckedAgainstThePhoto) {
  test::TempDir dir;
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  auto r = RunCommand(Export("-n 2 -p 50 --water-line 300 --strength 0 --tint 203040:20 --fade 50 --blur 2 " +
                             photo + " " + ShellQuote(dir.path().string() + "/")));
  ASSERT_EQ(r.status, 0) << r.output;
  auto frame = LoadImageFile(dir / "rocket01.bmp");
  auto original = LoadImageFile(test::DefaultPhoto().string());
  ASSERT_TRUE(frame.ok() && original.ok());
  EXPECT_EQ(frame->Width(), 640);
  EXPECT_EQ(frame->Height(), 450) << "300 rows of photo and 150 of reflection";
  for (int y : {0, 150, 299}) EXPECT_EQ(frame->Pixel(320, y), original->Pixel(320, y)) << "row " << y;

  struct Row {
    const char* args;
    const char* message;
  } rows[] = {
      {"--water-line 428", "is below the photo's bottom edge (row 427)"},
      {"--water-line 0", "--water-line: '0' is not a row from 1"},
  };
  for (const Row& row : rows) {
    auto bad = RunCommand(Export(std::string(row.args) + " " + photo + " " + ShellQuote(dir / "x.gif")));
    EXPECT_EQ(bad.status, 2) << bad.output;
    EXPECT_NE(bad.output.find(row.message), std::string::npos) << bad.output;
  }
}

}  // namespace
}  // namespace kestal
