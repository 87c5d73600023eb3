#include "export/avi_export.h"

#include <optional>

#include "export/frame_writer.h"
#include "export/output_formats.h"
#include "export/share_export.h"

namespace kestal {
namespace {

// The uncompressed AVI through TCreateAvi, which creates the file at the first frame.
// A frame or a close that fails removes the file itself, and a writer that got no
// frame writes none, so there is nothing for Abort to remove.
class AviWriter : public FrameWriter {
 public:
  AviWriter(std::string path, const ExportSettings& settings, const AviWriterOptions& options)
      : path_(std::move(path)), repetitions_(settings.repetitions), options_(options) {}

  Status Begin(int32_t, int32_t, const FramePace& pace) override {
    if (pace.framesPerSecond <= 0) {
      return Error::Invalid("a timer interval of " + std::to_string(pace.intervalMs) + " ms gives no frame rate");
    }
    if (repetitions_ < kMinRepetitions || repetitions_ > kMaxRepetitions) {
      return Error::Invalid("the repetitions must be " + std::to_string(kMinRepetitions) + " to " +
                            std::to_string(kMaxRepetitions) + ", not " + std::to_string(repetitions_));
    }
    avi_.emplace(path_, options_);
    avi_->SetRate(1, pace.framesPerSecond);
    return Status::Ok();
  }

  Status Add(const Bitmap24& frame) override {
    if (avi_->AddFrame(frame) != kAviOk) return avi_->LastError();
    return Status::Ok();
  }

  // The cycle's chunks are kept in memory, or without the memory copied within the file.
  bool RepeatsCycle(int frames) override {
    avi_->KeepFrames(frames, kMaxKeptCycleBytes);
    return true;
  }
  Status AddAgain(int index) override {
    if (avi_->AddFrameAgain(index) != kAviOk) return avi_->LastError();
    return Status::Ok();
  }

  Status Finish() override { return avi_->Close(); }
  void Abort() override {}
  uint64_t Bytes() const override { return 0; }
  std::string FileMessage() const override { return AviErrorMessage(path_); }

 private:
  std::string path_;
  int repetitions_;
  AviWriterOptions options_;
  std::optional<TCreateAvi> avi_;
};

}  // namespace

int AviFrameRate(int intervalMs) { return ClipFrameRate(intervalMs); }

std::unique_ptr<FrameWriter> MakeAviWriter(const std::string& path, const ExportSettings& settings) {
  return std::make_unique<AviWriter>(path, settings, AviWriterOptions{});
}

Status ExportAvi(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                 const ExportProgress& progress, const AviWriterOptions& options) {
  AviWriter writer(path, settings, options);
  return ExportClip(model, writer, settings, progress);
}

}  // namespace kestal
