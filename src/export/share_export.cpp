#include "export/share_export.h"

#include <vector>

#include "export/frame_writer.h"
#include "export/output_formats.h"

namespace kestal {

bool ChangesPhotoSize(const AnimationModel& model, const ScaleRequest& scale, Composition composition) {
  if (scale.Identity() || !model.HasPhoto()) return false;
  const PixelSize photo{model.Photo().Width(), model.Photo().Height()};
  return ScaledPhotoSize(photo, scale, model.Percent(), composition) != photo;
}

ExportModel::ExportModel(AnimationModel& model, const ScaleRequest& scale, Composition composition) {
  if (!ChangesPhotoSize(model, scale, composition)) {
    model_ = &model;
    return;
  }
  auto made = ScaledModel(model, scale, composition);
  if (!made) {
    error_ = made.error();
    return;
  }
  copy_ = std::move(made.value());
  model_ = &copy_;
}

namespace {

// Composes `frames` frames from frame 0 and hands them to `writer`, then finishes it.
// The writer is abandoned on any failure.
Status WriteFrames(AnimationModel& model, FrameWriter& writer, const ExportSettings& settings, int frames,
                   const ExportProgress& progress) {
  const OutputFormatInfo& info = FormatInfo(settings.format);
  if (FrameMs(settings.format, settings.intervalMs) <= 0) {
    return Error::Invalid("a timer interval of " + std::to_string(settings.intervalMs) + " ms gives no frame rate");
  }
  if (Status s = CheckQuality(info.format, settings.encode.quality); !s) return s;
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error();
  const Bitmap24& out = composer->Output();
  const FramePace pace{settings.intervalMs, ClipFrameRate(settings.intervalMs)};
  if (Status s = writer.Begin(out.Width(), out.Height(), pace); !s) return s;
  model.ResetFrameIndex();
  // The frames repeat every cycle bit for bit (every mode's motion advances by whole
  // periods over the frame count), so a clip of several cycles writes the first
  // cycle's frames again rather than rendering each one anew: a writer that can do so
  // by itself repeats them (AddAgain), and for the others the first cycle's frames are
  // kept when they fit in kMaxKeptCycleBytes. Without the memory it renders them all.
  const int cycle = model.FrameCount();
  const bool again = frames > cycle && cycle > 0 && writer.RepeatsCycle(cycle);
  std::vector<Bitmap24> kept;
  bool keep = !again && frames > cycle && cycle > 0 &&
              static_cast<uint64_t>(out.SizeBytes()) * static_cast<uint64_t>(cycle) <= kMaxKeptCycleBytes;
  for (int i = 1; i <= frames; ++i) {
    if (progress) progress(i, frames);
    if (again && i > cycle) {
      if (Status s = writer.AddAgain((i - 1) % cycle); !s) return s;
      continue;
    }
    if (keep && i > cycle) {
      if (Status s = writer.Add(kept[static_cast<size_t>((i - 1) % cycle)]); !s) return s;
      continue;
    }
    composer->NextFrame(model);
    if (Status s = writer.Add(out); !s) return s;
    if (keep) {
      auto copy = out.Clone();
      if (copy) kept.push_back(std::move(copy.value()));
      else keep = false, kept.clear();
    }
  }
  FinishingCheck::Run();
  return writer.Finish();
}

// Makes the writer of a clip format; an error for the formats without one.
Result<std::unique_ptr<FrameWriter>> MakeWriter(const std::string& path, const ExportSettings& settings) {
  const OutputFormatInfo& info = FormatInfo(settings.format);
  if (!info.writer) return Error::Invalid(std::string(info.name) + " is not a clip format");
  return info.writer(path, settings);
}

}  // namespace

Status ExportClip(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                  const ExportProgress& progress) {
  auto writer = MakeWriter(path, settings);
  if (!writer) return writer.error();
  return ExportClip(model, **writer, settings, progress);
}

Status ExportClip(AnimationModel& model, FrameWriter& w, const ExportSettings& settings,
                  const ExportProgress& progress) {
  const auto failed = [&](const Error& e) -> Status {
    w.Abort();
    return Error{w.FileMessage(), e.cause, e.kind};
  };
  auto cycles = ClipCycles(settings, model.FrameCount());
  if (!cycles) return failed(cycles.error());
  // A picture the format cannot hold is refused before the file is made.
  if (auto size = CheckOutputSize(model, settings.composition, settings.format); !size) return failed(size.error());
  if (Status s = WriteFrames(model, w, settings, model.FrameCount() * *cycles, progress); !s) return failed(s.error());
  return Status::Ok();
}

Result<uint64_t> MeasureClip(AnimationModel& model, const ExportSettings& settings, int frames) {
  auto writer = MakeWriter(std::string(), settings);
  if (!writer) return writer.error();
  return MeasureClip(model, **writer, settings, frames);
}

Result<uint64_t> MeasureClip(AnimationModel& model, FrameWriter& writer, const ExportSettings& settings, int frames) {
  if (Status s = WriteFrames(model, writer, settings, frames, {}); !s) {
    writer.Abort();
    return s.error();
  }
  return writer.Bytes();
}

}  // namespace kestal
