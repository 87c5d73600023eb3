#include "export/gif_export.h"

#include <iterator>
#include <vector>

#include "imageio/color_reduce.h"
#include "imageio/gif_writer.h"
#include "imageio/image_files.h"
#include "ui/text_utils.h"

namespace kestal {

int GifColorCountForChoice(int itemIndex) {
  constexpr int kChoices = static_cast<int>(std::size(kGifColorCounts));
  return itemIndex >= 0 && itemIndex < kChoices ? kGifColorCounts[itemIndex] : kGifColorCounts[kChoices - 1];
}

int GifDelayForInterval(int intervalMs) { return intervalMs / 10; }

namespace {

Status WriteAnimation(AnimationModel& model, GifWriter& writer, const std::string& path,
                      const ExportSettings& settings, const ExportProgress& progress, GifExportReport& report) {
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error();
  const Bitmap24& output = composer->Output();
  const Bitmap24& pane = model.PaneBitmap();
  // Every frame must fit the GIF's 16-bit fields; refuse before the file exists.
  if (Status s = CheckGifSize(output.Width(), output.Height()); !s) return s;
  const int count = model.FrameCount();
  const int delay = GifDelayForInterval(settings.intervalMs);
  const int32_t y0 = composer->Y0();
  model.ResetFrameIndex();

  // Frame 1: the whole output, dithered onto its own optimal palette.
  if (progress) progress(1, count);
  composer->NextFrame(model);
  const Palette palette = ComputePalette(output, 1 << PaletteBitsForCount(settings.colors));
  NearestColorMap map(palette);
  std::vector<uint8_t> indices;
  MapToPalette(output, map, true, indices);
  if (Status s = writer.Open(path, output.Width(), output.Height(), palette); !s) return s;
  if (Status s = writer.AddFrame(GifFrame{indices.data(), 0, 0, output.Width(), output.Height(), delay}); !s) {
    return s;
  }
  report.width = output.Width();
  report.height = output.Height();

  // Frames 2..N: the reflection alone, dithered onto frame 1's palette. A reflection
  // without rows (a one-row photo at 30 %) leaves nothing to change; such frames
  // repeat one pixel of frame 1, as a GIF image needs at least one.
  const uint8_t first_pixel = indices[0];
  for (int a = 2; a <= count; ++a) {
    if (progress) progress(a, count);
    model.NextFrame();
    GifFrame frame{&first_pixel, 0, 0, 1, 1, delay};
    if (!pane.Empty()) {
      MapToPalette(pane, map, true, indices);
      frame = GifFrame{indices.data(), 0, y0, pane.Width(), pane.Height(), delay};
    }
    if (Status s = writer.AddFrame(frame); !s) return s;
  }
  return writer.Finish();
}

}  // namespace

Result<GifExportReport> ExportGif(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                                  const ExportProgress& progress) {
  GifExportReport report;
  Status s = settings.colors < 1 || settings.colors > 256
                 ? Status(Error::Invalid("a GIF holds 1 to 256 colours, not " + std::to_string(settings.colors)))
                 : Status::Ok();
  GifWriter writer;
  if (s) s = WriteAnimation(model, writer, path, settings, progress, report);
  if (!s) return s.error().WithMessage(FormatWithString(SaveErrorFormat(), path));
  return report;
}

}  // namespace kestal
