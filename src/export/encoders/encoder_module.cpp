// The encoders' module's entry: the one symbol it exports (the rest is hidden), which
// the engine looks up after loading it (export/clip_encoder.cpp).

#include "export/encoders/encoders.h"

namespace kestal {
namespace {

Result<std::unique_ptr<ClipEncoder>> OpenEncoder(const EncoderSettings& settings) {
  switch (settings.format) {
    case ExportFormat::Mp4:
    case ExportFormat::WebM:
    case ExportFormat::Apng: return OpenFfmpegEncoder(settings);
    case ExportFormat::WebP: return OpenWebPEncoder(settings);
    case ExportFormat::Avif: return OpenAvifEncoder(settings);
    default: return Error::Invalid("not a format of the clip encoders");
  }
}

constexpr EncoderModule kModule{KESTAL_VERSION, OpenEncoder};

}  // namespace
}  // namespace kestal

extern "C" __attribute__((visibility("default"))) const kestal::EncoderModule* kestal_clip_encoders() {
  return &kestal::kModule;
}
