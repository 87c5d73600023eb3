#include "export/size_estimate.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "export/codec_levels.h"
#include "export/create_avi.h"
#include "export/gif_export.h"
#include "export/output_formats.h"
#include "export/share_export.h"
#include "export/video_export.h"
#include "imageio/image_files.h"
#include "base/file_input.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

// A trial encodes columns of the exported picture at the export's own scale: kStrips
// strips through the photo and its reflection, kStripWidth wide, side by side, one in
// the middle of each equal share of the width; a picture no wider than that is tried
// whole. Encoders spend their bytes on the detail they see, so strips of the real
// picture cost their share of the real file, where a reduced copy of the whole picture
// has more detail to a pixel and costs more. The waves move whole rows, so a strip of a
// frame is the frame of the strip. The file is the strips' bytes times the ratio of the
// widths. Measured on the bundled photo and on an 8000 × 6000 one, narrower or fewer
// strips sample the picture too coarsely, and their errors reach 20 to 40 %.
constexpr int32_t kStripWidth = 128;
constexpr int kStrips = 8;
// Video trials run at most this many cycles: the first (with the key frame), a middle
// one that every further cycle repeats, and the last (the encoder's flush).
constexpr int kVideoTrialCycles = 3;

// A file in the temporary folder for one trial, removed when the trial ends.
class TrialFile {
 public:
  explicit TrialFile(const char* extension)
      : path_((std::filesystem::temp_directory_path() /
               ("kestal-estimate-" + std::to_string(::getpid()) + extension)).string()) {}
  ~TrialFile() { ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }
  Result<uint64_t> Size() const {
    const int64_t size = GetFileSizeBytes(path_);
    if (size < 0) return Error::Io("the trial file is missing");
    return static_cast<uint64_t>(size);
  }

 private:
  std::string path_;
};

// Where the strips lie in the exported picture, `width` wide.
struct StripPlan {
  std::vector<int32_t> left;  // each strip's first column
  int32_t width = 0;          // each strip's width
  int32_t Total() const { return width * static_cast<int32_t>(left.size()); }
};

StripPlan PlanStrips(int32_t width) {
  StripPlan plan;
  if (int64_t{kStripWidth} * kStrips >= width) {
    plan.left = {0};
    plan.width = width;
    return plan;
  }
  plan.width = kStripWidth;
  // Each strip at the middle of its share of the width, so that every part of the
  // picture is sampled alike (photos often differ most at their edges).
  for (int i = 0; i < kStrips; ++i) {
    const int64_t middle = static_cast<int64_t>(width) * (2 * i + 1) / (2 * kStrips);
    plan.left.push_back(static_cast<int32_t>(std::clamp<int64_t>(middle - kStripWidth / 2, 0, width - kStripWidth)));
  }
  return plan;
}

// The strips of `photo` scaled to `target`, side by side: columns [left, left + width)
// of the scaled photo are made from the source columns they cover.
Result<Bitmap24> StripPhoto(const Bitmap24& photo, PixelSize target, const StripPlan& plan) {
  auto made = Bitmap24::Create(plan.Total(), target.height);
  if (!made) return made.error();
  Bitmap24 out = std::move(made.value());
  const double ratio = static_cast<double>(photo.Width()) / target.width;
  for (size_t i = 0; i < plan.left.size(); ++i) {
    const int32_t x = plan.left[i];
    const int32_t from = std::min(photo.Width() - 1, static_cast<int32_t>(std::floor(x * ratio)));
    const int32_t to = std::clamp(static_cast<int32_t>(std::ceil((x + plan.width) * ratio)), from + 1, photo.Width());
    auto columns = Bitmap24::Create(to - from, photo.Height());
    if (!columns) return columns.error();
    columns->Draw(photo, -from, 0);
    const int32_t at = static_cast<int32_t>(i) * plan.width;
    if (columns->Width() == plan.width && columns->Height() == target.height) {
      out.Draw(*columns, at, 0);
      continue;
    }
    auto scaled = ScaleDown(*columns, std::min(plan.width, columns->Width()), target.height);
    if (!scaled) return scaled.error();
    out.Draw(*scaled, at, 0);
  }
  return out;
}

// The bytes of a whole clip of `cycles` cycles from a trial's bytes of each cycle it
// ran: the first and last as tried, every cycle between them as the middle one.
uint64_t ClipFromCycles(const std::vector<uint64_t>& cycleBytes, int64_t cycles) {
  const auto tried = static_cast<int64_t>(cycleBytes.size());
  uint64_t total = 0;
  for (uint64_t b : cycleBytes) total += b;
  if (cycles <= tried || tried < 3) return total;
  return total + cycleBytes[1] * static_cast<uint64_t>(cycles - tried);
}

Result<uint64_t> VideoTrial(AnimationModel& model, const ExportSettings& settings, int64_t cycles) {
  const int frame_count = model.FrameCount();
  const int tried = static_cast<int>(std::min<int64_t>(cycles, kVideoTrialCycles));
  auto frames = TrialVideoFrameBytes(model, settings, tried * frame_count);
  if (!frames) return frames.error();
  std::vector<uint64_t> per_cycle(static_cast<size_t>(tried));
  for (size_t i = 0; i < frames->size(); ++i) per_cycle[i / static_cast<size_t>(frame_count)] += (*frames)[i];
  return ClipFromCycles(per_cycle, cycles);
}

// The encoders of animated images compare each frame with the one before, so every
// cycle after the first costs what the second does.
Result<uint64_t> SecondCycleTrial(AnimationModel& model, const ExportSettings& settings, int64_t cycles) {
  const int frame_count = model.FrameCount();
  auto one = MeasureClip(model, settings, frame_count);
  if (!one || cycles == 1) return one;
  auto two = MeasureClip(model, settings, 2 * frame_count);
  if (!two) return two;
  const uint64_t next = *two > *one ? *two - *one : 0;
  return *one + next * static_cast<uint64_t>(cycles - 1);
}

Result<uint64_t> FirstFrameTrial(AnimationModel& model, const ExportSettings& settings) {
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error();
  model.ResetFrameIndex();
  composer->NextFrame(model);
  TrialFile file(".jpg");
  if (Status s = SaveBitmapFile(file.Path(), composer->Output()); !s) return s.error();
  auto size = file.Size();
  if (!size) return size;
  return *size * static_cast<uint64_t>(model.FrameCount());
}

// The GIF's first frame is the whole picture and the others the reflection alone, so
// the whole animation is the trial.
Result<uint64_t> WholeExportTrial(AnimationModel& model, const ExportSettings& settings) {
  TrialFile file(".gif");
  auto gif = ExportGif(model, file.Path(), settings);
  if (!gif) return gif.error();
  return file.Size();
}

Result<uint64_t> Trial(AnimationModel& model, const ExportSettings& settings, int64_t cycles) {
  switch (FormatInfo(settings.format).size) {
    case SizeMethod::FirstFrame: return FirstFrameTrial(model, settings);
    case SizeMethod::WholeExport: return WholeExportTrial(model, settings);
    case SizeMethod::SecondCycle: return SecondCycleTrial(model, settings, cycles);
    case SizeMethod::CycleBytes: return VideoTrial(model, settings, cycles);
    case SizeMethod::BmpFrames:
    case SizeMethod::AviLayout: break;
  }
  return Error::Invalid("the size of this format is not measured");
}

}  // namespace

uint64_t BmpFileSize(int32_t width, int32_t height) {
  // BITMAPFILEHEADER (14 bytes) and BITMAPINFOHEADER (40), then rows padded to 4 bytes.
  return 14 + 40 + uint64_t{Bitmap24Stride(width)} * static_cast<uint64_t>(height);
}

uint64_t AviClipSize(int32_t width, int32_t height, int64_t frames) {
  // The layout of TCreateAvi: the header up to 'movi' (524 bytes and 16 a super-index
  // entry), frame chunks, and per RIFF its ix00 index; the first RIFF also has idx1.
  // A RIFF is closed when the next frame would take it past the limit.
  const AviWriterOptions options;
  const uint64_t limit = std::min<uint64_t>(options.riffLimit, 0xF0000000u);
  const uint64_t chunk = 8 + uint64_t{Bitmap24Stride(width)} * static_cast<uint64_t>(height);
  auto standard_index = [](uint64_t n) { return 32 + 8 * n; };
  auto old_index = [](uint64_t n) { return 8 + 16 * n; };
  uint64_t pos = 524 + 16 * uint64_t{options.superIndexCapacity};
  uint64_t riff_start = 0;
  uint64_t n = 0;
  bool first = true;
  for (int64_t i = 0; i < frames; ++i) {
    const uint64_t riff = pos + chunk + standard_index(n + 1) + (first ? old_index(n + 1) : 0) - (riff_start + 8);
    if (n > 0 && riff > limit) {
      pos += standard_index(n) + (first ? old_index(n) : 0);
      riff_start = pos;
      pos += 24;  // RIFF 'AVIX' and LIST 'movi'
      first = false;
      n = 0;
    }
    pos += chunk;
    ++n;
  }
  return pos + standard_index(n) + (first ? old_index(n) : 0);
}

Result<SizeEstimate> EstimateExportSize(const AnimationModel& model, const ExportSettings& settings,
                                        const ScaleRequest& scale) {
  if (!model.HasPhoto()) return Error::Invalid("no photo is open");
  const Bitmap24& source = model.Photo();
  const PixelSize target =
      ScaledPhotoSize({source.Width(), source.Height()}, scale, model.Percent(), settings.composition,
                      model.Water().line);
  const StripPlan plan = PlanStrips(target.width);
  auto photo = StripPhoto(source, target, plan);
  if (!photo) return photo.error();
  auto trial = ModelOfScaledPhoto(model, std::move(photo.value()), source.Height());
  if (!trial) return trial.error();
  // The strips are as high as the exported picture, water line and all.
  auto strip = CheckOutputSize(*trial, settings.composition, settings.format);
  if (!strip) return strip.error();
  const int32_t width = target.width;
  const int32_t height = strip->height;
  // What the export would refuse has no size: over the format's side or the codec's level.
  if (Status s = CheckFormatSide(settings.format, width, height); !s) return s.error();
  if (Status s = CheckClipPicture(settings.format, width, height, ClipFrameRate(settings.intervalMs)); !s) {
    return s.error();
  }

  const OutputFormatInfo& info = FormatInfo(settings.format);
  int64_t cycles = 1;
  if (info.clip) {
    auto counted = ClipCycles(settings, model.FrameCount());
    if (!counted) return counted.error();
    cycles = *counted;
  }
  const int64_t frames = model.FrameCount() * cycles;
  if (info.size == SizeMethod::BmpFrames) {
    return SizeEstimate{BmpFileSize(width, height) * static_cast<uint64_t>(frames), true};
  }
  if (info.size == SizeMethod::AviLayout) {
    return SizeEstimate{AviClipSize(width, height, frames), true};
  }
  auto bytes = Trial(*trial, settings, cycles);
  if (!bytes) return bytes.error();
  const double ratio = static_cast<double>(width) / plan.Total();
  return SizeEstimate{static_cast<uint64_t>(std::llround(static_cast<double>(*bytes) * ratio)), false};
}

}  // namespace kestal
