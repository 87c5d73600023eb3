#pragma once
// Natural water for a view that shows the picture reduced. Every pane pixel of natural
// water is a bilinear sample through a displacement field, so a 24-megapixel frame
// costs far more than the few hundred thousand pixels a fitted window shows of it. For
// such a view the frames are rendered on the mirror scaled down to the size shown
// (made once per mirror and zoom) with the waves scaled alike, so that they look as the
// full-size frame does reduced. At 100 % and more only the rows the view shows are
// rendered, and the rest when they come into view. The model keeps the frame number;
// exports render full size as always.

#include <cstdint>
#include <optional>

#include "bitmap/bitmap24.h"
#include "render/animation_model.h"

namespace kestal {

// Rows of the model's pane, [from, to); to −1: to the end.
struct PaneRows {
  int32_t from = 0;
  int32_t to = -1;
};

class NaturalView {
 public:
  // Whether the view's frames are rendered here: natural water shown below 100 %.
  static bool Applies(const AnimationModel& model, double zoom);

  // One animation tick: advances the model's frame and renders it, here when this
  // applies (the model's pane bitmap then falls behind) and into the model's pane
  // otherwise, natural water there in the rows `shown` only. Returns the bitmap to
  // show at `zoom` × the photo's width / its width.
  const Bitmap24& Tick(AnimationModel& model, double zoom, PaneRows shown = {});
  // The model's current frame for a view at `zoom` showing the rows `shown`, without
  // advancing it: after a zoom, a scroll, the water or the pane's layout changed.
  // Renders only what is out of date.
  const Bitmap24& Show(AnimationModel& model, double zoom, PaneRows shown = {});

 private:
  // Makes the reduced mirror and pane for `zoom` unless they are up to date; false
  // when there is no memory for them (the model's pane is shown then).
  bool Prepare(const AnimationModel& model, double zoom);
  void Render(const AnimationModel& model);
  const Bitmap24& Full(AnimationModel& model, PaneRows shown);

  Bitmap24 mirror_;
  Bitmap24 pane_;
  // The glint map of mirror_, made when a frame first needs it.
  std::optional<NaturalGlintMap> glint_map_;
  // What mirror_ and pane_ were made from, and the frame pane_ holds.
  uint64_t mirror_version_ = 0;
  int32_t full_width_ = 0, full_height_ = 0;
  double zoom_ = 0;
  int frame_ = -2, frame_count_ = 0;
  // The model's frame number moved on while its pane bitmap stayed behind but for the
  // rows `model_rows_`.
  bool model_behind_ = false;
  PaneRows model_rows_{0, 0};
};

}  // namespace kestal
