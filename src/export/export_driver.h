#pragma once
// The export driver: replays the animation from frame 0 through the model, composes each
// output frame and hands it to a writer. The desktop program and kestal-export both
// call it, so the same photo and settings give the same bytes.
//
// Output frame composition: one 24-bit bitmap as wide as the photo; as high as photo +
// reflection (photo and reflection) or as the reflection alone (reflection only). The
// reflection sits at y0 (the water line, by default the photo's height, or 0). The photo is drawn once, before the
// first frame; each frame then overwrites the rows from y0 down with the pane.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/bitmap24.h"
#include "render/animation_model.h"

namespace kestal {

// The original four first; the formats people share today follow them, in the order of
// the export dialog's list.
enum class ExportFormat { BmpSequence = 0, JpgSequence = 1, Gif = 2, Avi = 3, Mp4 = 4, WebM = 5, WebP = 6, Apng = 7 };
// An animated WebP's pictures are at most this many pixels a side (WEBP_MAX_DIMENSION).
inline constexpr int64_t kMaxWebPSide = 16383;
// The video encoders (libx264, libvpx) take pictures of at most this many pixels a side.
inline constexpr int64_t kMaxVideoSide = 16384;

// The encoders' choices of the shared formats (MP4, WebM, WebP, APNG) and the clip
// length of every clip format (AVI included).
struct EncodeOptions {
  int quality = -1;       // MP4/WebM: the CRF, lower is better; WebP: 0..100; -1: the format's default
  bool lossless = false;  // WebP only
  double seconds = 0;     // > 0: enough whole cycles to last this long, instead of `repetitions`
};
enum class Composition { PhotoAndReflection, ReflectionOnly };

// The animation timer's intervals, which are also the GIF delay and the AVI frame rate.
inline constexpr int kSlowIntervalMs = 200;
inline constexpr int kMediumIntervalMs = 120;
inline constexpr int kFastIntervalMs = 50;

// The AVI export repeats the wave cycle this many times at least and at most.
inline constexpr int kMinRepetitions = 1;
inline constexpr int kMaxRepetitions = 100;

// The GIF colour counts offered, in the order of the export dialog's choices.
inline constexpr int kGifColorCounts[] = {16, 32, 64, 256};

struct ExportSettings {
  ExportFormat format = ExportFormat::Gif;
  Composition composition = Composition::PhotoAndReflection;
  int colors = 256;         // GIF: 16, 32, 64 or 256
  int repetitions = 1;      // AVI: 1..100 cycles
  int intervalMs = kMediumIntervalMs;
  bool htmlPage = false;    // GIF: also write the HTML test page (command line)
  EncodeOptions encode;
};

// Called before each frame with its number, counting from 1, and the number of frames
// of the export. The window shows "Exporting image %d" with the number.
using ExportProgress = std::function<void(int number, int total)>;

// The check run between the parts of the steps after an export's last frame (an
// encoder's flush, the assembly of a GIF or WebP, the final rename), which can take as
// long as all the frames. A caller that stops an export by throwing from its progress
// callback installs the same check on the export's thread for the export's length, so
// that those steps stop too. Installs nest; the previous check is back afterwards.
class FinishingCheck {
 public:
  explicit FinishingCheck(std::function<void()> check);
  ~FinishingCheck();
  FinishingCheck(const FinishingCheck&) = delete;
  FinishingCheck& operator=(const FinishingCheck&) = delete;

  // Runs the check installed on this thread, if any.
  static void Run();

 private:
  std::function<void()> check_;
  FinishingCheck* previous_;
};

// The largest output frame. Photo and reflection together are up to twice as high as
// the photo, so every photo that opens can be exported: twice the photo limits.
inline constexpr PixelLimits kOutputPixelLimits{2 * kDefaultPixelLimits.max_side,
                                                2 * kDefaultPixelLimits.max_pixels};

// The longest side a format can hold: GIF's 16-bit fields, the JPEG encoder's 65 500,
// the AVI stream header's 16-bit frame rectangle; BMP only has the output limits.
int64_t MaxOutputSide(ExportFormat format);

struct OutputSize {
  int32_t width = 0;
  int32_t height = 0;
};

// The size of the export's output frame, or why there can be none: no rows (a 1-pixel
// photo at 30 % with the reflection alone), over `limits`, or over what `format` holds
// (the message names the size and the limit). Exports check it before they write
// anything, so a refusal leaves no file and no folder.
Result<OutputSize> CheckOutputSize(const AnimationModel& model, Composition composition, ExportFormat format,
                                   const PixelLimits& limits = kOutputPixelLimits);
// The part of it that is the format's: an over-limit error naming the size and the
// longest side `format` holds.
Status CheckFormatSide(ExportFormat format, int64_t width, int64_t height);

// Builds the output frames of one export.
class FrameComposer {
 public:
  // Refuses an output without rows (a 1-pixel photo at 30 % with the reflection
  // alone), which no file format can hold.
  static Result<FrameComposer> Create(const AnimationModel& model, Composition composition,
                                      const PixelLimits& limits = kOutputPixelLimits);

  // model.NextFrame(), then the pane drawn at (0, y0) of the output.
  void NextFrame(AnimationModel& model);

  const Bitmap24& Output() const { return output_; }
  int32_t Y0() const { return y0_; }

 private:
  Bitmap24 output_;
  int32_t y0_ = 0;
};

// "<folder>/<base>NN.<extension>" with NN the index in at least two digits: the frames
// of photo "/p/sea.view.jpg" are sea.view00.bmp, sea.view01.bmp, ...
std::string SequenceFileName(std::string_view folder, std::string_view photoPath, int index,
                             std::string_view extension);

// The numbers of frames of the same photo and extension already in `folder` from
// `count` on, left there by a longer export, in increasing order. Only names this
// export's numbering would make count ("sea07.bmp", not "sea7.bmp").
std::vector<int> LeftoverFrames(const std::string& folder, const std::string& photoPath,
                                std::string_view extension, int count);
// Leftover frame numbers as the notes about them give them, two digits each: "04" for
// one frame, "04 to 07" for several.
std::string FrameRangeText(const std::vector<int>& numbers);
// The note after a sequence that left older frames beside it: "an older frame 04 of
// this photo remains beside the new ones", "older frames 04 to 07 of this photo remain
// beside the new ones".
std::string LeftoverFramesNote(const std::vector<int>& numbers);

struct SequenceReport {
  std::vector<std::string> written;
  std::vector<Error> failures;  // one per frame that could not be saved, naming its file
};

// Writes one file per animation frame ("bmp" or "jpg"). A frame that fails to save does
// not stop the sequence; the report lists it. The model's FrameIndex is reset first, so
// the first file is frame 0, and ends at FrameCount - 1.
Result<SequenceReport> ExportSequence(AnimationModel& model, const std::string& folder,
                                      const std::string& photoPath, std::string_view extension,
                                      Composition composition, const ExportProgress& progress = {});

}  // namespace kestal
