// Decoding speed of the hand-written readers on a 6-megapixel photo-sized picture, and
// the time to refuse a header that claims 100 000 × 100 000 pixels.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "imageio/codecs/bmp_reader.h"
#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/pnm_reader.h"
#include "imageio/codecs/tga_codec.h"
#include "imageio/image_registry.h"

namespace {

using namespace kestal;

Bitmap24 Picture() {
  auto b = Bitmap24::Create(3000, 2000);
  uint32_t s = 1;
  for (int32_t y = 0; y < b->Height(); ++y) {
    uint8_t* row = b->Row(y);
    for (int32_t x = 0; x < b->Width() * 3; ++x) row[x] = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
  }
  return std::move(b.value());
}

std::vector<uint8_t> Ppm(const Bitmap24& b) {
  const std::string header = "P6\n" + std::to_string(b.Width()) + " " + std::to_string(b.Height()) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = b.Row(y);
    for (int32_t x = 0; x < b.Width(); ++x, p += 3) out.insert(out.end(), {p[2], p[1], p[0]});
  }
  return out;
}

void Decode(benchmark::State& state, ImageReader reader, const std::vector<uint8_t>& file) {
  for (auto _ : state) {
    auto r = reader(ByteSpan(file), kDefaultPixelLimits);
    if (!r.ok()) state.SkipWithError(r.error().cause.c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3000 * 2000 * 3);
}

void BM_ReadBmp24(benchmark::State& state) {
  static const std::vector<uint8_t> file = EncodeBmp(Picture());
  Decode(state, ReadBmp, file);
}
void BM_ReadTga24(benchmark::State& state) {
  static const std::vector<uint8_t> file = EncodeTga(Picture());
  Decode(state, ReadTga, file);
}
void BM_ReadPpm(benchmark::State& state) {
  static const std::vector<uint8_t> file = Ppm(Picture());
  Decode(state, ReadPnm, file);
}

void BM_RefuseHugeHeader(benchmark::State& state) {
  std::vector<uint8_t> bmp(54 + 64, 0);
  const uint8_t header[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                            0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0, 1, 0, 24, 0};  // 100000 × 100000
  std::copy(std::begin(header), std::end(header), bmp.begin());
  for (auto _ : state) {
    auto r = ReadBmp(ByteSpan(bmp), kDefaultPixelLimits);
    if (r.ok()) state.SkipWithError("a 100000 x 100000 header was accepted");
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK(BM_ReadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTga24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPpm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefuseHugeHeader)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
