#pragma once
// The export's animated AVIF: an AV1 image sequence through libavif (its AOM encoder),
// 4:2:0 at a constant quantizer, each frame lasting the animation timer's interval.
// The clip holds whole cycles (ClipCycles), so the loop is seamless; libavif writes no
// repetition count, which players take as looping forever. The encoder keeps the
// encoded frames in memory until the sequence is finished; the file is then written
// under a temporary name that takes its own name only once complete. The writer is the
// encoded clips' (video_export.h); the encoder is in the encoders' module
// (encoders/avif_encoder.cpp).

#include <cstdint>

namespace kestal {

// AV1's highest levels (6.x, AV1 Annex A) hold pictures at most 16384 pixels wide.
inline constexpr int64_t kMaxAvifSide = 16384;
// libavif's quantizer range: 0 is the best quality, 63 the worst.
inline constexpr int kAvifBestQuantizer = 0;
inline constexpr int kAvifWorstQuantizer = 63;

}  // namespace kestal
