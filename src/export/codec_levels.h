#pragma once
// The levels of the video codecs: what a decoder of each level promises to play. A clip
// whose picture is over the highest level plays nowhere (browsers load no frame), so it
// is refused before anything is written; an MP4 carries the smallest level that holds
// its picture, which lets the most players take it.

#include <cstdint>
#include <span>
#include <string>

#include "base/result.h"
#include "export/export_driver.h"

namespace kestal {

// One row of H.264's Table A-1 (ITU-T H.264, Annex A): the macroblocks (16 × 16
// pixels) a decoder handles per second, per frame and in its decoded picture buffer.
struct H264Level {
  int idc;  // level_idc: 31 is level 3.1
  int64_t maxMbPerSecond;
  int64_t maxFrameMbs;
  int64_t maxDpbMbs;
};
std::span<const H264Level> H264Levels();

// The reference frames the H.264 encoder keeps at its preset (three references, and a
// fourth for B-pyramids): the decoded picture buffer a stream needs is this many frames.
inline constexpr int kH264DpbFrames = 4;

// The smallest H.264 level_idc whose decoders hold width × height pixels at `fps` frames
// a second: the frame's macroblocks, their rate, the picture buffer, and each side at
// most √(8 × the frame's macroblocks) macroblocks (A.3.1). An over-limit error naming
// the size and the highest level's limits when none does.
Result<int> H264LevelFor(int32_t width, int32_t height, int fps);

// "4.0" for 40, "6.2" for 62.
std::string LevelName(int idc);

// VP9's highest level (6.2 of the VP9 levels): pictures of at most 35 651 584 pixels,
// 16 384 a side.
inline constexpr int64_t kVp9MaxPictureSize = 35'651'584;
inline constexpr int32_t kVp9MaxSide = 16'384;

// Refuses, with an over-limit error naming the size and the limit, an exported picture
// of width × height that `format`'s codec cannot hold at its highest level, at the size
// the encoder gets: MP4 and WebM (4:2:0) make odd sides even. The other formats pass.
Status CheckClipPicture(ExportFormat format, int32_t width, int32_t height, int fps);

}  // namespace kestal
