#pragma once
// Natural water: the reflection seen on a lake's surface rather than as whole rows
// sliding sideways. A 2-D displacement field, the slopes of a few wave trains in
// perspective (longer and taller towards the viewer, flat at the water line) plus
// optional rain rings, moves each destination pixel's sample both across and along the
// rows; the sample is read with bilinear filtering, so one output row mixes several
// source rows and vertical streaks break up as they do on real water. Optional glints
// lighten the steepest facets towards the photo's brightest colour.
//
// Every motion advances by whole periods over the frame count, and the phases are
// reduced with integer arithmetic first, so frame `frameCount` is frame 0 bit for bit
// and the clip loops seamlessly. The same settings give the same bytes on every run.
//
// Source, destination and frame as for the other wave modes (wave_render.h): the
// source is the mirror (row 0 beside the water line), the destination the reflection,
// no taller than the mirror and as wide; samples beyond the mirror's end take the
// background colour.

#include <cstdint>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"

namespace kestal {

struct NaturalWaterSettings {
  int wind = 40;             // 0 calm … 100 breezy: the waves' height and length
  int directionDegrees = 0;  // where the waves run: 0 towards the viewer, ±90 across
  int rain = 0;              // 0 none … 100 a shower: rings from drops, seeded in place
  bool glints = true;        // sparkle where a facet catches the photo's brightest part
  bool operator==(const NaturalWaterSettings&) const = default;
};

inline constexpr int kMaxNaturalWind = 100;
inline constexpr int kMaxNaturalDirection = 90;
inline constexpr int kMaxNaturalRain = 100;

// Renders frame `frame` (any non-negative number: frames repeat every `frameCount`).
// `strengthPercent` scales every displacement (0 gives the still mirror, no glints).
void RenderNaturalWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       const NaturalWaterSettings& water, Color background, int strengthPercent = 100);

}  // namespace kestal
