#include "export/size_estimate.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "export/create_avi.h"
#include "export/gif_export.h"
#include "export/output_formats.h"
#include "export/video_export.h"
#include "export/webp_export.h"
#include "imageio/image_files.h"
#include "ui/text_utils.h"

namespace kestal {
namespace {

// Trials run on at most this many pixels of output; a larger picture is scaled down
// for the trial and its bytes scaled up by the ratio of the areas.
constexpr double kTrialPixels = 320'000;

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

// Bytes of one frame plus each further frame, from trials of one and of two frames.
uint64_t Extrapolate(uint64_t one, uint64_t two, int64_t frames) {
  const uint64_t next = two > one ? two - one : 0;
  return one + next * static_cast<uint64_t>(std::max<int64_t>(0, frames - 1));
}

Result<uint64_t> Trial(AnimationModel& model, const ExportSettings& settings, int64_t frames) {
  switch (settings.format) {
    case ExportFormat::JpgSequence: {
      auto composer = FrameComposer::Create(model, settings.composition);
      if (!composer) return composer.error();
      model.ResetFrameIndex();
      composer->NextFrame(model);
      TrialFile file(".jpg");
      if (Status s = SaveBitmapFile(file.Path(), composer->Output()); !s) return s.error();
      auto size = file.Size();
      if (!size) return size;
      return *size * static_cast<uint64_t>(frames);
    }
    case ExportFormat::Gif: {
      // The GIF's first frame is the whole picture and the others the reflection alone,
      // so the whole animation is the trial; it runs on the reduced copy.
      TrialFile file(".gif");
      auto gif = ExportGif(model, file.Path(), settings);
      if (!gif) return gif.error();
      return file.Size();
    }
    case ExportFormat::WebP: {
      auto one = TrialWebPBytes(model, settings, 1);
      if (!one) return one;
      auto two = TrialWebPBytes(model, settings, 2);
      if (!two) return two;
      return Extrapolate(*one, *two, frames);
    }
    default: {
      auto one = TrialVideoBytes(model, settings, 1);
      if (!one) return one;
      auto two = TrialVideoBytes(model, settings, 2);
      if (!two) return two;
      return Extrapolate(*one, *two, frames);
    }
  }
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
  const PixelSize exported = ExportedSize(model, scale, settings.composition);
  const int32_t width = exported.width;
  const int64_t height = exported.height;
  if (height <= 0) return Error::Invalid("the exported picture has no rows");

  const OutputFormatInfo& info = FormatInfo(settings.format);
  int64_t frames = model.FrameCount();
  if (info.clip) {
    const int fps = ClipFrameRate(settings.intervalMs);
    const double frameMs = settings.format == ExportFormat::WebP ? settings.intervalMs : 1000.0 / std::max(1, fps);
    auto cycles = ClipCycles(settings, model.FrameCount(), frameMs);
    if (!cycles) return cycles.error();
    frames *= *cycles;
  }
  if (settings.format == ExportFormat::BmpSequence) {
    return SizeEstimate{BmpFileSize(width, static_cast<int32_t>(height)) * static_cast<uint64_t>(frames), true};
  }
  if (settings.format == ExportFormat::Avi) {
    return SizeEstimate{AviClipSize(width, static_cast<int32_t>(height), frames), true};
  }

  // The trial runs on one copy of the photo, at the export's scale or, for a large
  // picture, smaller still: then only as wide as keeps it near kTrialPixels.
  const double pixels = static_cast<double>(width) * static_cast<double>(height);
  ScaleRequest trial_scale = scale;
  if (pixels > kTrialPixels) {
    trial_scale = ScaleRequest{};
    trial_scale.fitWidth = std::max(1, static_cast<int>(width * std::sqrt(kTrialPixels / pixels)));
    trial_scale.fitHeight = kDefaultPixelLimits.max_side;
  }
  auto trial = ScaledModel(model, trial_scale, settings.composition);
  if (!trial) return trial.error();
  const PixelSize trial_size = ExportedSize(*trial, ScaleRequest{}, settings.composition);
  const double trial_pixels = static_cast<double>(trial_size.width) * trial_size.height;
  auto bytes = Trial(*trial, settings, frames);
  if (!bytes) return bytes.error();
  const double area = pixels / std::max(1.0, trial_pixels);
  return SizeEstimate{static_cast<uint64_t>(std::llround(static_cast<double>(*bytes) * area)), false};
}

}  // namespace kestal
