#include "export/video_export.h"

#include <algorithm>

#include "base/file_output.h"
#include "export/clip_encoder.h"
#include "export/codec_levels.h"
#include "export/frame_writer.h"
#include "export/output_formats.h"
#include "export/share_export.h"

namespace kestal {
namespace {

bool IsVideo(ExportFormat format) {
  return format == ExportFormat::Mp4 || format == ExportFormat::WebM || format == ExportFormat::Apng;
}

// A clip of the encoders' module. FFmpeg's muxers write the temporary file through its
// descriptor; the encoders of WebP and AVIF keep the file in memory until it is
// assembled, and it is written then. Without a path it only measures.
class EncodedClipWriter : public FrameWriter {
 public:
  EncodedClipWriter(std::string path, const ExportSettings& settings)
      : path_(std::move(path)),
        format_(settings.format),
        quality_(EffectiveQuality(settings.format, settings.encode)),
        lossless_(settings.encode.lossless) {}

  Status Begin(int32_t width, int32_t height, const FramePace& pace) override {
    if (IsVideo(format_)) {
      const int fps = pace.framesPerSecond;
      if (fps <= 0) return Error::Invalid("a timer interval of " + std::to_string(pace.intervalMs) + " ms has no frame rate");
      // A picture the codec's highest level cannot hold is refused before the file is made.
      if (Status s = CheckClipPicture(format_, width, height, fps); !s) return s;
    }
    if (!path_.empty()) {
      if (Status s = OpenClipFile(file_, path_); !s) return s;
    }
    auto encoder = OpenClipEncoder(EncoderSettings{.format = format_,
                                                   .width = width,
                                                   .height = height,
                                                   .pace = pace,
                                                   .quality = quality_,
                                                   .lossless = lossless_,
                                                   .file = IsVideo(format_) && !path_.empty() ? file_.Descriptor() : -1});
    if (!encoder) return encoder.error();
    encoder_ = std::move(encoder.value());
    return Status::Ok();
  }

  Status Add(const Bitmap24& frame) override { return encoder_->Add(frame); }

  Status Finish() override {
    if (Status s = encoder_->Finish(FinishingCheck::Run); !s) return s;
    frame_bytes_ = encoder_->FrameBytes();
    const std::span<const uint8_t> assembled = encoder_->File();
    bytes_ = assembled.size();
    FinishingCheck::Run();
    if (path_.empty()) return Status::Ok();
    if (Status s = file_.Write(assembled.data(), assembled.size()); !s) return s;
    encoder_.reset();
    return file_.Commit();
  }

  void Abort() override {
    // The encoder writes through the file's descriptor: it goes first.
    encoder_.reset();
    file_.Abandon();
  }

  uint64_t Bytes() const override {
    uint64_t total = bytes_;
    for (uint64_t b : frame_bytes_) total += b;
    return total;
  }
  std::string FileMessage() const override { return ClipErrorMessage(path_); }
  const std::vector<uint64_t>& FrameBytes() const { return frame_bytes_; }

 private:
  std::string path_;
  ExportFormat format_;
  int quality_;
  bool lossless_;
  OutputFile file_;
  std::unique_ptr<ClipEncoder> encoder_;  // after the file, so that it is destroyed first
  std::vector<uint64_t> frame_bytes_;
  uint64_t bytes_ = 0;
};

}  // namespace

std::string ClipErrorMessage(const std::string& path) { return "Unable to write the clip \"" + path + "\""; }

Status OpenClipFile(OutputFile& file, const std::string& path) {
  if (Status s = file.Open(path); !s) return Error::Io(s.error().cause);
  return Status::Ok();
}

std::unique_ptr<FrameWriter> MakeEncodedClipWriter(const std::string& path, const ExportSettings& settings) {
  return std::make_unique<EncodedClipWriter>(path, settings);
}

Result<std::vector<uint64_t>> TrialVideoFrameBytes(AnimationModel& model, const ExportSettings& settings, int frames) {
  EncodedClipWriter writer(std::string(), settings);
  if (auto measured = MeasureClip(model, writer, settings, frames); !measured) return measured.error();
  std::vector<uint64_t> bytes = writer.FrameBytes();
  bytes.resize(static_cast<size_t>(std::max(frames, 0)));
  return bytes;
}

}  // namespace kestal
