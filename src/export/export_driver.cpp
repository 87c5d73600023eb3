#include "export/export_driver.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/file_output.h"
#include "export/create_avi.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/gif_writer.h"
#include "imageio/image_files.h"
#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

thread_local FinishingCheck* g_finishing_check = nullptr;

}  // namespace

FinishingCheck::FinishingCheck(std::function<void()> check)
    : check_(std::move(check)), previous_(g_finishing_check) {
  g_finishing_check = this;
}

FinishingCheck::~FinishingCheck() { g_finishing_check = previous_; }

void FinishingCheck::Run() {
  if (g_finishing_check && g_finishing_check->check_) g_finishing_check->check_();
}

int64_t MaxOutputSide(ExportFormat format) {
  switch (format) {
    case ExportFormat::Gif: return kMaxGifSide;
    case ExportFormat::JpgSequence: return kMaxJpegSide;
    case ExportFormat::Avi: return kMaxAviSide;
    case ExportFormat::WebP: return kMaxWebPSide;
    // libx264 and libvpx take at most 16384 pixels a side (VP9's highest level is as
    // wide; H.264's would allow 16880); their pictures' areas are checked by level.
    case ExportFormat::Mp4:
    case ExportFormat::WebM: return kMaxVideoSide;
    case ExportFormat::BmpSequence:
    case ExportFormat::Apng: break;
  }
  return INT32_MAX;
}

namespace {

// The kind of file a format writes, for messages ("a GIF holds at most ...").
const char* OutputNoun(ExportFormat format) {
  switch (format) {
    case ExportFormat::BmpSequence: return "a BMP file";
    case ExportFormat::JpgSequence: return "a JPEG file";
    case ExportFormat::Gif: return "a GIF";
    case ExportFormat::Avi: return "an AVI clip";
    case ExportFormat::Mp4: return "an MP4 clip";
    case ExportFormat::WebM: return "a WebM clip";
    case ExportFormat::WebP: return "an animated WebP";
    case ExportFormat::Apng: return "an APNG";
  }
  return "the file";
}

}  // namespace

namespace {

Result<OutputSize> ComposedSize(const AnimationModel& model, Composition composition, const PixelLimits& limits) {
  if (!model.HasPhoto()) return Error::Invalid("no photo is open");
  const Bitmap24& photo = model.Photo();
  const bool with_photo = composition == Composition::PhotoAndReflection;
  // Above the reflection: the photo's rows above the water line (all of them by default).
  const int64_t height = (with_photo ? model.WaterLineRow() : 0) + static_cast<int64_t>(model.PaneBitmap().Height());
  if (height == 0) {
    return Error::Invalid("the reflection of a " + std::to_string(photo.Width()) + " x " +
                          std::to_string(photo.Height()) +
                          " photo at this height has no rows; choose a larger height or include the photo");
  }
  if (Status s = CheckPixelSize(photo.Width(), height, limits); !s) {
    return Error::OverLimit("the exported picture would be " + std::to_string(photo.Width()) + " x " +
                            std::to_string(height) + " pixels, over the limit of " +
                            std::to_string(limits.max_side) + " pixels a side and " +
                            std::to_string(limits.max_pixels / 1'000'000) + " megapixels");
  }
  return OutputSize{photo.Width(), static_cast<int32_t>(height)};
}

}  // namespace

Result<OutputSize> CheckOutputSize(const AnimationModel& model, Composition composition, ExportFormat format,
                                   const PixelLimits& limits) {
  auto size = ComposedSize(model, composition, limits);
  if (!size) return size;
  if (Status s = CheckFormatSide(format, size->width, size->height); !s) return s.error();
  return size;
}

Status CheckFormatSide(ExportFormat format, int64_t width, int64_t height) {
  const int64_t side = MaxOutputSide(format);
  if (width > side || height > side) {
    return Error::OverLimit("the exported picture would be " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels; " + OutputNoun(format) + " holds at most " + std::to_string(side) +
                            " pixels a side");
  }
  return Status::Ok();
}

Result<FrameComposer> FrameComposer::Create(const AnimationModel& model, Composition composition,
                                            const PixelLimits& limits) {
  auto size = ComposedSize(model, composition, limits);
  if (!size) return size.error();
  const Bitmap24& photo = model.Photo();
  const bool with_photo = composition == Composition::PhotoAndReflection;
  FrameComposer c;
  auto output = Bitmap24::Create(size->width, size->height, limits);
  if (!output) return output.error();
  c.output_ = std::move(output.value());
  c.y0_ = with_photo ? model.WaterLineRow() : 0;
  // Rows of the photo below the water line land where the reflection goes, which every
  // frame overwrites, or fall outside the output.
  if (with_photo) c.output_.Draw(photo, 0, 0);
  return c;
}

void FrameComposer::NextFrame(AnimationModel& model) {
  model.NextFrame();
  output_.Draw(model.PaneBitmap(), 0, y0_);
}

std::string SequenceFileName(std::string_view folder, std::string_view photoPath, int index,
                             std::string_view extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%.2d", index);
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  return path + BaseNameOf(photoPath) + number + "." + std::string(extension);
}

std::vector<int> LeftoverFrames(const std::string& folder, const std::string& photoPath,
                                std::string_view extension, int count) {
  const std::string base = BaseNameOf(photoPath);
  const std::string suffix = "." + std::string(extension);
  std::vector<int> numbers;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= base.size() + suffix.size() || name.compare(0, base.size(), base) != 0 ||
        !name.ends_with(suffix)) {
      continue;
    }
    const std::string digits = name.substr(base.size(), name.size() - base.size() - suffix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const int number = std::stoi(digits);
    if (number >= count && SequenceFileName("", photoPath, number, extension) == name) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::string FrameRangeText(const std::vector<int>& numbers) {
  if (numbers.empty()) return {};
  char range[64];
  if (numbers.size() == 1) std::snprintf(range, sizeof range, "%.2d", numbers.front());
  else std::snprintf(range, sizeof range, "%.2d to %.2d", numbers.front(), numbers.back());
  return range;
}

std::string LeftoverFramesNote(const std::vector<int>& numbers) {
  const bool one = numbers.size() == 1;
  return std::string(one ? "an older frame " : "older frames ") + FrameRangeText(numbers) + " of this photo " +
         (one ? "remains" : "remain") + " beside the new ones";
}

Result<SequenceReport> ExportSequence(AnimationModel& model, const std::string& folder,
                                      const std::string& photoPath, std::string_view extension,
                                      Composition composition, const ExportProgress& progress) {
  const ExportFormat format = extension == "jpg" ? ExportFormat::JpgSequence : ExportFormat::BmpSequence;
  if (auto size = CheckOutputSize(model, composition, format); !size) return size.error();
  auto composer = FrameComposer::Create(model, composition);
  if (!composer) return composer.error();
  const int count = model.FrameCount();
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(SequenceFileName(folder, photoPath, i, extension));
  if (Status s = RefuseToReplacePhoto(photoPath, names); !s) return s.error();
  model.ResetFrameIndex();
  SequenceReport report;
  // Until the sequence is complete, a signal that ends the process removes its frames.
  std::vector<std::unique_ptr<RemovedOnSignal>> unfinished;
  for (int i = 1; i <= count; ++i) {
    if (progress) progress(i, count);
    composer->NextFrame(model);
    const std::string& path = names[static_cast<size_t>(i - 1)];
    // Held from before the file takes its name, so that no moment leaves it out.
    unfinished.push_back(std::make_unique<RemovedOnSignal>(path));
    if (Status s = SaveBitmapFile(path, composer->Output()); s) {
      report.written.push_back(path);
    } else {
      unfinished.pop_back();
      report.failures.push_back(s.error());
    }
  }
  return report;
}

}  // namespace kestal
