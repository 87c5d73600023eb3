// The shared vector metafiles: each draws at its expected size with every record
// drawn or knowingly skipped; the WMFs are compared with libwmf's wmf2gd (Debian's
// libwmf-bin) by PSNR over the drawings' ink. The EMFs have no renderer in Debian to
// compare with; they were checked by eye, and must at least draw ink.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <string>

#include "imageio/codecs/metafile/reader.h"
#include "imageio/codecs/png_codec.h"
#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

// PSNR over all channels; infinite for equal pictures.
double Psnr(const Bitmap24& a, const Bitmap24& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x) {
      const double d = double(a.Row(y)[x]) - b.Row(y)[x];
      sum += d * d;
    }
  const double mse = sum / (double(a.Width()) * a.Height() * 3);
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

// The share of pixels that are not white.
double InkShare(const Bitmap24& b) {
  size_t ink = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) ink += b.Pixel(x, y) != ColorTriple{255, 255, 255};
  return double(ink) / (double(b.Width()) * b.Height());
}

// wmf2gd's PNG of the file at the given size, flattened over white.
Result<Bitmap24> Wmf2gd(const std::string& path, int width, int height) {
  test::TempDir dir;
  const std::string png = dir / "oracle.png";
  const auto r = test::RunCommand("wmf2gd -t png --maxwidth=" + std::to_string(width) + " --maxheight=" +
                                  std::to_string(height) + " --maxsize -o " + test::ShellQuote(png) + " " +
                                  test::ShellQuote(path) + " 2>/dev/null");
  if (r.status != 0) return MakeError("wmf2gd failed");
  return LoadImageFile(png);
}

// The part of a picture inside its ink's bounding box, resized (nearest pixel) to
// w × h: wmf2gd places a drawing by the extent of what it draws, Windows by the window
// the file sets, so the two are compared over their ink.
Bitmap24 InkCrop(const Bitmap24& b, int w, int h) {
  int left = b.Width(), top = b.Height(), right = -1, bottom = -1;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != ColorTriple{255, 255, 255}) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
  auto out = Bitmap24::Create(w, h);
  if (right < 0) return std::move(out.value());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out->SetPixel(x, y, b.Pixel(left + x * (right - left + 1) / w, top + y * (bottom - top + 1) / h));
  return std::move(out.value());
}

struct SampleCase {
  const char* file;
  int width, height;
  size_t maxSkipped;  // records knowingly not drawn (see `skipped`)
  double minInk;      // a picture drawn at all
  double minPsnr;     // against wmf2gd; 0 where it has no usable rendering
  const char* notes;
};

const SampleCase kSamples[] = {
    {"ImageMagick/clock.wmf", 490, 495, 0, 0.05, 15,
     "polygons and text; edges antialiased here, not by wmf2gd; its fonts are URW's"},
    {"ImageMagick/wizard.wmf", 490, 642, 0, 0.2, 17, "filled polygons; edges antialiased here"},
    {"Pillow/drawing.wmf", 110, 110, 0, 0.3, 0,
     "a circle larger than the window: Windows clips it at the window, wmf2gd sizes the picture to the circle"},
    {"libemf2svg/test_libuemf_ref.wmf", 1122, 794, 30, 0.5, 0,
     "nearly every WMF record; wmf2gd refuses the file (a record it finds too short). Skipped: 2 flood fills, "
     "23 colour device-dependent bitmaps, 5 DIBs that cannot be decoded (PNG and JPEG "
     "compression, colour tables cut short)"},
    {"small/WindowsMetafile.wmf", 1, 1, 0, 0, 0, "a 12-unit picture at 1200 units per inch; wmf2gd refuses the size"},
    {"Pillow/drawing.emf", 110, 110, 0, 0.3, 0, "a circle drawn as a path"},
    {"libemf2svg/test-000.emf", 464, 239, 0, 0.1, 0, "a bar chart: text, paths, clipping, bitmaps"},
    {"libemf2svg/test-007.emf", 55, 54, 0, 0.02, 0, "16-bit polygons and polylines"},
    {"libemf2svg/test-009.emf", 55, 54, 0, 0.02, 0, "16-bit polygons"},
    {"libemf2svg/test-012.emf", 55, 54, 0, 0.02, 0, "16-bit polygons and polylines"},
    {"libemf2svg/test-023.emf", 229, 135, 0, 0.01, 0, "a clipped polygon in a saved context"},
    {"libemf2svg/test-041.emf", 1122, 794, 0, 0.5, 0, "text, polygons and a stretched bitmap in a y-up mapping"},
};

TEST(MetafileSamples, EachDrawsAtItsSize) {
  KESTAL_REQUIRE_SAMPLES();
  const std::string root = (test::Samples() / "formats" / "wmf-emf").string();
  const bool haveOracle = test::HaveTool("wmf2gd");
  if (!haveOracle) std::printf("wmf2gd (libwmf-bin) is not installed: the WMFs are not compared\n");
  std::printf("%-34s %11s %8s %8s %8s  %s\n", "file", "size", "skipped", "ink", "PSNR", "notes");
  for (const SampleCase& c : kSamples) {
    SCOPED_TRACE(c.file);
    const std::string path = root + "/" + c.file;
    auto bytes = ReadWholeFile(path);
    ASSERT_TRUE(bytes.ok()) << bytes.error().Line();
    metafile::PlayStats stats;
    auto b = ReadMetafile(ByteSpan(bytes.value()), kDefaultPixelLimits, {}, stats);
    ASSERT_TRUE(b.ok()) << b.error().Line();
    EXPECT_EQ(b->Width(), c.width);
    EXPECT_EQ(b->Height(), c.height);
    EXPECT_LE(stats.skipped, c.maxSkipped);
    const double ink = InkShare(b.value());
    EXPECT_GE(ink, c.minInk);
    double psnr = NAN;
    if (haveOracle && c.minPsnr > 0) {
      auto oracle = Wmf2gd(path, c.width, c.height);
      ASSERT_TRUE(oracle.ok()) << "wmf2gd could not render the file";
      psnr = Psnr(InkCrop(b.value(), 256, 256), InkCrop(oracle.value(), 256, 256));
      EXPECT_GE(psnr, c.minPsnr);
    }
    std::printf("%-34s %5dx%-5d %8zu %7.1f%% %8.1f  %s\n", c.file, b->Width(), b->Height(), stats.skipped, 100 * ink,
                psnr, c.notes);
  }
}

}  // namespace
}  // namespace kestal
