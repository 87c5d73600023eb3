// The animated GIF export beside ImageMagick's convert (palette from frame 0, frames
// remapped with Floyd–Steinberg) and ffmpeg's palettegen/paletteuse, on the same 24-bit
// frames: 30 frames of 640 × 960 (a 640 × 480 photo with a full-height reflection),
// 256 colours. Each run reports the time, the file size, the PSNR of the decoded
// frames against the originals (plain, and after a 3 × 3 box blur, which is closer to
// how dithering looks from a normal distance) and the peak memory of the process.
// The tools that are not installed are left out.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/gif_export.h"
#include "imageio/codecs/jpeg_codec.h"
#include "imageio/image_files.h"
#include "render/animation_model.h"
#include "bench_model.h"
#include "bench_shell.h"

namespace {

using namespace kestal;
namespace fs = std::filesystem;

constexpr int kFrames = 30;
constexpr int kWidth = 640;
constexpr int kPhotoHeight = 480;
constexpr int kHeight = 960;

using bench::Have;
using bench::Shell;

// The work folder with the photo, the 30 frames as PPM files, and their RGB bytes.
struct Workload {
  fs::path dir;
  std::string photo;
  std::vector<std::string> frames;  // RGB, 640 × 960 each
};

Bitmap24 StretchRows(const Bitmap24& src, int32_t height) {
  auto out = Bitmap24::Create(src.Width(), height);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t from = static_cast<int32_t>(int64_t{y} * src.Height() / height);
    std::copy(src.Row(from), src.Row(from) + src.Width() * 3, out->Row(y));
  }
  return std::move(out.value());
}

const Workload& Work() {
  static Workload w = [] {
    Workload work;
    work.dir = fs::temp_directory_path() / "kestal-gif-bench";
    fs::create_directories(work.dir);
    // The sample photo stretched to 480 rows, saved once and read back, so the
    // command-line run below decodes exactly these pixels.
    auto rocket = LoadImageFile(std::string(KESTAL_SOURCE_DIR) + "/data/rocket.jpg");
    work.photo = (work.dir / "photo.jpg").string();
    (void)SaveBitmapFile(work.photo, StretchRows(rocket.value(), kPhotoHeight));
    AnimationModel model = bench::FullHeightModel(std::move(LoadImageFile(work.photo).value()), kFrames);
    auto composer = FrameComposer::Create(model, Composition::PhotoAndReflection);
    model.ResetFrameIndex();
    for (int i = 0; i < kFrames; ++i) {
      composer->NextFrame(model);
      const Bitmap24& f = composer->Output();
      std::string rgb;
      rgb.reserve(size_t(kWidth) * kHeight * 3);
      for (int32_t y = 0; y < f.Height(); ++y)
        for (int32_t x = 0; x < f.Width(); ++x) {
          const ColorTriple c = f.Pixel(x, y);
          rgb += char(c.red);
          rgb += char(c.green);
          rgb += char(c.blue);
        }
      char name[32];
      std::snprintf(name, sizeof name, "f%02d.ppm", i);
      std::ofstream(work.dir / name, std::ios::binary)
          << "P6\n" << kWidth << " " << kHeight << "\n255\n" << rgb;
      work.frames.push_back(std::move(rgb));
    }
    return work;
  }();
  return w;
}

// PSNR over all frames; with `blur`, of both sides after a 3 × 3 box blur.
double Psnr(const std::vector<std::string>& a, const std::vector<std::string>& b, bool blur) {
  if (a.size() != b.size()) return 0;
  const auto at = [](const std::string& f, int x, int y, int k, bool box) -> double {
    if (!box) return uint8_t(f[(size_t(y) * kWidth + x) * 3 + k]);
    double s = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int xx = std::clamp(x + dx, 0, kWidth - 1), yy = std::clamp(y + dy, 0, kHeight - 1);
        s += uint8_t(f[(size_t(yy) * kWidth + xx) * 3 + k]);
      }
    return s / 9;
  };
  double se = 0;
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        for (int k = 0; k < 3; ++k, ++n) {
          const double d = at(a[i], x, y, k, blur) - at(b[i], x, y, k, blur);
          se += d * d;
        }
  return se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * n / se);
}

std::vector<std::string> Decode(const std::string& gif) {
  const std::string raw = Shell("ffmpeg -v error -i '" + gif + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -");
  const size_t bytes = size_t(kWidth) * kHeight * 3;
  std::vector<std::string> frames;
  for (size_t at = 0; at + bytes <= raw.size(); at += bytes) frames.push_back(raw.substr(at, bytes));
  return frames;
}

// Runs `command` under /usr/bin/time and returns its peak resident memory in kB.
double PeakKb(const std::string& command) {
  const std::string out = Shell("/usr/bin/time -f 'peak %M' " + command + " 2>&1 >/dev/null | grep '^peak'");
  return out.size() > 5 ? std::stod(out.substr(5)) : 0;
}

void Report(benchmark::State& state, const std::string& gif, const std::string& command) {
  const auto frames = Decode(gif);
  state.counters["frames"] = double(frames.size());
  state.counters["size_kB"] = double(fs::file_size(gif)) / 1024;
  state.counters["psnr_dB"] = Psnr(frames, Work().frames, false);
  state.counters["blur_psnr_dB"] = Psnr(frames, Work().frames, true);
  state.counters["peak_MB"] = PeakKb(command) / 1024;
}

// Our export, in process, from the photo: rendering, reduction and encoding.
void BM_KestalExportGif(benchmark::State& state) {
  const Workload& w = Work();
  AnimationModel model = bench::FullHeightModel(std::move(LoadImageFile(w.photo).value()), kFrames);
  const std::string gif = (w.dir / "kestal.gif").string();
  ExportSettings settings;
  settings.colors = 256;
  for (auto _ : state) {
    auto r = ExportGif(model, gif, settings);
    if (!r) state.SkipWithError(r.error().Line().c_str());
  }
  Report(state, gif,
         std::string(KESTAL_EXPORT_BIN) + " -q -n 30 -p 100 '" + w.photo + "' '" +
             (w.dir / "kestal-cli.gif").string() + "'");
  // The memory the export itself adds, beside the budget of four RGB frames and two
  // frames of indices.
  const double base = PeakKb(std::string(KESTAL_EXPORT_BIN) + " --version") / 1024;
  state.counters["export_MB"] = state.counters["peak_MB"] - base;
  state.counters["budget_MB"] = (4.0 * kWidth * kHeight * 3 + 2.0 * kWidth * kHeight) / (1024 * 1024);
}

// The frames as PPM files through an external tool.
void RunTool(benchmark::State& state, const std::string& tool, const std::string& command, const std::string& gif) {
  if (!Have(tool)) {
    state.SkipWithError((tool + " is not installed").c_str());
    return;
  }
  for (auto _ : state) {
    int status = 0;
    Shell(command, &status);
    if (status != 0) state.SkipWithError((tool + " failed").c_str());
  }
  Report(state, gif, command);
}

void BM_ImageMagickConvert(benchmark::State& state) {
  const Workload& w = Work();
  const std::string d = w.dir.string(), gif = d + "/convert.gif";
  RunTool(state, "convert",
          "sh -c \"convert '" + d + "/f00.ppm' -dither None -colors 256 -unique-colors '" + d +
              "/palette.gif' && convert -delay 12 -loop 0 '" + d + "'/f*.ppm -dither FloydSteinberg -remap '" +
              d + "/palette.gif' '" + gif + "'\"",
          gif);
}

void BM_FfmpegPaletteUse(benchmark::State& state) {
  const Workload& w = Work();
  const std::string d = w.dir.string(), gif = d + "/ffmpeg.gif";
  RunTool(state, "ffmpeg",
          "ffmpeg -v error -y -framerate 100/12 -i '" + d + "/f%02d.ppm' -vf "
          "'split[a][b];[a]palettegen[p];[b][p]paletteuse' '" + gif + "'",
          gif);
}

// The rocket sample stretched to `width` × `height`, nearest pixel.
Bitmap24 StretchedRocket(int32_t width, int32_t height) {
  auto rocket = LoadImageFile(std::string(KESTAL_SOURCE_DIR) + "/data/rocket.jpg");
  const Bitmap24& small = rocket.value();
  auto big = Bitmap24::Create(width, height);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = small.Row(static_cast<int32_t>(int64_t{y} * small.Height() / height));
    uint8_t* to = big->Row(y);
    for (int32_t x = 0; x < width; ++x) std::copy_n(from + 3 * (int64_t{x} * small.Width() / width), 3, to + 3 * x);
  }
  return std::move(big.value());
}

// A 48-megapixel photo, 5 frames at 90 %: frame 1 is 8000 × 11400. Run with one and
// with two threads; the files are the same.
void BM_KestalExportGifLarge(benchmark::State& state) {
  AnimationModel model;
  model.SetFrameCount(5);
  (void)model.SetPhoto(StretchedRocket(8000, 6000));
  const std::string gif = (fs::temp_directory_path() / "kestal-gif-large.gif").string();
  ExportSettings settings;
  settings.colors = 256;
  for (auto _ : state) {
    auto r = ExportGif(model, gif, settings, {}, static_cast<int>(state.range(0)));
    if (!r) state.SkipWithError(r.error().Line().c_str());
  }
  state.counters["size_MB"] = double(fs::file_size(gif)) / (1024 * 1024);
  fs::remove(gif);
}

// As a user runs it: kestal-export -q -n 30 -p 90 on a 4000 × 6000 JPEG (the rocket
// stretched), from reading the photo to the file's close. Reported: the wall time and
// the CPU time of the process over it, which says how much of the two cores it used.
void BM_CliGif4000x6000(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path();
  const std::string photo = (dir / "kestal-gif-4000x6000.jpg").string();
  const std::string gif = (dir / "kestal-gif-4000x6000.gif").string();
  if (!WriteJpegFile(photo, StretchedRocket(4000, 6000))) std::abort();
  const std::string command = std::string(KESTAL_EXPORT_BIN) + " -q -n 30 -p 90 " + photo + " " + gif;
  double wall = 0, cpu = 0;
  for (auto _ : state) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("kestal-export failed");
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
  }
  state.counters["wall_s"] = wall;
  state.counters["cpu_per_wall"] = cpu / wall;
  fs::remove(photo);
  fs::remove(gif);
}

BENCHMARK(BM_CliGif4000x6000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_KestalExportGifLarge)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_KestalExportGif)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ImageMagickConvert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FfmpegPaletteUse)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
