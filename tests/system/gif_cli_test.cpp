// kestal-export writing animated GIFs, checked with giflib and decoded by ffmpeg.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "imageio/image_files.h"
#include "support/gif_reader.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using namespace kestal::test;

constexpr int kW = 64, kH = 48, kReflection = 43;  // 90 % of 48

class GifCli : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SaveBitmapFile(photo, Gradient(kW, kH))); }
  CommandResult Export(const std::string& args) {
    return RunCommand(std::string(KESTAL_EXPORT_BIN) + " -q " + args + " 2>&1");
  }
  TempDir dir;
  std::string photo = dir / "lake.jpg";
};

// Every frame as ffmpeg shows it, RGB rows top-down.
std::vector<std::string> DecodeWithFfmpeg(const std::string& gif, int width, int height) {
  const CommandResult r = RunCommand("ffmpeg -v error -i " + ShellQuote(gif) +
                                     " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -");
  EXPECT_EQ(r.status, 0);
  const size_t frameBytes = size_t(width) * height * 3;
  std::vector<std::string> frames;
  for (size_t at = 0; at + frameBytes <= r.output.size(); at += frameBytes) frames.push_back(r.output.substr(at, frameBytes));
  EXPECT_EQ(r.output.size() % frameBytes, 0u);
  return frames;
}

TEST_F(GifCli, AnimatedGifDecodesTheSameInGiflibAndFfmpeg) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string gif = dir / "lake.gif";
  const CommandResult r = Export("-n 4 -c 16 -s fast " + ShellQuote(photo) + " " + ShellQuote(gif));
  ASSERT_EQ(r.status, 0) << r.output;

  auto read = ReadGifFile(gif);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->images.size(), 4u);
  EXPECT_EQ(read->palette.size(), 16u);
  EXPECT_EQ(read->images[3].delay, 5);

  const std::vector<std::string> frames = DecodeWithFfmpeg(gif, kW, kH + kReflection);
  ASSERT_EQ(frames.size(), 4u);
  // Compose the screen from giflib's images as a viewer does (no disposal) and
  // compare with ffmpeg's frames.
  std::string screen(frames[0].size(), '\0');
  for (size_t i = 0; i < 4; ++i) {
    const ReadGifImage& img = read->images[i];
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x) {
        const ColorTriple c = read->Color(img, x, y);
        char* p = &screen[(size_t(img.top + y) * kW + img.left + x) * 3];
        p[0] = char(c.red), p[1] = char(c.green), p[2] = char(c.blue);
      }
    EXPECT_EQ(frames[i], screen) << "frame " << i + 1;
    EXPECT_EQ(frames[i].substr(0, size_t(kW) * kH * 3), frames[0].substr(0, size_t(kW) * kH * 3))
        << "the photo's rows of frame " << i + 1;
  }
  EXPECT_NE(frames[1], frames[0]) << "the reflection moves";
}

TEST_F(GifCli, HtmlPageBesideTheGif) {
  const std::string gif = dir / "lake.gif";
  const CommandResult r = Export("-r --html " + ShellQuote(photo) + " " + ShellQuote(gif));
  ASSERT_EQ(r.status, 0) << r.output;
  std::ifstream f(dir / "lake.htm", std::ios::binary);
  std::stringstream page;
  page << f.rdbuf();
  EXPECT_NE(page.str().find("<img src=\"file://" + photo + "\" width=\"64\" height=\"48\"><br>\r\n"
                            "<img src=\"file://" + gif + "\" width=\"64\" height=\"43\">\r\n"),
            std::string::npos)
      << page.str();
}

TEST_F(GifCli, UnwritableOutputExitsWithOneLine) {
  const std::string gif = dir / "missing/lake.gif";
  const CommandResult r = Export(ShellQuote(photo) + " " + ShellQuote(gif));
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  EXPECT_NE(r.output.find(gif + ": No such file or directory"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace kestal
