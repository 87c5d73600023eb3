// Layouts that no shared sample covers, built here byte by byte: Animator Pro PIC
// pictures, Paint Shop Pro composites in each compression, the Photo-CD orientation,
// and the refusals of each reader.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "imageio/codecs/autodesk_reader.h"
#include "imageio/codecs/pcd_reader.h"
#include "imageio/codecs/psp_reader.h"
#include "imageio/codecs/rla_reader.h"
#include "support/image_compare.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, unsigned v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// ---- Animator Pro PIC ----

Bytes ProPicture(int width, int height, const Bytes& pixels, bool withPalette) {
  Bytes b;
  Put32(b, 0);
  Put16(b, 0x9500);
  Put16(b, width);
  Put16(b, height);
  b.resize(18, 0);
  b.push_back(8);
  b.resize(64, 0);
  if (withPalette) {
    Put32(b, 6 + 2 + 768);
    Put16(b, 0);  // colour map chunk
    Put16(b, 0);  // version
    for (int i = 0; i < 256; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  }
  Put32(b, uint32_t(6 + pixels.size()));
  Put16(b, 1);  // byte pixels chunk
  Append(b, pixels);
  return b;
}

TEST(AutodeskReader, ProPictureWithAndWithoutPalette) {
  const Bytes pixels = {0, 1, 2, 200, 255, 7};
  auto coloured = ReadAutodesk(ByteSpan(ProPicture(3, 2, pixels, true)), kDefaultPixelLimits);
  ASSERT_TRUE(coloured.ok()) << coloured.error().Line();
  EXPECT_EQ(coloured->Width(), 3);
  EXPECT_EQ(coloured->Height(), 2);
  EXPECT_EQ(coloured->Pixel(0, 1), (ColorTriple{100, 55, 200}));  // index 200: r 200, g 55, b 100
  auto grey = ReadAutodesk(ByteSpan(ProPicture(3, 2, pixels, false)), kDefaultPixelLimits);
  ASSERT_TRUE(grey.ok()) << grey.error().Line();
  EXPECT_EQ(grey->Pixel(1, 1), (ColorTriple{255, 255, 255}));
}

TEST(AutodeskReader, MalformedFilesAreRefused) {
  Bytes shortPixels = ProPicture(4, 4, Bytes(4, 1), false);
  Bytes oversized = ProPicture(3, 2, Bytes(6, 1), false);
  oversized[64] = 0xFF;  // a chunk longer than the file
  Bytes original = {0x19, 0x91, 200, 0, 100, 0};
  original.resize(32 + 768 + 10, 0);
  original[10] = 8;
  Bytes flic(128, 0);
  flic[4] = 0x12, flic[5] = 0xAF, flic[8] = 4, flic[10] = 4, flic[12] = 8;
  test::ExpectRefusals(ReadAutodesk, {
      {"no known signature", Bytes(40, 0), "not an Autodesk"},
      {"pixel chunk shorter than the picture", shortPixels, "truncated"},
      {"chunk longer than the file", oversized, "truncated"},
      {"original Animator cel with too few pixels", original, "truncated"},
      {"animation without a frame", flic, "no frame"},
      {"a PC Paint picture, which shares .pic", Bytes{0x34, 0x12, 200, 0, 30, 1, 0, 0}, "PC Paint (Pictor)"},
  });
}

TEST(AutodeskReader, SizesOverTheLimitsAreRefusedBeforeAllocating) {
  const PixelLimits small{100, 5000};
  auto r = ReadAutodesk(ByteSpan(ProPicture(200, 2, Bytes(400, 0), false)), small);
  EXPECT_FALSE(r.ok());
}

// ---- Paint Shop Pro ----

Bytes Block(uint16_t id, const Bytes& body) {
  Bytes b = {'~', 'B', 'K', 0};
  Put16(b, id);
  Put32(b, uint32_t(body.size()));
  Append(b, body);
  return b;
}

Bytes PspHeader(uint16_t major) {
  Bytes b(32, 0);
  std::memcpy(b.data(), "Paint Shop Pro Image File\n\x1a", 27);
  Put16(b, major);
  Put16(b, 0);
  return b;
}

Bytes ImageBlock(int w, int h) {
  Bytes body;
  Put32(body, 12);
  Put32(body, uint32_t(w));
  Put32(body, uint32_t(h));
  return Block(0, body);
}

Bytes Attributes(int w, int h, uint16_t depth, uint16_t compression, uint16_t type) {
  Bytes body;
  Put32(body, 24);
  Put32(body, uint32_t(w));
  Put32(body, uint32_t(h));
  Put16(body, depth);
  Put16(body, compression);
  Put16(body, 1);
  Put32(body, 0);
  Put16(body, type);
  return Block(17, body);
}

Bytes Channel(uint16_t channelType, const Bytes& data, uint32_t rawSize) {
  Bytes body;
  Put32(body, 16);
  Put32(body, uint32_t(data.size()));
  Put32(body, rawSize);
  Put16(body, 0);
  Put16(body, channelType);
  Append(body, data);
  return Block(5, body);
}

// One plane coded as the composite's compression says.
Bytes Code(const Bytes& plane, int w, int h, uint16_t compression) {
  Bytes out;
  if (compression == 0) {
    for (int y = 0; y < h; ++y) {
      out.insert(out.end(), plane.begin() + y * w, plane.begin() + (y + 1) * w);
      out.resize((out.size() + 3) & ~size_t{3}, 0);
    }
  } else if (compression == 1) {
    // A run for the first pixel of each row, then the rest literally.
    for (int y = 0; y < h; ++y) {
      out.insert(out.end(), {uint8_t(129), plane[y * w]});
      out.push_back(uint8_t(w - 1));
      out.insert(out.end(), plane.begin() + y * w + 1, plane.begin() + (y + 1) * w);
    }
  } else {
    uLongf size = compressBound(uLong(plane.size()));
    out.resize(size);
    compress(out.data(), &size, plane.data(), uLong(plane.size()));
    out.resize(size);
  }
  return out;
}

Bytes PspWithComposite(int w, int h, uint16_t compression) {
  Bytes planes[3];
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < w * h; ++i) planes[c].push_back(uint8_t(i * 10 + c * 80));
  Bytes composite;
  Put32(composite, 8);
  Put16(composite, 1);
  Put16(composite, 3);
  for (int c = 0; c < 3; ++c) Append(composite, Channel(uint16_t(c + 1), Code(planes[c], w, h, compression), w * h));
  Bytes bank;
  Put32(bank, 8);
  Put32(bank, 2);
  // A small thumbnail first, which must be passed over.
  Append(bank, Attributes(2, 1, 24, 0, 1));
  Append(bank, Block(9, Bytes{8, 0, 0, 0, 0, 0, 0, 0}));
  Append(bank, Attributes(w, h, 24, compression, 0));
  Append(bank, Block(9, composite));
  Bytes file = PspHeader(5);
  Append(file, ImageBlock(w, h));
  Append(file, Block(16, bank));
  return file;
}

// A version 3 block: its leading data has its length in the block header.
Bytes Version3Block(uint16_t id, const Bytes& head, const Bytes& rest = {}) {
  Bytes b = {'~', 'B', 'K', 0};
  Put16(b, id);
  Put32(b, uint32_t(head.size()));
  Put32(b, uint32_t(head.size() + rest.size()));
  Append(b, head);
  Append(b, rest);
  return b;
}

// A version 3 file of a (w + 1) × h picture whose one layer covers all but its first
// column (and `overhang` columns past its right edge), with the planes of
// PspWithComposite.
Bytes Psp3WithLayer(int w, int h, uint16_t compression, uint16_t layerCount = 1, int overhang = 0) {
  Bytes image;
  Put32(image, uint32_t(w + 1));
  Put32(image, uint32_t(h));
  image.resize(image.size() + 9, 0);  // resolution and its unit
  Put16(image, compression);
  Put16(image, 24);
  image.resize(image.size() + 15, 0);  // planes, colours, grey flag, size, active layer
  Put16(image, layerCount);
  Bytes info(257, 0);  // name and type
  for (int32_t v : {1, 0, w + 1 + overhang, h}) Put32(info, uint32_t(v));
  Bytes channels;
  for (int c = 0; c < 3; ++c) {
    Bytes plane, head;
    for (int i = 0; i < w * h; ++i) plane.push_back(uint8_t(i * 10 + c * 80));
    const Bytes data = Code(plane, w, h, compression);
    Put32(head, uint32_t(data.size()));
    Put32(head, uint32_t(w * h));
    Put16(head, 0);
    Put16(head, uint16_t(c + 1));
    Append(channels, Version3Block(5, head, data));
  }
  Bytes file = PspHeader(3);
  Append(file, Version3Block(0, image));
  Append(file, Version3Block(3, {}, Version3Block(4, info, channels)));
  return file;
}

TEST(PspReader, CompositeChannelsInEachCompression) {
  const struct {
    const char* description;
    uint16_t compression;
  } cases[] = {{"uncompressed, rows padded to four bytes", 0}, {"run-length", 1}, {"LZ77", 2}};
  for (const auto& c : cases) {
    auto b = ReadPsp(ByteSpan(PspWithComposite(5, 3, c.compression)), kDefaultPixelLimits);
    ASSERT_TRUE(b.ok()) << c.description << ": " << b.error().Line();
    ASSERT_EQ(b->Width(), 5) << c.description;
    ASSERT_EQ(b->Height(), 3) << c.description;
    // Pixel (2, 1) is sample 7: red 70, green 150, blue 230.
    EXPECT_EQ(b->Pixel(2, 1), (ColorTriple{230, 150, 70})) << c.description;
    // Version 3 keeps the picture in its one layer, here one column in from the left.
    auto v3 = ReadPsp(ByteSpan(Psp3WithLayer(5, 3, c.compression)), kDefaultPixelLimits);
    ASSERT_TRUE(v3.ok()) << c.description << ", version 3: " << v3.error().Line();
    ASSERT_EQ(v3->Width(), 6) << c.description;
    EXPECT_EQ(v3->Pixel(3, 1), (ColorTriple{230, 150, 70})) << c.description << ", version 3";
    EXPECT_EQ(v3->Pixel(0, 1), (ColorTriple{255, 255, 255})) << c.description << ", version 3";
  }
}

TEST(PspReader, RefusalsNameTheCause) {
  Bytes layersOnly = PspHeader(6);
  Append(layersOnly, ImageBlock(4, 4));
  Append(layersOnly, Block(3, Bytes(8, 0)));
  Bytes truncated = PspWithComposite(5, 3, 2);
  truncated.resize(truncated.size() - 10);
  test::ExpectRefusals(ReadPsp, {
      {"version 3 keeps no composite", PspHeader(3), "version 3.0"},
      {"layers only", layersOnly, "version 6.0) holds no composite"},
      {"cut short inside the composite", truncated, "corrupt"},
      {"version 3 with layers to blend", Psp3WithLayer(5, 3, 0, 2), "blending their 2 layers"},
      {"version 3 layer wider than the picture", Psp3WithLayer(5, 3, 0, 1, 1), "outside the picture"},
  });
}

TEST(PspReader, SampleWithJpegComposite) {
  KESTAL_REQUIRE_SAMPLES();
  auto bytes = test::RunCommand("cat " + test::ShellQuote((test::Samples() / "formats/psp/exiftool/PSP.psp").string()));
  auto b = ReadPsp(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.output.data()), bytes.output.size()),
                   kDefaultPixelLimits);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  EXPECT_EQ(b->Width(), 8);
  EXPECT_EQ(b->Pixel(3, 3), (ColorTriple{255, 255, 255}));
}

// ---- Photo-CD ----

Bytes PhotoCd(uint8_t orientation) {
  Bytes b(0x30000 + 768 * 512 * 3 / 2, 0);
  std::memcpy(b.data() + 0x800, "PCD_IPI", 7);
  b[0xE02] = orientation;
  uint8_t* base = b.data() + 0x30000;
  // Neutral chroma everywhere; luma 180 in the top-left pixel only.
  for (int pair = 0; pair < 256; ++pair) std::memset(base + pair * 2304 + 1536, 0, 768);
  for (int pair = 0; pair < 256; ++pair) {
    std::memset(base + pair * 2304 + 1536, 156, 384);
    std::memset(base + pair * 2304 + 1920, 137, 384);
  }
  base[0] = 180;
  return b;
}

TEST(PcdReader, OrientationTurnsTheBase) {
  const ColorTriple lit{245, 245, 245};  // 1.3584 × 180 rounded, grey
  const struct {
    const char* description;
    uint8_t orientation;
    int width, height, litX, litY;
  } cases[] = {
      {"upright", 0, 768, 512, 0, 0},
      {"a quarter counter-clockwise: the top-left corner goes to the bottom-left", 1, 512, 768, 0, 767},
      {"a half turn", 2, 768, 512, 767, 511},
      {"a quarter clockwise: the top-left corner goes to the top-right", 3, 512, 768, 511, 0},
  };
  for (const auto& c : cases) {
    auto b = ReadPcd(ByteSpan(PhotoCd(c.orientation)), kDefaultPixelLimits);
    ASSERT_TRUE(b.ok()) << c.description;
    EXPECT_EQ(b->Width(), c.width) << c.description;
    EXPECT_EQ(b->Height(), c.height) << c.description;
    EXPECT_EQ(b->Pixel(c.litX, c.litY), lit) << c.description;
  }
}

TEST(PcdReader, TruncatedPackIsRefused) {
  Bytes b = PhotoCd(0);
  b.resize(0x30000 + 1000);
  auto r = ReadPcd(ByteSpan(b), kDefaultPixelLimits);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("truncated"), std::string::npos);
}

// ---- Alias/Wavefront ----

TEST(RlaReader, MalformedHeadersAreRefused) {
  auto header = [](int16_t right, int16_t top, int16_t channels, int16_t bits) {
    Bytes b(740 + 4, 0);
    auto put = [&](size_t at, int16_t v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); };
    put(2, right), put(6, top), put(10, right), put(14, top);
    put(20, channels), put(658, bits);
    return b;
  };
  test::ExpectRefusals(ReadRla, {
      {"shorter than the header", Bytes(100, 0), "shorter than its header"},
      {"two colour channels", header(9, 9, 2, 8), "colour channels"},
      {"32-bit integer channels", header(9, 9, 3, 32), "channel depth"},
      {"scanline table cut short", header(9, 9, 3, 8), "scanline table"},
      {"empty window", header(-1, 0, 3, 8), "window is empty"},
  });
}

}  // namespace
}  // namespace kestal
