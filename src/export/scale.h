#pragma once
// Scaling the photo before the reflection is made, so the waves are computed on the
// picture that is exported: --scale PCT or --fit WxH, for every format.
//
// Scaling only ever shrinks. The filter is area averaging: each output pixel is the
// mean of the source area it covers, partly covered source pixels weighted by the part
// they cover, which is what a downscale needs to keep fine detail from aliasing.

#include <cstdint>
#include <string>

#include "base/result.h"
#include "bitmap/bitmap24.h"
#include "export/export_driver.h"
#include "render/animation_model.h"

namespace kestal {

struct ScaleRequest {
  int percent = 100;   // 10..100 of each side
  int fitWidth = 0;    // > 0: the exported picture fits in fitWidth × fitHeight
  int fitHeight = 0;
  bool Identity() const { return percent == 100 && fitWidth == 0; }
};

inline constexpr int kMinScalePercent = 10;
inline constexpr int kMaxScalePercent = 100;

struct PixelSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const PixelSize&) const = default;
};

// The exported picture's height for a photo of `photoHeight` rows with the water at
// `line` (brought within the photo as the model brings it): the rows above the line,
// unless reflection only, and the reflection of those rows.
int64_t OutputHeight(int32_t photoHeight, int percent, Composition composition, const WaterLine& line = {});

// The water line of a photo scaled from `fromHeight` to `toHeight` rows: a percentage
// stays; a row moves with the photo, rounded to the nearest row and kept within it, so
// the water starts at the same place in the picture.
WaterLine ScaledWaterLine(const WaterLine& line, int32_t fromHeight, int32_t toHeight);

// The size the photo is scaled to: each side × percent / 100 rounded to nearest; or for
// a fit, the largest size of the photo's aspect whose exported picture (with the water
// at `line`, the reflection at `reflectionPercent`, and the photo unless reflection
// only) fits in the box. Never larger than the photo, never below 1 × 1.
PixelSize ScaledPhotoSize(PixelSize photo, const ScaleRequest& request, int reflectionPercent, Composition composition,
                          const WaterLine& line = {});

// The exported picture's size for `model`'s photo scaled as asked, with its water line.
PixelSize ExportedSize(const AnimationModel& model, const ScaleRequest& request, Composition composition);

// `src` resampled to width × height (each at most the source's) by area averaging.
Result<Bitmap24> ScaleDown(const Bitmap24& src, int32_t width, int32_t height);

// A model with `source`'s settings (frames, height, wave, mode, water) and its photo
// scaled as asked (a copy when no scaling is asked); a water line given in rows moves
// with the photo (ScaledWaterLine). Exports and estimates run on it, so the
// window's own model and pane stay as they are.
Result<AnimationModel> ScaledModel(const AnimationModel& source, const ScaleRequest& request, Composition composition);

// A model with `source`'s settings and water whose photo is `photo`, made from a photo
// `fromHeight` rows high (all of `source`'s photo, or strips of it) scaled to `photo`'s
// height; a water line given in rows moves with it.
Result<AnimationModel> ModelOfScaledPhoto(const AnimationModel& source, Bitmap24 photo, int32_t fromHeight);

// Parses "WxH" (e.g. "1280x720") into a fit request; false when malformed or zero.
bool ParseFit(const std::string& text, ScaleRequest& request);

}  // namespace kestal
