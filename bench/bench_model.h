#pragma once
// The animation the export benchmarks time: a photo with its reflection at full height,
// `frames` frames per wave cycle, the other settings at their defaults.

#include <utility>

#include "bitmap/bitmap24.h"
#include "render/animation_model.h"

namespace kestal::bench {

inline AnimationModel FullHeightModel(Bitmap24 photo, int frames) {
  AnimationModel model;
  model.SetFrameCount(frames);
  (void)model.SetPercent(100);
  (void)model.SetPhoto(std::move(photo));
  return model;
}

}  // namespace kestal::bench
