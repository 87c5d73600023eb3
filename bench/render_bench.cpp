// One reflection frame of each mode, and one with every water control on, beside a
// memcpy of the same bytes. The renderer
// copies whole rows, so its floor is the memory bandwidth: the goal is at most 1.5 ×
// the memcpy time at 4000 × 3000.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

void RunFrames(benchmark::State& state, WaveMode mode) {
  AnimationModel& m = ModelFor(int(state.range(0)), int(state.range(1)), mode);
  for (auto _ : state) {
    m.NextFrame();
    benchmark::DoNotOptimize(m.PaneBitmap().Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(m.PaneBitmap().SizeBytes()));
}

void BM_Perspective(benchmark::State& state) { RunFrames(state, WaveMode::Perspective); }
void BM_Regular(benchmark::State& state) { RunFrames(state, WaveMode::Regular); }
// Natural water samples every pixel bilinearly from a 2-D field: its goal is at most
// 3 × the memcpy time on one core. A pane of half a megapixel and more is rendered on
// two threads, so this is the wall time of two cores.
void BM_Natural(benchmark::State& state) { RunFrames(state, WaveMode::Natural); }

// The same frame on one core. The goal is stated for this one; the other kernels
// beside it show what the widest vector kernel gains.
void NaturalOneCore(benchmark::State& state, natural::Kernel kernel) {
  AnimationModel& m = ModelFor(int(state.range(0)), int(state.range(1)), WaveMode::Natural);
  Bitmap24 pane = m.PaneBitmap().Clone().value();
  NaturalRendering rendering;
  rendering.kernel = kernel;
  rendering.oneThread = true;
  // Made once for the mirror, as the model makes it.
  const NaturalGlintMap glintMap = MakeNaturalGlintMap(m.MirrorBitmap());
  rendering.glintMap = &glintMap;
  int frame = 0;
  for (auto _ : state) {
    RenderNaturalWave(m.MirrorBitmap(), pane, frame, m.FrameCount(), m.NaturalWater(), m.WaterColor(), 100, rendering);
    frame = (frame + 1) % m.FrameCount();
    benchmark::DoNotOptimize(pane.Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pane.SizeBytes()));
}
void BM_NaturalOneCore(benchmark::State& state) { NaturalOneCore(state, natural::BestKernel()); }
void BM_NaturalOneCoreAvx2(benchmark::State& state) {
  if (!natural::KernelAvailable(natural::Kernel::Avx2)) return state.SkipWithError("no AVX2");
  NaturalOneCore(state, natural::Kernel::Avx2);
}
void BM_NaturalOneCoreScalar(benchmark::State& state) { NaturalOneCore(state, natural::Kernel::Scalar); }

#if defined(__x86_64__)
// The least a natural frame's fetches cost on this CPU: for each pixel two 8-byte loads
// (an upper and a lower row) at scattered places in a buffer the first-level cache
// holds, assembled four pixels to a 256-bit register as the sampling kernels assemble
// them, and nothing else: no arithmetic, no memory traffic, no field.
__attribute__((target("avx2"))) void BM_NaturalFetchFloor(benchmark::State& state) {
  const size_t pixels = size_t(state.range(0)) * size_t(state.range(1));
  constexpr size_t kRowBytes = 8 << 10;
  std::vector<uint8_t> rows(2 * kRowBytes + 8, 7);
  std::vector<int32_t> at(4096);
  for (size_t i = 0; i < at.size(); ++i) at[i] = int32_t((i * 2654435761u) % kRowBytes);
  const auto pair = [](const uint8_t* base, const int32_t* a) {
    const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + a[0]));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(base + a[1])));
  };
  for (auto _ : state) {
    __m256i sum = _mm256_setzero_si256();
    for (size_t done = 0; done < pixels; done += at.size())
      for (size_t i = 0; i < at.size(); i += 4)
        for (const uint8_t* base : {rows.data(), rows.data() + kRowBytes})
          sum = _mm256_xor_si256(sum, _mm256_inserti128_si256(_mm256_castsi128_si256(pair(base, &at[i])),
                                                              pair(base, &at[i + 2]), 1));
    benchmark::DoNotOptimize(sum);
  }
}
#endif

// Every water control on: the line at 90 %, tint, a smooth fade, a blur and stronger
// waves. Tint, fade and blur are made once, with the mirror, so the frame costs what a
// frame without them costs; the figure to compare is the bytes per second.
void BM_AllWaterEffects(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  static AnimationModel model;
  static int mw = 0, mh = 0;
  if (mw != w || mh != h) {
    WaterSettings water;
    water.line = {90, WaterLine::Unit::Percent};
    water.tintPercent = 30;
    water.fadePercent = 60;
    water.fadeCurve = FadeCurve::Smooth;
    water.blurRadius = 4;
    water.strengthPercent = 150;
    (void)model.SetWater(water);
    (void)model.SetPercent(100);
    (void)model.SetPhoto(std::move(ModelFor(w, h, WaveMode::Perspective).Photo().Clone().value()));
    mw = w;
    mh = h;
  }
  for (auto _ : state) {
    model.NextFrame();
    benchmark::DoNotOptimize(model.PaneBitmap().Data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(model.PaneBitmap().SizeBytes()));
}

// What a change of tint, fade or blur costs once: the mirror made again with every
// effect on (the blur dominates).
void BM_WaterMirrorRebuild(benchmark::State& state) {
  const Bitmap24& photo = ModelFor(int(state.range(0)), int(state.range(1)), WaveMode::Perspective).Photo();
  WaterSettings water;
  water.tintPercent = 30;
  water.fadePercent = 60;
  water.blurRadius = 4;
  for (auto _ : state) {
    auto mirror = MakeWaterMirror(photo, photo.Height(), photo.Height(), water);
    benchmark::DoNotOptimize(mirror->Data());
  }
}

void CopyBytes(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Memcpy(benchmark::State& state) {
  CopyBytes(state, Bitmap24Stride(int32_t(state.range(0))) * size_t(state.range(1)));
}

// The bytes of the all-effects pane: the reflection of the 90 % above the line.
void BM_MemcpyWaterPane(benchmark::State& state) {
  const int h = ReflectionHeight(ReflectionHeight(int(state.range(1)), 90), 100);
  CopyBytes(state, Bitmap24Stride(int32_t(state.range(0))) * size_t(h));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const Size& s : kSizes) b->Args({s.w, s.h});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_Perspective)->Apply(Sizes);
BENCHMARK(BM_Regular)->Apply(Sizes);
BENCHMARK(BM_Natural)->Apply(Sizes);
BENCHMARK(BM_NaturalOneCore)->Apply(Sizes);
BENCHMARK(BM_NaturalOneCoreAvx2)->Apply(Sizes);
BENCHMARK(BM_NaturalOneCoreScalar)->Apply(Sizes);
#if defined(__x86_64__)
BENCHMARK(BM_NaturalFetchFloor)->Apply(Sizes);
#endif
BENCHMARK(BM_MemcpyWaterPane)->Apply(Sizes);
BENCHMARK(BM_AllWaterEffects)->Apply(Sizes);
BENCHMARK(BM_WaterMirrorRebuild)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
