#pragma once
// Decoding sample files and comparing them with an independent decoder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap/bitmap24.h"
#include "imageio/image_registry.h"
#include "support/test_support.h"

namespace kestal::test {

// Parses a binary PPM (P6, maxval 255) as written by ImageMagick.
inline std::optional<Bitmap24> ParsePpm(const std::string& bytes) {
  std::istringstream in(bytes);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  if (magic != "P6" || maxval != 255 || w <= 0 || h <= 0) return std::nullopt;
  in.get();
  auto b = Bitmap24::Create(w, h);
  if (!b) return std::nullopt;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      char rgb[3];
      if (!in.read(rgb, 3)) return std::nullopt;
      b->SetPixel(x, y, ColorTriple{uint8_t(rgb[2]), uint8_t(rgb[1]), uint8_t(rgb[0])});
    }
  return std::move(b.value());
}

// The first image of a file (or the one chosen by a "[n]" suffix) as ImageMagick
// decodes it, flattened over white.
inline std::optional<Bitmap24> ImageMagickDecode(const std::string& path, const std::string& format = "") {
  const bool chosen = !path.empty() && path.back() == ']';
  const std::string source = (format.empty() ? "" : format + ":") + path + (chosen ? "" : "[0]");
  const CommandResult r = RunCommand("convert " + ShellQuote(source) +
                                     " -auto-orient -background white -alpha remove -alpha off"
                                     " -depth 8 ppm:- 2>/dev/null");
  if (r.status != 0) return std::nullopt;
  return ParsePpm(r.output);
}

// The first image of a file as Pillow decodes it, when Debian's python3-pil is there.
inline bool HavePillow() {
  return RunCommand("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1").status == 0;
}
inline std::optional<Bitmap24> PillowDecode(const std::string& path) {
  const CommandResult r = RunCommand(
      "/usr/bin/python3 -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
      "im.convert(\"RGB\").save(sys.stdout.buffer, \"PPM\")' " +
      ShellQuote(path) + " 2>/dev/null");
  if (r.status != 0) return std::nullopt;
  return ParsePpm(r.output);
}

// The first frame of a video or animation as ffmpeg decodes it.
inline std::optional<Bitmap24> FfmpegDecode(const std::string& path) {
  const CommandResult r = RunCommand("ffmpeg -v error -i " + ShellQuote(path) +
                                     " -frames:v 1 -pix_fmt rgb24 -f image2pipe -vcodec ppm - 2>/dev/null");
  if (r.status != 0) return std::nullopt;
  return ParsePpm(r.output);
}

// The largest difference of one channel between two pictures of the same size, and
// the mean difference over all channels.
struct PixelDifference {
  int max = 0;
  double mean = 0;
};

inline PixelDifference Compare(const Bitmap24& a, const Bitmap24& b) {
  PixelDifference d;
  double total = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x) {
      const int diff = std::abs(int(a.Row(y)[x]) - int(b.Row(y)[x]));
      d.max = std::max(d.max, diff);
      total += diff;
    }
  const double count = double(a.Width()) * a.Height() * 3;
  d.mean = count > 0 ? total / count : 0;
  return d;
}

// A malformed input that a reader must refuse, with a word its error must contain.
struct Refusal {
  const char* description;
  std::vector<uint8_t> bytes;
  const char* cause;
};

inline void ExpectRefusals(ImageReader reader, const std::vector<Refusal>& cases) {
  for (const Refusal& c : cases) {
    auto r = reader(ByteSpan(c.bytes), kDefaultPixelLimits);
    ASSERT_FALSE(r.ok()) << c.description;
    EXPECT_NE(r.error().cause.find(c.cause), std::string::npos) << c.description << ": " << r.error().cause;
  }
}

}  // namespace kestal::test
