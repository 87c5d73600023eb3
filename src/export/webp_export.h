#pragma once
// The export's animated WebP: libwebp's animation encoder, lossy at a quality of 0..100
// or lossless (the pixels exactly), looping forever, each frame lasting the animation
// timer's interval. The clip holds whole cycles (ClipCycles), so the loop is seamless.
// The encoder keeps the file in memory until it is assembled; it is then written under
// a temporary name that takes its own name only once complete.

#include <string>

#include "base/result.h"
#include "export/export_driver.h"

namespace kestal {

Status ExportWebP(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                  const ExportProgress& progress = {});

// The size of an animated WebP of the first `frames` frames, encoded in memory: the
// size estimate's trial.
Result<uint64_t> TrialWebPBytes(AnimationModel& model, const ExportSettings& settings, int frames);

}  // namespace kestal
