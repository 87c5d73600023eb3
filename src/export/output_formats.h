#pragma once
// What each export format is: its command-line name, its file extension, whether it is
// a clip (a whole number of wave cycles, repeatable), and the range and default of its
// quality setting. One table serves the command line, the export dialog and the
// encoders.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal {

struct OutputFormatInfo {
  ExportFormat format;
  const char* name;        // "-f" value: "bmp", "mp4", ...
  const char* extension;   // ".gif"; empty for the sequences, which write into a folder
  bool clip;               // plays cycles in time: --repeat and --seconds apply
  int qualityMin = 0;      // quality range and default; all 0 when there is no setting
  int qualityMax = 0;
  int qualityDefault = 0;
  bool higherIsBetter = false;
};

std::span<const OutputFormatInfo> OutputFormats();
const OutputFormatInfo& FormatInfo(ExportFormat format);
std::optional<ExportFormat> FormatByName(std::string_view name);
// By a path's extension, any case: ".mp4", ".webm", ".webp", ".png" (APNG), ".gif", ".avi".
std::optional<ExportFormat> FormatByExtension(std::string_view path);

// The quality the encoder uses: options.quality when set, else the format's default.
int EffectiveQuality(ExportFormat format, const EncodeOptions& options);
// An error naming the accepted range when `quality` is outside the format's; ok for -1.
Status CheckQuality(ExportFormat format, int quality);
// The same for a value the user typed, where -1 is a number like any other.
Status CheckGivenQuality(ExportFormat format, int quality);

// Frames per second of the clip formats at a timer interval: 1000 / interval, the
// remainder dropped (5, 8 or 20), as the AVI's rate.
int ClipFrameRate(int intervalMs);

// How many whole cycles a clip holds: settings.repetitions, or with encode.seconds > 0
// the fewest whole cycles of `frameCount` frames lasting at least that long, a frame
// lasting `frameMs` milliseconds. A clip is always whole cycles, so its loop is seamless.
// Refused past kMaxClipCycles.
inline constexpr int kMaxClipCycles = 1000;
// The longest clip length that can be asked for in seconds.
inline constexpr double kMaxClipSeconds = 3600;
Result<int> ClipCycles(const ExportSettings& settings, int frameCount, double frameMs);

// The shared formats (MP4, WebM, WebP, APNG) are made to be posted, so when nothing
// else is asked their picture fits in kShareSide pixels on its longer side, the size
// pages and players show without scaling down (the videos' padding to even sides stays
// within it, kShareSide being even), and a video lasts at least kDefaultVideoSeconds,
// in whole cycles. WebP and APNG loop forever, so one cycle is enough for them. The
// original four formats keep the photo's size and one cycle.
inline constexpr int kShareSide = 1920;
inline constexpr double kDefaultVideoSeconds = 5;
bool IsSharedFormat(ExportFormat format);
// The scale when none is asked: a fit in kShareSide × kShareSide for the shared
// formats, the photo as it is for the others.
ScaleRequest DefaultScale(ExportFormat format);
// The length in seconds when neither repetitions nor seconds are asked: 0 (one cycle)
// but for MP4 and WebM.
double DefaultClipSeconds(ExportFormat format);

}  // namespace kestal
