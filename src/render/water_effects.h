#pragma once
// Water that the user shapes: where it starts (the water line), its colour (a tint),
// how it darkens with depth (the fade), how soft it is (the blur) and how strongly it
// moves (the wave strength).
//
// Tint, fade and blur do not change from frame to frame, so they are applied once to
// the mirror the renderer copies its rows from; a frame then costs what it always
// cost. The strength scales the renderer's displacement. The defaults change nothing:
// the whole photo is mirrored, untouched, and the waves keep their amplitude.

#include <cstdint>

#include "base/result.h"
#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"

namespace kestal {

// Where the water starts: a row of the photo (counted from its top, 1..H) or a
// percentage of the photo's height (1..100). The rows from the line down are replaced
// by the reflection of the rows above it. The default, 100 %, is the photo's bottom
// edge: the whole photo is kept and mirrored.
struct WaterLine {
  enum class Unit { Rows, Percent };
  int value = 100;
  Unit unit = Unit::Percent;
  bool operator==(const WaterLine&) const = default;
};

enum class FadeCurve { Linear, Smooth };
// What the water fades to with depth: black (it darkens) or the tint colour.
enum class FadeTarget { Black, Tint };

inline constexpr int kMaxTintPercent = 100;
inline constexpr int kMaxFadePercent = 100;
inline constexpr int kMaxBlurRadius = 10;
inline constexpr int kMaxStrengthPercent = 200;
inline constexpr int kDefaultStrengthPercent = 100;
// A dark green-blue, the colour of deep water, offered until the user picks another.
inline constexpr Color kDefaultTintColor = Rgb(0x1E, 0x46, 0x5A);

struct WaterSettings {
  WaterLine line;
  Color tintColor = kDefaultTintColor;
  int tintPercent = 0;    // 0..100: how far the reflection moves towards tintColor
  int fadePercent = 0;    // 0..100: how far the reflection's last row moves towards the fade target
  FadeCurve fadeCurve = FadeCurve::Linear;
  FadeTarget fadeTarget = FadeTarget::Black;
  int blurRadius = 0;     // 0..10 pixels
  int strengthPercent = kDefaultStrengthPercent;  // 0..200: factor on the wave's amplitude
  bool operator==(const WaterSettings&) const = default;
};

// The water's settings, one row each, in the order the panel and the help list them:
// the range and default of the number each one holds, the unit its messages give,
// the command line's option with its argument and help, and the panel's label and
// unit. The effects check, the command line parses and explains, and the panel shows
// the settings from these rows.
enum class WaterSetting { Line, Tint, Fade, Blur, Strength };

struct WaterSettingInfo {
  WaterSetting setting;
  // The number's member of WaterSettings; null for the line, whose number is a
  // percentage or a row (the range is the percentage's).
  int WaterSettings::*field;
  int min, max;
  // The value the option's number takes when it is left out (the tint's colour alone
  // tints at 30 %); the setting's own default otherwise.
  int optionDefault;
  const char* what;         // in messages: "the blur"
  const char* unit;         // in messages: " px"
  const char* option;       // the long option without its dashes: "blur"
  const char* argument;     // "PX"
  // The help's text after the option; "{min}", "{max}" and "{default}" stand for the
  // range and the option's default.
  const char* help;
  const char* panelLabel;   // UTF-8
  const char* panelUnit;    // the panel's spin box suffix, UTF-8
};

inline constexpr int kDefaultTintOptionPercent = 30;

inline constexpr WaterSettingInfo kWaterSettingTable[] = {
    {WaterSetting::Line, nullptr, 1, 100, 100, "the water line", " %", "water-line", "ROW|PCT%",
     "where the water starts: the rows from there down are\n"
     "                          replaced by the reflection (the bottom edge)",
     "Линия воды (строка):", ""},
    {WaterSetting::Tint, &WaterSettings::tintPercent, 0, kMaxTintPercent, kDefaultTintOptionPercent, "the tint",
     " %", "tint", "RRGGBB[:PCT]", "blends a colour into the reflection, {min}..{max} ({default})", "Оттенок:",
     " %"},
    {WaterSetting::Fade, &WaterSettings::fadePercent, 0, kMaxFadePercent, 0, "the fade", " %", "fade",
     "PCT[:smooth][:tint]",
     "darkens the reflection with depth, PCT at its\n"
     "                          last row, linear or smooth, to black or to the tint ({default})",
     "Затухание с глубиной:", " %"},
    {WaterSetting::Blur, &WaterSettings::blurRadius, 0, kMaxBlurRadius, 0, "the blur", " px", "blur", "PX",
     "softens the reflection, {min}..{max} pixels ({default})", "Размытие:", " пикс."},
    {WaterSetting::Strength, &WaterSettings::strengthPercent, 0, kMaxStrengthPercent, kDefaultStrengthPercent,
     "the wave strength", " %", "strength", "PCT", "the waves' amplitude, {min}..{max} percent ({default})",
     "Сила волн:", " %"},
};

constexpr const WaterSettingInfo& WaterSettingRow(WaterSetting setting) {
  return kWaterSettingTable[static_cast<int>(setting)];
}

// Whether the settings change the mirror (tint, fade or blur).
bool ChangesMirror(const WaterSettings& water);

// The row where the water starts in a photo `photoHeight` rows high. A percentage is
// rounded to the nearest row, halves to even, as the reflection height is. Refused:
// a line at the top row (nothing above it to reflect) and one below the bottom edge.
Result<int> WaterLineRow(const WaterLine& line, int photoHeight);

// A line that fits a photo `photoHeight` rows high: a row below the bottom edge
// becomes the bottom edge, a row or percentage at the top becomes row 1. The desktop
// program keeps its line through a change of photo this way.
WaterLine FitWaterLine(const WaterLine& line, int photoHeight);

// Checks every value against its range; the message names the control and the range.
Status CheckWaterSettings(const WaterSettings& water);

// The fraction (0..1) of the fade applied to mirror row `row` when the reflection is
// `reflectionRows` high: `percent` / 100 on its last row and on every row beyond it,
// rising from 0 at the water line linearly or along a smooth step (3t² − 2t³).
double FadeAmount(int row, int reflectionRows, int percent, FadeCurve curve);

// Moves every row of `b` towards `target` by the fade amount of that row.
void FadeRows(Bitmap24& b, int reflectionRows, int percent, FadeCurve curve, Color target);

// Softens `b`: a box of 2 × radius + 1 pixels run twice across and twice down, which
// weighs neighbours by a tent that reaches zero 2 × radius + 1 pixels away. Pixels
// beyond the edges repeat the edge. A radius of 0 changes nothing.
Status BlurBitmap(Bitmap24& b, int radius);

// The mirror the renderer reads: the photo's rows above `waterLine`, upside down
// (row i is photo row waterLine − 1 − i), blurred, tinted and faded. The fade runs
// over the first `reflectionRows` rows.
Result<Bitmap24> MakeWaterMirror(const Bitmap24& photo, int waterLine, int reflectionRows,
                                 const WaterSettings& water);

// The colour of water that reflects nothing but `background` at the bottom of the
// reflection: tinted and fully faded, so rows filled from the background row match
// the mirror's deepest rows.
Color WaterBackground(Color background, const WaterSettings& water);

}  // namespace kestal
