#include "export/output_formats.h"

#include <cmath>

#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

// H.264's CRF runs 0..51 and 18 is visually lossless; VP9's runs 0..63 and 24 looks as
// good at a similar size; WebP's quality runs 0..100 with 90 keeping fine ripples.
constexpr OutputFormatInfo kFormats[] = {
    {ExportFormat::BmpSequence, "bmp", "", false},
    {ExportFormat::JpgSequence, "jpg", "", false},
    {ExportFormat::Gif, "gif", ".gif", false},
    {ExportFormat::Avi, "avi", ".avi", true},
    {ExportFormat::Mp4, "mp4", ".mp4", true, 0, 51, 18, false},
    {ExportFormat::WebM, "webm", ".webm", true, 0, 63, 24, false},
    {ExportFormat::WebP, "webp", ".webp", true, 0, 100, 90, true},
    {ExportFormat::Apng, "apng", ".png", true},
};

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo& FormatInfo(ExportFormat format) {
  for (const OutputFormatInfo& f : kFormats) {
    if (f.format == format) return f;
  }
  return kFormats[static_cast<int>(ExportFormat::Gif)];
}

std::optional<ExportFormat> FormatByName(std::string_view name) {
  for (const OutputFormatInfo& f : kFormats) {
    if (name == f.name) return f.format;
  }
  return std::nullopt;
}

std::optional<ExportFormat> FormatByExtension(std::string_view path) {
  const std::string ext = LowerExtensionOf(std::string(path));
  if (ext.empty()) return std::nullopt;
  for (const OutputFormatInfo& f : kFormats) {
    if (ext == f.extension) return f.format;
  }
  return std::nullopt;
}

int EffectiveQuality(ExportFormat format, const EncodeOptions& options) {
  return options.quality >= 0 ? options.quality : FormatInfo(format).qualityDefault;
}

Status CheckQuality(ExportFormat format, int quality) {
  return quality == -1 ? Status::Ok() : CheckGivenQuality(format, quality);
}

Status CheckGivenQuality(ExportFormat format, int quality) {
  const OutputFormatInfo& f = FormatInfo(format);
  if (f.qualityMax == 0) return Error::Invalid(std::string(f.name) + " has no quality setting");
  if (quality < f.qualityMin || quality > f.qualityMax) {
    return Error::Invalid("the quality of " + std::string(f.name) + " runs from " + std::to_string(f.qualityMin) +
                          " to " + std::to_string(f.qualityMax) + ", not " + std::to_string(quality));
  }
  return Status::Ok();
}

int ClipFrameRate(int intervalMs) { return intervalMs > 0 ? 1000 / intervalMs : 0; }

Result<int> ClipCycles(const ExportSettings& settings, int frameCount, double frameMs) {
  if (settings.encode.seconds <= 0) {
    if (settings.repetitions < 1 || settings.repetitions > kMaxClipCycles) {
      return Error::OverLimit("the cycle repeats 1 to " + std::to_string(kMaxClipCycles) + " times, not " +
                              std::to_string(settings.repetitions));
    }
    return settings.repetitions;
  }
  const double cycleMs = frameCount * frameMs;
  if (!(cycleMs > 0) || !std::isfinite(settings.encode.seconds)) return Error::Invalid("the clip has no duration");
  // A hair under a whole cycle counts as that cycle: 0.6 s of 120 ms frames is 1 cycle
  // of 5, not 2 because 600 / 600 came out as 1.0000000001.
  const double cycles = std::ceil(settings.encode.seconds * 1000.0 / cycleMs - 1e-9);
  if (cycles > kMaxClipCycles) {
    return Error::OverLimit(std::to_string(settings.encode.seconds) + " seconds would take more than " +
                            std::to_string(kMaxClipCycles) + " cycles");
  }
  return std::max(1, static_cast<int>(cycles));
}

bool IsSharedFormat(ExportFormat format) {
  return format == ExportFormat::Mp4 || format == ExportFormat::WebM || format == ExportFormat::WebP ||
         format == ExportFormat::Apng;
}

ScaleRequest DefaultScale(ExportFormat format) {
  ScaleRequest request;
  if (IsSharedFormat(format)) request.fitWidth = request.fitHeight = kShareSide;
  return request;
}

double DefaultClipSeconds(ExportFormat format) {
  return format == ExportFormat::Mp4 || format == ExportFormat::WebM ? kDefaultVideoSeconds : 0;
}

}  // namespace kestal
