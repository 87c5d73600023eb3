#pragma once
// The export's GIF branch: the animation as one looping GIF whose frames share the
// palette computed for frame 1. Frame 1 is the whole output picture at (0, 0); every
// later frame holds only the reflection and sits at (0, y0), so the photo is stored
// once. Frames are reduced and written one at a time; only the current 24-bit frame
// and one frame of indices are in memory.

#include <string>

#include "base/result.h"
#include "export/export_driver.h"
#include "render/animation_model.h"

namespace kestal {

// The GIF colour count for the export dialog's colour choice: 0 gives 16, 1 gives 32,
// 2 gives 64, anything else 256.
int GifColorCountForChoice(int itemIndex);

// The delay of every frame in hundredths of a second: the timer interval div 10.
int GifDelayForInterval(int intervalMs);

struct GifExportReport {
  int32_t width = 0;   // of frame 1, the logical screen
  int32_t height = 0;
};

// Writes the animation to `path` with settings.colors colours (1..256) and the delay of
// settings.intervalMs. The model's FrameIndex is reset first, so frame 1 is animation
// frame 0. Sizes over 65 535 are refused before anything is written. On failure the
// error's message names the file (SaveErrorFormat), its kind and cause say why; no file
// is left behind.
Result<GifExportReport> ExportGif(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                                  const ExportProgress& progress = {});

}  // namespace kestal
