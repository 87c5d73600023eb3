// How soon the water panel answers on a large photo: the time from a control's new
// value to the repaint of the reflection that shows it, for each control, on a 12- and
// a 48-megapixel photo in a 1280 x 800 window (the view fits the picture to it). The
// panel shows a preview at the view's scale at once and builds the full-size mirror on
// another thread; "full size" is the time until the model has that mirror. The goal is
// 100 ms for the preview at any photo size. Wall time: the full-size build runs beside.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>

#include "gui/bmp_image.h"
#include "gui/main_window.h"
#include "gui/water_panel.h"
#include "imageio/image_files.h"
#include "gui_bench_main.h"

namespace {

using namespace kestal;

struct Scene {
  TFrmKestal* window = nullptr;
  TFrmWater* panel = nullptr;
};

// One window per photo size, kept for the run (and left to the end of the process,
// which outlives the application object): opening a 48-megapixel photo takes seconds.
Scene& SceneOf(int32_t width, int32_t height) {
  static auto* scenes = new std::map<int64_t, std::unique_ptr<Scene>>;
  auto& scene = (*scenes)[int64_t{width} << 32 | height];
  if (scene) return *scene;
  scene = std::make_unique<Scene>();
  QTemporaryDir dir;  // the photo file goes once it is open
  const QString path = dir.filePath(QStringLiteral("lake.bmp"));
  {
    auto photo = Bitmap24::Create(width, height);
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = photo->Row(y);
      for (int32_t x = 0; x < width * 3; ++x) row[x] = static_cast<uint8_t>((x / 3) ^ y ^ (x % 3) * 85);
    }
    if (!SaveBitmapFile(path.toStdString(), *photo)) std::abort();
  }
  scene->window = new TFrmKestal;
  scene->window->resize(1280, 800);
  scene->window->show();
  if (!scene->window->OpenPhotoFile(path)) std::abort();
  scene->window->findChild<QAction*>(QStringLiteral("OptionEau"))->trigger();
  scene->panel = scene->window->findChild<TFrmWater*>();
  if (!scene->panel) std::abort();
  return *scene;
}

// Waits until the model has the mirror of the settings applied last.
void WaitForMirror(TFrmKestal& window) {
  while (window.ShowsWaterPreview()) {
    QCoreApplication::processEvents();
    QThread::msleep(1);
  }
}

// Sets the spin box to its two values in turn. `full` times the full-size mirror
// rather than the preview.
void Change(benchmark::State& state, QSpinBox* TFrmWater::*spin, int a, int b, bool full) {
  Scene& scene = SceneOf(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  TFrmKestal& window = *scene.window;
  QSpinBox* box = scene.panel->*spin;
  window.SettleWater();
  int n = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    box->setValue(n++ % 2 ? b : a);
    window.Ui().Pane->repaint();
    if (full) WaitForMirror(window);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    // Each change starts from a settled model, as a user's single change does.
    state.PauseTiming();
    window.SettleWater();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  state.SetLabel(std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)) + (full ? " full size" : " preview"));
}

void BM_Tint(benchmark::State& s) { Change(s, &TFrmWater::SpinTint, 30, 31, false); }
void BM_Fade(benchmark::State& s) { Change(s, &TFrmWater::SpinFade, 40, 41, false); }
void BM_Blur(benchmark::State& s) { Change(s, &TFrmWater::SpinBlur, 4, 5, false); }
void BM_Strength(benchmark::State& s) { Change(s, &TFrmWater::SpinStrength, 150, 151, false); }
void BM_Line(benchmark::State& s) {
  Change(s, &TFrmWater::SpinLine, static_cast<int>(s.range(1) * 4 / 5), static_cast<int>(s.range(1) * 4 / 5 + 1),
         false);
}
void BM_TintFullSize(benchmark::State& s) { Change(s, &TFrmWater::SpinTint, 30, 31, true); }
void BM_BlurFullSize(benchmark::State& s) { Change(s, &TFrmWater::SpinBlur, 4, 5, true); }

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({4000, 3000})->Args({8000, 6000})->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Tint)->Apply(Sizes);
BENCHMARK(BM_Fade)->Apply(Sizes);
BENCHMARK(BM_Blur)->Apply(Sizes);
BENCHMARK(BM_Strength)->Apply(Sizes);
BENCHMARK(BM_Line)->Apply(Sizes);
BENCHMARK(BM_TintFullSize)->Apply(Sizes);
BENCHMARK(BM_BlurFullSize)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) { return kestal::bench::GuiBenchMain(argc, argv); }
