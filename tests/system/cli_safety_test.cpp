// kestal-export with hostile names on both sides: outputs that are not plain files,
// standard output, interruptions, inputs that are not files or claim too much, and
// the command line's own usage errors and warnings.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "imageio/image_files.h"
#include "support/byte_builder.h"
#include "support/test_support.h"

extern char** environ;

namespace kestal {
namespace {

namespace fs = std::filesystem;
using namespace kestal::test;

using test::ReadAll;

bool AnyPartFile(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().find(".part") != std::string::npos) return true;
  return false;
}

class CliSafety : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SaveBitmapFile(photo, Noise(40, 30, 3))); }
  CommandResult Export(const std::string& args) {
    return RunCommand(std::string(KESTAL_EXPORT_BIN) + " -q " + args + " 2>&1");
  }
  TempDir dir;
  std::string photo = dir / "lake.bmp";
};

TEST_F(CliSafety, OutputsThatAreNotPlainFilesAreRefusedAndLeftAlone) {
  ASSERT_EQ(::mkfifo((dir / "fifo.gif").c_str(), 0644), 0);
  fs::create_directory(dir / "folder.gif");
  fs::create_symlink("fifo.gif", dir / "to-fifo.avi");
  struct Row {
    const char* output;
    const char* cause;
  } rows[] = {
      {"fifo.gif", "it is a FIFO, not a plain file; it was left untouched"},
      {"folder.gif", "it is a folder, not a plain file; it was left untouched"},
      {"to-fifo.avi", "it is a FIFO, not a plain file; it was left untouched"},
  };
  for (const Row& r : rows) {
    // -f gif: an existing folder is otherwise taken for a sequence's folder.
    const std::string format = std::string(r.output).ends_with(".gif") ? "-f gif " : "";
    auto res = Export(format + ShellQuote(photo) + " " + ShellQuote(dir / r.output));
    EXPECT_EQ(res.status, 4) << r.output << ": " << res.output;
    EXPECT_EQ(res.output, "kestal-export: " + (dir / r.output) + ": " + r.cause + "\n");
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo.gif"));
  EXPECT_TRUE(fs::is_symlink(dir / "to-fifo.avi"));
  EXPECT_FALSE(AnyPartFile(dir.path()));
}

TEST_F(CliSafety, AGifGoesToStandardOutputAndALinkStaysALink) {
  ASSERT_EQ(Export(ShellQuote(photo) + " " + ShellQuote(dir / "file.gif")).status, 0);
  auto piped = RunCommand(std::string(KESTAL_EXPORT_BIN) + " -q -f gif " + ShellQuote(photo) + " - | cat > " +
                          ShellQuote(dir / "piped.gif"));
  ASSERT_EQ(piped.status, 0) << piped.output;
  EXPECT_EQ(ReadAll(dir / "piped.gif"), ReadAll(dir / "file.gif"));

  std::ofstream(dir / "real.gif") << "old";
  fs::create_symlink("real.gif", dir / "link.gif");
  ASSERT_EQ(Export(ShellQuote(photo) + " " + ShellQuote(dir / "link.gif")).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.gif"));
  EXPECT_EQ(ReadAll(dir / "real.gif"), ReadAll(dir / "file.gif"));
}

// Names that a URL parser would take for a protocol and an address are plain file
// names for every format: the file holds the clip, nothing reaches standard output
// and no temporary file stays behind.
TEST_F(CliSafety, AnyLegalNameIsAFileName) {
  struct Row {
    const char* output;
    std::string magic;  // the format's signature
    size_t at;          // its offset
  } rows[] = {
      {"pipe:w.webm", "\x1a\x45\xdf\xa3", 0}, {"file:y.mp4", "ftyp", 4}, {"10:30.mp4", "ftyp", 4},
      {"file:z.png", "\x89PNG", 0},             {"pipe:a.webp", "WEBP", 8}, {"file:c.avi", "AVI ", 8},
      {"pipe:g.gif", "GIF89a", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.output);
    auto res = RunCommand("cd " + ShellQuote(dir.path()) + " && " + KESTAL_EXPORT_BIN + " -q -n 2 lake.bmp " +
                          ShellQuote(r.output) + " 2>&1");
    EXPECT_EQ(res.status, 0) << res.output;
    EXPECT_EQ(res.output, std::string(r.output) + "\n") << "only the name goes to standard output";
    const std::string file = ReadAll(dir / r.output);
    EXPECT_TRUE(file.size() >= r.at + r.magic.size() && file.compare(r.at, r.magic.size(), r.magic) == 0)
        << "the file does not hold the clip";
  }
  EXPECT_FALSE(AnyPartFile(dir.path()));
}

// Starts an export that runs for a while, waits until its temporary file exists, and
// interrupts it.
TEST_F(CliSafety, AnInterruptedExportRemovesItsTemporaryFile) {
  ASSERT_TRUE(SaveBitmapFile(dir / "big.bmp", Noise(900, 700, 5)));
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    const fs::path out = dir.path() / ("out" + std::to_string(sig));
    fs::create_directory(out);
    const std::string bin = KESTAL_EXPORT_BIN, big = dir / "big.bmp", avi = (out / "clip.avi").string();
    const char* argv[] = {bin.c_str(), "-q", "-n", "30", "-R", "100", big.c_str(), avi.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, bin.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    for (int i = 0; i < 500 && !AnyPartFile(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool started = AnyPartFile(out);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(started) << "the export never created its temporary file";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "ends as the signal would end it";
    EXPECT_TRUE(fs::is_empty(out)) << "nothing is left behind";
  }
}

// The photo is never an output: under its own name, a link to it or a frame's name,
// the export is refused before anything is written and the photo stays as it was.
TEST_F(CliSafety, ThePhotoIsNeverOverwritten) {
  const std::string png = dir / "cat.png";
  fs::copy_file(fs::path(KESTAL_TEST_DATA_DIR) / "rgb7x5.png", png);
  const std::string before = ReadAll(png);
  fs::create_symlink("cat.png", dir / "soft.png");
  fs::create_hard_link(png, dir / "hard.png");
  fs::create_directory(dir / "seq");
  fs::create_hard_link(png, dir / "seq/cat03.bmp");
  const struct {
    std::string output;
    std::string named;
  } rows[] = {
      {png, png},
      {dir / "soft.png", dir / "soft.png"},
      {dir / "hard.png", dir / "hard.png"},
      {dir / "seq", dir / "seq/cat03.bmp"},
  };
  for (const auto& r : rows) {
    auto res = Export("-n 5 " + ShellQuote(png) + " " + ShellQuote(r.output));
    EXPECT_EQ(res.status, 2) << r.output << ": " << res.output;
    EXPECT_EQ(res.output, "kestal-export: " + r.named + ": it is the photo " + png +
                              " itself, which would be lost; choose another name\n");
  }
  EXPECT_EQ(ReadAll(png), before);
  EXPECT_FALSE(fs::exists(dir / "seq/cat00.bmp"));
  EXPECT_FALSE(AnyPartFile(dir.path()));
}

// A sequence interrupted after some frames: the frames written so far go too, and the
// exporter says so before it ends as the signal would end it.
TEST_F(CliSafety, AnInterruptedSequenceRemovesItsFrames) {
  ASSERT_TRUE(SaveBitmapFile(dir / "big.bmp", Noise(1200, 900, 6)));
  const fs::path out = dir.path() / "frames";
  const std::string bin = KESTAL_EXPORT_BIN, big = dir / "big.bmp", folder = out.string() + "/", err = dir / "err.txt";
  const char* argv[] = {bin.c_str(), "-q", "-n", "30", big.c_str(), folder.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, bin.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
  ::posix_spawn_file_actions_destroy(&actions);
  const auto first = out / "big00.bmp";
  for (int i = 0; i < 1000 && !fs::exists(first); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const bool started = fs::exists(first);
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(started) << "the export never wrote its first frame";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  std::string left;
  for (const auto& e : fs::directory_iterator(out)) left += " " + e.path().filename().string();
  EXPECT_EQ(left, "") << "no frame, finished or temporary, is left";
  EXPECT_EQ(ReadAll(dir / "err.txt"), "kestal-export: interrupted: the unfinished output was removed\n");
}

// Bytes to place at an offset of a sparse file.
struct Piece {
  uint64_t at;
  Bytes bytes;
};

// A sparse 2 GiB file holding only the given pieces: its header claims the picture, the
// rest reads as zeros without taking room on the disk.
fs::path SparseFile(const fs::path& path, const std::vector<Piece>& pieces) {
  {
    std::ofstream out(path, std::ios::binary);
    for (const Piece& p : pieces) {
      out.seekp(static_cast<std::streamoff>(p.at));
      out.write(reinterpret_cast<const char*>(p.bytes.Vec().data()), static_cast<std::streamsize>(p.bytes.Size()));
    }
  }
  fs::resize_file(path, (uintmax_t{2} << 30) - 1);
  return path;
}

// The header of each family claiming 30000 × 30000 pixels, followed by nothing.
std::vector<std::pair<std::string, std::vector<Piece>>> HugeClaims() {
  constexpr unsigned kSide = 30000;
  std::vector<std::pair<std::string, std::vector<Piece>>> files;
  files.push_back({"huge.png", {{0, Bytes().Raw({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}).U32BE(13).Str("IHDR")
                                          .U32BE(kSide).U32BE(kSide).Raw({8, 2, 0, 0, 0})}}});
  for (const char* pnm : {"P6\n30000 30000\n255\n", "P5\n30000 30000\n255\n", "P4\n30000 30000\n"}) {
    const std::string ext = pnm[1] == '6' ? "ppm" : pnm[1] == '5' ? "pgm" : "pbm";
    files.push_back({"huge." + ext, {{0, Bytes().Str(pnm)}}});
  }
  for (unsigned type : {2, 10}) {  // Targa: plain and run-length true colour
    files.push_back({"huge-" + std::to_string(type) + ".tga",
                     {{0, Bytes().U8(0).U8(0).U8(type).Fill(9).U16LE(kSide).U16LE(kSide).U8(24).U8(0x20)}}});
  }
  for (unsigned storage : {0, 1}) {  // SGI: verbatim and RLE
    files.push_back({"huge-" + std::to_string(storage) + ".sgi",
                     {{0, Bytes().U16BE(474).U8(storage).U8(1).U16BE(3).U16BE(kSide).U16BE(kSide).U16BE(3)}}});
  }
  files.push_back({"huge.pcx", {{0, Bytes().Raw({0x0A, 5, 1, 8}).U16LE(0).U16LE(0).U16LE(kSide - 1).U16LE(kSide - 1)
                                          .Fill(53).U8(3).U16LE(kSide)}}});
  // TIFF: the directory far into the file, where only a read by position finds it.
  const uint32_t ifd = 1500u << 20;
  Bytes dir;
  dir.U16LE(8);
  for (auto [tag, type, value] : std::initializer_list<std::array<uint32_t, 3>>{
           {256, 4, kSide}, {257, 4, kSide}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1}, {273, 4, 4096},
           {278, 4, kSide}, {279, 4, 0x7FFF0000}}) {
    dir.U16LE(tag).U16LE(type).U32LE(1).U32LE(value);
  }
  dir.U32LE(0);
  files.push_back({"huge.tif", {{0, Bytes().Str("II").U16LE(42).U32LE(ifd)}, {ifd, dir}}});
  Bytes rla;
  for (int window = 0; window < 2; ++window) rla.U16BE(0).U16BE(kSide - 1).U16BE(0).U16BE(kSide - 1);
  rla.U16BE(0).U16BE(0).U16BE(3).U16BE(0);
  files.push_back({"huge.rla", {{0, rla}, {658, Bytes().U16BE(8).U16BE(0).U16BE(8)}}});
  files.push_back({"huge.ico", {{0, Bytes().U16LE(0).U16LE(1).U16LE(1).U8(0).U8(0).U8(0).U8(0).U16LE(1).U16LE(32)
                                          .U32LE(0x7FFF0000).U32LE(22)},
                                {22, files[0].second[0].bytes}}});
  // An icon's DIB: its height counts the colour image and the AND mask.
  files.push_back({"huge-dib.ico", {{0, Bytes().U16LE(0).U16LE(1).U16LE(1).U8(0).U8(0).U8(0).U8(0).U16LE(1).U16LE(32)
                                              .U32LE(0x7FFF0000).U32LE(22)},
                                    {22, Bytes().U32LE(40).U32LE(kSide).U32LE(2 * kSide).U16LE(1).U16LE(32).Fill(24)}}});
  files.push_back({"huge.wmf", {{0, Bytes().U32LE(0x9AC6CDD7).U16LE(0).U16LE(0).U16LE(0).U16LE(kSide).U16LE(kSide)
                                          .U16LE(96).Fill(6).U16LE(1).U16LE(9).U16LE(0x300).Fill(12)}}});
  files.push_back({"huge.emf", {{0, Bytes().U32LE(1).U32LE(88).U32LE(0).U32LE(0).U32LE(kSide - 1).U32LE(kSide - 1)
                                          .U32LE(0).U32LE(0).U32LE(793750).U32LE(793750).U32LE(0x464D4520)
                                          .U32LE(0x10000).Fill(24).U32LE(960).U32LE(960).U32LE(254).U32LE(254)}}});
  // JPEG: the frame header after more than a megabyte of metadata segments.
  std::vector<Piece> jpeg{{0, Bytes().Raw({0xFF, 0xD8})}};
  uint64_t at = 2;
  for (int i = 0; i < 20; ++i, at += 2 + 65535) jpeg.push_back({at, Bytes().Raw({0xFF, 0xE1}).U16BE(65535)});
  jpeg.push_back({at, Bytes().Raw({0xFF, 0xC0}).U16BE(17).U8(8).U16BE(kSide).U16BE(kSide).U8(3)});
  files.push_back({"huge.jpg", jpeg});
  return files;
}

TEST_F(CliSafety, PhotosThatAreNotFilesOrClaimTooMuchAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0644), 0);
  struct Row {
    std::string photo;
    std::string cause;
  };
  std::vector<Row> rows{
      {dir / "fifo.png", "it is a FIFO, not a file"},
      {"/dev/zero", "it is a device, not a file"},
  };
  // Sparse 2 GiB files whose headers claim 30000 × 30000 pixels: refused from the
  // header, without reading (or making room for) the rest. The memory limit makes
  // reading one whole fail.
  // A metafile's frame never makes its picture too large (it is drawn at the largest
  // scale within the limits), so the 2 GiB metafiles are refused by the memory limit
  // when their bytes are read, still at once.
  for (const auto& [name, pieces] : HugeClaims()) {
    const bool vector = name.ends_with(".wmf") || name.ends_with(".emf");
    rows.push_back({SparseFile(dir / name, pieces),
                    vector ? "not enough memory to read the file"
                           : "the picture is 30000 x 30000 pixels; at most 100 megapixels are supported"});
  }
  for (const Row& r : rows) {
    auto res = RunCommand("ulimit -v 1000000; timeout 20 " + std::string(KESTAL_EXPORT_BIN) + " -q " +
                          ShellQuote(r.photo) + " " + ShellQuote(dir / "out.gif") + " 2>&1");
    EXPECT_EQ(res.status, 3) << r.photo << ": " << res.output;
    EXPECT_EQ(res.output, "kestal-export: " + r.photo + ": " + r.cause + "\n");
  }
}

TEST_F(CliSafety, UsageErrorsWarningsAndEnglishMessages) {
  fs::create_directories(dir.path() / "seq" / "lake00.bmp");  // a folder where frame 0 would go
  std::ofstream(dir.path() / "seq" / "lake04.bmp") << "old";
  std::ofstream(dir.path() / "seq" / "lake07.bmp") << "old";
  struct Row {
    const char* what;
    std::string args;
    int status;
    std::string errors;  // standard error
  } rows[] = {
      {"no photo", "'' " + ShellQuote(dir / "a.gif"), 2, "kestal-export: no photo given: PHOTO is an empty name\n"},
      {"repeat without AVI", "-R 2 " + ShellQuote(photo) + " " + ShellQuote(dir / "a.gif"), 2,
       "kestal-export: --repeat applies only to AVI, MP4, WebM, WebP, APNG or AVIF output, not to gif output\n"},
      {"a frame that cannot be written, and older frames",
       "-n 3 " + ShellQuote(photo) + " " + ShellQuote(dir / "seq"), 4,
       "kestal-export: " +
           (dir / "seq/lake00.bmp") + ": it is a folder, not a plain file; it was left untouched\n" +
           "kestal-export: " + (dir / "seq") + ": older frames 04 to 07 of this photo remain beside the new ones\n"},
  };
  for (const Row& r : rows) {
    auto res = RunCommand(std::string(KESTAL_EXPORT_BIN) + " -q " + r.args + " 2>&1 >/dev/null");
    EXPECT_EQ(res.status, r.status) << r.what;
    EXPECT_EQ(res.output, r.errors) << r.what;
  }
  EXPECT_EQ(ReadAll(dir.path() / "seq" / "lake04.bmp"), "old") << "older frames are left as they were";
  EXPECT_TRUE(fs::exists(dir.path() / "seq" / "lake02.bmp"));
}

}  // namespace
}  // namespace kestal
