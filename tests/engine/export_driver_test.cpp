#include "export/export_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "export/avi_export.h"
#include "export/gif_export.h"
#include "export/share_export.h"
#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

AnimationModel ModelWith(Bitmap24 photo, int frames = 5, int percent = 90) {
  AnimationModel m;
  m.SetFrameCount(frames);
  EXPECT_TRUE(m.SetPercent(percent).ok());
  EXPECT_TRUE(m.SetPhoto(std::move(photo)).ok());
  return m;
}

TEST(ExportDriver, SequenceFileNames) {
  struct Row {
    const char* folder;
    const char* photo;
    int index;
    const char* ext;
    const char* expected;
  } rows[] = {
      {"/out", "/img/lake.png", 0, "bmp", "/out/lake00.bmp"},
      {"/out/", "/img/lake.png", 4, "bmp", "/out/lake04.bmp"},
      {"/out", "/Photos/sea.view.jpg", 29, "jpg", "/out/sea.view29.jpg"},
      {"/", "/x/noext", 7, "bmp", "/noext07.bmp"},
      {"/out", "/img/lake.png", 123, "bmp", "/out/lake123.bmp"},
  };
  for (const Row& r : rows) EXPECT_EQ(SequenceFileName(r.folder, r.photo, r.index, r.ext), r.expected);
}

TEST(ExportDriver, CompositionsHaveTheRightSizeAndKeepThePhotoRows) {
  AnimationModel m = ModelWith(test::Gradient(40, 30));
  auto both = FrameComposer::Create(m, Composition::PhotoAndReflection);
  ASSERT_TRUE(both.ok());
  EXPECT_EQ(both->Output().Height(), 30 + 27);
  EXPECT_EQ(both->Y0(), 30);
  auto alone = FrameComposer::Create(m, Composition::ReflectionOnly);
  ASSERT_TRUE(alone.ok());
  EXPECT_EQ(alone->Output().Height(), 27);
  EXPECT_EQ(alone->Y0(), 0);

  m.ResetFrameIndex();
  for (int i = 0; i < 5; ++i) {
    both->NextFrame(m);
    for (int y = 0; y < 30; ++y) ASSERT_EQ(both->Output().Pixel(7, y), m.Photo().Pixel(7, y));
    for (int y = 0; y < 27; ++y) ASSERT_EQ(both->Output().Pixel(7, 30 + y), m.PaneBitmap().Pixel(7, y));
  }
}

TEST(ExportDriver, AnOutputWithoutRowsIsRefused) {
  AnimationModel m = ModelWith(test::Gradient(200, 1), 5, 30);
  auto alone = FrameComposer::Create(m, Composition::ReflectionOnly);
  ASSERT_FALSE(alone.ok());
  EXPECT_NE(alone.error().cause.find("no rows"), std::string::npos);
  EXPECT_TRUE(FrameComposer::Create(m, Composition::PhotoAndReflection).ok()) << "the photo alone is fine";
}

// A tall photo, taller than the photo limits allow once its reflection is added.
Bitmap24 TallPhoto(int32_t w, int32_t h) {
  auto b = Bitmap24::Create(w, h, PixelLimits{INT32_MAX, INT64_MAX});
  EXPECT_TRUE(b.ok());
  return std::move(b.value());
}

TEST(ExportDriver, OutputsHaveTheirOwnSizeLimits) {
  AnimationModel tall = ModelWith(TallPhoto(40, 20000));  // 40 × 38000 with its reflection
  AnimationModel taller = ModelWith(TallPhoto(4, 40000), 5, 100);  // 4 × 80000
  constexpr PixelLimits kUnlimited{INT32_MAX, INT64_MAX};
  struct Row {
    const char* what;
    AnimationModel* model;
    Composition composition;
    ExportFormat format;
    const char* refusal;  // nullptr: accepted
    PixelLimits limits = kOutputPixelLimits;
  } rows[] = {
      {"a BMP over the photo limits", &tall, Composition::PhotoAndReflection, ExportFormat::BmpSequence, nullptr},
      {"an AVI over the photo limits", &tall, Composition::PhotoAndReflection, ExportFormat::Avi, nullptr},
      {"a GIF under 65535", &tall, Composition::PhotoAndReflection, ExportFormat::Gif, nullptr},
      {"a JPEG under 65500", &tall, Composition::PhotoAndReflection, ExportFormat::JpgSequence, nullptr},
      {"a GIF over 65535", &taller, Composition::PhotoAndReflection, ExportFormat::Gif,
       "4 x 80000 pixels; a GIF holds at most 65535 pixels a side", kUnlimited},
      {"a JPEG over 65500", &taller, Composition::PhotoAndReflection, ExportFormat::JpgSequence,
       "a JPEG file holds at most 65500", kUnlimited},
      {"a BMP of any size within the limits", &taller, Composition::PhotoAndReflection,
       ExportFormat::BmpSequence, nullptr, kUnlimited},
      {"a BMP over twice the photo limits", &taller, Composition::PhotoAndReflection,
       ExportFormat::BmpSequence, "over the limit of 60000 pixels a side"},
      {"the reflection alone fits", &taller, Composition::ReflectionOnly, ExportFormat::Gif, nullptr},
  };
  for (const Row& r : rows) {
    auto size = CheckOutputSize(*r.model, r.composition, r.format, r.limits);
    EXPECT_EQ(size.ok(), r.refusal == nullptr) << r.what;
    if (r.refusal) {
      EXPECT_EQ(size.error().kind, ErrorKind::OverLimit) << r.what;
      EXPECT_NE(size.error().cause.find(r.refusal), std::string::npos) << r.what << ": " << size.error().cause;
    }
  }
  test::TempDir dir;
  const std::string gif = dir / "tall.gif";
  ExportSettings settings;
  EXPECT_FALSE(ExportGif(taller, gif, settings).ok());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "refused before anything is written";
  // A photo that opened exports even when photo and reflection pass the photo limits.
  std::filesystem::create_directory(dir / "seq");
  auto frames = ExportSequence(tall, dir / "seq", "/p/tall.png", "bmp", Composition::PhotoAndReflection);
  ASSERT_TRUE(frames.ok()) << frames.error().cause;
  EXPECT_EQ(frames->written.size(), 5u);
  EXPECT_TRUE(frames->failures.empty());
  settings.format = ExportFormat::Avi;
  EXPECT_TRUE(ExportAvi(tall, dir / "tall.avi", settings).ok());
}

TEST(ExportDriver, LeftoverFramesAreThoseBeyondTheCount) {
  test::TempDir dir;
  for (const char* name : {"sea00.bmp", "sea04.bmp", "sea05.bmp", "sea29.bmp", "sea100.bmp", "sea7.bmp",
                           "sea05.jpg", "seal05.bmp", "sea05.bmp.partX"})
    std::ofstream(dir / name) << "x";
  EXPECT_EQ(LeftoverFrames(dir.path().string(), "/p/sea.png", "bmp", 5), (std::vector<int>{5, 29, 100}));
  EXPECT_EQ(LeftoverFrames(dir.path().string(), "/p/sea.png", "jpg", 5), (std::vector<int>{5}));
  EXPECT_TRUE(LeftoverFrames(dir.path().string(), "/p/sea.png", "bmp", 101).empty());
  EXPECT_TRUE(LeftoverFrames(dir / "none", "/p/sea.png", "bmp", 2).empty());
}

TEST(ExportDriver, SequenceStartsAtFrameZeroAndCoversOneCycle) {
  AnimationModel m = ModelWith(test::Gradient(33, 21), 5, 100);
  for (int i = 0; i < 3; ++i) m.NextFrame();  // the pane shows frame 2 when the export starts
  test::TempDir dir;
  std::vector<int> progress;
  auto report = ExportSequence(m, dir.path().string(), "/img/lake.png", "bmp",
                               Composition::PhotoAndReflection,
                               [&](int n, int total) {
                                 progress.push_back(n);
                                 EXPECT_EQ(total, 5);
                               });
  ASSERT_TRUE(report.ok());
  EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5}));
  ASSERT_EQ(report->written.size(), 5u);
  EXPECT_TRUE(report->failures.empty());
  EXPECT_EQ(report->written[4], dir / "lake04.bmp");
  EXPECT_EQ(m.FrameIndex(), 4);

  // The first file holds frame 0: render it independently and compare the reflection.
  AnimationModel fresh = ModelWith(test::Gradient(33, 21), 5, 100);
  fresh.NextFrame();
  auto first = FrameComposer::Create(fresh, Composition::PhotoAndReflection);
  ASSERT_TRUE(first.ok());
  fresh.ResetFrameIndex();
  first->NextFrame(fresh);
  EXPECT_EQ(std::filesystem::file_size(report->written[0]), 54u + 100u * 42u);
  if (test::HaveTool("convert")) {
    // Compare with an independent reader: ImageMagick's view of the first file.
    auto r = test::RunCommand("convert " + test::ShellQuote(report->written[0]) + " -depth 8 rgb:-");
    ASSERT_EQ(r.output.size(), 33u * 42u * 3u);
    for (int y = 0; y < 42; ++y)
      for (int x = 0; x < 33; ++x) {
        const ColorTriple p = first->Output().Pixel(x, y);
        const size_t i = (size_t(y) * 33 + x) * 3;
        ASSERT_EQ(uint8_t(r.output[i]), p.red) << x << "," << y;
        ASSERT_EQ(uint8_t(r.output[i + 2]), p.blue) << x << "," << y;
      }
  }
}

TEST(ExportDriver, AFrameThatCannotBeSavedDoesNotStopTheSequence) {
  ApplyStartupImageFileTexts();
  AnimationModel m = ModelWith(test::Gradient(8, 8), 3);
  test::TempDir dir;
  // A file name that is a folder cannot be written; the other frames still are.
  std::filesystem::create_directory(dir / "pic01.bmp");
  auto report = ExportSequence(m, dir.path().string(), "/x/pic.jpg", "bmp", Composition::ReflectionOnly);
  ASSERT_TRUE(report.ok());
  EXPECT_EQ(report->written.size(), 2u);
  ASSERT_EQ(report->failures.size(), 1u);
  EXPECT_EQ(report->failures[0].message, "Unable to save image in file \"" + (dir / "pic01.bmp") + "\" !");
  EXPECT_FALSE(report->failures[0].cause.empty());
  EXPECT_EQ(m.FrameIndex(), 2) << "every frame was rendered";
  ResetImageFileTexts();
}

// An export stopped by a throw from the finishing check after the last frame (during an
// encoder's flush, a GIF's or WebP's assembly, or before the final rename) stops there
// and leaves nothing behind; a sequence refuses to write a frame that is the photo.
TEST(ExportDriver, StoppingAfterTheLastFrameLeavesNothing) {
  struct Stop {};
  const struct {
    ExportFormat format;
    const char* name;
  } rows[] = {{ExportFormat::Gif, "a.gif"},   {ExportFormat::Avi, "a.avi"},   {ExportFormat::Mp4, "a.mp4"},
              {ExportFormat::WebM, "a.webm"}, {ExportFormat::WebP, "a.webp"}, {ExportFormat::Apng, "a.png"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    test::TempDir dir;
    AnimationModel m = ModelWith(test::Noise(48, 32, 2), 4);
    ExportSettings settings;
    settings.format = r.format;
    bool last = false;
    const ExportProgress progress = [&](int n, int total) { last = n == total; };
    const FinishingCheck check([&] {
      if (last) throw Stop{};
    });
    const std::string path = dir / r.name;
    const auto run = [&] {
      if (r.format == ExportFormat::Gif) return Status(ExportGif(m, path, settings, progress) ? Status::Ok() : Error{});
      if (r.format == ExportFormat::Avi) return ExportAvi(m, path, settings, progress);
      return ExportClip(m, path, settings, progress);
    };
    EXPECT_THROW((void)run(), Stop);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }

  test::TempDir dir;
  const std::string photo = dir / "pic.bmp";
  ASSERT_TRUE(SaveBitmapFile(photo, test::Gradient(8, 8)).ok());
  std::filesystem::create_hard_link(photo, dir / "pic02.bmp");
  AnimationModel m = ModelWith(test::Gradient(8, 8), 3);
  auto report = ExportSequence(m, dir.path().string(), photo, "bmp", Composition::ReflectionOnly);
  ASSERT_FALSE(report.ok());
  EXPECT_EQ(report.error().message, dir / "pic02.bmp");
  EXPECT_FALSE(std::filesystem::exists(dir / "pic00.bmp")) << "refused before any frame";
}

}  // namespace
}  // namespace kestal
