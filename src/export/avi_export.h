#pragma once
// The export's AVI branch: the animation, repeated, as an uncompressed AVI clip.

#include <memory>
#include <string>

#include "export/create_avi.h"
#include "export/export_driver.h"

namespace kestal {

class FrameWriter;

// Frames per second of a clip played at the animation timer's interval: 1000 divided
// by the interval, remainder dropped (200 ms gives 5, 120 ms gives 8, 50 ms gives 20).
int AviFrameRate(int intervalMs);

// Writes FrameCount × settings.repetitions frames from frame 0 into the clip at `path`,
// at AviFrameRate(settings.intervalMs) frames per second, with the progress numbers of
// a sequence (1 to the total). The export stops at the first frame that cannot be
// written; the error names the file and the cause, and no file is left at `path`.
// The format table's writer of AVI clips.
std::unique_ptr<FrameWriter> MakeAviWriter(const std::string& path, const ExportSettings& settings);

Status ExportAvi(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                 const ExportProgress& progress = {}, const AviWriterOptions& options = {});

}  // namespace kestal
