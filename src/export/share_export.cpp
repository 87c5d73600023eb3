#include "export/share_export.h"

#include "export/video_export.h"
#include "export/webp_export.h"

namespace kestal {

bool ChangesPhotoSize(const AnimationModel& model, const ScaleRequest& scale, Composition composition) {
  if (scale.Identity() || !model.HasPhoto()) return false;
  const PixelSize photo{model.Photo().Width(), model.Photo().Height()};
  return ScaledPhotoSize(photo, scale, model.Percent(), composition) != photo;
}

Status ExportShared(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                    const ScaleRequest& scale, const ExportProgress& progress) {
  AnimationModel scaled;
  AnimationModel* source = &model;
  if (ChangesPhotoSize(model, scale, settings.composition)) {
    auto made = ScaledModel(model, scale, settings.composition);
    if (!made) return Error{ClipErrorMessage(path), made.error().cause, made.error().kind};
    scaled = std::move(made.value());
    source = &scaled;
  }
  if (settings.format == ExportFormat::WebP) return ExportWebP(*source, path, settings, progress);
  return ExportVideo(*source, path, settings, progress);
}

}  // namespace kestal
