#include "render/animation_model.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "render/wave_render.h"

namespace kestal {

int ReflectionHeight(int photoHeight, int percent) {
  const int64_t product = static_cast<int64_t>(photoHeight) * percent;
  // nearbyint rounds in the current rounding mode, which is to-nearest, ties to even.
  return static_cast<int>(std::nearbyint(static_cast<double>(product) / 100.0));
}

Result<Bitmap24> MakeMirror(const Bitmap24& photo) {
  return MakeWaterMirror(photo, photo.Height(), 0, WaterSettings{});
}

AnimationModel::AnimationModel() = default;

Result<Bitmap24> AnimationModel::BuildMirror(const Bitmap24& photo, const WaterSettings& water) const {
  auto line = kestal::WaterLineRow(water.line, photo.Height());
  if (!line) return line.error();
  return MakeWaterMirror(photo, *line, ReflectionHeight(*line, percent_), water);
}

Status AnimationModel::SetPhoto(Bitmap24 photo) {
  // A line set for another photo is brought within this one.
  WaterSettings water = water_;
  water.line = FitWaterLine(water_.line, photo.Height());
  auto mirror = BuildMirror(photo, water);
  if (!mirror) return mirror.error();
  water_ = water;
  Bitmap24 old_photo = std::exchange(photo_, std::move(photo));
  Bitmap24 old_mirror = std::exchange(mirror_, std::move(mirror.value()));
  if (Status s = LayoutPane(); !s) {
    photo_ = std::move(old_photo);
    mirror_ = std::move(old_mirror);
    (void)LayoutPane();
    return s;
  }
  return Status::Ok();
}

Status AnimationModel::LayoutPane() {
  if (mirror_.Empty()) return Status::Ok();
  const int height = ReflectionHeight(mirror_.Height(), percent_);
  auto pane = Bitmap24::Create(mirror_.Width(), height, PixelLimits{INT32_MAX, INT64_MAX});
  if (!pane) return pane.error();
  pane->Draw(mirror_, 0, 0);
  pane_ = std::move(pane.value());
  EnsureBackgroundRow(pane_.Width());
  frame_index_ = -1;
  return Status::Ok();
}

Status AnimationModel::SetPercent(int percent) {
  // The reflection is never taller than the photo, nor shorter than 30 % of it.
  percent_ = percent < kMinPercent ? kMinPercent : percent > kMaxPercent ? kMaxPercent : percent;
  if (!HasPhoto()) return Status::Ok();
  // The fade runs over the reflection's height, so the mirror follows it.
  if (water_.fadePercent != 0) {
    auto mirror = BuildMirror(photo_, water_);
    if (!mirror) return mirror.error();
    mirror_ = std::move(mirror.value());
  }
  return LayoutPane();
}

Status AnimationModel::SetWater(const WaterSettings& water) {
  if (Status s = CheckWaterSettings(water); !s) return s;
  if (!HasPhoto()) {
    water_ = water;
    return Status::Ok();
  }
  WaterSettings mirrorPart = water;
  mirrorPart.strengthPercent = water_.strengthPercent;
  if (mirrorPart == water_) {  // only the strength: a per-frame setting
    water_ = water;
    return Status::Ok();
  }
  auto mirror = BuildMirror(photo_, water);
  if (!mirror) return mirror.error();
  const bool sameLine = mirror->Height() == mirror_.Height();
  water_ = water;
  mirror_ = std::move(mirror.value());
  if (!sameLine) return LayoutPane();
  // The same pane: show the new water in the frame on show, so a running or stopped
  // animation keeps its place.
  if (frame_index_ < 0) {
    pane_.Draw(mirror_, 0, 0);
  } else {
    --frame_index_;
    NextFrame();
  }
  return Status::Ok();
}

int AnimationModel::WaterLineRow() const { return mirror_.Height(); }

void AnimationModel::SetFrameCount(int count) {
  frame_count_ = count < kMinFrameCount ? kMinFrameCount : count > kMaxFrameCount ? kMaxFrameCount : count;
  frame_index_ = -1;
}

void AnimationModel::NextFrame() {
  if (!HasPhoto() || frame_count_ < 1) return;
  if (hooks_.before) hooks_.before(*this);
  ++frame_index_;
  if (frame_index_ >= frame_count_) frame_index_ = 0;
  const Color water = WaterBackground(BackgroundColor(), water_);
  const int strength = water_.strengthPercent;
  switch (mode_) {
    case WaveMode::Perspective:
      RenderPerspectiveWave(mirror_, pane_, frame_index_, frame_count_, water, strength);
      break;
    case WaveMode::Regular:
      RenderRegularWave(mirror_, pane_, frame_index_, frame_count_, wave_length_, water, strength);
      break;
    case WaveMode::Natural:
      RenderNaturalWave(mirror_, pane_, frame_index_, frame_count_, natural_, water, strength);
      break;
  }
  if (hooks_.after) hooks_.after(*this);
}

Color AnimationModel::BackgroundColor() const {
  if (photo_.Empty()) return Rgb(0, 0, 0);
  return TripleToColor(photo_.Pixel(0, 0));
}

}  // namespace kestal
