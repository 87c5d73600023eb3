#include "gui/natural_view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "export/scale.h"
#include "render/natural_water.h"

namespace kestal {

bool NaturalView::Applies(const AnimationModel& model, double zoom) {
  return model.HasPhoto() && model.Mode() == WaveMode::Natural && zoom < 1.0 && !model.PaneBitmap().Empty();
}

bool NaturalView::Prepare(const AnimationModel& model, double zoom) {
  const Bitmap24& full = model.PaneBitmap();
  const Bitmap24& mirror = model.MirrorBitmap();
  if (!pane_.Empty() && model.MirrorVersion() == mirror_version_ && full.Width() == full_width_ &&
      full.Height() == full_height_ && zoom == zoom_)
    return true;
  // The sizes shown, as the view rounds them; the pane never taller than its mirror.
  const auto shown = [zoom](int32_t v) {
    return static_cast<int32_t>(std::clamp<double>(std::lround(v * zoom), 1, v));
  };
  const int32_t width = shown(full.Width());
  const int32_t mirrorHeight = shown(mirror.Height());
  const int32_t paneHeight = std::min(shown(full.Height()), mirrorHeight);
  pane_ = Bitmap24();
  auto small = ScaleDown(mirror, width, mirrorHeight);
  if (!small) return false;
  auto pane = Bitmap24::Create(width, paneHeight, PixelLimits{INT32_MAX, INT64_MAX});
  if (!pane) return false;
  mirror_ = std::move(small.value());
  pane_ = std::move(pane.value());
  glint_map_.reset();
  mirror_version_ = model.MirrorVersion();
  full_width_ = full.Width();
  full_height_ = full.Height();
  zoom_ = zoom;
  frame_ = -2;
  return true;
}

void NaturalView::Render(const AnimationModel& model) {
  frame_ = model.FrameIndex();
  frame_count_ = model.FrameCount();
  if (frame_ < 0) {
    pane_.Draw(mirror_, 0, 0);
    return;
  }
  NaturalRendering rendering;
  rendering.fullWidth = full_width_;
  rendering.fullHeight = full_height_;
  if (model.NaturalWater().glints) {
    if (!glint_map_) glint_map_ = MakeNaturalGlintMap(mirror_);
    rendering.glintMap = &*glint_map_;
  }
  RenderNaturalWave(mirror_, pane_, frame_, frame_count_, model.NaturalWater(), model.WaterColor(),
                    model.Water().strengthPercent, rendering);
}

namespace {

// The rows of natural water to render for a view showing `shown`, or nullopt for
// every row (another mode, or the whole pane shown).
std::optional<PaneRows> PartRows(const AnimationModel& model, PaneRows shown) {
  const int32_t height = model.PaneBitmap().Height();
  const int32_t from = std::clamp(shown.from, 0, height);
  const int32_t to = shown.to < 0 ? height : std::clamp(shown.to, from, height);
  if (model.Mode() != WaveMode::Natural || (from == 0 && to == height)) return std::nullopt;
  return PaneRows{from, to};
}

bool Within(PaneRows part, PaneRows whole) { return part.from >= whole.from && part.to <= whole.to; }

}  // namespace

const Bitmap24& NaturalView::Full(AnimationModel& model, PaneRows shown) {
  if (!model_behind_) return model.PaneBitmap();
  if (const auto part = PartRows(model, shown)) {
    if (!Within(*part, model_rows_)) {
      model.RenderFrame(part->from, part->to);
      model_rows_ = *part;
    }
  } else {
    model.RenderFrame();
    model_behind_ = false;
  }
  return model.PaneBitmap();
}

const Bitmap24& NaturalView::Tick(AnimationModel& model, double zoom, PaneRows shown) {
  if (Applies(model, zoom) && Prepare(model, zoom)) {
    model.AdvanceFrame();
    Render(model);
    model_behind_ = true;
    model_rows_ = {0, 0};
    return pane_;
  }
  if (const auto part = PartRows(model, shown)) {
    model.AdvanceFrame();
    model.RenderFrame(part->from, part->to);
    model_behind_ = true;
    model_rows_ = *part;
    return model.PaneBitmap();
  }
  model.NextFrame();
  model_behind_ = false;
  return model.PaneBitmap();
}

const Bitmap24& NaturalView::Show(AnimationModel& model, double zoom, PaneRows shown) {
  if (Applies(model, zoom) && Prepare(model, zoom)) {
    if (frame_ != model.FrameIndex() || frame_count_ != model.FrameCount()) Render(model);
    return pane_;
  }
  return Full(model, shown);
}

}  // namespace kestal
