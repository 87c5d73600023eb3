// Decoding a 24-megapixel JPEG with our reader beside libjpeg-turbo's own djpeg on the
// same file (goal: at most 1.2 × djpeg). The file is made once from a smooth synthetic
// picture, so the benchmark needs no large fixture.

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imageio/codecs/jpeg_codec.h"
#include "imageio/image_files.h"
#include "bench_shell.h"

namespace {

using namespace kestal;

const std::string& BigJpeg() {
  static const std::string path = [] {
    std::string p = "/tmp/kestal-bench-24mp.jpg";
    auto b = Bitmap24::Create(6000, 4000);
    for (int y = 0; y < 4000; ++y) {
      uint8_t* row = b->Row(y);
      for (int x = 0; x < 6000; ++x) {
        row[3 * x] = uint8_t(128 + 100 * std::sin(x * 0.01 + y * 0.003));
        row[3 * x + 1] = uint8_t((x ^ y) & 0xFF);
        row[3 * x + 2] = uint8_t(y * 255 / 4000);
      }
    }
    if (!WriteJpegFile(p, *b)) std::abort();
    return p;
  }();
  return path;
}

void BM_ReadJpeg24MP(benchmark::State& state) {
  auto bytes = ReadWholeFile(BigJpeg());
  for (auto _ : state) {
    auto b = ReadJpeg(ByteSpan(bytes.value()), kDefaultPixelLimits);
    benchmark::DoNotOptimize(b.ok());
  }
}

void BM_Djpeg24MP(benchmark::State& state) { bench::TimeDjpeg(state, BigJpeg()); }

BENCHMARK(BM_ReadJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Djpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
