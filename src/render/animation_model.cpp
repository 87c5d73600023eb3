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
  auto mirror = Bitmap24::Create(photo.Width(), photo.Height(), PixelLimits{INT32_MAX, INT64_MAX});
  if (!mirror) return mirror.error();
  const size_t bytes = static_cast<size_t>(photo.Width()) * 3;
  const int32_t h = photo.Height();
  for (int32_t i = 0; i < h; ++i) std::memcpy(mirror->Row(i), photo.Row(h - 1 - i), bytes);
  return mirror;
}

AnimationModel::AnimationModel() = default;

Status AnimationModel::SetPhoto(Bitmap24 photo) {
  auto mirror = MakeMirror(photo);
  if (!mirror) return mirror.error();
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
  return LayoutPane();
}

void AnimationModel::SetFrameCount(int count) {
  frame_count_ = count < kMinFrameCount ? kMinFrameCount : count > kMaxFrameCount ? kMaxFrameCount : count;
  frame_index_ = -1;
}

void AnimationModel::NextFrame() {
  if (!HasPhoto() || frame_count_ < 1) return;
  if (hooks_.before) hooks_.before(*this);
  ++frame_index_;
  if (frame_index_ >= frame_count_) frame_index_ = 0;
  if (mode_ == WaveMode::Perspective) {
    RenderPerspectiveWave(mirror_, pane_, frame_index_, frame_count_, BackgroundColor());
  } else {
    RenderRegularWave(mirror_, pane_, frame_index_, frame_count_, wave_length_, BackgroundColor());
  }
  if (hooks_.after) hooks_.after(*this);
}

Color AnimationModel::BackgroundColor() const {
  if (photo_.Empty()) return Rgb(0, 0, 0);
  return TripleToColor(photo_.Pixel(0, 0));
}

}  // namespace kestal
