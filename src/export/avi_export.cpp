#include "export/avi_export.h"

namespace kestal {

int AviFrameRate(int intervalMs) { return intervalMs > 0 ? 1000 / intervalMs : 0; }

Status ExportAvi(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                 const ExportProgress& progress, const AviWriterOptions& options) {
  const int rate = AviFrameRate(settings.intervalMs);
  if (rate <= 0) {
    return Error::Invalid("a timer interval of " + std::to_string(settings.intervalMs) + " ms gives no frame rate")
        .WithMessage(AviErrorMessage(path));
  }
  if (settings.repetitions < kMinRepetitions || settings.repetitions > kMaxRepetitions) {
    return Error::Invalid("the repetitions must be " + std::to_string(kMinRepetitions) + " to " +
                          std::to_string(kMaxRepetitions) + ", not " + std::to_string(settings.repetitions))
        .WithMessage(AviErrorMessage(path));
  }
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error().WithMessage(AviErrorMessage(path));

  TCreateAvi avi(path, options);
  avi.SetRate(1, rate);
  model.ResetFrameIndex();
  const int total = model.FrameCount() * settings.repetitions;
  for (int i = 1; i <= total; ++i) {
    if (progress) progress(i, total);
    composer->NextFrame(model);
    if (avi.AddFrame(composer->Output()) != kAviOk) return avi.LastError();
  }
  return avi.Close();
}

}  // namespace kestal
