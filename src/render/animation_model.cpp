#include "render/animation_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

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

Result<Bitmap24> BuildWaterMirror(const Bitmap24& photo, int percent, const WaterSettings& water) {
  auto line = kestal::WaterLineRow(water.line, photo.Height());
  if (!line) return line.error();
  return MakeWaterMirror(photo, *line, ReflectionHeight(*line, percent), water);
}

Result<Bitmap24> PreviewWaterPane(const Bitmap24& photo, int percent, const WaterSettings& water, double scale) {
  if (Status s = CheckWaterSettings(water); !s) return s.error();
  auto line = kestal::WaterLineRow(water.line, photo.Height());
  if (!line) return line.error();
  scale = std::clamp(scale, 0.0, 1.0);
  const int32_t width = std::max<int32_t>(1, static_cast<int32_t>(std::lround(photo.Width() * scale)));
  const int32_t rows = std::max<int32_t>(1, static_cast<int32_t>(std::lround(*line * scale)));
  auto small = Bitmap24::CreateUninitialized(width, rows, PixelLimits{INT32_MAX, INT64_MAX});
  if (!small) return small.error();
  // Nearest pixel: the centre of each small pixel falls in the photo pixel taken.
  std::vector<int32_t> column(static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x)
    column[x] = static_cast<int32_t>((2 * static_cast<int64_t>(x) + 1) * photo.Width() / (2 * int64_t{width}));
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* src = photo.Row(static_cast<int32_t>((2 * static_cast<int64_t>(y) + 1) * *line / (2 * int64_t{rows})));
    uint8_t* dst = small->Row(y);
    if (width == photo.Width()) {
      std::memcpy(dst, src, static_cast<size_t>(width) * 3);
      continue;
    }
    for (int32_t x = 0; x < width; ++x) std::memcpy(dst + 3 * static_cast<size_t>(x), src + 3 * static_cast<size_t>(column[x]), 3);
  }
  WaterSettings scaled = water;
  scaled.blurRadius = static_cast<int>(std::lround(water.blurRadius * scale));
  scaled.line = WaterLine{rows, WaterLine::Unit::Rows};
  auto mirror = BuildWaterMirror(*small, percent, scaled);
  if (!mirror) return mirror.error();
  auto pane = Bitmap24::Create(width, ReflectionHeight(rows, percent), PixelLimits{INT32_MAX, INT64_MAX});
  if (!pane) return pane.error();
  pane->Draw(*mirror, 0, 0);
  return pane;
}

Result<Bitmap24> AnimationModel::BuildMirror(const Bitmap24& photo, const WaterSettings& water) const {
  return BuildWaterMirror(photo, percent_, water);
}

Status AnimationModel::SetPhoto(Bitmap24 photo) { return SetPhoto(std::move(photo), water_); }

Status AnimationModel::SetPhoto(Bitmap24 photo, const WaterSettings& wanted) {
  if (Status s = CheckWaterSettings(wanted); !s) return s;
  // A line set for another photo is brought within this one.
  WaterSettings water = wanted;
  water.line = FitWaterLine(wanted.line, photo.Height());
  auto mirror = BuildMirror(photo, water);
  if (!mirror) return mirror.error();
  water_ = water;
  Bitmap24 old_photo = std::exchange(photo_, std::move(photo));
  Bitmap24 old_mirror = std::exchange(mirror_, std::move(mirror.value()));
  ++mirror_version_;
  if (Status s = LayoutPane(); !s) {
    photo_ = std::move(old_photo);
    mirror_ = std::move(old_mirror);
    ++mirror_version_;
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
    ++mirror_version_;
  }
  return LayoutPane();
}

Status AnimationModel::SetWater(const WaterSettings& water) {
  if (Status s = CheckWaterSettings(water); !s) return s;
  if (!HasPhoto()) {
    water_ = water;
    return Status::Ok();
  }
  if (!NeedsMirror(water)) {  // only the strength: a per-frame setting
    water_ = water;
    return Status::Ok();
  }
  auto mirror = BuildMirror(photo_, water);
  if (!mirror) return mirror.error();
  return SetWater(water, std::move(mirror.value()));
}

bool AnimationModel::NeedsMirror(const WaterSettings& water) const {
  WaterSettings mirrorPart = water;
  mirrorPart.strengthPercent = water_.strengthPercent;
  return HasPhoto() && mirrorPart != water_;
}

Status AnimationModel::SetWater(const WaterSettings& water, Bitmap24 mirror) {
  if (Status s = CheckWaterSettings(water); !s) return s;
  auto line = kestal::WaterLineRow(water.line, photo_.Height());
  if (!line) return line.error();
  if (!HasPhoto() || mirror.Width() != photo_.Width() || mirror.Height() != *line)
    return Error::Invalid("the water's mirror does not fit the photo");
  const bool sameLine = mirror.Height() == mirror_.Height();
  water_ = water;
  mirror_ = std::move(mirror);
  ++mirror_version_;
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
  AdvanceFrame();
  RenderFrame();
}

void AnimationModel::AdvanceFrame() {
  if (!HasPhoto() || frame_count_ < 1) return;
  ++frame_index_;
  if (frame_index_ >= frame_count_) frame_index_ = 0;
}

Color AnimationModel::WaterColor() const { return WaterBackground(BackgroundColor(), water_); }

void AnimationModel::RenderFrame(int32_t fromRow, int32_t toRow) {
  if (!HasPhoto() || frame_count_ < 1) return;
  if (frame_index_ < 0) {
    pane_.Draw(mirror_, 0, 0);
    return;
  }
  const Color water = WaterColor();
  const int strength = water_.strengthPercent;
  switch (mode_) {
    case WaveMode::Perspective:
      RenderPerspectiveWave(mirror_, pane_, frame_index_, frame_count_, water, strength);
      break;
    case WaveMode::Regular:
      RenderRegularWave(mirror_, pane_, frame_index_, frame_count_, wave_length_, water, strength);
      break;
    case WaveMode::Natural: {
      NaturalRendering rows;
      rows.fromRow = fromRow;
      rows.toRow = toRow;
      if (natural_.glints) {
        if (!glint_map_ || glint_map_version_ != mirror_version_) {
          glint_map_ = MakeNaturalGlintMap(mirror_);
          glint_map_version_ = mirror_version_;
        }
        rows.glintMap = &*glint_map_;
      }
      RenderNaturalWave(mirror_, pane_, frame_index_, frame_count_, natural_, water, strength, rows);
      break;
    }
  }
}

Color AnimationModel::BackgroundColor() const {
  if (photo_.Empty()) return Rgb(0, 0, 0);
  return TripleToColor(photo_.Pixel(0, 0));
}

}  // namespace kestal
