// Drawing metafiles: a made clip-art WMF of 1000 records at 1000 × 1000 pixels
// (polygons, ellipses, rounded rectangles, polylines, brush and pen changes and a few
// texts), beside the same picture with no drawing records as the floor (the white
// canvas and the copy into the bitmap), and the shared vector samples when present.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "imageio/codecs/metafile/reader.h"
#include "imageio/image_files.h"
#include "metafile_clipart.h"

namespace {

using namespace kestal;
using Bytes = std::vector<uint8_t>;
using bench::ClipArt;
using bench::Put16;

void Play(benchmark::State& state, const Bytes& file) {
  for (auto _ : state) {
    auto picture = ReadMetafile(ByteSpan(file), kDefaultPixelLimits);
    if (!picture) {
      state.SkipWithError(picture.error().Line().c_str());
      return;
    }
    benchmark::DoNotOptimize(picture->Data());
  }
}

void BM_ClipArt1000Records(benchmark::State& state) {
  static const Bytes file = ClipArt(1000);
  Play(state, file);
}
BENCHMARK(BM_ClipArt1000Records)->Unit(benchmark::kMillisecond);

void BM_EmptyCanvasFloor(benchmark::State& state) {
  static const Bytes file = ClipArt(0);
  Play(state, file);
}
BENCHMARK(BM_EmptyCanvasFloor)->Unit(benchmark::kMillisecond);

// Hostile drawings, each bounded in time: an EMF of `side` pixels with the records
// given as (type, parameter bytes).
void Put32(Bytes& b, uint32_t v) { Put16(b, int(v & 0xFFFF)), Put16(b, int(v >> 16)); }
Bytes Emf(int side, const std::vector<std::pair<uint32_t, Bytes>>& records) {
  Bytes b;
  const uint32_t frame = uint32_t(side) * 2540 / 96;
  // Type, size, bounds, frame, signature, version, bytes, records; handles, reserved;
  // description, palette; the reference device in pixels and millimetres.
  for (uint32_t v : {1u, 88u, 0u, 0u, uint32_t(side - 1), uint32_t(side - 1), 0u, 0u, frame, frame, 0x464D4520u,
                     0x10000u, 0u, 0u}) {
    Put32(b, v);
  }
  Put16(b, 1), Put16(b, 0);
  for (uint32_t v : {0u, 0u, 0u, 960u, 960u, 254u, 254u}) Put32(b, v);
  for (const auto& [type, params] : records) {
    Put32(b, type), Put32(b, uint32_t(8 + params.size()));
    b.insert(b.end(), params.begin(), params.end());
  }
  for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) Put32(b, v);
  return b;
}

// Pseudo-random points across a picture, as 16-bit pairs after a bounds box and count.
Bytes Points16(int count, int side, uint32_t seed) {
  Bytes p;
  for (uint32_t v : {0u, 0u, uint32_t(side), uint32_t(side), uint32_t(count)}) Put32(p, v);
  for (int i = 0; i < 2 * count; ++i) Put16(p, int(((seed = seed * 1103515245 + 12345) >> 16) % uint32_t(side)));
  return p;
}

// One polyline of 100 000 random points: its pieces cross each other everywhere.
void BM_Polyline100k(benchmark::State& state) {
  static const Bytes file = Emf(400, {{87, Points16(100'000, 400, 1)}});
  Play(state, file);
}
BENCHMARK(BM_Polyline100k)->Unit(benchmark::kMillisecond)->Iterations(1);

// A path of 10 000 random triangles made the clipping region, then a fill under it.
void BM_PathClip10kFigures(benchmark::State& state) {
  static const Bytes file = [] {
    std::vector<std::pair<uint32_t, Bytes>> records{{59, {}}};
    for (int i = 0; i < 10'000; ++i) records.push_back({86, Points16(3, 400, 7 + i)});
    Bytes mode, box;
    Put32(mode, 5);
    for (uint32_t v : {0u, 0u, 400u, 400u}) Put32(box, v);
    records.insert(records.end(), {{60, {}}, {67, mode}, {43, box}});
    return Emf(400, records);
  }();
  Play(state, file);
}
BENCHMARK(BM_PathClip10kFigures)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1000 long lines drawn with an alternate-style (every other pixel) pen on 4000 pixels.
void BM_AlternatePen1000Lines(benchmark::State& state) {
  static const Bytes file = [] {
    Bytes pen;
    for (uint32_t v : {1u, 0u, 0u, 0u, 0u, 8u, 1u, 0u, 0u, 0u, 0u}) Put32(pen, v);
    Bytes select;
    Put32(select, 1);
    std::vector<std::pair<uint32_t, Bytes>> records{{95, pen}, {37, select}};
    uint32_t seed = 3;
    for (int i = 0; i < 2000; ++i) {
      Bytes point;
      for (int k = 0; k < 2; ++k) Put32(point, ((seed = seed * 1103515245 + 12345) >> 16) % 4000);
      records.push_back({i % 2 ? 54u : 27u, point});  // LineTo after MoveToEx
    }
    return Emf(4000, records);
  }();
  Play(state, file);
}
BENCHMARK(BM_AlternatePen1000Lines)->Unit(benchmark::kMillisecond)->Iterations(1);

// Nearly a million SaveDC records (the most a file may hold): both state stacks stay
// at their bounded depth.
void BM_SaveDcMillion(benchmark::State& state) {
  static const Bytes file = Emf(400, std::vector<std::pair<uint32_t, Bytes>>(999'000, {33u, Bytes()}));
  Play(state, file);
}
BENCHMARK(BM_SaveDcMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Sample(benchmark::State& state, const char* relative) {
  const std::string path = std::string(KESTAL_SOURCE_DIR) + "/../shared/samples/formats/wmf-emf/" + relative;
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    state.SkipWithError("the shared sample folder is absent");
    return;
  }
  Play(state, bytes.value());
}
BENCHMARK_CAPTURE(BM_Sample, clock_wmf, "ImageMagick/clock.wmf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Sample, wizard_wmf, "ImageMagick/wizard.wmf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Sample, test000_emf, "libemf2svg/test-000.emf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Sample, libuemf_wmf, "libemf2svg/test_libuemf_ref.wmf")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
