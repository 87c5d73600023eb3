#pragma once
// The size of an export before it is made, for the export dialog. Exact where the size
// follows from the picture's size alone (BMP frames, the uncompressed AVI); otherwise
// measured on a trial: the first frame or two encoded for real, on a reduced copy of
// the photo when it is large, and extrapolated to the whole clip.

#include <cstdint>

#include "base/result.h"
#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal {

struct SizeEstimate {
  uint64_t bytes = 0;
  bool exact = false;
};

// The bytes of a 24-bit BMP file of width × height.
uint64_t BmpFileSize(int32_t width, int32_t height);

// The bytes of an AVI clip as TCreateAvi writes it: `frames` frames of width × height
// with the default RIFF limit and super-index capacity.
uint64_t AviClipSize(int32_t width, int32_t height, int64_t frames);

// Leaves `model` untouched: the trials run on a scaled copy.
Result<SizeEstimate> EstimateExportSize(const AnimationModel& model, const ExportSettings& settings,
                                        const ScaleRequest& scale);

}  // namespace kestal
