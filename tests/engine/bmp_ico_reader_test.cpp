// BMP, DIB and icon reading from hand-built files: every depth and header kind, bit
// fields, RLE with deltas, masks and alpha, and the files that must be refused.

#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imageio/codecs/bmp_reader.h"
#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/ico_reader.h"
#include "bitmap/flatten.h"
#include "imageio/codecs/png_codec.h"
#include "imageio/image_files.h"
#include "support/byte_builder.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Bytes;

constexpr int kW = 5, kH = 3;  // odd sizes, so that rows need padding

ColorTriple PaletteColor(int i) {
  return ColorTriple{uint8_t(i * 40), uint8_t(255 - i * 10), uint8_t(i * 7)};
}
int IndexAt(int x, int y, int bpp) { return (x + 2 * y) % (1 << bpp); }

// A BMP (or, without `file_header`, a DIB) of kW × kH pixels whose rows `row(y, out)`
// writes in file order.
std::vector<uint8_t> Bmp(uint32_t header_size, uint16_t bpp, uint32_t compression, int palette_entries,
                         const std::function<void(int y, Bytes& out)>& row, bool top_down = false,
                         bool file_header = true, std::vector<uint32_t> masks = {}) {
  Bytes dib;
  if (header_size == 12) {
    dib.U32LE(12).U16LE(kW).U16LE(kH).U16LE(1).U16LE(bpp);
  } else {
    dib.U32LE(header_size).U32LE(kW).U32LE(top_down ? uint32_t(-kH) : kH).U16LE(1).U16LE(bpp);
    dib.U32LE(compression).U32LE(0).U32LE(2835).U32LE(2835).U32LE(palette_entries).U32LE(0);
    for (uint32_t m : masks) dib.U32LE(m);
    dib.Fill(header_size - 40 - (header_size > 40 ? 4 * masks.size() : 0));
  }
  for (int i = 0; i < palette_entries; ++i) {
    const ColorTriple c = PaletteColor(i);
    dib.U8(c.blue).U8(c.green).U8(c.red);
    if (header_size != 12) dib.U8(0);
  }
  const size_t pixels_at = dib.Size();
  for (int i = 0; i < kH; ++i) {
    const size_t before = dib.Size();
    row(top_down ? i : kH - 1 - i, dib);
    while ((dib.Size() - before) % 4) dib.U8(0);
  }
  if (!file_header) return dib.Vec();
  Bytes file;
  file.Str("BM").U32LE(uint32_t(14 + dib.Size())).U32LE(0).U32LE(uint32_t(14 + pixels_at)).Raw(dib.Vec());
  return file.Vec();
}

// Packs palette indices of `bpp` bits, first pixel in the high bits.
void PackedIndices(int y, int bpp, Bytes& out) {
  unsigned acc = 0;
  int bits = 0;
  for (int x = 0; x < kW; ++x) {
    acc = acc << bpp | IndexAt(x, y, bpp);
    bits += bpp;
    if (bits == 8) out.U8(acc), acc = 0, bits = 0;
  }
  if (bits) out.U8(acc << (8 - bits));
}

void ExpectPaletted(const Result<Bitmap24>& r, int bpp) {
  ASSERT_TRUE(r.ok()) << r.error().cause;
  ASSERT_EQ(r->Width(), kW);
  ASSERT_EQ(r->Height(), kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) EXPECT_EQ(r->Pixel(x, y), PaletteColor(IndexAt(x, y, bpp))) << x << "," << y;
}

TEST(BmpReader, PalettedDepthsAndHeaders) {
  struct Row {
    const char* what;
    uint32_t header;
    uint16_t bpp;
    bool top_down;
    bool file_header;
  };
  const Row rows[] = {
      {"1-bit, Windows header", 40, 1, false, true},  {"2-bit", 40, 2, false, true},
      {"4-bit", 40, 4, false, true},                   {"8-bit", 40, 8, false, true},
      {"8-bit top-down", 40, 8, true, true},           {"8-bit OS/2 1.x header", 12, 8, false, true},
      {"4-bit OS/2 2.x 64-byte header", 64, 4, false, true}, {"8-bit V5 header", 124, 8, false, true},
      {"8-bit headerless DIB", 40, 8, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto bytes = Bmp(row.header, row.bpp, 0, 1 << row.bpp,
                           [&](int y, Bytes& out) { PackedIndices(y, row.bpp, out); }, row.top_down, row.file_header);
    ExpectPaletted(ReadBmp(ByteSpan(bytes), kDefaultPixelLimits), row.bpp);
  }
}

// Loading from disk checks the size a header claims before reading the rest. A
// headerless DIB lacks the 14-byte file header, so its fields sit 14 bytes earlier than
// a BMP's; with its image-size field filled in, as writers do, it must load all the same.
TEST(BmpReader, HeaderlessDibWithItsImageSizeLoadsFromDisk) {
  auto dib = Bmp(40, 8, 0, 256, [](int y, Bytes& out) { PackedIndices(y, 8, out); }, false, false);
  const uint32_t image_bytes = 8 * kH;  // rows of 5 bytes padded to 8
  for (int i = 0; i < 4; ++i) dib[20 + i] = uint8_t(image_bytes >> (8 * i));
  test::TempDir dir;
  const std::string path = dir / "photo.dib";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(dib.data()), std::streamsize(dib.size()));
  ExpectPaletted(LoadImageFile(path), 8);
}

TEST(BmpReader, DirectColourAndBitFields) {
  // Every pixel is (x * 60, y * 100, 255 - x * 60) in red, green, blue.
  const auto expected = [](int x, int y) { return ColorTriple{uint8_t(255 - x * 60), uint8_t(y * 100), uint8_t(x * 60)}; };
  struct Row {
    const char* what;
    uint16_t bpp;
    uint32_t compression;
    uint32_t header;
    std::vector<uint32_t> masks;
    int tolerance;  // channels narrower than 8 bits lose precision
  };
  const Row rows[] = {
      {"24-bit", 24, 0, 40, {}, 0},
      {"16-bit default 5-5-5", 16, 0, 40, {}, 4},
      {"16-bit 5-6-5 masks after a 40-byte header", 16, 3, 40, {0xF800, 0x07E0, 0x001F}, 4},
      {"32-bit default", 32, 0, 40, {}, 0},
      {"32-bit 10-10-10 masks in a V4 header", 32, 3, 108, {0x3FF00000, 0xFFC00, 0x3FF, 0}, 0},
      {"32-bit blue-green-red-x masks", 32, 3, 56, {0xFF00, 0xFF0000, 0xFF000000, 0}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<uint32_t> m = row.masks;
    if (m.empty()) m = row.bpp == 16 ? std::vector<uint32_t>{0x7C00, 0x03E0, 0x1F} : std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF};
    const auto encode = [&](uint32_t mask, uint8_t v) {
      const int shift = std::countr_zero(mask);
      const uint32_t max = mask >> shift;
      return uint32_t((v * max + 127) / 255) << shift;
    };
    const auto bytes = Bmp(row.header, row.bpp, row.compression, 0, [&](int y, Bytes& out) {
      for (int x = 0; x < kW; ++x) {
        const ColorTriple c = expected(x, y);
        if (row.bpp == 24) {
          out.U8(c.blue).U8(c.green).U8(c.red);
          continue;
        }
        const uint32_t v = encode(m[0], c.red) | encode(m[1], c.green) | encode(m[2], c.blue);
        row.bpp == 16 ? out.U16LE(v) : out.U32LE(v);
      }
    }, false, true, row.header == 40 ? std::vector<uint32_t>{} : row.masks);
    std::vector<uint8_t> file = bytes;
    if (row.header == 40 && row.compression == 3) {
      // Insert the masks after the 40-byte header and move the pixels along.
      std::vector<uint8_t> masks;
      for (uint32_t v : row.masks)
        for (int i = 0; i < 4; ++i) masks.push_back(uint8_t(v >> (8 * i)));
      file.insert(file.begin() + 54, masks.begin(), masks.end());
      file[10] = uint8_t(54 + masks.size());
    }
    auto r = ReadBmp(ByteSpan(file), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << r.error().cause;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const ColorTriple got = r->Pixel(x, y), want = expected(x, y);
        EXPECT_NEAR(got.red, want.red, row.tolerance);
        EXPECT_NEAR(got.green, want.green, row.tolerance);
        EXPECT_NEAR(got.blue, want.blue, row.tolerance);
      }
  }
}

TEST(BmpReader, AlphaMaskIsFlattenedOverWhiteUnlessAllZero) {
  for (uint8_t alpha : {uint8_t{0}, uint8_t{128}}) {
    const auto bytes = Bmp(124, 32, 3, 0, [&](int, Bytes& out) {
      for (int x = 0; x < kW; ++x) out.U8(0).U8(0).U8(0).U8(alpha);  // black
    }, false, true, {0xFF0000, 0xFF00, 0xFF, 0xFF000000});
    auto r = ReadBmp(ByteSpan(bytes), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok());
    // All-zero alpha is padding from a program that ignores it: the picture stays black.
    const uint8_t want = alpha == 0 ? 0 : OverWhite(0, alpha);
    EXPECT_EQ(r->Pixel(2, 1), (ColorTriple{want, want, want})) << int(alpha);
  }
}

// 64 bits a pixel: blue, green, red, alpha in signed 2.13 fixed point, linear light.
TEST(BmpReader, SixtyFourBitPixelsAreLinearFixedPoint) {
  const int16_t one = 8192, mid = 1760;  // 0.215 linear is 0.5 in sRGB
  const int16_t pixels[kW][4] = {{0, 0, one, one}, {0, 0, 0, 0}, {mid, mid, mid, one}, {-100, 9000, 0, one}, {0, 0, 0, one}};
  const auto bytes = Bmp(40, 64, 0, 0, [&](int, Bytes& out) {
    for (const auto& p : pixels)
      for (int16_t v : p) out.U16LE(uint16_t(v));
  });
  auto r = ReadBmp(ByteSpan(bytes), kDefaultPixelLimits);
  ASSERT_TRUE(r.ok()) << r.error().cause;
  // Blue, green, red: red, transparent over white, mid grey, clamped to green, black.
  const ColorTriple expected[kW] = {{0, 0, 255}, {255, 255, 255}, {128, 128, 128}, {0, 255, 0}, {0, 0, 0}};
  for (int x = 0; x < kW; ++x) EXPECT_EQ(r->Pixel(x, 1), expected[x]) << x;
}

TEST(BmpReader, RleWithDeltaAbsoluteRunsAndSkippedPixels) {
  // RLE8, bottom row first: a run of 2 × index 1, a literal of 3 (padded), end of line;
  // then a delta of (2, 1) that skips the middle row to the top one, a run of
  // 1 × index 3, end of bitmap.
  Bytes rle8;
  rle8.Raw({2, 1, 0, 3, 2, 3, 4, 0, 0, 0}).Raw({0, 2, 2, 1, 1, 3, 0, 1});
  // The same picture in RLE4: runs alternate their two nibbles.
  Bytes rle4;
  rle4.Raw({2, 0x11, 0, 3, 0x23, 0x40, 0, 0}).Raw({0, 2, 2, 1, 1, 0x30, 0, 1});
  for (auto [bpp, data] : {std::pair{8, rle8}, std::pair{4, rle4}}) {
    SCOPED_TRACE(bpp);
    Bytes file;
    Bytes dib;
    dib.U32LE(40).U32LE(kW).U32LE(kH).U16LE(1).U16LE(bpp).U32LE(bpp == 8 ? 1 : 2).U32LE(0).U32LE(0).U32LE(0)
        .U32LE(16).U32LE(0);
    for (int i = 0; i < 16; ++i) dib.U8(PaletteColor(i).blue).U8(PaletteColor(i).green).U8(PaletteColor(i).red).U8(0);
    file.Str("BM").U32LE(uint32_t(14 + dib.Size() + data.Size())).U32LE(0).U32LE(uint32_t(14 + dib.Size()))
        .Raw(dib.Vec()).Raw(data.Vec());
    auto r = ReadBmp(file.Span(), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << r.error().cause;
    const int expected[kH][kW] = {{0, 0, 3, 0, 0}, {0, 0, 0, 0, 0}, {1, 1, 2, 3, 4}};
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) EXPECT_EQ(r->Pixel(x, y), PaletteColor(expected[y][x])) << x << "," << y;
  }
}

TEST(BmpReader, WrittenBmpRoundTrips) {
  const Bitmap24 picture = test::Gradient(47, 33);
  const std::vector<uint8_t> bmp = EncodeBmp(picture);
  auto back = ReadBmp(ByteSpan(bmp), kDefaultPixelLimits);
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(back->SamePixels(picture));
}

TEST(BmpReader, RefusesBrokenAndUnsupportedFiles) {
  const auto eight_bit = Bmp(40, 8, 0, 256, [](int y, Bytes& out) { PackedIndices(y, 8, out); });
  auto patched = [&](size_t at, uint32_t v) {
    auto b = eight_bit;
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  auto truncated = eight_bit;
  truncated.resize(truncated.size() - 9);
  std::vector<uint8_t> utah = {0x52, 0xCC, 0, 0, 0, 0};
  struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
    ErrorKind kind;
  };
  const Row rows[] = {
      {"pixels cut short", truncated, ErrorKind::Truncated},
      {"unknown header size", patched(14, 200), ErrorKind::Unsupported},
      {"zero width", patched(18, 0), ErrorKind::Invalid},
      {"huge size", patched(18, 100000), ErrorKind::OverLimit},
      {"bad depth", patched(28, 7), ErrorKind::Unsupported},
      {"RLE8 with 24 bits", [&] { auto b = patched(28, 24); b[30] = 1; return b; }(), ErrorKind::Invalid},
      {"Huffman 1D", [&] { auto b = patched(28, 1); b[30] = 3; return b; }(), ErrorKind::Unsupported},
      {"Utah RLE", utah, ErrorKind::Unsupported},
  };
  for (const Row& row : rows) {
    auto r = ReadBmp(ByteSpan(row.bytes), kDefaultPixelLimits);
    ASSERT_FALSE(r.ok()) << row.what;
    EXPECT_EQ(r.error().kind, row.kind) << row.what << ": " << r.error().cause;
  }
}

// An icon file holding the given images (each a complete DIB or PNG), with directory
// sizes taken from `sizes`.
std::vector<uint8_t> Icon(const std::vector<std::vector<uint8_t>>& images, const std::vector<int>& sizes,
                          const std::vector<int>& depths) {
  Bytes f;
  f.U16LE(0).U16LE(1).U16LE(uint16_t(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    f.U8(sizes[i]).U8(sizes[i]).U8(0).U8(0).U16LE(1).U16LE(depths[i]).U32LE(uint32_t(images[i].size())).U32LE(offset);
    offset += uint32_t(images[i].size());
  }
  for (const auto& image : images) f.Raw(image);
  return f.Vec();
}

// A 2 × 2 icon DIB of 32 bits (BGRA) or 24 bits with its AND mask.
std::vector<uint8_t> IconDib(int bpp, uint8_t alpha, uint8_t mask_bits) {
  Bytes d;
  d.U32LE(40).U32LE(2).U32LE(4).U16LE(1).U16LE(bpp).U32LE(0).U32LE(0).U32LE(0).U32LE(0).U32LE(0).U32LE(0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      d.U8(0).U8(0).U8(200);  // red
      if (bpp == 32) d.U8(alpha);
    }
    if (bpp == 24) d.U16LE(0);  // 6 bytes padded to 8
  }
  for (int y = 0; y < 2; ++y) d.U8(mask_bits).U8(0).U16LE(0);
  return d.Vec();
}

TEST(IcoReader, PicksLargestDeepestEntryAndAppliesMaskOrAlpha) {
  const ColorTriple red{0, 0, 200}, white{255, 255, 255};
  struct Row {
    const char* what;
    std::vector<uint8_t> file;
    ColorTriple left, right;  // pixels (0, 0) and (1, 0)
  };
  const std::vector<uint8_t> masked = IconDib(24, 0, 0x40);  // second pixel of each row transparent
  const std::vector<uint8_t> alpha_half = IconDib(32, 128, 0xC0);
  const std::vector<uint8_t> alpha_zero = IconDib(32, 0, 0x40);
  const uint8_t half = OverWhite(200, 128);
  const Row rows[] = {
      {"24-bit with AND mask", Icon({masked}, {2}, {24}), red, white},
      {"32-bit alpha wins over the mask", Icon({alpha_half}, {2}, {32}), ColorTriple{OverWhite(0, 128), OverWhite(0, 128), half},
       ColorTriple{OverWhite(0, 128), OverWhite(0, 128), half}},
      {"32-bit with zero alpha uses the mask", Icon({alpha_zero}, {2}, {32}), red, white},
      {"the deeper of two same-size entries", Icon({masked, alpha_half}, {2, 2}, {24, 32}),
       ColorTriple{OverWhite(0, 128), OverWhite(0, 128), half}, ColorTriple{OverWhite(0, 128), OverWhite(0, 128), half}},
      {"the larger of two entries", Icon({alpha_half, IconDib(24, 0, 0)}, {1, 2}, {32, 24}), red, red},
  };
  for (const Row& row : rows) {
    auto r = ReadIco(ByteSpan(row.file), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << row.what << ": " << r.error().cause;
    EXPECT_EQ(r->Width(), 2);
    EXPECT_EQ(r->Height(), 2);
    EXPECT_EQ(r->Pixel(0, 0), row.left) << row.what;
    EXPECT_EQ(r->Pixel(1, 0), row.right) << row.what;
  }
}

TEST(IcoReader, RefusesBrokenDirectories) {
  auto small = IconDib(24, 0, 0);
  auto ok = ReadIco(ByteSpan(Icon({small}, {2}, {24})), kDefaultPixelLimits);
  EXPECT_TRUE(ok.ok());

  std::vector<uint8_t> no_images = {0, 0, 1, 0, 0, 0};
  auto outside = Icon({small}, {2}, {24});
  outside[18] = 0xFF;  // offset past the end
  for (const auto& bad : {no_images, outside, std::vector<uint8_t>{0, 0, 1, 0, 1}}) {
    EXPECT_FALSE(ReadIco(ByteSpan(bad), kDefaultPixelLimits).ok());
  }
}

}  // namespace
}  // namespace kestal
