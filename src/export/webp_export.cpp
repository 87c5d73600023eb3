#include "export/webp_export.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include "base/file_output.h"
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

Result<int> FrameCountOfClip(const AnimationModel& model, const ExportSettings& settings) {
  auto cycles = ClipCycles(settings, model.FrameCount(), settings.intervalMs);
  if (!cycles) return cycles.error();
  return model.FrameCount() * *cycles;
}

Status Encode(AnimationModel& model, const ExportSettings& settings, int frames, const ExportProgress& progress,
              OutputFile* file, uint64_t* bytes) {
  if (settings.intervalMs <= 0) return Error::Invalid("the frames have no duration");
  if (Status s = CheckQuality(ExportFormat::WebP, settings.encode.quality); !s) return s;
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error();
  const Bitmap24& out = composer->Output();
  AnimationEncoder encoder;
  if (Status s = encoder.Open(out.Width(), out.Height(), settings.encode); !s) return s;
  model.ResetFrameIndex();
  for (int i = 1; i <= frames; ++i) {
    if (progress) progress(i, frames);
    composer->NextFrame(model);
    if (Status s = encoder.Add(out, (i - 1) * settings.intervalMs); !s) return s;
  }
  FinishingCheck::Run();
  auto data = encoder.Assemble(frames * settings.intervalMs);
  if (!data) return data.error();
  if (bytes) *bytes = (*data)->size;
  FinishingCheck::Run();
  if (file) return file->Write((*data)->bytes, (*data)->size);
  return Status::Ok();
}

}  // namespace

Status ExportWebP(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                  const ExportProgress& progress) {
  auto frames = FrameCountOfClip(model, settings);
  if (!frames) return Error{ClipErrorMessage(path), frames.error().cause, frames.error().kind};
  if (auto size = CheckOutputSize(model, settings.composition, ExportFormat::WebP); !size) {
    return Error{ClipErrorMessage(path), size.error().cause, size.error().kind};
  }
  return WriteClipFile(path, [&](OutputFile& file) { return Encode(model, settings, *frames, progress, &file, nullptr); });
}

Result<uint64_t> TrialWebPBytes(AnimationModel& model, const ExportSettings& settings, int frames) {
  uint64_t bytes = 0;
  if (Status s = Encode(model, settings, frames, {}, nullptr, &bytes); !s) return s.error();
  return bytes;
}

}  // namespace kestal
