// Opening a picture in the window until its first paint: an 8000 x 6000 JPEG beside
// djpeg decoding the same file (the decoder's own cost, which bounds the open), and a
// made 1000-record clip-art WMF. The goal is under a second for both. Wall time: the
// user waits for it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gui/main_window.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/image_files.h"
#include "bench_shell.h"
#include "gui_bench_main.h"
#include "metafile_clipart.h"

namespace {

using namespace kestal;

QTemporaryDir& Dir() {
  static QTemporaryDir dir;
  return dir;
}

// A smooth synthetic photo, so the file compresses as a photo does.
const std::string& BigJpeg() {
  static const std::string path = [] {
    std::string p = Dir().filePath(QStringLiteral("lake.jpg")).toStdString();
    auto b = Bitmap24::Create(8000, 6000);
    for (int y = 0; y < 6000; ++y) {
      uint8_t* row = b->Row(y);
      for (int x = 0; x < 8000; ++x) {
        row[3 * x] = uint8_t(128 + 100 * std::sin(x * 0.01 + y * 0.003));
        row[3 * x + 1] = uint8_t((x ^ y) & 0xFF);
        row[3 * x + 2] = uint8_t(y * 255 / 6000);
      }
    }
    if (!WriteJpegFile(p, *b)) std::abort();
    return p;
  }();
  return path;
}

const std::string& ClipArtWmf() {
  static const std::string path = [] {
    std::string p = Dir().filePath(QStringLiteral("clipart.wmf")).toStdString();
    const auto bytes = bench::ClipArt(1000);
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p;
  }();
  return path;
}

void OpenAndPaint(benchmark::State& state, const std::string& path) {
  TFrmKestal window;
  window.resize(1280, 800);
  window.show();
  for (auto _ : state) {
    if (!window.OpenPhotoFile(QString::fromStdString(path))) {
      state.SkipWithError("the picture did not open");
      return;
    }
    window.repaint();
  }
}

void BM_OpenJpeg48MP(benchmark::State& state) { OpenAndPaint(state, BigJpeg()); }
void BM_OpenWmf1000Records(benchmark::State& state) { OpenAndPaint(state, ClipArtWmf()); }

void BM_Djpeg48MP(benchmark::State& state) { bench::TimeDjpeg(state, BigJpeg()); }

BENCHMARK(BM_OpenJpeg48MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Djpeg48MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_OpenWmf1000Records)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return kestal::bench::GuiBenchMain(argc, argv); }
