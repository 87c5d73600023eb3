#pragma once
// The writer of one clip format: told the picture's size and the animation's pace, then
// given the composed frames one by one, then finished or abandoned. The clip driver
// (ExportClip) does everything the formats share (the clip's length in whole cycles,
// the size checks, composing the frames, the progress), so a clip format is one writer
// and one row of the format table.

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "bitmap/bitmap24.h"
#include "export/export_driver.h"

namespace kestal {

// How fast the frames follow each other.
struct FramePace {
  int intervalMs = 0;       // the animation timer's interval, each frame's length for WebP and AVIF
  int framesPerSecond = 0;  // 1000 / intervalMs, remainder dropped: the fixed-rate clips' rate
};

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;

  // Prepares an output of frames `width` × `height` at `pace`; a file is created here
  // or at the first frame, under a temporary name where the format allows.
  virtual Status Begin(int32_t width, int32_t height, const FramePace& pace) = 0;
  virtual Status Add(const Bitmap24& frame) = 0;
  // Clips of several cycles repeat their first cycle's `frames` frames bit for bit.
  // The clip driver says so after Begin; a writer that can write a frame it was given
  // before again by itself (the AVI keeps its cycle's chunks, or copies them within its
  // file) returns true, and the driver then neither renders nor keeps the later
  // cycles' frames but calls AddAgain with the number, from 0, of the frame to write
  // again. The other writers are given every frame through Add.
  virtual bool RepeatsCycle(int frames) {
    (void)frames;
    return false;
  }
  virtual Status AddAgain(int index) {
    return Error::Invalid("frame " + std::to_string(index) + " cannot be written again by this writer");
  }
  // Completes the file and gives it its name. Runs FinishingCheck::Run between the
  // steps that can take long (an encoder's flush, the assembly of the file).
  virtual Status Finish() = 0;
  // Removes whatever was written; the writer does nothing more afterwards. Also what
  // destroying an unfinished writer does.
  virtual void Abort() = 0;
  // The bytes of the finished output: what a measuring writer (one made without a
  // path) reports to the size estimate.
  virtual uint64_t Bytes() const = 0;
  // The first line of the writer's errors, naming the file.
  virtual std::string FileMessage() const = 0;
};

// The most memory a clip keeps of its first cycle's frames to write them again.
inline constexpr uint64_t kMaxKeptCycleBytes = uint64_t{256} << 20;

// Makes the writer of a format for `path`; an empty path measures without writing.
using WriterFactory = std::unique_ptr<FrameWriter> (*)(const std::string& path, const ExportSettings& settings);

}  // namespace kestal
