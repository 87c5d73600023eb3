// kestal-export writing .avi clips, checked by ffprobe and ffmpeg.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;
using test::ShellQuote;

#define REQUIRE_FFMPEG()                                                   \
  do {                                                                     \
    if (!test::HaveTool("ffprobe") || !test::HaveTool("ffmpeg"))           \
      GTEST_SKIP() << "ffprobe and ffmpeg are needed to read the clips";   \
  } while (0)

std::string Export(const std::string& args) {
  return std::string(KESTAL_EXPORT_BIN) + " -q " + args;
}

// The MD5 of every decoded frame, in order, as ffmpeg's framemd5 muxer gives them.
std::vector<std::string> FrameHashes(const std::string& input, const std::string& options = "") {
  const auto r = RunCommand("ffmpeg -v error -xerror " + options + " -i " + ShellQuote(input) +
                            " -pix_fmt bgr24 -f framemd5 -");
  EXPECT_EQ(r.status, 0) << input;
  std::vector<std::string> hashes;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 2));
  }
  return hashes;
}

TEST(AviCli, ClipReadsAsRawBgrAtTheSpeedsRateWithEveryFrameOfTheSequence) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  const std::string photo = test::DefaultPhoto().string();
  const std::string clip = dir / "rocket.avi";
  ASSERT_EQ(RunCommand(Export("-n 5 -R 3 -s medium " + ShellQuote(photo) + " " + ShellQuote(clip))).status, 0);
  ASSERT_EQ(RunCommand(Export("-n 5 " + ShellQuote(photo) + " " + ShellQuote(dir / "seq/"))).status, 0);

  const auto probe = RunCommand("ffprobe -v error -count_packets -show_entries "
                                "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_packets "
                                "-of default=nw=1 " + ShellQuote(clip));
  for (const char* field : {"codec_name=rawvideo", "pix_fmt=bgr24", "width=640", "height=811",
                            "r_frame_rate=8/1", "nb_read_packets=15"}) {
    EXPECT_NE(probe.output.find(std::string(field) + "\n"), std::string::npos) << field << " in\n" << probe.output;
  }

  const auto clipFrames = FrameHashes(clip);
  const auto sequence = FrameHashes(dir / "seq/rocket%02d.bmp");
  ASSERT_EQ(clipFrames.size(), 15u);
  ASSERT_EQ(sequence.size(), 5u);
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(clipFrames[i], sequence[i % 5]) << "clip frame " << i;
  EXPECT_NE(clipFrames[0], clipFrames[1]) << "the waves move";
}

TEST(AviCli, WidthOf401GivesARowStrideOf1204) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  const std::string photo = dir / "odd.png";
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=401x30 -frames:v 1 " + ShellQuote(photo)).status, 0);
  ASSERT_EQ(RunCommand(Export("-r -n 2 " + ShellQuote(photo) + " " + ShellQuote(dir / "odd.avi"))).status, 0);
  // 27 rows of reflection (30 at 90 %), 1204 bytes each, in every frame packet.
  const auto sizes = RunCommand("ffprobe -v error -show_entries packet=size -of csv=p=0 " + ShellQuote(dir / "odd.avi"));
  EXPECT_EQ(sizes.output, "32508\n32508\n");
}

TEST(AviCli, UnwritableOutputExitsFourWithOneLineAndLeavesNoClip) {
  test::TempDir dir;
  std::ofstream(dir / "plain-file") << "x";
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* description;
    std::string clip;
    std::string prefix;  // shell commands run before the exporter
    std::string cause;
    std::string options = "";  // the exporter's, before the photo
  } rows[] = {
      {"a folder that does not exist", dir / "missing/c.avi", "", "No such file or directory"},
      {"a file where a folder should be", dir / "plain-file/c.avi", "", "Not a directory"},
      // A file size limit smaller than one frame fails the write as a full disk does.
      {"the disk fills", dir / "c.avi", "trap '' XFSZ; ulimit -f 1024; ", "File too large"},
      // The first cycle of 2 frames (1.6 MB each) fits in 4 MB; the kernel's copy of
      // its frames into the second cycle does not.
      {"the disk fills while the cycle repeats", dir / "c.avi", "trap '' XFSZ; ulimit -f 4096; ", "File too large",
       "-n 2 -R 3 "},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.description);
    const auto result = RunCommand("sh -c " + ShellQuote(r.prefix + "exec " + Export(r.options + photo + " " + ShellQuote(r.clip))) +
                                   " 2>&1");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.output, "kestal-export: " + r.clip + ": " + r.cause + "\n");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"plain-file"});
  }
}

}  // namespace
}  // namespace kestal
