#pragma once
// One entry for the clip formats (AVI and the formats people share today: MP4, WebM,
// animated WebP, APNG, animated AVIF), used by the window and the command line alike.
// The clip driver does what they share; each format's writer (FrameWriter, made by its
// row of the format table) does the rest.

#include <string>

#include "base/result.h"
#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal {

class FrameWriter;

// Whether `scale` changes the size of `model`'s photo: a fit that the photo already
// fits in does not, and the export then runs on the model itself.
bool ChangesPhotoSize(const AnimationModel& model, const ScaleRequest& scale, Composition composition);

// The model an export runs on: `model` itself when `scale` keeps the photo's size,
// else a copy whose photo is scaled as asked (ScaledModel), so the waves are computed
// on the exported picture; `model` and its pane stay as they are.
class ExportModel {
 public:
  ExportModel(AnimationModel& model, const ScaleRequest& scale, Composition composition);
  ExportModel(const ExportModel&) = delete;
  ExportModel& operator=(const ExportModel&) = delete;
  // Null when the photo could not be scaled; Failure() then says why.
  AnimationModel* Get() const { return model_; }
  const Error& Failure() const { return error_; }

 private:
  AnimationModel copy_;
  AnimationModel* model_ = nullptr;
  Error error_;
};

// Writes settings.format, a format with a writer in the format table, to `path`: whole
// cycles of the animation from frame 0 (ClipCycles), each frame composed and handed to
// the writer, with the progress numbers of a sequence (1 to the total). Pictures the
// format cannot hold are refused before a file is made. On failure the error's message
// is the writer's first line naming the file, and no file is left at `path`.
Status ExportClip(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                  const ExportProgress& progress = {});
// The same through a writer made by the caller (one with options of its own).
Status ExportClip(AnimationModel& model, FrameWriter& writer, const ExportSettings& settings,
                  const ExportProgress& progress = {});

// The bytes of the first `frames` frames of settings.format, encoded by its writer
// without a file: the size estimate's trial.
Result<uint64_t> MeasureClip(AnimationModel& model, const ExportSettings& settings, int frames);
// The same through a measuring writer made by the caller.
Result<uint64_t> MeasureClip(AnimationModel& model, FrameWriter& writer, const ExportSettings& settings, int frames);

}  // namespace kestal
