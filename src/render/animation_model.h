#pragma once
// The animation model: the photo, its vertical mirror, the reflection pane's bitmap and
// the frame bookkeeping. The desktop program drives it from its timer and repaints the
// pane after each NextFrame; the exporter drives it frame by frame. It knows nothing of
// widgets or timers.

#include <cstdint>
#include <optional>
#include <string>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "render/natural_water.h"
#include "render/water_effects.h"
#include "render/wave_render.h"

namespace kestal {

// The two row-shifting modes, then natural water (natural_water.h).
enum class WaveMode { Perspective, Regular, Natural };

// Limits and defaults of the animation settings.
inline constexpr int kMinFrameCount = 2;
inline constexpr int kMaxFrameCount = 30;
inline constexpr int kDefaultFrameCount = 5;
inline constexpr int kMinPercent = 30;
inline constexpr int kMaxPercent = 100;
inline constexpr int kDefaultPercent = 90;

// The reflection's height for a photo of `photoHeight` rows at `percent`: the integer
// product divided by 100 in floating point and rounded to the nearest integer, ties to
// even (480 at 90 gives 432; 5 at 90 gives 4; 7 at 50 gives 4; 1 at 30 gives 0).
int ReflectionHeight(int photoHeight, int percent);

class AnimationModel {
 public:
  AnimationModel();

  // Takes a decoded photo: builds the mirror (row i = photo row L - 1 - i, L the water
  // line, by default the photo's height) and lays out the pane. A water line the photo
  // does not reach is brought to its nearest edge (FitWaterLine); callers that must
  // refuse it check WaterLineRow first. On failure (no memory) the model keeps its
  // previous photo.
  Status SetPhoto(Bitmap24 photo);
  // The same with other water settings, checked as SetWater checks them.
  Status SetPhoto(Bitmap24 photo, const WaterSettings& water);
  bool HasPhoto() const { return !photo_.Empty(); }

  // Sizes the pane bitmap to photo width × ReflectionHeight, fills it with the still
  // mirror and resets FrameIndex to -1. Does nothing without a photo.
  Status LayoutPane();

  // The reflection height in percent. With a photo, a change lays out the pane again.
  Status SetPercent(int percent);
  int Percent() const { return percent_; }

  // Frames per wave cycle; a change resets FrameIndex to -1 so the next frame is 0.
  void SetFrameCount(int count);
  int FrameCount() const { return frame_count_; }
  int FrameIndex() const { return frame_index_; }
  void ResetFrameIndex() { frame_index_ = -1; }

  void SetWaveLength(kestal::WaveLength waveLength) { wave_length_ = waveLength; }
  kestal::WaveLength WaveLength() const { return wave_length_; }
  void SetMode(WaveMode mode) { mode_ = mode; }
  WaveMode Mode() const { return mode_; }
  // The natural mode's wind, direction, rain and glints; applies from the next frame.
  void SetNaturalWater(const NaturalWaterSettings& natural) { natural_ = natural; }
  const NaturalWaterSettings& NaturalWater() const { return natural_; }

  // The water's shape. A new water line lays the pane out again; tint, fade and blur
  // rebuild the mirror and show it in the frame on show; the strength applies from the
  // next frame. Out-of-range values, or a line the photo does not reach, are refused
  // and change nothing.
  Status SetWater(const WaterSettings& water);
  // The same with `mirror` built beforehand, elsewhere, by BuildWaterMirror(Photo(),
  // Percent(), water). A mirror that does not fit the photo is refused.
  Status SetWater(const WaterSettings& water, Bitmap24 mirror);
  // Whether `water` differs from Water() in more than the strength: SetWater then
  // builds a new mirror.
  bool NeedsMirror(const WaterSettings& water) const;
  const WaterSettings& Water() const { return water_; }
  // The photo's rows kept above the water: the mirror's height (0 without a photo).
  int WaterLineRow() const;

  // Advances FrameIndex modulo FrameCount and renders that frame into the pane bitmap,
  // with the mode, wave length and background colour read afresh. Needs a photo.
  void NextFrame();
  // NextFrame's two halves: the frame number alone (the window renders natural water
  // for a reduced view itself and leaves the pane bitmap behind), and the frame
  // FrameIndex into the pane bitmap (the still mirror before the first frame). Natural
  // water may be rendered in the pane's rows [fromRow, toRow) only (toRow −1: to the
  // end), the rows a view shows; the designed modes render every row.
  void AdvanceFrame();
  void RenderFrame(int32_t fromRow = 0, int32_t toRow = -1);
  // The colour of the rows past the mirror's end in the frames: BackgroundColor with
  // the water's tint and fade.
  Color WaterColor() const;
  // Changes whenever the mirror does: a reduced copy of it is made again then.
  uint64_t MirrorVersion() const { return mirror_version_; }

  // The photo's top-left pixel as an RGB colour (rows beyond the mirror are filled
  // with it, after the water's tint and fade).
  Color BackgroundColor() const;

  const Bitmap24& Photo() const { return photo_; }
  // The mirror the frames are taken from, with the water's tint, fade and blur.
  const Bitmap24& MirrorBitmap() const { return mirror_; }
  const Bitmap24& PaneBitmap() const { return pane_; }

 private:
  Result<Bitmap24> BuildMirror(const Bitmap24& photo, const WaterSettings& water) const;

  Bitmap24 photo_;
  Bitmap24 mirror_;
  Bitmap24 pane_;
  int percent_ = kDefaultPercent;
  int frame_count_ = kDefaultFrameCount;
  int frame_index_ = 0;
  kestal::WaveLength wave_length_ = kDefaultWaveLength;
  WaveMode mode_ = WaveMode::Perspective;
  WaterSettings water_;
  NaturalWaterSettings natural_;
  uint64_t mirror_version_ = 0;
  // Natural water's glint map of the mirror, made when a frame first needs it.
  std::optional<NaturalGlintMap> glint_map_;
  uint64_t glint_map_version_ = 0;
};

// Builds the vertical mirror of a picture.
Result<Bitmap24> MakeMirror(const Bitmap24& photo);

// The mirror a model with `photo`, its reflection at `percent`, builds for `water`.
// It reads nothing else, so it may run on another thread while the photo stays.
Result<Bitmap24> BuildWaterMirror(const Bitmap24& photo, int percent, const WaterSettings& water);

// What the pane shows after SetWater(water) while the animation rests, at `scale`
// (0 < scale <= 1) of its size: the photo's rows above the water line sampled down
// to the nearest pixel, as the view samples, and the water's effects applied there
// with the blur's radius scaled too. At scale 1 it is the pane's bitmap itself. A
// quick preview of a change on a large photo, while its mirror is built.
Result<Bitmap24> PreviewWaterPane(const Bitmap24& photo, int percent, const WaterSettings& water, double scale);

}  // namespace kestal
