// kestal-export end to end: frames written from the bundled photo, checked by an
// independent reader (ImageMagick), and the exit codes of the failure paths.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace kestal {
namespace {

using test::RunCommand;
using test::ShellQuote;

std::string Export(const std::string& args) { return std::string(KESTAL_EXPORT_BIN) + " " + args + " 2>&1"; }

TEST(CliFrames, BmpSequenceOfTheBundledPhoto) {
  test::TempDir dir;
  const std::string out = dir.path().string() + "/frames/";
  auto r = RunCommand(Export("-n 3 -p 50 " + ShellQuote(test::DefaultPhoto().string()) + " " + ShellQuote(out)));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, out + "rocket00.bmp\n" + out + "rocket01.bmp\n" + out + "rocket02.bmp\n")
      << "the written paths, and no progress bar when stderr is not a terminal";
  if (!test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick is not installed";
  // 640 × 427 at 50 %: 213.5 rounds to the even 214 rows; with the photo, 641 rows.
  auto id = RunCommand("identify -format '%w %h %[type]\\n' " + ShellQuote(out + "rocket02.bmp"));
  EXPECT_EQ(id.output, "640 641 TrueColor\n");
}

TEST(CliFrames, JpgSequenceReflectionOnly) {
  test::TempDir dir;
  auto r = RunCommand(Export("-q -f jpg -r -n 2 -p 30 " + ShellQuote(test::DefaultPhoto().string()) + " " +
                             ShellQuote(dir.path().string())));
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(std::filesystem::exists(dir / "rocket01.jpg"));
  if (!test::HaveTool("identify")) GTEST_SKIP() << "ImageMagick is not installed";
  auto id = RunCommand("identify -format '%w %h %Q' " + ShellQuote(dir / "rocket00.jpg"));
  EXPECT_EQ(id.output, "640 128 90");  // 427 × 30 % = 128.1
}

TEST(CliFrames, ExitCodesAndOneLineErrors) {
  test::TempDir dir;
  std::ofstream(dir / "broken.png") << "not a picture";
  struct Row {
    const char* description;
    std::string args;
    int status;
    std::string message;
  } rows[] = {
      {"usage", "-n 40 a.jpg out/", 2, "--frames: '40' is not a whole number from 2 to 30"},
      {"missing photo", ShellQuote(dir / "none.jpg") + " " + ShellQuote(dir / "o/"), 3, "No such file or directory"},
      {"unreadable photo", ShellQuote(dir / "broken.png") + " " + ShellQuote(dir / "o/"), 3, "not a PNG file"},
      {"output folder cannot be made", ShellQuote(test::DefaultPhoto().string()) + " " + ShellQuote(dir / "a/b/c/"),
       4, "cannot create the folder"},
  };
  for (const Row& r : rows) {
    auto res = RunCommand(Export(r.args));
    EXPECT_EQ(res.status, r.status) << r.description << ": " << res.output;
    EXPECT_NE(res.output.find(r.message), std::string::npos) << r.description << ": " << res.output;
    EXPECT_EQ(std::count(res.output.begin(), res.output.end(), '\n'), 1) << r.description << ": " << res.output;
  }
}

TEST(CliFrames, AReflectionWithoutRowsIsRefusedBeforeAnythingIsWritten) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  test::TempDir dir;
  ASSERT_EQ(RunCommand("convert -size 200x1 xc:navy " + ShellQuote(dir / "line.png")).status, 0);
  auto r = RunCommand(Export("-r -p 30 " + ShellQuote(dir / "line.png") + " " + ShellQuote(dir / "out/")));
  EXPECT_EQ(r.status, 4) << r.output;
  EXPECT_NE(r.output.find("has no rows"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir / "out")) << "refused before the folder is made";
}

}  // namespace
}  // namespace kestal
