#pragma once
// A streaming GIF89a writer on giflib: the header and logical screen with one global
// colour table, then frames as they are made, then the trailer. The file goes through
// OutputFile, so it appears under its name only once the trailer is written; a writer
// that fails or is destroyed before Finish leaves nothing behind. After a failure the
// writer refuses further calls.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "imageio/color_reduce.h"
#include "base/file_output.h"

struct GifFileType;

namespace kestal {

// The GIF89a fields for sizes and positions are 16 bits wide.
inline constexpr int64_t kMaxGifSide = 65535;

// One image of the file: its indices (width × height, rows top-down) in the global
// palette, where it sits on the logical screen, and its delay in hundredths of a second.
struct GifFrame {
  const uint8_t* indices = nullptr;
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int delayCs = 0;
};

struct GifOptions {
  // Adds a graphic control extension before each frame and the NETSCAPE2.0 looping
  // extension (loop count 0: forever). A still image needs neither.
  bool animated = true;
};

class GifWriter {
 public:
  GifWriter() = default;
  ~GifWriter();
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // Checks the sizes, opens the temporary file and writes the header, the logical
  // screen of width × height with `palette` (1..256 entries, padded with black to a
  // power of two) as its global colour table, and, when animated, the looping
  // extension. Errors carry the kind and the cause only: the operation that was asked
  // for the file (ExportGif, SaveBitmapFile) names it.
  Status Open(const std::string& path, int32_t width, int32_t height, const Palette& palette,
              GifOptions options = {});
  // Writes one frame, which must lie inside the logical screen.
  Status AddFrame(const GifFrame& frame);
  // Writes the trailer and moves the file into place.
  Status Finish();

 private:
  static int WriteBytes(GifFileType* gif, const uint8_t* data, int size);

  Status WriteScreen(int32_t width, int32_t height, const Palette& palette);
  Status WriteLoopExtension();
  Status WriteGraphicControl(int delayCs);
  Status WriteImage(const GifFrame& frame);
  Status Failed(int gifError);
  void Close();

  OutputFile out_;
  GifFileType* gif_ = nullptr;
  Status write_error_;  // the cause of the first failed write, kept for giflib's report
  GifOptions options_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool broken_ = false;
};

// Checks a picture's size against the GIF limits, with a message that names the size.
Status CheckGifSize(int64_t width, int64_t height);

// Writes a single-image GIF: 256 colours, dithered.
Status WriteGifFile(const std::string& path, const Bitmap24& bitmap);

}  // namespace kestal
