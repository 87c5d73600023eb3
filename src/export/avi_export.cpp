#include "export/avi_export.h"

#include "export/output_formats.h"

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
  if (auto size = CheckOutputSize(model, settings.composition, ExportFormat::Avi); !size) {
    return Error{AviErrorMessage(path), size.error().cause, size.error().kind};
  }
  // A length in seconds becomes whole cycles at the clip's own frame duration.
  auto cycles = ClipCycles(settings, model.FrameCount(), 1000.0 / rate);
  if (!cycles) return Error{AviErrorMessage(path), cycles.error().cause, cycles.error().kind};
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error().WithMessage(AviErrorMessage(path));

  TCreateAvi avi(path, options);
  avi.SetRate(1, rate);
  model.ResetFrameIndex();
  const int total = model.FrameCount() * *cycles;
  for (int i = 1; i <= total; ++i) {
    if (progress) progress(i, total);
    composer->NextFrame(model);
    if (avi.AddFrame(composer->Output()) != kAviOk) return avi.LastError();
  }
  FinishingCheck::Run();
  return avi.Close();
}

}  // namespace kestal
