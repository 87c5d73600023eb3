// The shared formats beside the command-line tools people would otherwise use, on the
// same frames: 30 frames of a photo stretched to 480 rows with a full-height
// reflection, for two photos (the argument: 0 the bundled rocket, 640 × 960; 1 the
// shared sample coffee.png, 600 × 960, when present). MP4 beside `ffmpeg -c:v libx264
// -crf 18` reading the frames as BMP files; animated WebP beside `img2webp` and ffmpeg's
// libwebp_anim at the same quality.
// Ours starts from the photo and renders every frame, theirs start from frames made in
// advance. Each run reports the time, the file size and the peak memory of a process
// doing the same export (kestal-export for ours).

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "export/share_export.h"
#include "imageio/image_files.h"
#include "render/animation_model.h"
#include "bench_model.h"
#include "bench_shell.h"

namespace {

using namespace kestal;
namespace fs = std::filesystem;

constexpr int kFrames = 30;
constexpr int kPhotoHeight = 480;

using bench::Have;
using bench::Shell;

double PeakMb(const std::string& command) {
  const std::string out = Shell("/usr/bin/time -f 'peak %M' " + command + " 2>&1 >/dev/null | grep '^peak'");
  return out.size() > 5 ? std::stod(out.substr(5)) / 1024 : 0;
}

struct Workload {
  fs::path dir;
  std::string photo;
};

const char* PhotoPath(int which) {
  return which == 0 ? KESTAL_SOURCE_DIR "/data/rocket.jpg" : KESTAL_SOURCE_DIR "/../shared/samples/coffee.png";
}

// The photo stretched to 480 rows, and the 30 frames as BMP and PNG files.
const Workload& Work(int which) {
  static Workload works[2];
  Workload& work = works[which];
  if (!work.photo.empty()) return work;
  {
    work.dir = fs::temp_directory_path() / ("kestal-share-bench-" + std::to_string(which));
    fs::create_directories(work.dir);
    auto source = LoadImageFile(PhotoPath(which));
    auto stretched = Bitmap24::Create(source->Width(), kPhotoHeight);
    for (int32_t y = 0; y < kPhotoHeight; ++y) {
      const uint8_t* from = source->Row(static_cast<int32_t>(int64_t{y} * source->Height() / kPhotoHeight));
      std::copy(from, from + source->Width() * 3, stretched->Row(y));
    }
    work.photo = (work.dir / "photo.bmp").string();
    (void)SaveBitmapFile(work.photo, *stretched);
    AnimationModel model = bench::FullHeightModel(std::move(stretched.value()), kFrames);
    auto composer = FrameComposer::Create(model, Composition::PhotoAndReflection);
    model.ResetFrameIndex();
    for (int i = 0; i < kFrames; ++i) {
      composer->NextFrame(model);
      char name[32];
      std::snprintf(name, sizeof name, "f%02d.bmp", i);
      (void)SaveBitmapFile((work.dir / name).string(), composer->Output());
    }
    // img2webp reads PNG, not BMP.
    Shell("cd '" + work.dir.string() + "' && for f in f*.bmp; do convert \"$f\" \"${f%.bmp}.png\"; done");
  }
  return work;
}

bool PhotoMissing(benchmark::State& state) {
  if (fs::exists(PhotoPath(static_cast<int>(state.range(0))))) return false;
  state.SkipWithError("the sample photo is absent");
  return true;
}

void Ours(benchmark::State& state, ExportFormat format, const char* file, const char* cliOptions) {
  if (PhotoMissing(state)) return;
  const Workload& w = Work(static_cast<int>(state.range(0)));
  AnimationModel model = bench::FullHeightModel(std::move(LoadImageFile(w.photo).value()), kFrames);
  const std::string out = (w.dir / file).string();
  ExportSettings settings;
  settings.format = format;
  for (auto _ : state) {
    if (Status s = ExportClip(model, out, settings); !s) state.SkipWithError(s.error().Line().c_str());
  }
  state.counters["size_kB"] = double(fs::file_size(out)) / 1024;
  state.counters["peak_MB"] = PeakMb(std::string(KESTAL_EXPORT_BIN) + " -q -n 30 -p 100 " + cliOptions + " '" +
                                     w.photo + "' '" + (w.dir / "cli").string() + file + "'");
  // What four frames of 24-bit pixels take, the budget beside the encoder's own.
  state.counters["frames4_MB"] = 4.0 * model.Photo().Width() * 960 * 3 / (1024 * 1024);
}

void Theirs(benchmark::State& state, const std::string& tool, const std::string& command, const char* file) {
  if (!Have(tool)) {
    state.SkipWithError((tool + " is not installed").c_str());
    return;
  }
  if (PhotoMissing(state)) return;
  for (auto _ : state) {
    int status = 0;
    Shell(command, &status);
    if (status != 0) state.SkipWithError((tool + " failed").c_str());
  }
  state.counters["size_kB"] = double(fs::file_size(Work(static_cast<int>(state.range(0))).dir / file)) / 1024;
  state.counters["peak_MB"] = PeakMb(command);
}

void BM_KestalMp4(benchmark::State& state) { Ours(state, ExportFormat::Mp4, "kestal.mp4", ""); }

void BM_FfmpegX264(benchmark::State& state) {
  const std::string d = Work(static_cast<int>(state.range(0))).dir.string();
  Theirs(state, "ffmpeg",
         "ffmpeg -v error -y -framerate 8 -i '" + d + "/f%02d.bmp' -c:v libx264 -crf 18 -pix_fmt yuv420p '" + d +
             "/ffmpeg.mp4'",
         "ffmpeg.mp4");
}

void BM_KestalWebP(benchmark::State& state) { Ours(state, ExportFormat::WebP, "kestal.webp", ""); }

void BM_Img2webp(benchmark::State& state) {
  const std::string d = Work(static_cast<int>(state.range(0))).dir.string();
  Theirs(state, "img2webp", "sh -c \"cd '" + d + "' && img2webp -loop 0 -lossy -q 90 -d 120 f*.png -o img2webp.webp\"",
         "img2webp.webp");
}

void BM_FfmpegWebPAnim(benchmark::State& state) {
  const std::string d = Work(static_cast<int>(state.range(0))).dir.string();
  Theirs(state, "ffmpeg",
         "ffmpeg -v error -y -framerate 100/12 -i '" + d + "/f%02d.bmp' -c:v libwebp_anim -quality 90 -loop 0 '" + d +
             "/ffmpeg.webp'",
         "ffmpeg.webp");
}

BENCHMARK(BM_KestalMp4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FfmpegX264)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_KestalWebP)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_Img2webp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FfmpegWebPAnim)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
