#pragma once
// Inside the encoders' module (kestal-encoders.so): the encoder of each library, opened
// through the module's table (encoder_module.cpp). See export/clip_encoder.h.

#include <memory>

#include "base/result.h"
#include "export/clip_encoder.h"

namespace kestal {

// MP4 (H.264), WebM (VP9) and APNG through FFmpeg's libraries.
Result<std::unique_ptr<ClipEncoder>> OpenFfmpegEncoder(const EncoderSettings& settings);
// Animated WebP through libwebp.
Result<std::unique_ptr<ClipEncoder>> OpenWebPEncoder(const EncoderSettings& settings);
// Animated AVIF through libavif.
Result<std::unique_ptr<ClipEncoder>> OpenAvifEncoder(const EncoderSettings& settings);

}  // namespace kestal
