#include "export/create_avi.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>

#include "export/frame_writer.h"
#include "support/avi_walk.h"
#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;
using test::AviLayout;
using test::AviWalker;
using test::Le32;

// The frame as a bottom-up DIB: rows from the bottom, each padded with zeros to 4 bytes.
std::vector<uint8_t> DibBytes(const Bitmap24& b) {
  const size_t stride = (static_cast<size_t>(b.Width()) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> out(stride * static_cast<size_t>(b.Height()), 0);
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const ColorTriple c = b.Pixel(x, y);
      uint8_t* p = out.data() + stride * static_cast<size_t>(b.Height() - 1 - y) + 3 * static_cast<size_t>(x);
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  return out;
}

std::vector<Bitmap24> Frames(int count, int32_t w, int32_t h) {
  std::vector<Bitmap24> frames;
  for (int i = 0; i < count; ++i) frames.push_back(test::Noise(w, h, 100 + i));
  return frames;
}

// With `cycle` > 0, the frames from `cycle` on repeat the first `cycle` frames and are
// written again (AddFrameAgain) rather than given: from memory with `keep`, else copied
// within the file.
void WriteClip(const std::string& path, const std::vector<Bitmap24>& frames, AviWriterOptions options = {},
               int cycle = 0, bool keep = false) {
  TCreateAvi avi(path, std::move(options));
  avi.SetRate(1, 8);
  if (keep) avi.KeepFrames(cycle, kMaxKeptCycleBytes);
  for (size_t i = 0; i < frames.size(); ++i) {
    const int again = cycle > 0 && i >= size_t(cycle) ? int(i % size_t(cycle)) : -1;
    ASSERT_EQ(again >= 0 ? avi.AddFrameAgain(again) : avi.AddFrame(frames[i]), kAviOk) << avi.LastError().Line();
  }
  const Status closed = avi.Close();
  ASSERT_TRUE(closed.ok()) << closed.error().Line();
}

// Every frame chunk, in file order, holds the DIB of the frame written.
void ExpectFrames(const std::string& path, const AviLayout& l, const std::vector<Bitmap24>& frames) {
  size_t k = 0;
  for (const test::AviRiff& r : l.riffs)
    for (uint64_t at : r.frames) {
      ASSERT_LT(k, frames.size());
      const auto expected = DibBytes(frames[k]);
      EXPECT_EQ(test::ReadFileRange(path, at, expected.size()), expected) << "frame " << k;
      ++k;
    }
  EXPECT_EQ(k, frames.size());
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

TEST(CreateAvi, StoresStreamHeaderFormatAndBottomUpPaddedFrames) {
  test::TempDir dir;
  const std::string path = dir / "clip.avi";
  // 401 pixels make 1203 bytes, padded to a stride of 1204.
  const auto frames = Frames(3, 401, 7);
  WriteClip(path, frames);
  const AviLayout l = AviWalker(path).Walk();
  ExpectConsistentAvi(l);
  ExpectFrames(path, l, frames);

  EXPECT_EQ(Le32(l.avih, 0), 125000u) << "microseconds per frame at 8 per second";
  EXPECT_EQ(Le32(l.avih, 32), 401u);
  EXPECT_EQ(Le32(l.avih, 36), 7u);
  const struct {
    const char* field;
    const std::vector<uint8_t>& chunk;
    size_t at;
    uint32_t expected;
  } fields[] = {
      {"strh fccType 'vids'", l.strh, 0, 0x73646976},
      {"strh fccHandler: none", l.strh, 4, 0},
      {"strh dwScale", l.strh, 20, 1},
      {"strh dwRate", l.strh, 24, 8},
      {"strh dwSuggestedBufferSize", l.strh, 36, 1204 * 7},
      {"strh rcFrame right, bottom", l.strh, 52, 401 | 7u << 16},
      {"strf biSize", l.strf, 0, 40},
      {"strf biWidth", l.strf, 4, 401},
      {"strf biHeight, positive: bottom-up", l.strf, 8, 7},
      {"strf planes and 24 bits", l.strf, 12, 1 | 24u << 16},
      {"strf BI_RGB", l.strf, 16, 0},
      {"strf biSizeImage: stride 1204", l.strf, 20, 1204 * 7},
  };
  for (const auto& f : fields) EXPECT_EQ(Le32(f.chunk, f.at), f.expected) << f.field;
  EXPECT_EQ(l.strf.size(), 40u) << "no colour table";
}

TEST(CreateAvi, SetRateStoresOnlyPositiveValuesBeforeTheFirstFrame) {
  const struct {
    const char* description;
    int32_t scale, rate, expectScale, expectRate;
  } rows[] = {
      {"both positive", 2, 15, 2, 15},
      {"zero scale kept at 1", 0, 8, 1, 8},
      {"negative rate kept at 25", 3, -5, 3, 25},
      {"both refused", 0, 0, 1, 25},
  };
  for (const auto& r : rows) {
    TCreateAvi avi("/nonexistent/clip.avi");
    avi.SetRate(r.scale, r.rate);
    EXPECT_EQ(avi.Scale(), r.expectScale) << r.description;
    EXPECT_EQ(avi.Rate(), r.expectRate) << r.description;
  }
}

// Small RIFF limits make the OpenDML layout testable with small files: 16 x 8 frames
// are 392-byte chunks, and an AVIX of 1300 bytes holds three of them.
TEST(CreateAvi, SplitsLargeClipsIntoAvixRiffsReadableByOthers) {
  const struct {
    const char* description;
    int frames;
    uint64_t limit;
    size_t riffs;
    int cycle = 0;  // > 0: the frames repeat a cycle of this many, written again
    bool keep = false;
  } rows[] = {
      {"under the limit: one RIFF", 10, kDefaultAviRiffLimit, 1},
      {"three frames a RIFF after a first RIFF of one", 10, 1300, 4},
      {"a limit below one frame still writes one frame a RIFF", 5, 1, 5},
      {"frames copied again from the first RIFF into the later ones", 10, 1300, 4, 2},
      {"frames kept and written again into the later RIFFs", 10, 1300, 4, 3, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.description);
    test::TempDir dir;
    const std::string path = dir / "clip.avi";
    auto frames = Frames(r.frames, 16, 8);
    for (size_t i = size_t(r.cycle); r.cycle > 0 && i < frames.size(); ++i)
      frames[i] = frames[i % size_t(r.cycle)].Clone().value();
    WriteClip(path, frames, AviWriterOptions{.riffLimit = r.limit, .superIndexCapacity = 16}, r.cycle, r.keep);
    const AviLayout l = AviWalker(path).Walk();
    ExpectConsistentAvi(l);
    ExpectFrames(path, l, frames);
    EXPECT_EQ(l.riffs.size(), r.riffs);
    for (const auto& riff : l.riffs) {
      if (riff.frames.size() > 1) {
        EXPECT_LE(riff.size, r.limit);
      }
    }

    if (!test::HaveTool("ffprobe") || !test::HaveTool("ffmpeg")) continue;
    const auto probe = test::RunCommand("ffprobe -v error -count_packets -show_entries stream=nb_read_packets "
                                        "-of csv=p=0 " + test::ShellQuote(path));
    EXPECT_EQ(probe.output, std::to_string(r.frames) + "\n");
    // Top-down, unpadded pixels of every frame as another reader decodes them.
    const auto decoded = test::RunCommand("ffmpeg -v error -xerror -i " + test::ShellQuote(path) +
                                          " -f rawvideo -pix_fmt bgr24 -");
    ASSERT_EQ(decoded.status, 0);
    std::string expected;
    for (const auto& f : frames)
      for (int32_t y = 0; y < f.Height(); ++y) expected.append(reinterpret_cast<const char*>(f.Row(y)), 16 * 3);
    EXPECT_TRUE(decoded.output == expected) << "decoded frames differ";
  }
}

// A file whose every write past `capacity` bytes fails, as a full disk does.
AviWriterOptions DiskOf(uint64_t capacity, int* writes) {
  AviWriterOptions o;
  o.writeHook = [capacity, writes](uint64_t offset, size_t size) -> Status {
    ++*writes;
    if (offset + size > capacity) return Error::Io(ErrnoText(ENOSPC));
    return Status::Ok();
  };
  return o;
}

TEST(CreateAvi, FailuresReturnTheirCodeWriteNothingMoreAndLeaveNoFile) {
  test::TempDir dir;
  std::ofstream(dir / "plain-file") << "x";
  const auto frame = test::Noise(16, 8);
  const auto wider = test::Noise(17, 8);
  const Bitmap24 empty;
  const struct {
    const char* description;
    std::string path;
    uint64_t capacity;
    uint32_t superIndexCapacity;
    uint64_t riffLimit;
    std::vector<const Bitmap24*> frames;
    int code;
    int written;
    const char* cause;
  } rows[] = {
      {"a folder that does not exist", dir / "missing/clip.avi", UINT64_MAX, 16, kDefaultAviRiffLimit,
       {&frame}, kAviOpenFailed, 0, "No such file or directory"},
      {"a file where a folder should be", dir / "plain-file/clip.avi", UINT64_MAX, 16, kDefaultAviRiffLimit,
       {&frame}, kAviOpenFailed, 0, "Not a directory"},
      {"a frame without pixels", dir / "clip.avi", UINT64_MAX, 16, kDefaultAviRiffLimit, {&empty},
       kAviStreamFailed, 0, "no pixels"},
      {"a disk full before the header", dir / "clip.avi", 100, 16, kDefaultAviRiffLimit, {&frame},
       kAviFormatFailed, 0, "No space left on device"},
      {"a disk full at the third frame", dir / "clip.avi", 1700, 16, kDefaultAviRiffLimit,
       {&frame, &frame, &frame, &frame}, kAviWriteFailed, 2, "No space left on device"},
      // A null frame: the first frame written again (AddFrameAgain(0)).
      {"a disk full at the third frame, the first written again", dir / "clip.avi", 1700, 16,
       kDefaultAviRiffLimit, {&frame, &frame, nullptr, nullptr}, kAviWriteFailed, 2, "No space left on device"},
      {"a frame written again before any was written", dir / "clip.avi", UINT64_MAX, 16, kDefaultAviRiffLimit,
       {nullptr, &frame}, kAviWriteFailed, 0, "there is no frame 0 to write again"},
      {"a frame of another size", dir / "clip.avi", UINT64_MAX, 16, kDefaultAviRiffLimit,
       {&frame, &wider, &frame}, kAviWriteFailed, 1, "17 x 8 pixels differs from the clip's 16 x 8"},
      {"more RIFFs than the super index holds", dir / "clip.avi", UINT64_MAX, 2, 1,
       {&frame, &frame, &frame, &frame}, kAviWriteFailed, 2, "larger than its index can describe"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.description);
    int writes = 0;
    AviWriterOptions options = DiskOf(r.capacity, &writes);
    options.superIndexCapacity = r.superIndexCapacity;
    options.riffLimit = r.riffLimit;
    TCreateAvi avi(r.path, options);
    int code = kAviOk;
    size_t i = 0;
    while (code == kAviOk && i < r.frames.size()) {
      const Bitmap24* f = r.frames[i++];
      code = f ? avi.AddFrame(*f) : avi.AddFrameAgain(0);
    }
    EXPECT_EQ(code, r.code);
    EXPECT_EQ(avi.FramesWritten(), r.written);
    EXPECT_EQ(avi.LastError().message, AviErrorMessage(r.path));
    EXPECT_NE(avi.LastError().cause.find(r.cause), std::string::npos) << avi.LastError().cause;

    const int writesAtFailure = writes;
    EXPECT_EQ(avi.AddFrame(frame), r.code) << "a failed writer keeps its code";
    EXPECT_EQ(writes, writesAtFailure) << "and writes nothing more";
    EXPECT_FALSE(avi.Close().ok());
    EXPECT_FALSE(avi.Close().ok()) << "a second Close reports the same failure";
    EXPECT_EQ(avi.StreamInfo(), nullptr) << "buffers released";
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"plain-file"}) << "no file left behind";
  }
}

TEST(CreateAvi, LifecycleCloseDestructionAndFailureAtClose) {
  test::TempDir dir;
  const auto frame = test::Noise(16, 8);
  {
    TCreateAvi avi(dir / "none.avi");
    EXPECT_TRUE(avi.Close().ok()) << "a writer without frames";
  }
  EXPECT_FALSE(fs::exists(dir / "none.avi")) << "writes no file";
  {
    TCreateAvi avi(dir / "destroyed.avi");
    ASSERT_EQ(avi.AddFrame(frame), kAviOk);
    ASSERT_EQ(avi.AddFrame(frame), kAviOk);
    EXPECT_FALSE(fs::exists(dir / "destroyed.avi")) << "the name appears only when the clip is complete";
  }
  const AviLayout destroyed = AviWalker(dir / "destroyed.avi").Walk();
  ExpectConsistentAvi(destroyed);
  EXPECT_EQ(Le32(destroyed.dmlh, 0), 2u) << "destruction completes the clip";
  {
    // The header is rewritten at offset 0 last: refuse that write.
    AviWriterOptions options;
    bool closing = false;
    options.writeHook = [&closing](uint64_t offset, size_t) -> Status {
      return closing && offset == 0 ? Status(Error::Io("Input/output error")) : Status::Ok();
    };
    TCreateAvi avi(dir / "failed.avi", options);
    ASSERT_EQ(avi.AddFrame(frame), kAviOk);
    closing = true;
    const Status s = avi.Close();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().Line(), AviErrorMessage(dir / "failed.avi") + ": Input/output error");
    EXPECT_EQ(avi.AddFrame(frame), kAviWriteFailed);
  }
  EXPECT_FALSE(fs::exists(dir / "failed.avi"));
  EXPECT_EQ(FolderEntries(dir.path()).size(), 1u) << "only destroyed.avi";
}

// Opt-in (KESTAL_SLOW_TESTS=1): a real clip over 4 GiB, which no 32-bit size can describe.
TEST(CreateAvi, SlowClipOverFourGigabytes) {
  if (!std::getenv("KESTAL_SLOW_TESTS")) GTEST_SKIP() << "set KESTAL_SLOW_TESTS=1 to write a 4.4 GB clip";
  test::TempDir dir;
  const std::string path = dir / "big.avi";
  const auto frames = Frames(4, 640, 960);
  constexpr int kCount = 2400;  // 1,843,200 bytes a frame
  {
    TCreateAvi avi(path);
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(avi.AddFrame(frames[i % 4]), kAviOk) << avi.LastError().Line();
    ASSERT_TRUE(avi.Close().ok());
  }
  const AviLayout l = AviWalker(path).Walk();
  ExpectConsistentAvi(l);
  EXPECT_GT(l.fileSize, uint64_t{4} << 30);
  EXPECT_EQ(Le32(l.dmlh, 0), uint32_t{kCount});
  const auto& last = l.riffs.back();
  EXPECT_EQ(test::ReadFileRange(path, last.frames.back(), 640 * 3 * 960), DibBytes(frames[(kCount - 1) % 4]));
  if (test::HaveTool("ffprobe")) {
    const auto probe = test::RunCommand("ffprobe -v error -count_packets -show_entries stream=nb_read_packets "
                                        "-of csv=p=0 " + test::ShellQuote(path));
    EXPECT_EQ(probe.output, std::to_string(kCount) + "\n");
  }
}

}  // namespace
}  // namespace kestal
