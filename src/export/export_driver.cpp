#include "export/export_driver.h"

#include <cstdio>

#include "imageio/image_files.h"
#include "base/paths.h"
#include "ui/text_utils.h"

namespace kestal {

Result<FrameComposer> FrameComposer::Create(const AnimationModel& model, Composition composition) {
  if (!model.HasPhoto()) return Error::Invalid("no photo is open");
  const Bitmap24& photo = model.Photo();
  const Bitmap24& pane = model.PaneBitmap();
  const bool with_photo = composition == Composition::PhotoAndReflection;
  const int64_t height = (with_photo ? photo.Height() : 0) + static_cast<int64_t>(pane.Height());
  if (height == 0) {
    return Error::Invalid("the reflection of a " + std::to_string(photo.Width()) + " x " +
                     std::to_string(photo.Height()) +
                     " photo at this height has no rows; choose a larger height or include the photo");
  }
  if (height > INT32_MAX) return Error::OverLimit("the output picture would be too high");
  FrameComposer c;
  auto output = Bitmap24::Create(photo.Width(), static_cast<int32_t>(height));
  if (!output) return output.error();
  c.output_ = std::move(output.value());
  c.y0_ = with_photo ? photo.Height() : 0;
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

Result<SequenceReport> ExportSequence(AnimationModel& model, const std::string& folder,
                                      const std::string& photoPath, std::string_view extension,
                                      Composition composition, const ExportProgress& progress) {
  auto composer = FrameComposer::Create(model, composition);
  if (!composer) return composer.error();
  model.ResetFrameIndex();
  SequenceReport report;
  const int count = model.FrameCount();
  for (int i = 1; i <= count; ++i) {
    if (progress) progress(i, count);
    composer->NextFrame(model);
    const std::string path = SequenceFileName(folder, photoPath, i - 1, extension);
    if (Status s = SaveBitmapFile(path, composer->Output()); s) {
      report.written.push_back(path);
    } else {
      report.failures.push_back(s.error());
    }
  }
  return report;
}

}  // namespace kestal
