// AVI export throughput beside dd writing the same bytes in frame-sized blocks. Both
// write into a fresh temporary folder and are timed from start to the file's close; the
// goal is at least 70 % of dd's bytes per second.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "export/avi_export.h"

namespace {

using namespace kestal;
namespace fs = std::filesystem;

// A 640 x 505 photo with its 90 % reflection makes 640 x 960 frames (1,843,200 bytes).
constexpr int32_t kWidth = 640;
constexpr int32_t kPhotoHeight = 505;
constexpr int kFrameCount = 30;
constexpr int kRepetitions = 3;

struct Scratch {
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "kestal-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

AnimationModel BenchModel() {
  AnimationModel model;
  model.SetFrameCount(kFrameCount);
  auto photo = Bitmap24::Create(kWidth, kPhotoHeight);
  for (int32_t y = 0; y < kPhotoHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      photo->SetPixel(x, y, ColorTriple{uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
  (void)model.SetPhoto(std::move(photo.value()));
  return model;
}

template <class Run>
void TimeRuns(benchmark::State& state, Run run, uint64_t bytes) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) {
      state.SkipWithError("the write failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The whole export: rendering, composing and writing every frame.
void BM_AviExport(benchmark::State& state) {
  Scratch dir;
  AnimationModel model = BenchModel();
  const std::string path = (dir.path / "clip.avi").string();
  const ExportSettings settings{.format = ExportFormat::Avi, .repetitions = kRepetitions};
  TimeRuns(state, [&] { return ExportAvi(model, path, settings).ok(); },
           uint64_t(kFrameCount) * kRepetitions * Bitmap24Stride(kWidth) * 960);
  state.counters["frames"] = kFrameCount * kRepetitions;
}
BENCHMARK(BM_AviExport)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

// The writer alone, fed one ready frame.
void BM_AviWriter(benchmark::State& state) {
  Scratch dir;
  auto frame = Bitmap24::Create(kWidth, 960);
  const std::string path = (dir.path / "clip.avi").string();
  const int count = kFrameCount * kRepetitions;
  TimeRuns(state, [&] {
    TCreateAvi avi(path);
    for (int i = 0; i < count; ++i)
      if (avi.AddFrame(frame.value()) != kAviOk) return false;
    return avi.Close().ok();
  }, uint64_t(count) * frame->SizeBytes());
}
BENCHMARK(BM_AviWriter)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

// dd writing the same number of bytes in blocks of one frame chunk.
void BM_DdSameBytes(benchmark::State& state) {
  Scratch dir;
  const size_t block = 8 + Bitmap24Stride(kWidth) * 960;
  const int count = kFrameCount * kRepetitions;
  const std::string command = "dd if=/dev/zero of=" + (dir.path / "dd.bin").string() +
                              " bs=" + std::to_string(block) + " count=" + std::to_string(count) + " status=none";
  TimeRuns(state, [&] { return std::system(command.c_str()) == 0; }, uint64_t(count) * block);
}
BENCHMARK(BM_DdSameBytes)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

// End to end as a user runs it: kestal-export -q -n 30 -R 10 -p 100 on rocket.jpg
// (300 frames of 640 x 854, 492 MB), beside dd writing as many bytes in blocks of one
// frame chunk, the two taking turns in each repetition so that both see the same
// load; the median of the repetitions. The goal is at least 80 % of dd's throughput.
// Each starts after a sync (not timed): the benchmarks before this one leave gigabytes
// of dirty pages, and whichever command ran into their writeback was throttled by it.
constexpr int kCliFrames = 300;
constexpr size_t kCliChunk = 8 + 640 * 3 * 854;
constexpr int kCliRepetitions = 5;

double Seconds(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The time is the export's; the counters give dd's time and the export's share of
// dd's throughput (dd's time over the export's) in the same repetition.
void BM_CliAviBesideDd(benchmark::State& state) {
  Scratch dir;
  const std::string avi = (dir.path / "s.avi").string();
  const std::string export_command = std::string(KESTAL_EXPORT_BIN) + " -q -n 30 -R 10 -p 100 " +
                                     KESTAL_SOURCE_DIR + "/data/rocket.jpg " + avi + " >/dev/null";
  const std::string dd_command = "dd if=/dev/zero of=" + (dir.path / "dd.bin").string() +
                                 " bs=" + std::to_string(kCliChunk) + " count=" + std::to_string(kCliFrames) +
                                 " status=none";
  double mine = 0, dd = 0;
  for (auto _ : state) {
    ::sync();
    mine = Seconds(export_command);
    fs::remove(avi);
    ::sync();
    dd = Seconds(dd_command);
    fs::remove(dir.path / "dd.bin");
    if (mine <= 0 || dd <= 0) {
      state.SkipWithError("the export or dd failed");
      return;
    }
    state.SetIterationTime(mine);
  }
  state.counters["dd_ms"] = dd * 1000;
  state.counters["of_dd"] = dd / mine;
}
BENCHMARK(BM_CliAviBesideDd)->UseManualTime()->Iterations(1)->Repetitions(kCliRepetitions)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
