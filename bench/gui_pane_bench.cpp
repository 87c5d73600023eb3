// One animation tick of the desktop program for a 24-megapixel photo (6000 x 4000,
// reflection at 90 %): NextFrame renders the frame into the pane bitmap, then the
// pane paints it. The fast speed ticks every 50 ms, so a tick must stay well under
// that. Two paints are measured: the part a 1920 x 1080 window shows (what a real
// repaint covers, since painting is clipped to the visible area) and, as the worst
// case, the whole 6000 x 3600 pane; and the same tick with the View menu's zoom: fit
// to window and 300 %. Wall time is reported: Qt spreads large image
// conversions over threads, so the CPU column counts every thread of the process:
// on a loaded machine it is the steadier measure of the work a tick costs.
//
// The tick is the window's: natural water shown below 100 % is rendered at the view's
// scale (gui/natural_view.h), on a mirror reduced once before the ticks measured.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "gui/bmp_image.h"
#include "gui/natural_view.h"
#include "render/animation_model.h"
#include "gui_bench_main.h"

namespace {

kestal::AnimationModel& Model() {
  static kestal::AnimationModel model = [] {
    kestal::AnimationModel m;
    auto photo = kestal::Bitmap24::Create(6000, 4000);
    for (int32_t y = 0; y < photo->Height(); ++y) {
      uint8_t* row = photo->Row(y);
      for (int32_t x = 0; x < photo->Width() * 3; ++x) row[x] = static_cast<uint8_t>(x ^ y);
    }
    if (!m.SetPhoto(std::move(photo.value()))) std::abort();
    return m;
  }();
  return model;
}

void Tick(benchmark::State& state, kestal::WaveMode mode, QSize area, double zoom = 1.0) {
  // The rows of the pane a window of `area` shows from its top.
  const kestal::PaneRows rows{0, int32_t(std::ceil(area.height() / zoom)) + 1};
  kestal::AnimationModel& model = Model();
  model.SetMode(mode);
  kestal::TBmpImage pane;
  kestal::NaturalView view;
  const auto show = [&](const kestal::Bitmap24& shown) {
    pane.SetBitmap(&shown);
    pane.SetScale(zoom * model.Photo().Width() / shown.Width());
  };
  show(view.Show(model, zoom, rows));
  pane.resize(int(model.PaneBitmap().Width() * zoom), int(model.PaneBitmap().Height() * zoom));
  // The window's backing store format on X11.
  QImage target(area, QImage::Format_RGB32);
  for (auto _ : state) {
    show(view.Tick(model, zoom, rows));
    QPainter painter(&target);
    pane.Paint(painter, QRect(QPoint(0, 0), area));
    benchmark::DoNotOptimize(target.constBits());
  }
  state.SetLabel(std::to_string(area.width()) + "x" + std::to_string(area.height()) + " painted at " +
                 std::to_string(int(zoom * 100 + 0.5)) + " %");
}

void BM_TickVisiblePerspective(benchmark::State& s) { Tick(s, kestal::WaveMode::Perspective, {1920, 1080}); }
void BM_TickVisibleRegular(benchmark::State& s) { Tick(s, kestal::WaveMode::Regular, {1920, 1080}); }
void BM_TickWholePanePerspective(benchmark::State& s) { Tick(s, kestal::WaveMode::Perspective, {6000, 3600}); }
void BM_TickWholePaneRegular(benchmark::State& s) { Tick(s, kestal::WaveMode::Regular, {6000, 3600}); }

// The View menu's "fit to window" for this photo in a 1920 x 1080 window: photo and
// reflection (6000 x 7600) scaled to about 14 %, the whole pane on screen.
constexpr double kFitZoom = 1000.0 / 7600;
void BM_TickFitPerspective(benchmark::State& s) { Tick(s, kestal::WaveMode::Perspective, {790, 474}, kFitZoom); }
void BM_TickFitRegular(benchmark::State& s) { Tick(s, kestal::WaveMode::Regular, {790, 474}, kFitZoom); }
// Natural water renders every pixel of the pane through its field, at fit zoom.
void BM_TickFitNatural(benchmark::State& s) { Tick(s, kestal::WaveMode::Natural, {790, 474}, kFitZoom); }
// At 100 % natural water renders the rows on view only.
void BM_TickVisibleNatural(benchmark::State& s) { Tick(s, kestal::WaveMode::Natural, {1920, 1080}); }
// Zoomed in 3x: the visible part is a small region of the bitmap.
void BM_TickZoom300Perspective(benchmark::State& s) { Tick(s, kestal::WaveMode::Perspective, {1920, 1080}, 3.0); }

BENCHMARK(BM_TickFitPerspective)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickFitRegular)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickFitNatural)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickZoom300Perspective)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickVisibleNatural)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickVisiblePerspective)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickVisibleRegular)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickWholePanePerspective)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TickWholePaneRegular)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) { return kestal::bench::GuiBenchMain(argc, argv); }
