// Metafiles made of bitmap records, built here. Each test places a 2 × 2 DIB somewhere
// in a white frame and checks where it lands.

#include "imageio/codecs/metafile/reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/image_compare.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, int v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes& b, int64_t v) { Put16(b, int(v & 0xFFFF)), Put16(b, int((v >> 16) & 0xFFFF)); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

const ColorTriple kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kBlack{0, 0, 0}, kWhite{255, 255, 255};

// A packed 24-bit DIB, 2 × 2: top row red, green; bottom row blue, black.
Bytes Dib() {
  Bytes b;
  Put32(b, 40), Put32(b, 2), Put32(b, 2), Put16(b, 1), Put16(b, 24);
  Put32(b, 0), Put32(b, 16), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);
  const ColorTriple rows[2][2] = {{kBlue, kBlack}, {kRed, kGreen}};  // stored bottom-up
  for (const auto& row : rows) {
    for (const ColorTriple& c : row) b.insert(b.end(), {c.blue, c.green, c.red});
    b.insert(b.end(), {0, 0});
  }
  return b;
}

Bytes WmfRecord(int function, const Bytes& params) {
  Bytes r;
  Put32(r, 3 + int64_t(params.size() / 2));
  Put16(r, function);
  Append(r, params);
  return r;
}

Bytes Wmf(bool placeable, const std::vector<Bytes>& records) {
  Bytes b;
  if (placeable) {
    Put32(b, 0x9AC6CDD7), Put16(b, 0);
    Put16(b, 0), Put16(b, 0), Put16(b, 8), Put16(b, 8);  // 8 × 8 units
    Put16(b, 96), Put32(b, 0), Put16(b, 0);              // at 96 units per inch: pixels
  }
  Put16(b, 1), Put16(b, 9), Put16(b, 0x300), Put32(b, 0), Put16(b, 0), Put32(b, 0), Put16(b, 0);
  for (const Bytes& r : records) Append(b, r);
  Append(b, WmfRecord(0, {}));
  return b;
}

// StretchDIB: rop, usage, source h, w, y, x, destination h, w, y, x, DIB.
Bytes StretchDib(int x, int y, int w, int h) {
  Bytes p;
  Put32(p, 0x00CC0020), Put16(p, 0);
  Put16(p, 2), Put16(p, 2), Put16(p, 0), Put16(p, 0);
  Put16(p, h), Put16(p, w), Put16(p, y), Put16(p, x);
  Append(p, Dib());
  return WmfRecord(0x0F43, p);
}

Bytes Emf(int left, int top, int width, int height) {
  Bytes header;
  Put32(header, 1), Put32(header, 88);
  Put32(header, 0), Put32(header, 0), Put32(header, 95), Put32(header, 95);      // bounds
  Put32(header, 0), Put32(header, 0), Put32(header, 2540), Put32(header, 2540);  // frame: 25.4 mm
  Put32(header, 0x464D4520), Put32(header, 0x10000), Put32(header, 0), Put32(header, 3);
  Put16(header, 1), Put16(header, 0), Put32(header, 0), Put32(header, 0), Put32(header, 0);
  Put32(header, 960), Put32(header, 960), Put32(header, 254), Put32(header, 254);  // 96 dpi device
  const Bytes dib = Dib();
  Bytes r;
  Put32(r, 81), Put32(r, 80 + int64_t(dib.size()));
  Put32(r, 0), Put32(r, 0), Put32(r, 0), Put32(r, 0);
  Put32(r, left), Put32(r, top), Put32(r, 0), Put32(r, 0), Put32(r, 2), Put32(r, 2);
  Put32(r, 80), Put32(r, 40), Put32(r, 120), Put32(r, int64_t(dib.size()) - 40), Put32(r, 0);
  Put32(r, 0x00CC0020), Put32(r, width), Put32(r, height);
  Append(r, dib);
  Bytes eof;
  Put32(eof, 14), Put32(eof, 20), Put32(eof, 0), Put32(eof, 0), Put32(eof, 20);
  Bytes b = header;
  Append(b, r);
  Append(b, eof);
  return b;
}

// Expects the DIB's four colours at the four quadrants of the square (x, y, size).
void ExpectPlaced(const Bitmap24& b, int x, int y, int size, const char* description) {
  const int h = size / 2;
  EXPECT_EQ(b.Pixel(x, y), kRed) << description;
  EXPECT_EQ(b.Pixel(x + size - 1, y), kGreen) << description;
  EXPECT_EQ(b.Pixel(x + h - 1, y + size - 1), kBlue) << description;
  EXPECT_EQ(b.Pixel(x + size - 1, y + size - 1), kBlack) << description;
  EXPECT_EQ(b.Pixel(x - 1, y), kWhite) << description;
  EXPECT_EQ(b.Pixel(x + size, y + size), kWhite) << description;
}

TEST(MetafileReader, BitmapRecordsLandWhereTheySay) {
  auto placeable = ReadMetafile(ByteSpan(Wmf(true, {StretchDib(2, 2, 4, 4)})), kDefaultPixelLimits);
  ASSERT_TRUE(placeable.ok()) << placeable.error().Line();
  EXPECT_EQ(placeable->Width(), 8);
  ExpectPlaced(placeable.value(), 2, 2, 4, "placeable WMF, stretched twice");

  Bytes windowExt;
  Put16(windowExt, 10), Put16(windowExt, 12);  // y, x
  Bytes bitBlt;
  Put32(bitBlt, 0x00CC0020);
  Put16(bitBlt, 0), Put16(bitBlt, 0), Put16(bitBlt, 2), Put16(bitBlt, 2), Put16(bitBlt, 5), Put16(bitBlt, 3);
  Append(bitBlt, Dib());
  auto windowed = ReadMetafile(ByteSpan(Wmf(false, {WmfRecord(0x020C, windowExt), WmfRecord(0x0940, bitBlt)})),
                               kDefaultPixelLimits);
  ASSERT_TRUE(windowed.ok()) << windowed.error().Line();
  EXPECT_EQ(windowed->Width(), 12);
  EXPECT_EQ(windowed->Height(), 10);
  ExpectPlaced(windowed.value(), 3, 5, 2, "WMF sized by its window, DIB bit block transfer");

  auto emf = ReadMetafile(ByteSpan(Emf(10, 20, 6, 6)), kDefaultPixelLimits);
  ASSERT_TRUE(emf.ok()) << emf.error().Line();
  EXPECT_EQ(emf->Width(), 96);
  ExpectPlaced(emf.value(), 10, 20, 6, "EMF StretchDIBits, frame of one inch");
}

TEST(MetafileReader, DestinationsOutsideTheFrameAreClipped) {
  auto b = ReadMetafile(ByteSpan(Emf(-1000000, 90, 2000010, 100000)), kDefaultPixelLimits);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  // The middle of the huge destination falls at x = 5.
  EXPECT_EQ(b->Pixel(0, 95), kRed);
  EXPECT_EQ(b->Pixel(6, 95), kGreen);
  EXPECT_EQ(b->Pixel(0, 89), kWhite);
}

// A bitmap that cannot be decoded leaves its record out, as Windows' playback does;
// the rest of the picture draws.
TEST(MetafileReader, UnreadableBitmapsAreSkipped) {
  Bytes brokenDib = StretchDib(0, 0, 2, 2);
  brokenDib.resize(brokenDib.size() - 10);
  brokenDib[0] = uint8_t(brokenDib.size() / 2);
  metafile::PlayStats stats;
  auto b = ReadMetafile(ByteSpan(Wmf(true, {brokenDib, StretchDib(4, 4, 2, 2)})), kDefaultPixelLimits, {}, stats);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  EXPECT_EQ(stats.skipped, 1u);
  EXPECT_EQ(b->Pixel(0, 0), kWhite);
  EXPECT_EQ(b->Pixel(4, 4), kRed);
}

TEST(MetafileReader, RefusalsNameTheCause) {
  Bytes pastEnd = Wmf(true, {StretchDib(0, 0, 2, 2)});
  pastEnd.resize(60);
  test::ExpectRefusals(ReadMetafile, {
      {"a polygon whose points run past its record", Wmf(true, {WmfRecord(0x0324, {9, 0, 1, 0, 1, 0})}),
       "shorter than its parameters"},
      {"a record past the end", pastEnd, "past the end"},
      {"not a metafile", Bytes(40, 7), "not a Windows metafile"},
      {"no size", Wmf(false, {StretchDib(0, 0, 2, 2)}), "no size"},
  });
}

}  // namespace
}  // namespace kestal
