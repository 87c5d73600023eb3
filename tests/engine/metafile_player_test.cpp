// The metafile player on tiny metafiles built here: where shapes land under each
// mapping, a turned world transform, text alignment, the WMF object table, clipping
// saved with the device context, and the record limit.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "imageio/codecs/metafile/reader.h"
#include "imageio/codecs/metafile/text.h"
#include "support/byte_builder.h"
#include "support/image_compare.h"

namespace kestal {
namespace {

using test::Bytes;

const ColorTriple kRed{0, 0, 255}, kBlack{0, 0, 0}, kWhite{255, 255, 255};
constexpr uint32_t kRedRef = 0x0000FF, kNullPen = 0x80000008;
constexpr int kSide = 48;  // pixels; the frame below makes one device pixel one picture pixel

uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

struct EmfRecord {
  uint32_t type;
  std::vector<int64_t> values;  // 32-bit parameters
  Bytes tail{};                 // bytes after them
};

// An EMF 48 × 48 pixels (or `side` pixels): a 96 dpi reference device (960 pixels over
// 254 mm) and a frame of 12.7 mm.
std::vector<uint8_t> Emf(const std::vector<EmfRecord>& records, int side = kSide, int boundsTop = 0) {
  Bytes b;
  b.U32LE(1).U32LE(88).U32LE(0).U32LE(uint32_t(boundsTop)).U32LE(side - 1).U32LE(uint32_t(boundsTop + side - 1));
  b.U32LE(0).U32LE(0).U32LE(side * 2540 / 96).U32LE(side * 2540 / 96);
  b.U32LE(0x464D4520).U32LE(0x10000).U32LE(0).U32LE(0).U16LE(8).U16LE(0).U32LE(0).U32LE(0).U32LE(0);
  b.U32LE(960).U32LE(960).U32LE(254).U32LE(254);
  for (const EmfRecord& r : records) {
    const size_t size = 8 + 4 * r.values.size() + r.tail.Size();
    b.U32LE(r.type).U32LE(uint32_t(size));
    for (int64_t v : r.values) b.U32LE(uint32_t(v));
    b.Raw(r.tail.Vec());
  }
  b.U32LE(14).U32LE(20).U32LE(0).U32LE(16).U32LE(20);
  return b.Vec();
}

EmfRecord RedBrush() { return {39, {1, 0, kRedRef, 0}}; }
EmfRecord Select(uint32_t index) { return {37, {index}}; }
EmfRecord Rect(int l, int t, int r, int b) { return {43, {l, t, r, b}}; }

Bitmap24 Play(const std::vector<uint8_t>& file) {
  auto b = ReadMetafile(ByteSpan(file), kDefaultPixelLimits);
  EXPECT_TRUE(b.ok()) << (b.ok() ? "" : b.error().Line());
  return b.ok() ? std::move(b.value()) : Bitmap24();
}

struct Probe {
  int x, y;
  ColorTriple expected;
};

void ExpectPixels(const Bitmap24& b, std::initializer_list<Probe> probes, const char* description) {
  ASSERT_EQ(b.Width(), kSide) << description;
  for (const Probe& p : probes) {
    EXPECT_EQ(b.Pixel(p.x, p.y), p.expected) << description << " at " << p.x << ", " << p.y;
  }
}

TEST(MetafilePlayer, RectanglesLandOnWindowsPixels) {
  // With a one-pixel pen, Rectangle(10, 12, 30, 20) covers x 10..29 and y 12..19, the
  // outline on the outer pixels; without a pen the fill stops a pixel short.
  ExpectPixels(Play(Emf({RedBrush(), Select(1), Rect(10, 12, 30, 20)})),
               {{10, 12, kBlack}, {29, 19, kBlack}, {29, 15, kBlack}, {11, 13, kRed}, {28, 18, kRed},
                {30, 15, kWhite}, {9, 12, kWhite}, {15, 20, kWhite}, {15, 11, kWhite}},
               "outlined");
  ExpectPixels(Play(Emf({RedBrush(), Select(1), Select(kNullPen), Rect(10, 30, 20, 40)})),
               {{10, 30, kRed}, {18, 38, kRed}, {19, 35, kWhite}, {15, 39, kWhite}, {9, 30, kWhite}},
               "without a pen");
}

TEST(MetafilePlayer, MappingModes) {
  const struct {
    const char* description;
    int mode, windowX, windowY, viewportX, viewportY;
    int l, t, r, b;
    std::initializer_list<Probe> probes;
  } cases[] = {
      {"anisotropic halves both axes", 8, 96, 96, 48, 48, 20, 20, 60, 40,
       {{10, 10, kRed}, {28, 18, kRed}, {29, 10, kWhite}, {10, 19, kWhite}, {9, 10, kWhite}}},
      {"anisotropic stretches y only", 8, 96, 24, 48, 48, 20, 10, 60, 20,
       {{10, 20, kRed}, {28, 38, kRed}, {10, 19, kWhite}, {10, 39, kWhite}}},
      {"isotropic takes the smaller scale", 7, 96, 48, 48, 48, 0, 0, 40, 40,
       {{18, 18, kRed}, {19, 5, kWhite}, {5, 25, kWhite}}},
      {"tenths of a millimetre, y upwards", 2, 1, 1, 1, 1, 0, 0, 50, -50,
       {{2, 2, kRed}, {16, 16, kRed}, {20, 5, kWhite}, {5, 20, kWhite}}},
  };
  for (const auto& c : cases) {
    ExpectPixels(Play(Emf({{17, {c.mode}}, {9, {c.windowX, c.windowY}}, {11, {c.viewportX, c.viewportY}},
                           RedBrush(), Select(1), Select(kNullPen), Rect(c.l, c.t, c.r, c.b)})),
                 c.probes, c.description);
  }
}

TEST(MetafilePlayer, WorldTransformTurnsShapes) {
  // A quarter turn: x' = 40 − y, y' = x. The box x 5..25, y 10..20 becomes x 20..30,
  // y 5..25.
  const EmfRecord turn{35,
                       {FloatBits(0), FloatBits(1), FloatBits(-1), FloatBits(0), FloatBits(40), FloatBits(0)}};
  ExpectPixels(Play(Emf({turn, RedBrush(), Select(1), Select(kNullPen), Rect(5, 10, 25, 20)})),
               {{25, 15, kRed}, {21, 6, kRed}, {29, 24, kRed}, {18, 15, kWhite}, {32, 15, kWhite}, {25, 3, kWhite},
                {25, 27, kWhite}},
               "turned a quarter");
  // Modify with the identity mode undoes it.
  const EmfRecord identity{36, {0, 0, 0, 0, 0, 0, 1}};
  ExpectPixels(Play(Emf({turn, identity, RedBrush(), Select(1), Select(kNullPen), Rect(5, 10, 25, 20)})),
               {{6, 11, kRed}, {25, 15, kWhite}}, "turned back");
}

// Bitmap records that carry a source and a mask (MaskBlt, PlgBlt): the parameters up to
// the source transform, then an 8 × 8 red source and an 8 × 8 mask lit on its left
// half (or none).
EmfRecord MaskedBlt(uint32_t type, std::vector<int64_t> head, bool withMask) {
  std::vector<int64_t> values{0, 0, -1, -1};
  values.insert(values.end(), head.begin(), head.end());
  values.insert(values.end(), {FloatBits(1), 0, 0, FloatBits(1), 0, 0, 0});
  const int64_t at = 8 + 4 * int64_t(values.size() + 12);
  Bytes tail;
  tail.U32LE(40).U32LE(8).U32LE(8).U16LE(1).U16LE(24).Fill(24);
  for (int i = 0; i < 64; ++i) tail.Raw({0, 0, 0xFF});
  tail.U32LE(40).U32LE(8).U32LE(8).U16LE(1).U16LE(1).Fill(24).U32LE(0).U32LE(0xFFFFFF);
  for (int i = 0; i < 8; ++i) tail.U32LE(0xF0);
  values.insert(values.end(), {0, at, 40, at + 40, 192, 0, 0, 0});
  if (withMask) values.insert(values.end(), {at + 232, 48, at + 280, 32});
  else values.insert(values.end(), {0, 0, 0, 0});
  return {type, values, tail};
}

TEST(MetafilePlayer, ShapesPathsClipsAndModes) {
  const ColorTriple kCyan{255, 255, 0};
  const std::vector<EmfRecord> redNoPen{RedBrush(), Select(1), Select(kNullPen)};
  const struct {
    const char* description;
    std::vector<EmfRecord> records;
    std::initializer_list<Probe> probes;
  } cases[] = {
      {"ellipse", {{42, {8, 8, 40, 40}}}, {{24, 24, kRed}, {24, 10, kRed}, {9, 9, kWhite}, {24, 41, kWhite}}},
      // Arcs run anticlockwise as seen: from the right to the top is the top-right quarter.
      {"pie", {{47, {8, 8, 40, 40, 40, 24, 24, 8}}},
       {{30, 18, kRed}, {18, 30, kWhite}, {30, 30, kWhite}, {18, 18, kWhite}}},
      {"chord", {{46, {8, 8, 40, 40, 40, 24, 24, 8}}}, {{34, 14, kRed}, {26, 22, kWhite}}},
      {"excluded box", {{29, {20, 20, 30, 30}}, Rect(0, 0, 48, 48)}, {{25, 25, kWhite}, {10, 10, kRed}}},
      {"filled path",
       {{59, {}}, {27, {10, 10}}, {54, {38, 10}}, {54, {24, 38}}, {61, {}}, {60, {}}, {62, {0, 0, -1, -1}}},
       {{24, 20, kRed}, {12, 30, kWhite}}},
      {"hatched cross brush", {{18, {1}}, {39, {3, 2, kRedRef, 4}}, Select(3), Rect(0, 0, 48, 48)},
       {{7, 3, kRed}, {3, 15, kRed}, {3, 3, kWhite}}},
      {"XOR pen colour once", {{20, {7}}, Rect(10, 10, 20, 20)}, {{15, 15, kCyan}}},
      {"XOR pen colour twice", {{20, {7}}, Rect(10, 10, 20, 20), Rect(10, 10, 20, 20)}, {{15, 15, kWhite}}},
      // A one-pixel line leaves out its last pixel.
      {"line", {Select(0x80000007), {27, {5, 5}}, {54, {15, 5}}}, {{5, 5, kBlack}, {14, 5, kBlack}, {15, 5, kWhite}}},
      // A geometric pen's own dashes are logical lengths: 20 units at half scale are 10
      // pixels, whatever the pen's width.
      // MaskBlt keeps the destination where the mask is dark under SRCCOPY over DSTCOPY,
      // blackens it under plain SRCCOPY (BLACKNESS in the background byte).
      {"mask blit", {MaskedBlt(78, {10, 10, 8, 8, 0xAACC0020, 0, 0}, true)},
       {{11, 12, kRed}, {13, 17, kRed}, {16, 12, kWhite}, {9, 12, kWhite}}},
      {"mask blit, black background", {MaskedBlt(78, {10, 10, 8, 8, 0x00CC0020, 0, 0}, true)},
       {{11, 12, kRed}, {16, 12, kBlack}}},
      // PlgBlt: the source's corners onto three points, twice its size, through the mask.
      {"parallelogram blit", {MaskedBlt(79, {10, 10, 26, 10, 10, 26, 0, 0, 8, 8}, true)},
       {{11, 24, kRed}, {17, 12, kRed}, {22, 12, kWhite}, {20, 28, kWhite}}},
      {"parallelogram blit without a mask", {MaskedBlt(79, {10, 10, 26, 10, 10, 26, 0, 0, 8, 8}, false)},
       {{24, 24, kRed}, {28, 20, kWhite}}},
      // FrameRgn: a border two units wide inside the region's box, in the given brush.
      {"framed region", {{72, {0, 0, -1, -1, 48, 0x80000004, 2, 2, 32, 1, 1, 16, 10, 10, 30, 30, 10, 10, 30, 30}}},
       {{10, 20, kBlack}, {11, 20, kBlack}, {20, 29, kBlack}, {13, 20, kWhite}, {20, 20, kWhite}}},
      // PolyDraw16: a move, two lines, the last closing the figure back to the start.
      {"PolyDraw closing its figure",
       {Select(0x80000007), {92, {0, 0, -1, -1, 3, 10 | 10 << 16, 30 | 10 << 16, 10 | 30 << 16}, Bytes().Raw({6, 2, 3, 0})}},
       {{20, 10, kBlack}, {10, 20, kBlack}, {14, 14, kWhite}, {5, 5, kWhite}}},
      {"user dashes of a geometric pen",
       {{17, {8}}, {9, {96, 96}}, {11, {48, 48}}, {95, {5, 0, 0, 0, 0, 0x10207, 4, 0, 0, 0, 2, 20, 20}}, Select(5),
        {27, {0, 40}}, {54, {96, 40}}},
       {{5, 20, kBlack}, {15, 20, kWhite}, {25, 20, kBlack}, {35, 20, kWhite}}},
  };
  for (const auto& c : cases) {
    std::vector<EmfRecord> records = redNoPen;
    records.insert(records.end(), c.records.begin(), c.records.end());
    ExpectPixels(Play(Emf(records)), c.probes, c.description);
  }
}

// The bounding box of the pixels that are not white.
struct Ink {
  int left = kSide, top = kSide, right = -1, bottom = -1;
};
Ink InkOf(const Bitmap24& b) {
  Ink ink;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != kWhite) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

EmfRecord TextOut(int x, int y, const std::u16string& text) {
  // EMR_EXTTEXTOUTW: bounds, graphics mode, scales, then the EMRTEXT; the string
  // follows at offset 76.
  Bytes tail;
  for (char16_t c : text) tail.U16LE(c);
  if (text.size() % 2) tail.U16LE(0);
  return {84, {0, 0, -1, -1, 1, 0, 0, x, y, int64_t(text.size()), 76, 0, 0, 0, -1, -1, 0}, tail};
}

EmfRecord Font(int height, const std::string& name = "DejaVu Sans") {
  Bytes face;
  for (char c : name) face.U16LE(uint8_t(c));
  face.Fill(64 - face.Size());
  return {82, {2, height, 0, 0, 0, 400, 0, 0}, face};
}

TEST(MetafilePlayer, TextAlignment) {
  const struct {
    const char* description;
    uint32_t align;
    std::function<void(const Ink&)> check;
  } cases[] = {
      {"TA_CENTER | TA_BASELINE: centred on x, standing on y", 6 | 24,
       [](const Ink& ink) {
         EXPECT_NEAR((ink.left + ink.right) / 2.0, 24, 1.5);
         EXPECT_NEAR(ink.bottom, 29, 1);
         EXPECT_NEAR(ink.top, 30 - 12, 2);  // capitals of a 16-pixel em stand about 12 high
       }},
      {"TA_LEFT | TA_TOP: right of x, below y", 0,
       [](const Ink& ink) {
         EXPECT_NEAR(ink.left, 24, 2);
         EXPECT_GE(ink.top, 30);
         EXPECT_LE(ink.top, 34);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    const Bitmap24 b = Play(Emf({Font(-16), Select(2), {18, {1}}, {22, {c.align}}, TextOut(24, 30, u"HH")}));
    c.check(InkOf(b));
  }
}

TEST(MetafilePlayer, SymbolFontTextAndGlyphsTheFaceLacks) {
  const auto text = [](const std::string& face, const std::u16string& s) {
    const Bitmap24 b = Play(Emf({Font(-30, face), Select(2), TextOut(4, 4, s)}));
    return std::vector<uint8_t>(b.Row(0), b.Row(0) + size_t(b.Height()) * b.Stride());
  };
  // The Symbol font's "p" is π, by its code or by its private-use character.
  EXPECT_EQ(text("Symbol", u"p"), text("DejaVu Sans", u"\u03C0"));
  EXPECT_EQ(text("Symbol", u"\uF070"), text("DejaVu Sans", u"\u03C0"));
  EXPECT_EQ(text("Symbol", u"\uF0B3"), text("DejaVu Sans", u"\u2265"));
  // MathType's MT Extra: "L" is the math-axis ellipsis, "l" the script l, 0xF3 a
  // superscript one, "v" the harpoon set over a vector, whichever way the code is given.
  EXPECT_EQ(text("MT Extra", u"Ll\u00F3v"), text("MT Extra", u"\u22EF\u2113\u00B9\u21C0"));
  EXPECT_EQ(text("MT Extra", u"\uF04C"), text("MT Extra", u"\u22EF"));
  // 〈 (the Symbol font's 0xE1) is not in DejaVu Sans: another installed font draws it
  // rather than the missing-glyph box that a character no font has gets.
  EXPECT_NE(text("DejaVu Sans", u"\u2329"), text("DejaVu Sans", u"\uE000"));
  // So is the fullwidth punctuation of Chinese text (here the Big5 comma and parenthesis).
  EXPECT_NE(text("DejaVu Sans", u"\uFF0C"), text("DejaVu Sans", u"\uE000"));
  EXPECT_NE(text("DejaVu Sans", u"\uFF09"), text("DejaVu Sans", u"\uE000"));
}

TEST(MetafilePlayer, TextOfExtremeHeightsIsPlayedOrDropped) {
  // Each height makes fonts of its own size; none may stay behind (the sanitizer build
  // checks for leaks).
  for (int height : {-3000, -70000, -900000, -4000000, -2000000000, 2000000000}) {
    SCOPED_TRACE(height);
    Play(Emf({Font(height), Select(2), TextOut(2, 30, u"Hi")}));
  }
}

TEST(MetafilePlayer, DrawingOutsideTheFrameIsShownByItsBounds) {
  // The frame is at the origin, the drawing (and the header's bounds) 48 pixels above
  // it: the picture shows the bounds.
  ExpectPixels(Play(Emf({RedBrush(), Select(1), Select(kNullPen), Rect(10, -40, 20, -30)}, kSide, -kSide)),
               {{12, 10, kRed}, {25, 10, kWhite}}, "drawn above the frame");
  // Bounds mostly inside the frame leave the frame as it is.
  ExpectPixels(Play(Emf({RedBrush(), Select(1), Select(kNullPen), Rect(10, 10, 20, 20)}, kSide, -10)),
               {{12, 12, kRed}, {12, 22, kWhite}}, "bounds a little above the frame");
}

TEST(MetafilePlayer, LargeFramesAreDrawnAtTheLargestScaleAllowed) {
  // A frame of 4000 pixels under a one-megapixel limit is drawn at a quarter of its
  // size; a frame of 20 000 pixels a side claims no more than the usual limit allows.
  const PixelLimits small{30000, 1'000'000};
  auto b = ReadMetafile(ByteSpan(Emf({RedBrush(), Select(1), Select(kNullPen), Rect(2000, 2000, 4000, 4000)}, 4000)),
                        small);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  EXPECT_LE(int64_t{b->Width()} * b->Height(), small.max_pixels);
  EXPECT_GE(b->Width(), 990);
  EXPECT_EQ(b->Pixel(600, 600), kRed);
  EXPECT_EQ(b->Pixel(400, 400), kWhite);
  const auto huge = Emf({}, 20000);
  auto claimed = MetafileHeaderSize(FileHead(ByteSpan(huge)));
  ASSERT_TRUE(claimed.ok()) << claimed.error().Line();
  EXPECT_TRUE(CheckPixelSize(claimed->width, claimed->height, kDefaultPixelLimits).ok());
  EXPECT_GE(claimed->width, 9990);
}

TEST(MetafilePlayer, DrawingTooComplexForItsTimeIsRefused) {
  // A million-point scribble across a 400-pixel picture: hundreds of millions of
  // pixels of line, refused at once rather than drawn for minutes.
  const int points = 1'000'000;
  Bytes tail;
  uint32_t seed = 1;
  for (int i = 0; i < 2 * points; ++i) tail.U16LE((seed = seed * 1103515245 + 12345) >> 16 & 0x1FF);
  const auto file = Emf({{87, {0, 0, 400, 400, points}, tail}}, 400);
  const auto start = std::chrono::steady_clock::now();
  auto b = ReadMetafile(ByteSpan(file), kDefaultPixelLimits);
  ASSERT_FALSE(b.ok());
  EXPECT_EQ(b.error().kind, ErrorKind::OverLimit);
  EXPECT_NE(b.error().cause.find("too complex to draw"), std::string::npos) << b.error().cause;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

std::vector<uint8_t> Wmf(const std::vector<std::pair<uint16_t, std::vector<int>>>& records) {
  Bytes b;
  b.U32LE(0x9AC6CDD7).U16LE(0).U16LE(0).U16LE(0).U16LE(kSide).U16LE(kSide).U16LE(96).U32LE(0).U16LE(0);
  b.U16LE(1).U16LE(9).U16LE(0x300).U32LE(0).U16LE(4).U32LE(0).U16LE(0);
  for (const auto& [function, words] : records) {
    b.U32LE(uint32_t(3 + words.size())).U16LE(function);
    for (int w : words) b.U16LE(uint16_t(w));
  }
  b.U32LE(3).U16LE(0);
  return b.Vec();
}

TEST(MetafilePlayer, WmfObjectsTakeTheLowestFreeSlot) {
  // Brush A in slot 0, a null pen in slot 1; deleting slot 0 frees it for brush B, so
  // selecting 0 picks B (red), not A (blue).
  const std::vector<int> blue{0, 0, 0xFF, 0}, red{0, 0xFF, 0, 0};
  const auto file = Wmf({{0x02FC, blue}, {0x02FA, {5, 0, 0, 0, 0}}, {0x01F0, {0}}, {0x02FC, red},
                         {0x012D, {0}}, {0x012D, {1}}, {0x041B, {20, 20, 4, 4}}, {0x7777, {1, 2}}});
  metafile::PlayStats stats;
  auto b = ReadMetafile(ByteSpan(file), kDefaultPixelLimits, {}, stats);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  EXPECT_EQ(b->Pixel(10, 10), kRed);
  EXPECT_EQ(stats.skipped, 1u) << "the unknown record 0x7777";
  ASSERT_EQ(stats.skippedTypes.size(), 1u);
  EXPECT_EQ(stats.skippedTypes[0], 0x7777u);

  auto limited = ReadMetafile(ByteSpan(file), kDefaultPixelLimits, {4}, stats);
  ASSERT_FALSE(limited.ok());
  EXPECT_EQ(limited.error().kind, ErrorKind::OverLimit);
}

TEST(MetafilePlayer, WmfRegionTooShortStillTakesItsSlot) {
  // A region record of 8 bytes makes an empty region in slot 0: the brush goes to slot
  // 1, which the file selects, and filling the region draws nothing.
  const auto file = Wmf({{0x06FF, {1, 2, 3, 4}}, {0x02FC, {0, 0xFF, 0, 0}}, {0x012D, {1}},
                         {0x0228, {0, 1}}, {0x041B, {20, 20, 4, 4}}});
  ExpectPixels(Play(file), {{10, 10, kRed}, {30, 30, kWhite}}, "short region");
}

TEST(MetafilePlayer, RestoreDcBringsBackTheClip) {
  const auto clipped = [](bool restore) {
    std::vector<EmfRecord> r{{33, {}}, {30, {0, 0, 10, 10}}};  // SaveDC, IntersectClipRect
    if (restore) r.push_back({34, {-1}});
    r.insert(r.end(), {RedBrush(), Select(1), Select(kNullPen), Rect(0, 0, 40, 40)});
    return Play(Emf(r));
  };
  ExpectPixels(clipped(false), {{5, 5, kRed}, {20, 20, kWhite}}, "clipped");
  ExpectPixels(clipped(true), {{5, 5, kRed}, {20, 20, kRed}}, "restored");
  // However deep the saves go, restoring the first level removes a clip made inside it:
  // the device context and the canvas keep the same levels.
  for (const char* depth : {"1000", "2000"}) {
    std::vector<EmfRecord> r{{33, {}}, {30, {0, 0, 10, 10}}};
    r.insert(r.end(), size_t(std::atoi(depth) - 1), EmfRecord{33, {}});
    r.insert(r.end(), {{34, {1}}, RedBrush(), Select(1), Select(kNullPen), Rect(0, 0, 40, 40)});
    ExpectPixels(Play(Emf(r)), {{5, 5, kRed}, {20, 20, kRed}}, depth);
  }
}

// TRIVERTEX: a point and 16-bit channels, packed as the record's 32-bit words.
std::vector<int64_t> Vertex(int x, int y, ColorTriple c) {
  return {x, y, int64_t(c.red) << 8 | int64_t(c.green) << 24, int64_t(c.blue) << 8};
}

TEST(MetafilePlayer, GradientFills) {
  const ColorTriple kBlue{255, 0, 0}, kGreen{0, 255, 0};
  const auto near = [](ColorTriple a, ColorTriple b) {
    return std::abs(a.red - b.red) < 24 && std::abs(a.green - b.green) < 24 && std::abs(a.blue - b.blue) < 24;
  };
  const struct {
    const char* description;
    int mode;
    std::vector<std::vector<int64_t>> vertices;
    std::vector<int64_t> shape;
    std::initializer_list<Probe> probes;
  } cases[] = {
      {"rectangle across", 0, {Vertex(4, 4, kRed), Vertex(44, 44, kBlue)}, {0, 1},
       {{5, 24, kRed}, {42, 24, kBlue}, {5, 42, kRed}, {24, 46, kWhite}}},
      {"rectangle down", 1, {Vertex(4, 4, kRed), Vertex(44, 44, kBlue)}, {0, 1},
       {{24, 5, kRed}, {24, 42, kBlue}, {42, 5, kRed}}},
      {"triangle", 2, {Vertex(2, 2, kRed), Vertex(46, 2, kGreen), Vertex(2, 46, kBlue)}, {0, 1, 2},
       {{3, 3, kRed}, {42, 4, kGreen}, {4, 42, kBlue}, {40, 40, kWhite}}},
  };
  for (const auto& c : cases) {
    std::vector<int64_t> values{0, 0, -1, -1, int64_t(c.vertices.size()), 1, c.mode};
    for (const auto& v : c.vertices) values.insert(values.end(), v.begin(), v.end());
    values.insert(values.end(), c.shape.begin(), c.shape.end());
    const Bitmap24 b = Play(Emf({{118, values}}));
    for (const Probe& p : c.probes) {
      EXPECT_TRUE(near(b.Pixel(p.x, p.y), p.expected)) << c.description << " at " << p.x << ", " << p.y;
    }
  }
}

// SmallTextOut (8-bit characters without bounds, or UTF-16 after them) and PolyTextOut
// (two texts, each with its own reference point) draw their characters.
TEST(MetafilePlayer, SmallAndPolyTextRecordsDrawInk) {
  const auto eight = Bytes().Str("HH");
  const auto wide = Bytes().U16LE('H').U16LE('H');
  // PolyTextOutW: the fixed part, two EMRTEXTs (40 bytes each), then their strings.
  const auto emrText = [](int x, int y, int offset) -> std::vector<int64_t> {
    return {x, y, 2, offset, 0, 0, 0, -1, -1, 0};
  };
  std::vector<int64_t> poly{0, 0, -1, -1, 1, 0, 0, 2};
  for (const auto& t : {emrText(4, 4, 120), emrText(24, 28, 124)}) poly.insert(poly.end(), t.begin(), t.end());
  const struct {
    const char* description;
    EmfRecord record;
    Ink expected;  // the ink lies within this box and reaches its corners' rows and columns
  } cases[] = {
      {"small characters, no bounds", {108, {4, 4, 2, 0x300, 1, 0, 0}, eight}, {4, 4, 32, 24}},
      {"UTF-16 after the bounds", {108, {4, 4, 2, 0, 1, 0, 0, 0, 0, 48, 48}, wide}, {4, 4, 32, 24}},
      {"two texts", {97, poly, Bytes().U16LE('H').U16LE('H').U16LE('H').U16LE('H')}, {4, 4, 47, 47}},
  };
  for (const auto& c : cases) {
    const Ink ink = InkOf(Play(Emf({Font(-16), Select(2), c.record})));
    EXPECT_GE(ink.left, c.expected.left) << c.description;
    EXPECT_GE(ink.top, c.expected.top) << c.description;
    EXPECT_LE(ink.right, c.expected.right) << c.description;
    EXPECT_LE(ink.bottom, c.expected.bottom) << c.description;
    EXPECT_GT(ink.right, c.expected.right - 16) << c.description;
    EXPECT_GT(ink.bottom, c.expected.bottom - 16) << c.description;
  }
}

// MT Extra's vector harpoon stands on its baseline as that font sets it; the substitute
// font's own harpoon sits at its maths axis, well above.
TEST(MetafilePlayer, MtExtraArrowsStandOnTheBaseline) {
  for (const char16_t code : {u'v', u'r', u'\uF077'}) {
    const Ink ink = InkOf(Play(Emf({Font(-40, "MT Extra"), Select(2), {22, {24}}, TextOut(4, 30, {code})})));
    EXPECT_NEAR(ink.bottom, 29, 1.5) << int(code);
    EXPECT_GT(ink.top, 8) << int(code);
  }
}

TEST(MetafilePlayer, MalformedRecordsAreRefused) {
  test::ExpectRefusals(ReadMetafile, {
      {"gradient corners past the record", Emf({{118, {0, 0, -1, -1, 1000, 1, 0}}}), "shorter than its parameters"},
      {"gradient rectangles past the record", Emf({{118, {0, 0, -1, -1, 1, 1000, 0, 1, 1, 0, 0}}}),
       "shorter than its parameters"},
      {"texts past the record", Emf({{96, {0, 0, -1, -1, 1, 0, 0, 1000}}}), "shorter than its parameters"},
      {"small text past the record", Emf({{108, {4, 4, 1000, 0x300, 1, 0, 0}}}), "shorter than its parameters"},
      {"PolyDraw types past the record", Emf({{56, {0, 0, -1, -1, 2, 1, 1, 2, 2}}}), "shorter than its parameters"},
      {"a mask outside the record",
       Emf({[] { EmfRecord r = MaskedBlt(78, {10, 10, 8, 8, 0xAACC0020, 0, 0}, true); r.values[29] = 4000; return r; }()}),
       "points outside itself"},
  });
}

TEST(MetafileText, CharsetsAndUtf16) {
  const struct {
    std::vector<uint8_t> bytes;
    uint8_t charset;
    std::u32string expected;
  } cases[] = {
      {{0xC6, 0xE9}, 204, U"Жй"},  // RUSSIAN_CHARSET: Windows-1251
      {{0xE9, 0x80}, 0, U"é€"},    // ANSI_CHARSET: Windows-1252
      {{0x82, 0xA0}, 128, U"あ"},   // SHIFTJIS_CHARSET: one character from two bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(metafile::DecodeCharset(ByteSpan(c.bytes), c.charset), c.expected) << int(c.charset);
  }
  const std::vector<uint8_t> utf16{'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};  // A, U+1F600, a lone surrogate
  EXPECT_EQ(metafile::DecodeUtf16(ByteSpan(utf16)), U"A\U0001F600\uFFFD");
}

}  // namespace
}  // namespace kestal
