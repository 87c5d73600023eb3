// Decoding 12-megapixel legacy files (4000 × 3000) from memory: the run-length readers
// (Dr. Halo, Alias/Wavefront) and the raw indexed one (Animator Pro PIC), beside a
// plain copy of the same number of 24-bit pixels as the floor. The files are made once
// from a synthetic picture of short runs and literals, so no large fixture is needed.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imageio/codecs/autodesk_reader.h"
#include "imageio/codecs/drhalo_reader.h"
#include "imageio/codecs/rla_reader.h"
#include "imageio/image_registry.h"

namespace {

using namespace kestal;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 4000, kHeight = 3000;

uint8_t Sample(int x, int y, int c) { return uint8_t(((x / 7) * 13 + (y / 5) * 7 + c * 50) & 0xFF); }

void Put16LE(Bytes& b, unsigned v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }

// Runs of seven equal samples coded as runs; the codes differ per format.
const Bytes& DrHaloFile() {
  static const Bytes file = [] {
    Bytes b;
    Put16LE(b, kWidth), Put16LE(b, kHeight), Put16LE(b, 0);
    for (int y = 0; y < kHeight; ++y) {
      Bytes line;
      for (int x = 0; x < kWidth; x += 7) line.insert(line.end(), {uint8_t(0x80 | std::min(7, kWidth - x)), Sample(x, y, 0)});
      line.push_back(0);
      Put16LE(b, unsigned(line.size()));
      b.insert(b.end(), line.begin(), line.end());
    }
    return b;
  }();
  return file;
}

const Bytes& RlaFile() {
  static const Bytes file = [] {
    Bytes b(740, 0);
    auto put = [&](size_t at, int v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); };
    put(2, kWidth - 1), put(6, kHeight - 1), put(10, kWidth - 1), put(14, kHeight - 1);
    put(20, 3), put(26, 0xFFFE), put(658, 8);
    b.resize(740 + 4 * kHeight);
    for (int i = 0; i < kHeight; ++i) {
      const uint32_t offset = uint32_t(b.size());
      for (int k = 0; k < 4; ++k) b[740 + 4 * i + k] = uint8_t(offset >> (24 - 8 * k));
      for (int c = 0; c < 3; ++c) {
        Bytes record;
        for (int x = 0; x < kWidth; x += 7) record.insert(record.end(), {uint8_t(std::min(7, kWidth - x) - 1), Sample(x, i, c)});
        b.insert(b.end(), {uint8_t(record.size() >> 8), uint8_t(record.size())});
        b.insert(b.end(), record.begin(), record.end());
      }
    }
    return b;
  }();
  return file;
}

const Bytes& ProPictureFile() {
  static const Bytes file = [] {
    Bytes b(64, 0);
    b[4] = 0x00, b[5] = 0x95, b[6] = uint8_t(kWidth), b[7] = uint8_t(kWidth >> 8);
    b[8] = uint8_t(kHeight), b[9] = uint8_t(kHeight >> 8), b[18] = 8;
    const uint32_t size = 6 + uint32_t(kWidth) * kHeight;
    b.insert(b.end(), {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24), 1, 0});
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) b.push_back(Sample(x, y, 0));
    return b;
  }();
  return file;
}

void Decode(benchmark::State& state, ImageReader reader, const Bytes& file) {
  for (auto _ : state) {
    auto b = reader(ByteSpan(file), kDefaultPixelLimits);
    if (!b.ok()) state.SkipWithError(b.error().cause.c_str());
    benchmark::DoNotOptimize(b);
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_DrHalo12MP(benchmark::State& state) { Decode(state, ReadDrHalo, DrHaloFile()); }
void BM_Rla12MP(benchmark::State& state) { Decode(state, ReadRla, RlaFile()); }
void BM_AnimatorProPic12MP(benchmark::State& state) { Decode(state, ReadAutodesk, ProPictureFile()); }

// The floor: allocating and filling a picture of the same size.
void BM_Copy12MP(benchmark::State& state) {
  std::vector<uint8_t> source(size_t(kWidth) * 3 * kHeight, 7);
  for (auto _ : state) {
    auto b = Bitmap24::Create(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) std::memcpy(b->Row(y), source.data() + size_t(y) * kWidth * 3, size_t(kWidth) * 3);
    benchmark::DoNotOptimize(b);
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

BENCHMARK(BM_DrHalo12MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rla12MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnimatorProPic12MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy12MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
