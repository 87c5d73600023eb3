// Targa, portable map, SGI, PCX, Photoshop and TIFF reading from hand-built files, and
// the Targa writer.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imageio/codecs/pcx_reader.h"
#include "imageio/codecs/png_codec.h"
#include "imageio/codecs/pnm_reader.h"
#include "imageio/codecs/psd_reader.h"
#include "imageio/codecs/sgi_reader.h"
#include "imageio/codecs/tga_codec.h"
#include "imageio/codecs/tiff_reader.h"
#include "imageio/image_files.h"
#include "support/byte_builder.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Bytes;

const ColorTriple kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

// Checks a 2 × 2 decode: top-left, top-right, bottom-left, bottom-right.
void Expect2x2(const Result<Bitmap24>& r, const char* what, ColorTriple tl, ColorTriple tr, ColorTriple bl,
               ColorTriple br) {
  ASSERT_TRUE(r.ok()) << what << ": " << r.error().cause;
  ASSERT_EQ(r->Width(), 2) << what;
  ASSERT_EQ(r->Height(), 2) << what;
  EXPECT_EQ(r->Pixel(0, 0), tl) << what;
  EXPECT_EQ(r->Pixel(1, 0), tr) << what;
  EXPECT_EQ(r->Pixel(0, 1), bl) << what;
  EXPECT_EQ(r->Pixel(1, 1), br) << what;
}

Bytes TgaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t bpp, uint8_t descriptor, uint16_t map_first = 0,
                uint16_t map_length = 0, uint8_t map_bits = 0) {
  Bytes b;
  b.U8(0).U8(map_length ? 1 : 0).U8(type).U16LE(map_first).U16LE(map_length).U8(map_bits);
  b.U16LE(0).U16LE(0).U16LE(w).U16LE(h).U8(bpp).U8(descriptor);
  return b;
}

TEST(TgaReader, OriginsColourMapsRleAndAlpha) {
  // File order of the four 24-bit pixels: red, green, blue, white.
  const auto four = [](Bytes b) { return b.Raw({0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}); };
  // A colour map of 16-bit entries (A1R5G5B5) starting at index 10.
  Bytes mapped = TgaHeader(1, 2, 2, 8, 0x20, 10, 3, 16);
  mapped.U16LE(0x7C00).U16LE(0x03E0).U16LE(0x001F).Raw({10, 11, 12, 99});  // 99 is outside the map
  // RLE: one run of 3 red pixels crossing the first row, one literal blue.
  Bytes rle = TgaHeader(10, 2, 2, 24, 0x20);
  rle.Raw({0x82, 0, 0, 255, 0x00, 255, 0, 0});
  Bytes gray = TgaHeader(11, 2, 2, 8, 0x20);
  gray.Raw({0x83, 128});
  // 32-bit pixels: with 8 alpha bits the alpha is applied, with 0 it is padding.
  const auto bgra = [](uint8_t descriptor) {
    Bytes b = TgaHeader(2, 2, 2, 32, descriptor);
    for (int i = 0; i < 4; ++i) b.Raw({0, 0, 0, uint8_t(i == 0 ? 0 : 255)});
    return b;
  };
  const ColorTriple gray128{128, 128, 128};
  Expect2x2(ReadTga(four(TgaHeader(2, 2, 2, 24, 0x00)).Span(), kDefaultPixelLimits), "bottom-left", kBlue, kWhite, kRed, kGreen);
  Expect2x2(ReadTga(four(TgaHeader(2, 2, 2, 24, 0x10)).Span(), kDefaultPixelLimits), "bottom-right", kWhite, kBlue, kGreen, kRed);
  Expect2x2(ReadTga(four(TgaHeader(2, 2, 2, 24, 0x20)).Span(), kDefaultPixelLimits), "top-left", kRed, kGreen, kBlue, kWhite);
  Expect2x2(ReadTga(four(TgaHeader(2, 2, 2, 24, 0x30)).Span(), kDefaultPixelLimits), "top-right", kGreen, kRed, kWhite, kBlue);
  Expect2x2(ReadTga(mapped.Span(), kDefaultPixelLimits), "16-bit map from index 10", kRed, kGreen, kBlue, kBlack);
  Expect2x2(ReadTga(rle.Span(), kDefaultPixelLimits), "RLE run across rows", kRed, kRed, kRed, kBlue);
  Expect2x2(ReadTga(gray.Span(), kDefaultPixelLimits), "RLE grayscale", gray128, gray128, gray128, gray128);
  Expect2x2(ReadTga(bgra(0x28).Span(), kDefaultPixelLimits), "8 alpha bits", kWhite, kBlack, kBlack, kBlack);
  Expect2x2(ReadTga(bgra(0x20).Span(), kDefaultPixelLimits), "0 alpha bits", kBlack, kBlack, kBlack, kBlack);
}

TEST(TgaReader, RefusesBrokenFiles) {
  Bytes short_data = TgaHeader(2, 2, 2, 24, 0);
  short_data.Fill(11);
  Bytes short_rle = TgaHeader(10, 2, 2, 24, 0);
  short_rle.Raw({0x81, 0, 0, 255});  // covers 2 of 4 pixels, then ends
  Bytes no_map = TgaHeader(1, 2, 2, 8, 0);
  no_map.Fill(4);
  Bytes odd_depth = TgaHeader(2, 2, 2, 12, 0);
  odd_depth.Fill(12);
  Bytes huge = TgaHeader(2, 65535, 65535, 24, 0);
  for (const Bytes* b : {&short_data, &short_rle, &no_map, &odd_depth, &huge}) {
    auto r = ReadTga(b->Span(), kDefaultPixelLimits);
    EXPECT_FALSE(r.ok());
    if (!r.ok()) {
      EXPECT_FALSE(r.error().cause.empty());
    }
  }
}

TEST(TgaWriter, SavedFilesReadBackIdentical) {
  test::TempDir dir;
  const Bitmap24 picture = test::Noise(47, 33);
  const std::string path = dir / "frame.TGA";
  ASSERT_TRUE(SaveBitmapFile(path, picture).ok());
  auto back = LoadImageFile(path);
  ASSERT_TRUE(back.ok()) << back.error().Line();
  EXPECT_TRUE(back->SamePixels(picture));
  EXPECT_TRUE(SniffTga(ByteSpan(EncodeTga(picture))));

  auto empty = Bitmap24::Create(0, 0);
  EXPECT_FALSE(SaveBitmapFile(dir / "empty.tga", empty.value()).ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.tga"));
}

TEST(PnmReader, AllSixKindsWithCommentsAndWideSamples) {
  struct Row {
    const char* what;
    std::string text;
    ColorTriple tl, br;
  };
  const ColorTriple mid{128, 128, 128};
  const Row rows[] = {
      {"P1 with packed digits", "P1\n# comment\n2 2\n1001", kBlack, kBlack},
      {"P2 with a comment inside the header", "P2 2 # width\n2 255\n0 128 128 255\n", kBlack, kWhite},
      {"P3 with maxval 65535", "P3 2 2 65535\n65535 0 0  0 0 0  0 0 0  32896 32896 32896\n", kRed, mid},
      {"P4", std::string("P4\n2 2\n") + char(0x40) + char(0x80), kWhite, kWhite},
      {"P5 16-bit", std::string("P5 2 2 1000\n") + std::string("\x03\xE8\0\0\0\0\x01\xF4", 8), kWhite, mid},
      {"P6, first of two images", std::string("P6 2 2 255\n") + std::string("\xFF\0\0", 3) + std::string(6, '\0') +
                                      std::string(3, '\xFF') + "P6 1 1 255\n\0\0\0",
       kRed, kWhite},
  };
  for (const Row& row : rows) {
    ByteSpan data(reinterpret_cast<const uint8_t*>(row.text.data()), row.text.size());
    auto r = ReadPnm(data, kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << row.what << ": " << r.error().cause;
    EXPECT_EQ(r->Pixel(0, 0), row.tl) << row.what;
    EXPECT_EQ(r->Pixel(1, 1), row.br) << row.what;
  }
  for (const char* bad : {"P6 2 2 255\n\xFF", "P2 2 2 0\n0 0 0 0", "P3 2 2 255\n1 2 x", "P5 -2 2 255\n", "P7 1 1 1\n"}) {
    EXPECT_FALSE(ReadPnm(ByteSpan(reinterpret_cast<const uint8_t*>(bad), std::strlen(bad) + 1), kDefaultPixelLimits).ok())
        << bad;
  }
  // Deluxe Paint's IFF pictures share .pbm; the refusal says what the file is.
  const char iff[] = "FORM\0\0\0\x10PBM BMHD";
  auto r = ReadPnm(ByteSpan(reinterpret_cast<const uint8_t*>(iff), sizeof iff), kDefaultPixelLimits);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("IFF pictures"), std::string::npos) << r.error().cause;
}

// An SGI header for a 2 × 2 picture.
Bytes SgiHeader(uint8_t storage, uint8_t bpc, uint16_t channels) {
  Bytes b;
  b.U16BE(474).U8(storage).U8(bpc).U16BE(3).U16BE(2).U16BE(2).U16BE(channels);
  b.U32BE(0).U32BE(bpc == 2 ? 65535 : 255).Fill(4 + 80).U32BE(0).Fill(404);
  return b;
}

TEST(SgiReader, VerbatimRleWideSamplesAndAlpha) {
  // Verbatim RGB: planes of rows, bottom row first.
  Bytes rgb = SgiHeader(0, 1, 3);
  rgb.Raw({255, 0, 0, 255}).Raw({0, 255, 0, 255}).Raw({0, 0, 255, 255});
  Expect2x2(ReadSgi(rgb.Span(), kDefaultPixelLimits), "verbatim RGB", kBlue, kWhite, kRed, kGreen);

  // RLE gray and alpha with 2-byte samples: each row a run of 2, then the terminator.
  Bytes rle = SgiHeader(1, 2, 2);
  const uint32_t data_at = 512 + 2 * 4 * 4;
  for (uint32_t i = 0; i < 4; ++i) rle.U32BE(data_at + 6 * i);
  for (int i = 0; i < 4; ++i) rle.U32BE(6);
  rle.U16BE(2).U16BE(0).U16BE(0).U16BE(2).U16BE(0xFFFF).U16BE(0);  // gray: black rows
  rle.U16BE(2).U16BE(0xFFFF).U16BE(0).U16BE(2).U16BE(0).U16BE(0);  // alpha: bottom opaque, top clear
  Expect2x2(ReadSgi(rle.Span(), kDefaultPixelLimits), "RLE gray and alpha", kWhite, kWhite, kBlack, kBlack);

  Bytes outside = rle;
  outside.PatchU32LE(512, 0x00FFFFFF);  // a row offset past the end of the file
  EXPECT_FALSE(ReadSgi(outside.Span(), kDefaultPixelLimits).ok());
  Bytes cut = SgiHeader(0, 1, 3);
  cut.Fill(11);
  EXPECT_FALSE(ReadSgi(cut.Span(), kDefaultPixelLimits).ok());
  const std::vector<uint8_t> raw_rgb(12, 7);
  auto not_sgi = DecodeImage(ByteSpan(raw_rgb), "raw.rgb");
  ASSERT_FALSE(not_sgi.ok());
  EXPECT_EQ(not_sgi.error().cause, "not an SGI image");
}

Bytes PcxHeader(uint8_t bpp, uint8_t planes, uint16_t bytes_per_line, uint8_t version = 5) {
  Bytes b;
  b.U8(0x0A).U8(version).U8(1).U8(bpp).U16LE(0).U16LE(0).U16LE(1).U16LE(1).U16LE(72).U16LE(72);
  const uint8_t ega[6] = {0, 0, 0, 255, 0, 0};  // entry 0 black, entry 1 red
  for (uint8_t v : ega) b.U8(v);
  b.Fill(42).U8(0).U8(planes).U16LE(bytes_per_line).U16LE(1).Fill(58);
  return b;
}

TEST(PcxReader, PalettesPlanesAndRunsAcrossLines) {
  // 8 bits, one plane, VGA palette: a run of 3 × index 2 crossing the first line.
  Bytes vga = PcxHeader(8, 1, 2);
  vga.Raw({0xC3, 2, 1}).U8(0x0C);
  for (int i = 0; i < 256; ++i) vga.U8(i == 1 ? 255 : 0).U8(i == 2 ? 255 : 0).U8(0);
  Expect2x2(ReadPcx(vga.Span(), kDefaultPixelLimits), "VGA palette", kGreen, kGreen, kGreen, kRed);

  // 24 bits as three planes of 2 bytes per line: red, green and blue lines in turn.
  Bytes rgb = PcxHeader(8, 3, 2);
  rgb.Raw({0xC2, 255, 0xC2, 0, 0xC2, 0}).Raw({0xC2, 0, 0xC2, 0, 0xC2, 255});
  Expect2x2(ReadPcx(rgb.Span(), kDefaultPixelLimits), "three planes", kRed, kRed, kBlue, kBlue);

  // 1 bit in 4 planes: plane 0 gives bit 0 of the EGA index.
  Bytes ega = PcxHeader(1, 4, 2);
  ega.Raw({0x80, 0, 0, 0, 0, 0, 0, 0}).Raw({0x40, 0, 0, 0, 0, 0, 0, 0});
  Expect2x2(ReadPcx(ega.Span(), kDefaultPixelLimits), "EGA planes", kRed, kBlack, kBlack, kRed);

  Bytes cut = PcxHeader(8, 3, 2);
  cut.Raw({0xC2, 255});
  EXPECT_FALSE(ReadPcx(cut.Span(), kDefaultPixelLimits).ok());
  Bytes narrow = PcxHeader(8, 1, 1);  // rows of 1 byte for 2 pixels
  narrow.Fill(8);
  EXPECT_FALSE(ReadPcx(narrow.Span(), kDefaultPixelLimits).ok());
}

// A 2 × 2 Photoshop file of `channels` planes in `mode`, raw data `planes` (one byte a
// sample), with optional colour mode data, resources and layer and mask section.
Bytes Psd(uint16_t channels, uint16_t mode, const std::vector<uint8_t>& planes, const std::vector<uint8_t>& mode_data = {},
          const std::vector<uint8_t>& resources = {}, uint16_t depth = 8, const std::vector<uint8_t>& layers = {}) {
  Bytes b;
  b.Str("8BPS").U16BE(1).Fill(6).U16BE(channels).U32BE(2).U32BE(2).U16BE(depth).U16BE(mode);
  b.U32BE(uint32_t(mode_data.size())).Raw(mode_data);
  b.U32BE(uint32_t(resources.size())).Raw(resources);
  b.U32BE(uint32_t(layers.size())).Raw(layers);
  if (!planes.empty()) b.U16BE(0).Raw(planes);
  return b;
}

TEST(PsdReader, ColourModesRleAndMissingComposite) {
  Expect2x2(ReadPsd(Psd(3, 3, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}).Span(), kDefaultPixelLimits), "RGB",
            kRed, kGreen, kBlue, kWhite);
  // CMYK is stored inverted: 255 is no ink. Cyan + magenta ink gives blue.
  Expect2x2(ReadPsd(Psd(4, 4, {0, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 255}).Span(),
                    kDefaultPixelLimits),
            "CMYK", kBlue, kBlue, kBlack, kWhite);
  std::vector<uint8_t> palette(768, 0);
  palette[1] = 255;        // index 1: red
  palette[256 + 2] = 255;  // index 2: green
  Expect2x2(ReadPsd(Psd(1, 2, {0, 1, 2, 1}, palette).Span(), kDefaultPixelLimits), "indexed", kBlack, kRed, kGreen, kRed);
  // A fourth channel with transparent pixels that are not white: flattened over white.
  Expect2x2(ReadPsd(Psd(4, 3, {255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0}).Span(), kDefaultPixelLimits),
            "RGB with alpha", kRed, kWhite, kBlack, kWhite);
  // No pixel fully transparent: black at half transparency is a straight colour, lighter
  // once flattened; grey there is black already matted on white, and stays.
  const ColorTriple grey127{127, 127, 127}, grey128{128, 128, 128};
  Expect2x2(ReadPsd(Psd(4, 3, {0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 128, 255, 255, 255}).Span(), kDefaultPixelLimits),
            "straight colours, half transparent", grey127, kRed, kBlack, kBlack);
  Expect2x2(ReadPsd(Psd(4, 3, {128, 255, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0, 128, 255, 255, 255}).Span(), kDefaultPixelLimits),
            "matted colours, half transparent", grey128, kRed, kBlack, kBlack);

  // Multichannel inks show the first three as red, green and blue.
  Expect2x2(ReadPsd(Psd(3, 7, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}).Span(), kDefaultPixelLimits),
            "multichannel", kRed, kGreen, kBlue, kWhite);
  // Lab: L* 0..100 as 0..255, a* and b* offset by 128; sRGB red is about (53, 80, 67).
  Expect2x2(ReadPsd(Psd(3, 9, {136, 255, 0, 255, 208, 128, 128, 128, 195, 128, 128, 128}).Span(), kDefaultPixelLimits),
            "Lab", ColorTriple{1, 2, 255}, kWhite, kBlack, kWhite);
  // 32 bits: big-endian floats, 0 to 1 from black to white, clamped.
  Bytes floats;
  floats.U32BE(0x3F800000).U32BE(0).U32BE(0x3F000000).U32BE(0x40000000);
  const ColorTriple half{128, 128, 128};
  Expect2x2(ReadPsd(Psd(1, 1, floats.Vec(), {}, {}, 32).Span(), kDefaultPixelLimits), "32-bit float grey", kWhite,
            kBlack, half, kWhite);

  // RLE gray: per-row byte counts, then PackBits rows (a repeat and a literal).
  Bytes rle;
  rle.Str("8BPS").U16BE(1).Fill(6).U16BE(1).U32BE(2).U32BE(2).U16BE(8).U16BE(1).U32BE(0).U32BE(0).U32BE(0);
  rle.U16BE(1).U16BE(2).U16BE(3).Raw({0xFF, 128}).Raw({1, 0, 255});
  const ColorTriple mid{128, 128, 128};
  Expect2x2(ReadPsd(rle.Span(), kDefaultPixelLimits), "RLE gray", mid, mid, kBlack, kWhite);

  auto none = ReadPsd(Psd(3, 3, {}).Span(), kDefaultPixelLimits);
  ASSERT_FALSE(none.ok());
  EXPECT_NE(none.error().cause.find("no merged image"), std::string::npos);
  // The version resource (1057) says the composite is blank.
  Bytes version;
  version.Str("8BIM").U16BE(1057).U16BE(0).U32BE(5).U32BE(1).U8(0).U8(0);
  EXPECT_FALSE(ReadPsd(Psd(3, 3, std::vector<uint8_t>(12, 255), {}, version.Vec()).Span(), kDefaultPixelLimits).ok());
  EXPECT_FALSE(ReadPsd(Psd(3, 3, std::vector<uint8_t>(11, 255)).Span(), kDefaultPixelLimits).ok());
}

TEST(PsdReader, ExtraChannelIsTransparencyOnlyWhenTheFileSaysSo) {
  // Red, red, black, black under a fourth channel that is 0 on the right.
  const std::vector<uint8_t> planes = {255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0};
  const auto names = [](const std::string& name) {  // the alpha channel names resource (1006)
    Bytes b;
    b.Str("8BIM").U16BE(1006).U16BE(0).U32BE(uint32_t(name.size() + 1)).U8(uint8_t(name.size())).Str(name);
    if (name.size() % 2 == 0) b.U8(0);
    return b.Vec();
  };
  const auto layers = [](int16_t count) {  // layer information holding only its count
    Bytes b;
    b.U32BE(2).U16BE(uint16_t(count));
    return b.Vec();
  };
  const struct {
    const char* what;
    std::vector<uint8_t> resources, layers;
    bool transparent;
  } cases[] = {
      {"no layers, no channel names: other writers' transparency", {}, {}, true},
      {"no layers, a named channel: a saved selection", names("Red copy"), {}, false},
      {"no layers, the channel named Transparency", names("Transparency"), {}, true},
      {"a negative layer count", names("Transparency"), layers(-1), true},
      {"a positive layer count", {}, layers(2), false},
  };
  for (const auto& c : cases) {
    const auto r = ReadPsd(Psd(4, 3, planes, {}, c.resources, 8, c.layers).Span(), kDefaultPixelLimits);
    if (c.transparent) Expect2x2(r, c.what, kRed, kWhite, kBlack, kWhite);
    else Expect2x2(r, c.what, kRed, kRed, kBlack, kBlack);
  }
}

TEST(PsdReader, ExifResourceTurnsThePicture) {
  // The EXIF resource (1058) holds a bare TIFF structure, after a version resource.
  const auto exif = [](uint16_t orientation, uint32_t ifd) {
    Bytes b;
    b.Str("8BIM").U16BE(1057).U16BE(0).U32BE(5).U32BE(1).U8(1).U8(0);
    b.Str("8BIM").U16BE(1058).U16BE(0).U32BE(26);
    b.Str("II").U16LE(42).U32LE(ifd).U16LE(1).U16LE(0x0112).U16LE(3).U32LE(1).U16LE(orientation).U16LE(0);
    b.U32LE(0);
    return b.Vec();
  };
  const std::vector<uint8_t> rgb = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
  Expect2x2(ReadPsd(Psd(3, 3, rgb, {}, exif(2, 8)).Span(), kDefaultPixelLimits), "mirrored", kGreen, kRed, kWhite, kBlue);
  Expect2x2(ReadPsd(Psd(3, 3, rgb, {}, exif(3, 8)).Span(), kDefaultPixelLimits), "half turn", kWhite, kBlue, kGreen, kRed);
  Expect2x2(ReadPsd(Psd(3, 3, rgb, {}, exif(6, 8)).Span(), kDefaultPixelLimits), "quarter turn", kBlue, kRed, kWhite, kGreen);
  // A directory offset past the structure or an orientation out of range leaves it as stored.
  Expect2x2(ReadPsd(Psd(3, 3, rgb, {}, exif(6, 4000)).Span(), kDefaultPixelLimits), "bad offset", kRed, kGreen, kBlue, kWhite);
  Expect2x2(ReadPsd(Psd(3, 3, rgb, {}, exif(9, 8)).Span(), kDefaultPixelLimits), "bad orientation", kRed, kGreen, kBlue, kWhite);
}


// A one-row TIFF written through libtiff: `strips` holds one strip (or tile) per plane,
// already packed as the file stores it.
struct TiffLayout {
  const char* what;
  uint16_t photometric, bits, format, samples, extra, planar;
  std::vector<std::vector<uint8_t>> strips;
  std::vector<ColorTriple> expected;  // the first pixels of the row
  uint32_t width = 2;
  uint32_t tile = 0;  // tile side, or 0 for strips
};

std::vector<uint8_t> WriteTiff(const TiffLayout& l, const std::filesystem::path& path) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, l.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1u);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bits);
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, l.format);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.samples);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, l.planar);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  // The ExtraSamples tag when the samples outnumber the photometric's colours.
  const uint16_t colours = l.photometric == PHOTOMETRIC_RGB || l.photometric == PHOTOMETRIC_CIELAB ? 3
                           : l.photometric == PHOTOMETRIC_SEPARATED                                ? 4
                                                                                                   : 1;
  if (l.samples > colours) {
    const uint16_t extra[] = {l.extra};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  std::vector<uint16_t> map(size_t{1} << std::min<uint16_t>(l.bits, 8), 0);
  if (l.photometric == PHOTOMETRIC_PALETTE) {
    std::vector<uint16_t> red = map;
    red[1] = 65535;  // entry 1 is red, the others black
    TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), map.data(), map.data());
  }
  if (l.tile) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, l.tile);
    TIFFSetField(t, TIFFTAG_TILELENGTH, l.tile);
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1u);
  }
  for (size_t i = 0; i < l.strips.size(); ++i) {
    auto* data = const_cast<uint8_t*>(l.strips[i].data());
    const auto size = static_cast<tmsize_t>(l.strips[i].size());
    if (l.tile) TIFFWriteEncodedTile(t, static_cast<uint32_t>(i), data, size);
    else TIFFWriteEncodedStrip(t, static_cast<uint32_t>(i), data, size);
  }
  TIFFClose(t);
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Le16(std::initializer_list<uint16_t> values) {
  std::vector<uint8_t> out;
  for (uint16_t v : values) out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  return out;
}

TEST(TiffReader, LayoutsBeyondTheRgbaInterfaceReadSampleBySample) {
  const ColorTriple kCyan{255, 255, 0};
  auto grey = [](uint8_t v) { return ColorTriple{v, v, v}; };
  float floats[2] = {1.0f, 0.25f};
  std::vector<uint8_t> float_bytes(8);
  std::memcpy(float_bytes.data(), floats, 8);
  const TiffLayout layouts[] = {
      {"4-bit grey and alpha", PHOTOMETRIC_MINISBLACK, 4, SAMPLEFORMAT_UINT, 2, EXTRASAMPLE_UNASSALPHA,
       PLANARCONFIG_CONTIG, {{0x5F, 0x08}}, {grey(85), grey(119)}},
      {"2-bit RGB", PHOTOMETRIC_RGB, 2, SAMPLEFORMAT_UINT, 3, 0, PLANARCONFIG_CONTIG, {{0xC4, 0xB0}},
       {ColorTriple{85, 0, 255}, ColorTriple{255, 170, 0}}},
      {"12-bit grey", PHOTOMETRIC_MINISBLACK, 12, SAMPLEFORMAT_UINT, 1, 0, PLANARCONFIG_CONTIG,
       {{0xFF, 0xF8, 0x00}}, {kWhite, grey(128)}},
      {"10-bit RGB in planes", PHOTOMETRIC_RGB, 10, SAMPLEFORMAT_UINT, 3, 0, PLANARCONFIG_SEPARATE,
       {{0xFF, 0xC0, 0x00}, {0x00, 0x3F, 0xF0}, {0x00, 0x00, 0x00}}, {kRed, kGreen}},
      {"16-bit CMYK", PHOTOMETRIC_SEPARATED, 16, SAMPLEFORMAT_UINT, 4, 0, PLANARCONFIG_CONTIG,
       {Le16({0xFFFF, 0, 0, 0, 0, 0, 0, 0x8000})}, {kCyan, grey(127)}},
      {"32-bit float grey", PHOTOMETRIC_MINISBLACK, 32, SAMPLEFORMAT_IEEEFP, 1, 0, PLANARCONFIG_CONTIG,
       {float_bytes}, {kWhite, grey(64)}},
      {"16-bit half float grey", PHOTOMETRIC_MINISBLACK, 16, SAMPLEFORMAT_IEEEFP, 1, 0, PLANARCONFIG_CONTIG,
       {Le16({0x3C00, 0x3800})}, {kWhite, grey(128)}},
      {"16-bit signed grey: the most negative black, zero mid grey, the most positive white",
       PHOTOMETRIC_MINISBLACK, 16, SAMPLEFORMAT_INT, 1, 0, PLANARCONFIG_CONTIG, {Le16({0x8000, 0x0000, 0x7FFF})},
       {kBlack, grey(128), kWhite}, 3},
      {"32-bit signed grey, the same", PHOTOMETRIC_MINISBLACK, 32, SAMPLEFORMAT_INT, 1, 0, PLANARCONFIG_CONTIG,
       {{0, 0, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}}, {kBlack, grey(128), kWhite}, 3},
      {"8-bit RGB and an unspecified extra sample: straight alpha, not premultiplied", PHOTOMETRIC_RGB, 8,
       SAMPLEFORMAT_UINT, 4, EXTRASAMPLE_UNSPECIFIED, PLANARCONFIG_CONTIG, {{200, 0, 0, 100, 0, 0, 255, 255}},
       {ColorTriple{155, 155, 233}, kBlue}},
      {"8-bit CIELab, a* and b* signed (sRGB red is about 53, 80, 67)", PHOTOMETRIC_CIELAB, 8, SAMPLEFORMAT_UINT,
       3, 0, PLANARCONFIG_CONTIG, {{136, 80, 67, 0, 0, 0}}, {ColorTriple{1, 2, 255}, kBlack}},
      {"palette with alpha", PHOTOMETRIC_PALETTE, 8, SAMPLEFORMAT_UINT, 2, EXTRASAMPLE_UNASSALPHA,
       PLANARCONFIG_CONTIG, {{1, 255, 1, 0}}, {kRed, kWhite}},
      {"12-bit grey in 16 × 16 tiles, the second cut by the picture's edge", PHOTOMETRIC_MINISBLACK, 12,
       SAMPLEFORMAT_UINT, 1, 0, PLANARCONFIG_CONTIG, {std::vector<uint8_t>(384, 0xFF), std::vector<uint8_t>(384, 0)},
       {kWhite}, 20, 16},
      {"8-bit grey and straight alpha", PHOTOMETRIC_MINISBLACK, 8, SAMPLEFORMAT_UINT, 2, EXTRASAMPLE_UNASSALPHA,
       PLANARCONFIG_CONTIG, {{56, 179, 56, 255}}, {grey(115), grey(56)}},
      {"16-bit grey and straight alpha", PHOTOMETRIC_MINISBLACK, 16, SAMPLEFORMAT_UINT, 2, EXTRASAMPLE_UNASSALPHA,
       PLANARCONFIG_CONTIG, {Le16({0x3838, 0xB3B3, 0x3838, 0xFFFF})}, {grey(115), grey(56)}},
      {"16-bit grey in 16 × 16 tiles", PHOTOMETRIC_MINISBLACK, 16, SAMPLEFORMAT_UINT, 1, 0, PLANARCONFIG_CONTIG,
       {std::vector<uint8_t>(512, 0xFF), std::vector<uint8_t>(512, 0)}, {kWhite}, 20, 16},
  };
  test::TempDir dir;
  for (const TiffLayout& l : layouts) {
    const std::vector<uint8_t> file = WriteTiff(l, dir.path() / "layout.tif");
    auto r = ReadTiff(ByteSpan(file), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << l.what << ": " << r.error().cause;
    ASSERT_EQ(r->Width(), static_cast<int32_t>(l.width)) << l.what;
    for (size_t x = 0; x < l.expected.size(); ++x) EXPECT_EQ(r->Pixel(static_cast<int32_t>(x), 0), l.expected[x]) << l.what << ", pixel " << x;
    if (l.tile) {
      EXPECT_EQ(r->Pixel(15, 0), kWhite) << l.what;
      EXPECT_EQ(r->Pixel(16, 0), kBlack) << l.what;
    }
  }
}

TEST(TiffReader, RefusesDamagedSampleLayouts) {
  test::TempDir dir;
  // 200 samples of 12 bits need 300 bytes; the strip holds 100.
  const TiffLayout short_strip{"12-bit grey", PHOTOMETRIC_MINISBLACK, 12, SAMPLEFORMAT_UINT, 1, 0,
                               PLANARCONFIG_CONTIG, {std::vector<uint8_t>(100, 0x80)}, {}, 200};
  std::vector<uint8_t> file = WriteTiff(short_strip, dir.path() / "short.tif");
  const auto cut = ReadTiff(ByteSpan(file), kDefaultPixelLimits);
  ASSERT_FALSE(cut.ok());
  EXPECT_NE(cut.error().cause.find("invalid TIFF data"), std::string::npos) << cut.error().cause;
  const TiffLayout float24{"24-bit float", PHOTOMETRIC_MINISBLACK, 24, SAMPLEFORMAT_IEEEFP, 1, 0,
                           PLANARCONFIG_CONTIG, {std::vector<uint8_t>(6, 0)}, {}};
  file = WriteTiff(float24, dir.path() / "float24.tif");
  const auto r = ReadTiff(ByteSpan(file), kDefaultPixelLimits);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("sample format 3 with 1 samples of 24 bits"), std::string::npos) << r.error().cause;
}

}  // namespace
}  // namespace kestal
