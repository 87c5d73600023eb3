#include "export/gif_export.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "imageio/color_reduce.h"
#include "imageio/gif_writer.h"
#include "imageio/image_files.h"
#include "text/text_utils.h"

namespace kestal {

int GifColorCountForChoice(int itemIndex) {
  constexpr int kChoices = static_cast<int>(std::size(kGifColorCounts));
  return itemIndex >= 0 && itemIndex < kChoices ? kGifColorCounts[itemIndex] : kGifColorCounts[kChoices - 1];
}

int GifDelayForInterval(int intervalMs) { return intervalMs / 10; }

namespace {

// Runs the frames' jobs (reduction onto the shared palette, then LZW encoding) on up to
// `threads` threads and hands the results back in the order they were started. A job
// depends on its own pixels and the palette alone, so the file is the same whatever the
// number of threads. At most `threads` jobs run at once; a finished job keeps only its
// encoded bytes until its turn to be written, so a long first frame does not hold up
// the short ones behind it.
class FramePipeline {
 public:
  using Job = std::function<Result<EncodedGifFrame>()>;

  explicit FramePipeline(int threads) : threads_(std::max(1, threads)) {}

  bool Empty() const { return in_flight_.empty(); }

  // Waits until fewer than `threads` jobs are running: whichever job ends first frees
  // the slot, not necessarily the oldest (frame 1, the whole picture, runs longest).
  void WaitForSlot() {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return running_ < threads_; });
  }

  bool FrontReady() const {
    return !in_flight_.empty() && in_flight_.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  void Start(Job job) {
    if (threads_ == 1) {
      std::promise<Result<EncodedGifFrame>> done;
      done.set_value(Run(job));
      in_flight_.push_back(done.get_future());
    } else {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running_;
      }
      in_flight_.push_back(std::async(std::launch::async, [this, job = std::move(job)] {
        // Counted out however the job ends, before its result becomes ready.
        struct Finish {
          FramePipeline* pipeline;
          ~Finish() {
            {
              std::lock_guard<std::mutex> lock(pipeline->mutex_);
              --pipeline->running_;
            }
            pipeline->finished_.notify_all();
          }
        } finish{this};
        return Run(job);
      }));
    }
  }

  // The oldest frame's result, once it is ready.
  Result<EncodedGifFrame> Next() {
    Result<EncodedGifFrame> r = in_flight_.front().get();
    in_flight_.pop_front();
    return r;
  }

 private:
  static Result<EncodedGifFrame> Run(const Job& job) {
    try {
      return job();
    } catch (const std::bad_alloc&) {
      return Error::NoMemory("not enough memory for a frame");
    }
  }

  int threads_;
  std::mutex mutex_;
  std::condition_variable finished_;
  int running_ = 0;
  // Last, so that its futures wait for their jobs before the members the jobs use go.
  std::deque<std::future<Result<EncodedGifFrame>>> in_flight_;
};

// A pane copy, its indices and a nearest-colour map of the palette, handed back once
// the frame is encoded and reused by a later frame: a large frame's fresh memory costs
// about as much again as the copy itself, in page faults, and the map keeps what it
// learnt of the palette. No more buffers exist than frames in flight, plus frame 1's map.
struct FrameBuffers {
  Bitmap24 pixels;
  std::vector<uint8_t> indices;
  std::unique_ptr<NearestColorMap> map;
};

class BufferPool {
 public:
  // `pixels`: how many pixels each map will serve, the frames together.
  BufferPool(const Palette& palette, int64_t pixels) : palette_(palette), pixels_(pixels) {}

  // Buffers holding a copy of `pane` and a map of the palette.
  Result<FrameBuffers> Take(const Bitmap24& pane) {
    FrameBuffers b;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // One that already holds a pane-sized copy first, so that frame 1's map alone
      // never adds a copy.
      auto it = std::find_if(free_.begin(), free_.end(), [&](const FrameBuffers& f) {
        return f.pixels.Width() == pane.Width() && f.pixels.Height() == pane.Height();
      });
      if (it == free_.end() && !free_.empty()) it = free_.end() - 1;
      if (it != free_.end()) {
        b = std::move(*it);
        free_.erase(it);
      }
    }
    if (!b.map) b.map = std::make_unique<NearestColorMap>(palette_, pixels_);
    if (b.pixels.Width() == pane.Width() && b.pixels.Height() == pane.Height()) {
      b.pixels.Draw(pane, 0, 0);
    } else {
      auto copy = pane.Clone();
      if (!copy) return copy.error();
      b.pixels = std::move(copy.value());
    }
    return b;
  }

  void Give(FrameBuffers b) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(b));
  }

 private:
  const Palette& palette_;
  const int64_t pixels_;
  std::mutex mutex_;
  std::vector<FrameBuffers> free_;
};

// Maps `pixels` onto the palette with Floyd–Steinberg dithering, the rows from
// `steadyFrom` on as animation frames, and encodes the indices.
EncodedGifFrame DitherAndEncode(const Bitmap24& pixels, NearestColorMap& map, int32_t steadyFrom, int codeSize,
                                std::vector<uint8_t>& indices, EncodedGifFrame frame) {
  MapStillAboveSteady(pixels, map, steadyFrom, indices);
  frame.data = EncodeGifImageData(indices.data(), indices.size(), codeSize);
  return frame;
}

Status WriteReady(FramePipeline& pipeline, GifWriter& writer) {
  auto frame = pipeline.Next();
  if (!frame) return frame.error();
  return writer.AddEncodedFrame(frame.value());
}

Status WriteAnimation(AnimationModel& model, GifWriter& writer, const std::string& path,
                      const ExportSettings& settings, const ExportProgress& progress, int threads,
                      GifExportReport& report) {
  // Every frame must fit the GIF's 16-bit fields; refuse before the file exists.
  if (auto size = CheckOutputSize(model, settings.composition, ExportFormat::Gif); !size) return size.error();
  auto composer = FrameComposer::Create(model, settings.composition);
  if (!composer) return composer.error();
  const Bitmap24& output = composer->Output();
  const Bitmap24& pane = model.PaneBitmap();
  const int count = model.FrameCount();
  const int delay = GifDelayForInterval(settings.intervalMs);
  const int32_t y0 = composer->Y0();
  const int colors = settings.colors;
  model.ResetFrameIndex();

  // Frame 1: the whole output, dithered onto its own optimal palette. The palette is
  // computed here; the dithering runs as the first job, beside the next frames'. The
  // photo above the reflection is shown for the whole animation and dithered as a still
  // picture; the reflection below it is dithered as the later frames' reflections are,
  // so that where it does not change it matches them.
  if (progress) progress(1, count);
  composer->NextFrame(model);
  const Palette palette = ComputePalette(output, 1 << PaletteBitsForCount(colors));
  if (Status s = writer.Open(path, output.Width(), output.Height(), palette); !s) return s;
  const int code_size = writer.CodeSize();
  report.width = output.Width();
  report.height = output.Height();

  // The maps (one a frame in flight, and frame 1's) share the animation's pixels.
  const int64_t all_pixels = int64_t{output.Width()} * output.Height() +
                             int64_t{pane.Width()} * pane.Height() * (count - 1);
  const int64_t pixels_per_map = all_pixels / (threads + 1);
  BufferPool pool(palette, pixels_per_map);  // before the pipeline: jobs still running at an early return give buffers back
  FramePipeline pipeline(threads);
  // A reflection without rows (a one-row photo at 30 %) leaves nothing to change;
  // such frames repeat the first pixel of frame 1, as a GIF image needs at least one.
  uint8_t first_pixel = 0;
  pipeline.Start([&] {
    FrameBuffers b;
    b.map = std::make_unique<NearestColorMap>(palette, pixels_per_map);
    std::vector<uint8_t> indices;
    EncodedGifFrame frame = DitherAndEncode(output, *b.map, y0, code_size, indices,
                                            EncodedGifFrame{0, 0, output.Width(), output.Height(), delay, {}});
    pool.Give(std::move(b));
    return Result<EncodedGifFrame>(std::move(frame));
  });
  if (pane.Empty()) {
    auto reduced = ReduceColors(output, colors, kReduceDither | kReduceIndexed | kReduceGivenPalette, &palette);
    if (reduced) first_pixel = reduced->indices[0];
  }

  // Frames 2..N: the reflection alone, dithered onto frame 1's palette as animation
  // frames, each from its own copy of the pane, since the model renders the next frame
  // into the pane.
  for (int a = 2; a <= count; ++a) {
    pipeline.WaitForSlot();
    while (pipeline.FrontReady()) {
      if (Status s = WriteReady(pipeline, writer); !s) return s;
    }
    if (progress) progress(a, count);
    model.NextFrame();
    if (pane.Empty()) {
      pipeline.Start([&, first_pixel] {
        return Result<EncodedGifFrame>(
            EncodedGifFrame{0, 0, 1, 1, delay, EncodeGifImageData(&first_pixel, 1, code_size)});
      });
      continue;
    }
    auto buffers = pool.Take(pane);
    if (!buffers) return buffers.error();
    pipeline.Start([&, shared = std::make_shared<FrameBuffers>(std::move(buffers.value()))] {
      FrameBuffers& b = *shared;
      EncodedGifFrame frame = DitherAndEncode(b.pixels, *b.map, 0, code_size, b.indices,
                                              EncodedGifFrame{0, y0, b.pixels.Width(), b.pixels.Height(), delay, {}});
      pool.Give(std::move(b));
      return Result<EncodedGifFrame>(std::move(frame));
    });
  }
  while (!pipeline.Empty()) {
    FinishingCheck::Run();
    if (Status s = WriteReady(pipeline, writer); !s) return s;
  }
  FinishingCheck::Run();
  return writer.Finish();
}

int DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores >= 2 ? 2 : 1;
}

}  // namespace

Result<GifExportReport> ExportGif(AnimationModel& model, const std::string& path, const ExportSettings& settings,
                                  const ExportProgress& progress, int threads) {
  GifExportReport report;
  Status s = settings.colors < 1 || settings.colors > 256
                 ? Status(Error::Invalid("a GIF holds 1 to 256 colours, not " + std::to_string(settings.colors)))
                 : Status::Ok();
  GifWriter writer;
  if (s) s = WriteAnimation(model, writer, path, settings, progress, threads > 0 ? threads : DefaultThreads(), report);
  if (!s) return s.error().WithMessage(FormatWithString(SaveErrorFormat(), path));
  return report;
}

}  // namespace kestal
