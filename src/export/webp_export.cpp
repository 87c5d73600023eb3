#include "export/webp_export.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include "base/file_output.h"
#include "export/frame_writer.h"
#include "export/output_formats.h"
#include "export/video_export.h"

namespace kestal {
namespace {

// The encoder, its picture and its result, released on every path.
class AnimationEncoder {
 public:
  AnimationEncoder() {
    WebPPictureInit(&picture_);
    WebPDataInit(&data_);
  }
  ~AnimationEncoder() {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
    WebPPictureFree(&picture_);
    WebPDataClear(&data_);
  }
  AnimationEncoder(const AnimationEncoder&) = delete;
  AnimationEncoder& operator=(const AnimationEncoder&) = delete;

  Status Open(int32_t width, int32_t height, const EncodeOptions& options) {
    // WebP pictures are at most 16383 pixels a side.
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION) {
      return Error::OverLimit("WebP pictures are at most " + std::to_string(WEBP_MAX_DIMENSION) + " pixels a side, not " +
                              std::to_string(width) + " x " + std::to_string(height));
    }
    WebPAnimEncoderOptions animation;
    if (!WebPAnimEncoderOptionsInit(&animation) || !WebPConfigInit(&config_)) {
      return Error::Unsupported("the WebP library does not match its headers");
    }
    animation.anim_params.loop_count = 0;  // forever
    encoder_ = WebPAnimEncoderNew(width, height, &animation);
    if (!encoder_) return Error::NoMemory("not enough memory for the WebP encoder");
    config_.lossless = options.lossless ? 1 : 0;
    // Lossless: the quality is the effort spent on compression; keep every pixel
    // exactly, even under transparent areas (there are none, but the check is cheap).
    config_.quality = options.lossless ? 75.0f : static_cast<float>(EffectiveQuality(ExportFormat::WebP, options));
    config_.exact = options.lossless ? 1 : 0;
    config_.method = 4;
    if (!WebPValidateConfig(&config_)) return Error::Invalid("the WebP settings are not valid");
    picture_.width = width;
    picture_.height = height;
    picture_.use_argb = 1;
    return Status::Ok();
  }

  Status Add(const Bitmap24& frame, int timestampMs) {
    if (!WebPPictureImportBGR(&picture_, frame.Data(), static_cast<int>(frame.Stride()))) {
      return Error::NoMemory("not enough memory for a WebP frame");
    }
    if (!WebPAnimEncoderAdd(encoder_, &picture_, timestampMs, &config_)) return EncoderError();
    return Status::Ok();
  }

  // Ends the animation at `endMs`, which is the last frame's end, and assembles the file.
  Result<WebPData*> Assemble(int endMs) {
    if (!WebPAnimEncoderAdd(encoder_, nullptr, endMs, nullptr)) return EncoderError();
    if (!WebPAnimEncoderAssemble(encoder_, &data_)) return EncoderError();
    return &data_;
  }

 private:
  Error EncoderError() const {
    const char* text = WebPAnimEncoderGetError(encoder_);
    return Error::Io(std::string("the WebP encoder failed") + (text && *text ? std::string(": ") + text : ""));
  }

  WebPAnimEncoder* encoder_ = nullptr;
  WebPConfig config_{};
  WebPPicture picture_{};
  WebPData data_{};
};

// The animation in memory until it is assembled, then written under a temporary name
// that takes its own name only once complete. Without a path it only measures.
class WebPWriter : public FrameWriter {
 public:
  WebPWriter(std::string path, const ExportSettings& settings) : path_(std::move(path)), options_(settings.encode) {}

  Status Begin(int32_t width, int32_t height, const FramePace& pace) override {
    interval_ms_ = pace.intervalMs;
    if (Status s = encoder_.Open(width, height, options_); !s) return s;
    return path_.empty() ? Status::Ok() : OpenClipFile(file_, path_);
  }

  Status Add(const Bitmap24& frame) override {
    if (Status s = encoder_.Add(frame, frames_ * interval_ms_); !s) return s;
    ++frames_;
    return Status::Ok();
  }

  Status Finish() override {
    auto data = encoder_.Assemble(frames_ * interval_ms_);
    if (!data) return data.error();
    bytes_ = (*data)->size;
    FinishingCheck::Run();
    if (path_.empty()) return Status::Ok();
    if (Status s = file_.Write((*data)->bytes, (*data)->size); !s) return s;
    return file_.Commit();
  }

  void Abort() override { file_.Abandon(); }
  uint64_t Bytes() const override { return bytes_; }
  std::string FileMessage() const override { return ClipErrorMessage(path_); }

 private:
  std::string path_;
  EncodeOptions options_;
  AnimationEncoder encoder_;
  OutputFile file_;
  int interval_ms_ = 0;
  int frames_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeWebPWriter(const std::string& path, const ExportSettings& settings) {
  return std::make_unique<WebPWriter>(path, settings);
}

}  // namespace kestal
