// kestal-export writing MP4, WebM, animated WebP, APNG and animated AVIF, each read
// back by an independent reader (ffprobe and ffmpeg; libwebp through Pillow and
// webpinfo; avifdec) and
// compared frame by frame with the BMP sequence of the same settings; and a page that
// shows every animated output in headless Chromium.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "export/codec_levels.h"
#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;
using test::ShellQuote;

std::string Export(const std::string& args) { return std::string(KESTAL_EXPORT_BIN) + " -q " + args; }

// The rocket at 25 %: 160 × 107, so the photo with its reflection is 160 × 203, an odd
// height that the yuv420p clips pad by one row.
constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 203;
const std::string kCommon = "-n 5 --scale 25 ";

std::vector<Bitmap24> SplitFrames(const std::string& raw, int32_t w, int32_t h, bool rgb) {
  std::vector<Bitmap24> frames;
  const size_t size = static_cast<size_t>(w) * h * 3;
  for (size_t at = 0; at + size <= raw.size(); at += size) {
    auto b = Bitmap24::Create(w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const auto* p = reinterpret_cast<const uint8_t*>(raw.data() + at + (static_cast<size_t>(y) * w + x) * 3);
        b->SetPixel(x, y, rgb ? ColorTriple{p[2], p[1], p[0]} : ColorTriple{p[0], p[1], p[2]});
      }
    frames.push_back(std::move(b.value()));
  }
  return frames;
}

// Every frame as the independent decoder sees it, cropped to the picture's own size.
std::vector<Bitmap24> DecodeFrames(const std::string& path, bool webp) {
  if (webp) {
    const auto r = RunCommand("/usr/bin/python3 -c 'import sys; from PIL import Image, ImageSequence; "
                              "[sys.stdout.buffer.write(f.convert(\"RGB\").tobytes()) for f in "
                              "ImageSequence.Iterator(Image.open(sys.argv[1]))]' " + ShellQuote(path));
    EXPECT_EQ(r.status, 0) << path;
    return SplitFrames(r.output, kWidth, kHeight, true);
  }
  const auto r = RunCommand("ffmpeg -v error -xerror -i " + ShellQuote(path) + " -fps_mode passthrough -vf format=bgr24,crop=" + std::to_string(kWidth) +
                            ":" + std::to_string(kHeight) + ":0:0 -f rawvideo -pix_fmt bgr24 -");
  EXPECT_EQ(r.status, 0) << path;
  return SplitFrames(r.output, kWidth, kHeight, false);
}

// The PSNR of the BT.601 luma, as video quality is usually stated: the lossy formats
// keep chroma at a quarter of the pixels (4:2:0), which alone costs an RGB PSNR in the
// mid-30s on this detailed picture whatever the encoder does. Identical pictures give
// infinity.
double Psnr(const Bitmap24& a, const Bitmap24& b) {
  double sum = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) {
      const ColorTriple p = a.Pixel(x, y), q = b.Pixel(x, y);
      if (p == q) continue;
      const double d = 0.299 * (p.red - q.red) + 0.587 * (p.green - q.green) + 0.114 * (p.blue - q.blue);
      sum += d * d + 1e-9;  // a chroma-only change still counts
    }
  const double mse = sum / (static_cast<double>(a.Width()) * a.Height());
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<Bitmap24> Sequence(const test::TempDir& dir) {
  EXPECT_EQ(RunCommand(Export(kCommon + ShellQuote(test::DefaultPhoto().string()) + " " + ShellQuote(dir / "seq/"))).status, 0);
  std::vector<Bitmap24> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(std::move(LoadImageFile(dir / ("seq/rocket0" + std::to_string(i) + ".bmp")).value()));
  return frames;
}

struct Row {
  const char* what;
  const char* file;
  const char* options;
  const char* probe;  // ffprobe's fields; empty for WebP, which webpinfo reads
  double minPsnr;     // of the luma; INFINITY: every pixel exact
};

const Row kRows[] = {
    {"MP4 at its default CRF", "a.mp4", "",
     "codec_name=h264\nwidth=160\nheight=204\npix_fmt=yuv420p\nr_frame_rate=8/1\nnb_read_frames=10\n", 40},
    {"WebM at its default CRF", "a.webm", "",
     "codec_name=vp9\nwidth=160\nheight=204\npix_fmt=yuv420p\nr_frame_rate=8/1\nnb_read_frames=10\n", 38},
    {"APNG", "a.png", "", "codec_name=apng\nwidth=160\nheight=203\npix_fmt=rgb24\nr_frame_rate=8/1\nnb_read_frames=10\n",
     INFINITY},
    {"lossy WebP", "a.webp", "--quality 90 ", "", 30},
    {"lossless WebP", "b.webp", "--lossless ", "", INFINITY},
};

TEST(ShareFormatsCli, EveryFormatReadsBackAsTheSequenceRepeatedSeamlessly) {
  if (!test::HaveTool("ffprobe") || !test::HaveTool("webpinfo")) GTEST_SKIP() << "ffprobe and webpinfo are needed";
  test::TempDir dir;
  const auto sequence = Sequence(dir);
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const std::string out = dir / row.file;
    ASSERT_EQ(RunCommand(Export(kCommon + "-R 2 " + row.options + photo + " " + ShellQuote(out))).status, 0);
    const bool webp = *row.probe == '\0';
    if (webp) {
      const auto info = RunCommand("webpinfo " + ShellQuote(out)).output;
      EXPECT_NE(info.find("Loop count      : 0"), std::string::npos) << info;
      EXPECT_NE(info.find("Canvas size 160 x 203"), std::string::npos) << info;
      EXPECT_NE(info.find("Duration: 120"), std::string::npos) << info;
    } else {
      const auto probe = RunCommand("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,"
                                    "pix_fmt,r_frame_rate,nb_read_frames -of default=nw=1 " + ShellQuote(out));
      EXPECT_EQ(probe.output, row.probe);
    }
    const auto frames = DecodeFrames(out, webp);
    ASSERT_EQ(frames.size(), 10u);
    for (size_t i = 0; i < frames.size(); ++i) {
      const double psnr = Psnr(frames[i], sequence[i % 5]);
      EXPECT_GE(psnr, row.minPsnr) << "frame " << i;
    }
    // The second cycle starts where the first did: the loop is seamless. Next frames
    // differ by far more than coding noise, so the check tells them apart.
    EXPECT_GE(Psnr(frames[5], frames[0]), std::isinf(row.minPsnr) ? INFINITY : 40.0);
    EXPECT_LT(Psnr(frames[1], frames[0]), 35.0);
  }
}

// avifdec, libavif's own tool, reads the animated AVIF: its size, frames and their
// durations, and each frame against the sequence. The same settings give the same
// bytes a second later: the file carries no time of writing.
TEST(ShareFormatsCli, AvifReadsBackAsTheSequenceRepeatedSeamlessly) {
  if (!test::HaveTool("avifdec")) GTEST_SKIP() << "avifdec is needed";
  test::TempDir dir;
  const auto sequence = Sequence(dir);
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const std::string out = dir / "a.avif";
  ASSERT_EQ(RunCommand(Export(kCommon + "-R 2 " + photo + " " + ShellQuote(out))).status, 0);
  const std::string info = RunCommand("avifdec --info " + ShellQuote(out)).output;
  EXPECT_NE(info.find("Resolution     : 160x203"), std::string::npos) << info;
  EXPECT_NE(info.find("1000 timescales per second, 1.20 seconds (1200 timescales), 10 frames"), std::string::npos)
      << info;
  size_t durations = 0;
  for (size_t at = 0; (at = info.find("[duration 0.12 (120 timescales)]", at)) != std::string::npos; ++at) ++durations;
  EXPECT_EQ(durations, 10u) << info;
  std::vector<Bitmap24> frames;
  for (int i = 0; i < 10; ++i) {
    const std::string png = dir / ("f" + std::to_string(i) + ".png");
    ASSERT_EQ(RunCommand("avifdec --index " + std::to_string(i) + " " + ShellQuote(out) + " " + ShellQuote(png) +
                         " >/dev/null").status, 0);
    frames.push_back(std::move(LoadImageFile(png).value()));
    EXPECT_GE(Psnr(frames.back(), sequence[static_cast<size_t>(i % 5)]), 30.0) << "frame " << i;
  }
  EXPECT_GE(Psnr(frames[5], frames[0]), 40.0) << "the second cycle starts where the first did";
  EXPECT_LT(Psnr(frames[1], frames[0]), 35.0);
  RunCommand("sleep 1.1");
  const std::string again = dir / "b.avif";
  ASSERT_EQ(RunCommand(Export(kCommon + "-R 2 " + photo + " " + ShellQuote(again))).status, 0);
  EXPECT_EQ(RunCommand("cmp " + ShellQuote(out) + " " + ShellQuote(again)).status, 0);
}

TEST(ShareFormatsCli, ClipLengthAndScaling) {
  if (!test::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe is needed";
  test::TempDir dir;
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* what;
    const char* args;
    const char* file;
    const char* expected;
  } rows[] = {
      // 10 % of 640 × 427 is 64 × 43, with 39 rows of reflection: 82 rows.
      // 5 frames at 8 per second last 0.625 s; 1 s needs two whole cycles.
      {"seconds round up to whole cycles", "-n 5 --scale 10 --seconds 1", "s.mp4", "width=64\nheight=82\nnb_read_frames=10\n"},
      {"fast speed: 20 frames a second", "-n 4 --scale 10 -s fast --seconds 0.4", "f.webm", "width=64\nheight=82\nnb_read_frames=8\n"},
      {"the original formats scale too", "--scale 50", "g.gif", "width=320\nheight=407\nnb_read_frames=5\n"},
      // 158 × 105 with its 94 rows of reflection is the largest that fits.
      {"fit the exported picture in a box", "--fit 200x200", "h.png", "width=158\nheight=199\nnb_read_frames=5\n"},
      {"AVI takes seconds as well", "-n 5 --scale 10 --seconds 2", "a.avi", "width=64\nheight=82\nnb_read_frames=20\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string out = dir / r.file;
    ASSERT_EQ(RunCommand(Export(std::string(r.args) + " " + photo + " " + ShellQuote(out))).status, 0);
    const auto probe = RunCommand("ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames "
                                  "-of default=nw=1 " + ShellQuote(out));
    EXPECT_EQ(probe.output, r.expected);
  }
}

// The bytes of a clip depend on its frames alone, not on what earlier allocations left
// in memory: glibc fills new blocks with MALLOC_PERTURB_'s complement, so a read of
// memory nobody wrote would change the file.
TEST(ShareFormatsCli, BytesDoNotDependOnLeftoverMemory) {
  test::TempDir dir;
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  for (const char* file : {"c.mp4", "c.webm", "c.webp", "c.png", "c.avif"}) {
    SCOPED_TRACE(file);
    std::string bytes[2];
    for (int run = 0; run < 2; ++run) {
      const std::string out = dir / (std::to_string(run) + file);
      const std::string perturb = run ? "MALLOC_PERTURB_=85 " : "MALLOC_PERTURB_=170 ";
      ASSERT_EQ(RunCommand(perturb + Export(kCommon + photo + " " + ShellQuote(out))).status, 0);
      bytes[run] = test::ReadAll(out);
    }
    EXPECT_FALSE(bytes[0].empty());
    EXPECT_TRUE(bytes[0] == bytes[1]);
  }
}

TEST(ShareFormatsCli, FailedEncodeExitsFourNamingTheFileAndLeavesNothing) {
  test::TempDir dir;
  // A codec missing at run time: libavcodec's encoder lookups find nothing.
  const std::string kNoEncoders = "export LD_PRELOAD=" + ShellQuote(KESTAL_NO_ENCODERS_LIB) + "; ";
  std::ofstream(dir / "plain-file") << "x";
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* what;
    std::string file;
    std::string prefix;
    std::string cause;
  } rows[] = {
      {"MP4 into a missing folder", dir / "missing/c.mp4", "", "No such file or directory"},
      {"WebP under a file", dir / "plain-file/c.webp", "", "Not a directory"},
      {"MP4 on a full disk", dir / "c.mp4", "trap '' XFSZ; ulimit -f 8; ", "File too large"},
      {"WebM on a full disk", dir / "c.webm", "trap '' XFSZ; ulimit -f 8; ", "File too large"},
      {"APNG on a full disk", dir / "c.png", "trap '' XFSZ; ulimit -f 8; ", "File too large"},
      {"WebP on a full disk", dir / "c.webp", "trap '' XFSZ; ulimit -f 8; ", "File too large"},
      {"AVIF on a full disk", dir / "c.avif", "trap '' XFSZ; ulimit -f 8; ", "File too large"},
      {"AVIF under a file", dir / "plain-file/c.avif", "", "Not a directory"},
      {"MP4 without an H.264 encoder", dir / "c.mp4", kNoEncoders, "this system's FFmpeg has no libx264 encoder"},
      {"WebM without a VP9 encoder", dir / "c.webm", kNoEncoders, "this system's FFmpeg has no libvpx-vp9 encoder"},
      {"APNG without its encoder", dir / "c.png", kNoEncoders, "this system's FFmpeg has no apng encoder"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const auto result = RunCommand("sh -c " + ShellQuote(r.prefix + "exec " + Export(photo + " " + ShellQuote(r.file))) +
                                   " 2>&1");
    EXPECT_EQ(result.status, 4);
    const std::string head = "kestal-export: " + r.file + ": ";
    EXPECT_EQ(result.output.rfind(head, 0), 0u) << result.output;
    EXPECT_NE(result.output.find(r.cause), std::string::npos) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"plain-file"});
  }
}

// The encoders are a module that the exporter loads from ../lib/kestal/modules beside
// its own folder. A copy of the exporter without it still starts and writes the
// formats of its own, and a clip of the module's fails naming the module and the cause.
TEST(ShareFormatsCli, WithoutTheEncodersModuleOnlyItsClipsFail) {
  test::TempDir dir;
  fs::create_directories(dir / "bin");
  const std::string exporter = dir / "bin/kestal-export";
  fs::copy_file(KESTAL_EXPORT_BIN, exporter);
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const std::string module = (fs::path(dir.path()) / "lib/kestal/modules/kestal-encoders.so").lexically_normal().string();
  for (const char* file : {"c.mp4", "c.webp", "c.avif"}) {
    SCOPED_TRACE(file);
    const std::string clip = dir / file;
    const auto r = RunCommand(ShellQuote(exporter) + " -q -n 2 " + photo + " " + ShellQuote(clip) + " 2>&1");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.output, "kestal-export: " + clip + ": cannot load the clip encoders (" + module +
                            "): cannot open shared object file: No such file or directory\n");
    EXPECT_FALSE(fs::exists(clip));
  }
  for (const char* file : {"c.avi", "c.gif"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(RunCommand(ShellQuote(exporter) + " -q -n 2 " + photo + " " + ShellQuote(dir / file)).status, 0);
    EXPECT_TRUE(fs::exists(dir / file));
  }
}

// The level an MP4 carries is the smallest that holds its picture at its frame rate,
// so the most players take it.
TEST(ShareFormatsCli, Mp4CarriesTheSmallestLevelThatHoldsIt) {
  if (!test::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe is needed";
  test::TempDir dir;
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* args;
    int32_t width, height;  // as encoded, sides made even
    int fps;
  } rows[] = {
      {"--scale 25", 160, 204, 8},
      {"", 640, 812, 8},
      {"-s fast", 640, 812, 20},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.args);
    const std::string out = dir / "l.mp4";
    ASSERT_EQ(RunCommand(Export(std::string(r.args) + " -R 1 " + photo + " " + ShellQuote(out))).status, 0);
    const auto probe = RunCommand("ffprobe -v error -show_entries stream=width,height,level -of default=nw=1 " +
                                  ShellQuote(out));
    auto level = H264LevelFor(r.width, r.height, r.fps);
    ASSERT_TRUE(level.ok());
    EXPECT_EQ(probe.output, "width=" + std::to_string(r.width) + "\nheight=" + std::to_string(r.height) +
                                "\nlevel=" + std::to_string(*level) + "\n");
  }
}

// --estimate prints the output's size in bytes, the figure the export then comes
// close to, and writes nothing: no file, no folder.
TEST(ShareFormatsCli, EstimatePrintsBytesAndWritesNothing) {
  test::TempDir dir;
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* args;
    const char* output;
  } rows[] = {
      {"--scale 25", "seq/"},
      {"-n 3 --scale 25 -R 4", "e.mp4"},
      {"-n 3 --tint 1e465a:40 --blur 2", "e.webp"},
      {"-r -c 32", "e.gif"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.output);
    const std::string out = dir / r.output;
    const auto estimate = RunCommand(Export(std::string(r.args) + " --estimate " + photo + " " + ShellQuote(out)));
    ASSERT_EQ(estimate.status, 0) << estimate.output;
    EXPECT_FALSE(fs::exists(out)) << "nothing is written";
    ASSERT_EQ(estimate.output.find_first_not_of("0123456789"), estimate.output.size() - 1) << estimate.output;
    const double bytes = std::stod(estimate.output);
    ASSERT_EQ(RunCommand(Export(std::string(r.args) + " " + photo + " " + ShellQuote(out))).status, 0);
    uintmax_t real = 0;
    if (fs::is_directory(out)) {
      for (const auto& e : fs::directory_iterator(out)) real += fs::file_size(e.path());
    } else {
      real = fs::file_size(out);
    }
    EXPECT_NEAR(bytes / static_cast<double>(real), 1.0, 0.2) << bytes << " for " << real;
  }
}

// Chromium shows each output where the page puts it. Animated images have advanced by
// some frames when the screenshot is taken, so each must match a frame of the cycle;
// the videos, which do not play by themselves, must show the first frame.
TEST(SharePage, ChromiumShowsEveryAnimatedOutput) {
  if (!test::HaveTool("chromium")) GTEST_SKIP() << "chromium is needed";
  test::TempDir dir;
  const auto sequence = Sequence(dir);
  const std::string photo = ShellQuote(test::DefaultPhoto().string());
  const struct {
    const char* file;
    const char* tag;
    int x, y;
    bool firstFrame;
  } items[] = {{"a.webp", "img", 0, 0, false},
               {"a.png", "img", 200, 0, false},
               {"a.mp4", "video", 0, 250, true},
               {"a.webm", "video", 200, 250, true},
               {"a.avif", "img", 400, 0, false}};
  std::ofstream page(dir / "page.htm");
  page << "<!DOCTYPE html><html><body style=\"margin:0;background:#f0f\">\n";
  for (const auto& it : items) {
    ASSERT_EQ(RunCommand(Export(kCommon + photo + " " + ShellQuote(dir / it.file))).status, 0) << it.file;
    page << "<" << it.tag << " src=\"" << it.file << "\" muted preload=\"auto\" style=\"position:absolute;left:" << it.x
         << "px;top:" << it.y << "px\"></" << it.tag << ">\n";
  }
  page << "</body></html>\n";
  page.close();
  const std::string shot = dir / "shot.png";
  const auto r = RunCommand("chromium --headless --no-sandbox --disable-gpu --disable-background-networking "
                            "--disable-component-update --disable-sync --no-first-run --user-data-dir=" +
                            ShellQuote(dir / "profile") + " --window-size=600,500 --virtual-time-budget=3000 "
                            "--screenshot=" + ShellQuote(shot) + " file://" + dir / "page.htm" + " >/dev/null 2>&1");
  ASSERT_EQ(r.status, 0);
  auto screen = LoadImageFile(shot);
  ASSERT_TRUE(screen.ok());
  for (const auto& it : items) {
    SCOPED_TRACE(it.file);
    auto seen = Bitmap24::Create(kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) seen->SetPixel(x, y, screen->Pixel(it.x + x, it.y + y));
    int best = 0;
    double bestPsnr = 0;
    for (int i = 0; i < 5; ++i) {
      if (const double p = Psnr(*seen, sequence[i]); p > bestPsnr) bestPsnr = p, best = i;
    }
    EXPECT_GE(bestPsnr, 30.0) << "no frame of the animation is shown";
    if (it.firstFrame) {
      EXPECT_EQ(best, 0);
    }
  }
}

}  // namespace
}  // namespace kestal
