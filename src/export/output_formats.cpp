#include "export/output_formats.h"

#include <cmath>
#include <iterator>
#include <vector>

#include "base/paths.h"
#include "export/avi_export.h"
#include "export/avif_export.h"
#include "export/video_export.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/gif_writer.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

// H.264's CRF runs 0..51 and 18 is visually lossless; VP9's runs 0..63 and 24 looks as
// good at a similar size; WebP's quality runs 0..100 with 90 keeping fine ripples.
// AV1's quantizer, which libavif takes for AVIF, runs 0..63 like VP9's, and 24 keeps
// the ripples as VP9's CRF 24 does.
// Each row: the format; name, extension, title, noun, dialog label, help; largest side;
// clip and frame length; quality range, default, direction and hint; default fit and
// length; writer; size method.
constexpr OutputFormatInfo kFormats[] = {
    {ExportFormat::BmpSequence, "bmp", "", "BMP", "a BMP file", "Sequence BMP", "", INT32_MAX,
     false, FrameLength::TimerInterval, 0, 0, 0, false, "", 0, 0, nullptr, SizeMethod::BmpFrames},
    {ExportFormat::JpgSequence, "jpg", "", "JPEG", "a JPEG file", "Sequence JPG", "", kMaxJpegSide,
     false, FrameLength::TimerInterval, 0, 0, 0, false, "", 0, 0, nullptr, SizeMethod::FirstFrame},
    {ExportFormat::Gif, "gif", ".gif", "GIF", "a GIF", "Анимация GIF", "animated GIF", kMaxGifSide,
     false, FrameLength::TimerInterval, 0, 0, 0, false, "", 0, 0, nullptr, SizeMethod::WholeExport},
    {ExportFormat::Avi, "avi", ".avi", "AVI", "an AVI clip", "Видео Клип AVI", "AVI clip", kMaxAviSide,
     true, FrameLength::WholeFrameRate, 0, 0, 0, false, "", 0, 0, MakeAviWriter, SizeMethod::AviLayout},
    {ExportFormat::Mp4, "mp4", ".mp4", "MP4", "an MP4 clip", "Видео MP4", "H.264 video", kMaxVideoSide,
     true, FrameLength::WholeFrameRate, 0, 51, 18, false, "CRF: меньше — лучше",
     kShareSide, kDefaultVideoSeconds, MakeEncodedClipWriter, SizeMethod::CycleBytes},
    {ExportFormat::WebM, "webm", ".webm", "WebM", "a WebM clip", "Видео WebM", "VP9 video", kMaxVideoSide,
     true, FrameLength::WholeFrameRate, 0, 63, 24, false, "CRF: меньше — лучше",
     kShareSide, kDefaultVideoSeconds, MakeEncodedClipWriter, SizeMethod::CycleBytes},
    {ExportFormat::WebP, "webp", ".webp", "WebP", "an animated WebP", "Анимация WebP", "animated WebP", kMaxWebPSide,
     true, FrameLength::TimerInterval, 0, 100, 90, true, "0..100, больше — лучше",
     kShareSide, 0, MakeEncodedClipWriter, SizeMethod::SecondCycle},
    // APNG keeps every pixel: no quality to set.
    {ExportFormat::Apng, "apng", ".png", "APNG", "an APNG", "Анимация APNG", "animated PNG", INT32_MAX,
     true, FrameLength::WholeFrameRate, 0, 0, 0, false, "",
     kShareSide, 0, MakeEncodedClipWriter, SizeMethod::CycleBytes},
    {ExportFormat::Avif, "avif", ".avif", "AVIF", "an animated AVIF", "Анимация AVIF", "animated AVIF", kMaxAvifSide,
     true, FrameLength::TimerInterval, kAvifBestQuantizer, kAvifWorstQuantizer, 24, false, "0..63, меньше — лучше",
     kShareSide, 0, MakeEncodedClipWriter, SizeMethod::SecondCycle},
};

// The table is in the enum's order, so that a format is its own index.
constexpr bool InEnumOrder() {
  for (size_t i = 0; i < std::size(kFormats); ++i) {
    if (static_cast<size_t>(kFormats[i].format) != i) return false;
  }
  return true;
}
static_assert(InEnumOrder());

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo& FormatInfo(ExportFormat format) {
  const auto index = static_cast<size_t>(format);
  return index < std::size(kFormats) ? kFormats[index] : kFormats[static_cast<size_t>(ExportFormat::Gif)];
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

double FrameMs(ExportFormat format, int intervalMs) {
  if (intervalMs <= 0) return 0;
  if (FormatInfo(format).frameLength == FrameLength::TimerInterval) return intervalMs;
  const int fps = ClipFrameRate(intervalMs);
  return fps > 0 ? 1000.0 / fps : 0;
}

Result<int> ClipCycles(const ExportSettings& settings, int frameCount) {
  return ClipCycles(settings, frameCount, FrameMs(settings.format, settings.intervalMs));
}

std::string ListText(const std::vector<std::string>& items, const char* last) {
  std::string list;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) list += i + 1 == items.size() ? last : ", ";
    list += items[i];
  }
  return list;
}

std::string FormatTitles(bool (*keep)(const OutputFormatInfo&), const char* last) {
  std::vector<std::string> titles;
  for (const OutputFormatInfo& f : kFormats) {
    if (keep(f)) titles.push_back(f.title);
  }
  return ListText(titles, last);
}

bool IsSequence(ExportFormat format) { return *FormatInfo(format).extension == '\0'; }

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

bool IsSharedFormat(ExportFormat format) { return static_cast<int>(format) > static_cast<int>(ExportFormat::Avi); }

ScaleRequest DefaultScale(ExportFormat format) {
  ScaleRequest request;
  request.fitWidth = request.fitHeight = FormatInfo(format).defaultFit;
  return request;
}

double DefaultClipSeconds(ExportFormat format) { return FormatInfo(format).defaultSeconds; }

}  // namespace kestal
