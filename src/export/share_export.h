#pragma once
// One entry for the formats people share today (MP4, WebM, animated WebP, APNG), used
// by the window and the command line alike.

#include <string>

#include "base/result.h"
#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal {

// Whether `scale` changes the size of `model`'s photo: a fit that the photo already
// fits in does not, and the export then runs on the model itself.
bool ChangesPhotoSize(const AnimationModel& model, const ScaleRequest& scale, Composition composition);

// Writes settings.format to `path`: MP4, WebM and APNG through FFmpeg's libraries,
// WebP through libwebp. With a scale asked, the export runs on a scaled copy of the
// model, whose waves are computed on the scaled photo; `model` is then left as it was.
Status ExportShared(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                    const ScaleRequest& scale = {}, const ExportProgress& progress = {});

}  // namespace kestal
