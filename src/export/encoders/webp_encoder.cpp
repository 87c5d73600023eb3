// The encoder of animated WebP, through libwebp (the encoders' module).

#include <webp/encode.h>
#include <webp/mux.h>

#include "export/encoders/encoders.h"

namespace kestal {
namespace {

// The animation encoder, its picture and the assembled file. Each frame lasts the
// animation timer's interval.
class WebPEncoder : public ClipEncoder {
 public:
  WebPEncoder() {
    WebPPictureInit(&picture_);
    WebPDataInit(&data_);
  }
  ~WebPEncoder() override {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
    WebPPictureFree(&picture_);
    WebPDataClear(&data_);
  }
  WebPEncoder(const WebPEncoder&) = delete;
  WebPEncoder& operator=(const WebPEncoder&) = delete;

  Status Open(int32_t width, int32_t height, int quality, bool lossless, int intervalMs) {
    interval_ms_ = intervalMs;
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
    config_.lossless = lossless ? 1 : 0;
    // Lossless: the quality is the effort spent on compression; keep every pixel
    // exactly, even under transparent areas (there are none, but the check is cheap).
    config_.quality = lossless ? 75.0f : static_cast<float>(quality);
    config_.exact = lossless ? 1 : 0;
    config_.method = 4;
    if (!WebPValidateConfig(&config_)) return Error::Invalid("the WebP settings are not valid");
    picture_.width = width;
    picture_.height = height;
    picture_.use_argb = 1;
    return Status::Ok();
  }

  Status Add(const Bitmap24& frame) override {
    if (!WebPPictureImportBGR(&picture_, frame.Data(), static_cast<int>(frame.Stride()))) {
      return Error::NoMemory("not enough memory for a WebP frame");
    }
    if (!WebPAnimEncoderAdd(encoder_, &picture_, frames_ * interval_ms_, &config_)) return EncoderError();
    ++frames_;
    return Status::Ok();
  }

  // Ends the animation at the last frame's end and assembles the file.
  Status Finish(const std::function<void()>&) override {
    if (!WebPAnimEncoderAdd(encoder_, nullptr, frames_ * interval_ms_, nullptr)) return EncoderError();
    if (!WebPAnimEncoderAssemble(encoder_, &data_)) return EncoderError();
    return Status::Ok();
  }

  std::span<const uint8_t> File() const override { return {data_.bytes, data_.size}; }
  std::vector<uint64_t> FrameBytes() const override { return {}; }

 private:
  Error EncoderError() const {
    const char* text = WebPAnimEncoderGetError(encoder_);
    return Error::Io(std::string("the WebP encoder failed") + (text && *text ? std::string(": ") + text : ""));
  }

  WebPAnimEncoder* encoder_ = nullptr;
  WebPConfig config_{};
  WebPPicture picture_{};
  WebPData data_{};
  int interval_ms_ = 0;
  int frames_ = 0;
};

}  // namespace

Result<std::unique_ptr<ClipEncoder>> OpenWebPEncoder(const EncoderSettings& settings) {
  auto encoder = std::make_unique<WebPEncoder>();
  if (Status s = encoder->Open(settings.width, settings.height, settings.quality, settings.lossless,
                               settings.pace.intervalMs);
      !s) {
    return s.error();
  }
  return std::unique_ptr<ClipEncoder>(std::move(encoder));
}

}  // namespace kestal
