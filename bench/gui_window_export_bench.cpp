// What the window adds to an export: the same 30-frame BMP sequence of a 640 x 480
// photo written by the engine's driver alone, and through the window's export command
// (status text, progress bar and status-bar repaint before every frame, the hourglass).
// The difference is the price of showing progress; it should be a small part of the whole.
// Compare the CPU column: the wall time of writing 30 files wanders with the disk.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QSpinBox>
#include <QTemporaryDir>
#include <cstdlib>

#include "gui/export_commands.h"
#include "gui/main_window.h"
#include "export/export_driver.h"
#include "gui/export_dialog.h"
#include "imageio/image_files.h"
#include "gui_bench_main.h"
#include "support/sequence_prompts.h"

namespace {

using namespace kestal;

constexpr int kFrames = 30;

// Stops the benchmark on any error box: a benchmark of a failing export measures nothing.
void AbortOnError(const Error& e) {
  std::fprintf(stderr, "%s\n", e.Line().c_str());
  std::abort();
}

std::string PhotoPath(const QTemporaryDir& dir) {
  const std::string path = dir.filePath(QStringLiteral("lake.jpg")).toStdString();
  auto photo = Bitmap24::Create(640, 480);
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x)
      photo->SetPixel(x, y, ColorTriple{uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
  if (!SaveBitmapFile(path, *photo)) std::abort();
  return path;
}

void BM_EngineSequence(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string photo = PhotoPath(dir);
  AnimationModel model;
  model.SetFrameCount(kFrames);
  if (!model.SetPhoto(std::move(LoadImageFile(photo).value()))) std::abort();
  for (auto _ : state) {
    auto report = ExportSequence(model, dir.path().toStdString(), photo, "bmp", Composition::PhotoAndReflection);
    if (!report || !report->failures.empty()) std::abort();
  }
}

void BM_WindowSequence(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string photo = PhotoPath(dir);
  TFrmKestal window;
  window.show();
  if (!window.OpenPhotoFile(QString::fromStdString(photo))) std::abort();
  window.Ui().EditFrames->setValue(kFrames);
  test::SequencePrompts prompts(dir.path().toStdString(), AbortOnError);
  SetPrompts(&prompts);
  for (auto _ : state) window.ExportAnimation();
}

BENCHMARK(BM_EngineSequence)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowSequence)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kestal::bench::GuiBenchMain(argc, argv); }
