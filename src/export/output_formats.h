#pragma once
// What each export format is, one row a format: its names, extension and words, the
// largest picture it holds, how long its frames last, its quality setting, its
// defaults, its writer and how its size is estimated. The command line (its parsing,
// checks and help), the export dialog, the size estimate and the exports all read the
// table, so a new clip format is one row and one writer.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_driver.h"
#include "export/frame_writer.h"
#include "export/scale.h"

namespace kestal {

// How long a clip's frame lasts.
enum class FrameLength {
  TimerInterval,   // the animation timer's interval (the GIF's delay, WebP, AVIF)
  WholeFrameRate,  // 1000 / ClipFrameRate: the fixed rate of AVI, MP4, WebM and APNG
};

// How the size estimate finds a format's size before it is written.
enum class SizeMethod {
  BmpFrames,     // exact: the BMP file's size times the frames
  AviLayout,     // exact: the uncompressed AVI's layout
  FirstFrame,    // the first frame written, times the frames (JPEG)
  WholeExport,   // the whole export written (GIF)
  CycleBytes,    // the encoder's bytes of each frame over up to three cycles (the videos)
  SecondCycle,   // one cycle and two measured; every further cycle costs what the second did
};

struct OutputFormatInfo {
  ExportFormat format;
  const char* name;          // "-f" value: "bmp", "mp4", ...
  const char* extension;     // ".gif"; empty for the sequences, which write into a folder
  const char* title;         // in lists of formats: "AVI", "WebP"
  const char* noun;          // in messages: "an AVI clip"
  const char* label;         // the export dialog's item, UTF-8
  const char* help;          // what OUTPUT with the extension writes, in the help text
  int64_t maxSide;           // the longest side the format holds
  bool clip;                 // plays cycles in time: --repeat and --seconds apply
  FrameLength frameLength;
  int qualityMin;            // quality range and default; all 0 when there is no setting
  int qualityMax;
  int qualityDefault;
  bool higherIsBetter;
  const char* qualityTip;    // the export dialog's hint at the quality, UTF-8; "" without one
  int defaultFit;            // > 0: the picture fits in this many pixels a side unless asked
  double defaultSeconds;     // > 0: the clip lasts this long unless asked
  WriterFactory writer;      // the clips' writer; the sequences and the GIF have their own exports
  SizeMethod size;
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
// How long one frame of `format` lasts in milliseconds at the timer's interval, by the
// format's FrameLength; 0 when the interval gives no frame rate.
double FrameMs(ExportFormat format, int intervalMs);

// How many whole cycles a clip holds: settings.repetitions, or with encode.seconds > 0
// the fewest whole cycles of `frameCount` frames lasting at least that long, a frame
// lasting `frameMs` milliseconds. A clip is always whole cycles, so its loop is seamless.
// Refused past kMaxClipCycles.
inline constexpr int kMaxClipCycles = 1000;
// The longest clip length that can be asked for in seconds.
inline constexpr double kMaxClipSeconds = 3600;
Result<int> ClipCycles(const ExportSettings& settings, int frameCount, double frameMs);
// The same with the frame length of settings.format at settings.intervalMs.
Result<int> ClipCycles(const ExportSettings& settings, int frameCount);

// The titles of the formats `keep` accepts, in the table's order, as a list:
// "MP4, WebM or WebP", or with `last` ", " "MP4, WebM, WebP".
std::string FormatTitles(bool (*keep)(const OutputFormatInfo&), const char* last = " or ");
// `items` as a list in words: "a, b or c", the last two joined by `last`.
std::string ListText(const std::vector<std::string>& items, const char* last = " or ");

// Whether `format` writes numbered frames into a folder (BMP, JPEG), each file named
// with the format's name as its extension.
bool IsSequence(ExportFormat format);

// The shared formats (MP4, WebM, WebP, APNG, AVIF) are made to be posted, so when
// nothing else is asked their picture fits in kShareSide pixels on its longer side, the
// size pages and players show without scaling down (the videos' padding to even sides
// stays within it, kShareSide being even), and a video lasts at least
// kDefaultVideoSeconds, in whole cycles. The animated images loop forever, so one cycle
// is enough for them. The original four formats keep the photo's size and one cycle.
inline constexpr int kShareSide = 1920;
inline constexpr double kDefaultVideoSeconds = 5;
// The formats after the original four, which have the export dialog's share panel.
bool IsSharedFormat(ExportFormat format);
// The scale when none is asked: a fit in the format's defaultFit square, or the photo
// as it is.
ScaleRequest DefaultScale(ExportFormat format);
// The length in seconds when neither repetitions nor seconds are asked: the format's
// defaultSeconds, 0 (one cycle) but for MP4 and WebM.
double DefaultClipSeconds(ExportFormat format);

}  // namespace kestal
