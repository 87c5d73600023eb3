// One reflection frame of each mode beside a memcpy of the same bytes. The renderer
// copies whole rows, so its floor is the memory bandwidth: the goal is at most 1.5 ×
// the memcpy time at 4000 × 3000.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "render/animation_model.h"

namespace {

using namespace kestal;

struct Size {
  int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}, {4000, 3000}};

AnimationModel& ModelFor(int w, int h, WaveMode mode) {
  static AnimationModel model;
  static int mw = 0, mh = 0;
  if (mw != w || mh != h) {
    auto photo = Bitmap24::Create(w, h);
    for (int y = 0; y < h; ++y) std::memset(photo->Row(y), y & 0xFF, size_t(w) * 3);
    (void)model.SetPercent(100);
    (void)model.SetPhoto(std::move(photo.value()));
    mw = w;
    mh = h;
  }
  model.SetMode(mode);
  return model;
}

void BM_Perspective(benchmark::State& state) {
  AnimationModel& m = ModelFor(int(state.range(0)), int(state.range(1)), WaveMode::Perspective);
  for (auto _ : state) {
    m.NextFrame();
    benchmark::DoNotOptimize(m.PaneBitmap().Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(m.PaneBitmap().SizeBytes()));
}

void BM_Regular(benchmark::State& state) {
  AnimationModel& m = ModelFor(int(state.range(0)), int(state.range(1)), WaveMode::Regular);
  for (auto _ : state) {
    m.NextFrame();
    benchmark::DoNotOptimize(m.PaneBitmap().Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(m.PaneBitmap().SizeBytes()));
}

void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = Bitmap24Stride(int32_t(state.range(0))) * size_t(state.range(1));
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const Size& s : kSizes) b->Args({s.w, s.h});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_Perspective)->Apply(Sizes);
BENCHMARK(BM_Regular)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
