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

// Natural water has the same bytes whatever vector instructions the CPU has: the frames
// written under an emulated CPU with AVX2 and none, and one with no AVX at all, are
// this machine's.
TEST(WaterCli, NaturalWaterHasTheSameBytesOnEveryCpu) {
#if !defined(__x86_64__)
  GTEST_SKIP() << "the emulated CPUs are x86-64";
#endif
  if (!test::HaveTool("qemu-x86_64")) GTEST_SKIP() << "qemu-x86_64 is not installed";
  test::TempDir dir;
  const std::string args =
      " -q -m natural -n 3 --rain 60 --scale 50 -f bmp " + ShellQuote(test::DefaultPhoto().string());
  const char* cpus[] = {"", "qemu-x86_64 -cpu Haswell ", "qemu-x86_64 -cpu Nehalem "};
  for (int i = 0; i < 3; ++i) {
    const std::filesystem::path out = dir.path() / std::to_string(i);
    std::filesystem::create_directory(out);
    auto r = RunCommand(cpus[i] + Export(args + " " + ShellQuote(out.string() + "/")));
    ASSERT_EQ(r.status, 0) << cpus[i] << r.output;
    for (const char* frame : {"rocket00.bmp", "rocket01.bmp", "rocket02.bmp"}) {
      const std::string bytes = test::ReadAll(out / frame);
      ASSERT_FALSE(bytes.empty()) << cpus[i] << frame;
      EXPECT_EQ(bytes, test::ReadAll(dir.path() / "0" / frame)) << cpus[i] << frame;
    }
  }
}

}  // namespace
}  // namespace kestal
