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
#include <optional>
#include <vector>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "render/natural_sampling.h"

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

// The natural water's settings, one row each, in the order the panel and the help list
// them: the range and default of the number each one holds (glints: 0 off, 1 on), the
// command line's option with its argument and help, and the panel's label. The command
// line parses and explains, and the panel shows, the settings from these rows.
enum class NaturalSetting { Wind, Direction, Rain, Glints };

struct NaturalSettingInfo {
  NaturalSetting setting;
  int min, max, defaultValue;
  const char* option;    // the long option without its dashes: "wind"
  const char* argument;  // "0..100"
  // The help's text after the option; "{min}", "{max}" and "{default}" stand for the
  // range and the default.
  const char* help;
  const char* panelLabel;  // English; the panel translates it
  const char* panelUnit;   // the panel's spin box suffix
};

inline constexpr NaturalSettingInfo kNaturalSettingTable[] = {
    {NaturalSetting::Wind, 0, kMaxNaturalWind, NaturalWaterSettings{}.wind, "wind", "N",
     "the waves' height and length, {min} calm..{max} breezy ({default})", "Wind:", ""},
    {NaturalSetting::Direction, -kMaxNaturalDirection, kMaxNaturalDirection, NaturalWaterSettings{}.directionDegrees,
     "direction", "DEG",
     "where the waves run, {min}..{max} degrees, 0 towards the\n"
     "                              viewer ({default})",
     "Direction:", "\u00b0"},
    {NaturalSetting::Rain, 0, kMaxNaturalRain, NaturalWaterSettings{}.rain, "rain", "N",
     "rings from rain drops, {min} none..{max} a shower ({default})", "Rain:", ""},
    {NaturalSetting::Glints, 0, 1, NaturalWaterSettings{}.glints ? 1 : 0, "glints", "on|off",
     "sparkle on the steepest waves ({default})", "Glints", ""},
};

constexpr const NaturalSettingInfo& NaturalSettingRow(NaturalSetting setting) {
  return kNaturalSettingTable[static_cast<int>(setting)];
}

// The value of `setting` in `water` (glints as 0 or 1), and setting it, clamped to the
// row's range.
int NaturalValue(const NaturalWaterSettings& water, NaturalSetting setting);
void SetNaturalValue(NaturalWaterSettings& water, NaturalSetting setting, int value);

// Renders frame `frame` (any non-negative number: frames repeat every `frameCount`).
// `strengthPercent` scales every displacement (0 gives the still mirror, no glints).
void RenderNaturalWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       const NaturalWaterSettings& water, Color background, int strengthPercent = 100);

// What the glints read of a mirror: the photo's brightest colour and, for every block of
// kBlock × kBlock pixels, how near the block's brightest pixel comes to that colour
// (0 … 255). Made once for a mirror by a caller that renders many frames of it; a frame
// rendered without one makes its own for the rows it reaches, with the same bytes.
struct NaturalGlintMap {
  static constexpr int32_t kBlock = 4;
  ColorTriple bright{};
  int32_t width = 0;      // in blocks: the mirror's width / kBlock, rounded up
  int32_t height = 0;     // likewise
  int32_t fromRow = 0;    // the block rows held, [fromRow, toRow)
  int32_t toRow = 0;
  std::vector<uint8_t> near;  // row by row
};
// The map of the whole mirror.
NaturalGlintMap MakeNaturalGlintMap(const Bitmap24& mirror);

// How a frame is rendered, besides its settings.
struct NaturalRendering {
  // The pane the frame stands for when `dst` is that pane reduced for a view (and `src`
  // its mirror reduced alike); 0 means `dst` itself. The waves keep their size
  // relative to the picture, so the reduced frame looks like the full one reduced.
  int32_t fullWidth = 0;
  int32_t fullHeight = 0;
  // The rows of `dst` rendered, [fromRow, toRow) (toRow −1: to the end); the others are
  // left as they are. Each row depends on nothing but its number, so rows rendered
  // apart have the bytes of the whole frame.
  int32_t fromRow = 0;
  int32_t toRow = -1;
  // The sampling kernel; by default the fastest this CPU runs. All give the same bytes.
  std::optional<natural::Kernel> kernel;
  // The mirror's glint map (MakeNaturalGlintMap), or none to make one for this frame.
  const NaturalGlintMap* glintMap = nullptr;
  // Renders on the calling thread alone, however large the pane (for a caller that runs
  // threads of its own, or measures one core); the bytes are the same either way.
  bool oneThread = false;
};
void RenderNaturalWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       const NaturalWaterSettings& water, Color background, int strengthPercent,
                       const NaturalRendering& rendering);

}  // namespace kestal
