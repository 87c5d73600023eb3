#include "export/avi_export.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/avi_walk.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Le32;

AnimationModel ModelOf(int32_t w, int32_t h, int frames) {
  AnimationModel model;
  model.SetFrameCount(frames);
  EXPECT_TRUE(model.SetPhoto(test::Gradient(w, h)).ok());
  return model;
}

// The reference: output frame k of the animation, as a bottom-up DIB.
std::vector<uint8_t> ExpectedFrame(AnimationModel& model, Composition composition, int k) {
  auto composer = FrameComposer::Create(model, composition);
  EXPECT_TRUE(composer.ok());
  model.ResetFrameIndex();
  for (int i = 0; i <= k; ++i) composer->NextFrame(model);
  const Bitmap24& b = composer->Output();
  std::vector<uint8_t> out;
  for (int32_t y = b.Height() - 1; y >= 0; --y) out.insert(out.end(), b.Row(y), b.Row(y) + b.Stride());
  return out;
}

TEST(AviExport, FrameRateFollowsTheTimerInterval) {
  const struct {
    const char* speed;
    int intervalMs, rate;
  } rows[] = {{"slow", kSlowIntervalMs, 5}, {"medium", kMediumIntervalMs, 8}, {"fast", kFastIntervalMs, 20}};
  for (const auto& r : rows) EXPECT_EQ(AviFrameRate(r.intervalMs), r.rate) << r.speed;
}

TEST(AviExport, RepeatsTheCycleFromFrameZeroWithSequenceProgress) {
  for (Composition composition : {Composition::PhotoAndReflection, Composition::ReflectionOnly}) {
    test::TempDir dir;
    const std::string path = dir / "clip.avi";
    AnimationModel model = ModelOf(41, 20, 5);
    model.NextFrame();  // the pane shows frame 0, the next would be 1
    model.NextFrame();
    std::vector<std::pair<int, int>> progress;
    ExportSettings settings{.format = ExportFormat::Avi, .composition = composition, .repetitions = 3};
    const Status s = ExportAvi(model, path, settings, [&](int n, int total) { progress.emplace_back(n, total); });
    ASSERT_TRUE(s.ok()) << s.error().Line();
    EXPECT_EQ(model.FrameIndex(), 4);
    ASSERT_EQ(progress.size(), 15u);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(progress[i], std::make_pair(i + 1, 15));

    const test::AviLayout l = test::AviWalker(path).Walk();
    test::ExpectConsistentAvi(l);
    EXPECT_EQ(Le32(l.strh, 20), 1u);
    EXPECT_EQ(Le32(l.strh, 24), 8u) << "medium speed: 8 frames per second";
    const auto& chunks = l.riffs[0].frames;
    ASSERT_EQ(chunks.size(), 15u);
    const int32_t height = composition == Composition::PhotoAndReflection ? 20 + 18 : 18;
    EXPECT_EQ(Le32(l.strf, 8), uint32_t(height));
    for (int k = 0; k < 5; ++k) {
      const auto expected = ExpectedFrame(model, composition, k);
      for (int rep = 0; rep < 3; ++rep) {
        EXPECT_EQ(test::ReadFileRange(path, chunks[5 * rep + k], expected.size()), expected)
            << "clip frame " << 5 * rep + k << " is animation frame " << k;
      }
    }
  }
}

TEST(AviExport, StopsAtTheFirstFrameThatFailsAndNamesTheFile) {
  test::TempDir dir;
  const std::string path = dir / "clip.avi";
  AnimationModel model = ModelOf(64, 40, 5);
  int last = 0;
  AviWriterOptions disk;
  int frames_started = 0;
  disk.writeHook = [&](uint64_t, size_t size) -> Status {
    // The fourth frame's pixels do not fit.
    if (size == Bitmap24Stride(64) * (40 + 36) && ++frames_started == 4) return Error::Io(ErrnoText(ENOSPC));
    return Status::Ok();
  };
  const Status s = ExportAvi(model, path, ExportSettings{.repetitions = 2}, [&](int n, int) { last = n; }, disk);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().Line(), "Unable to write the AVI clip \"" + path + "\": No space left on device");
  EXPECT_EQ(last, 4) << "no frame after the failing one";
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no file left behind";
}

}  // namespace
}  // namespace kestal
