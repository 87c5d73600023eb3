// The registry as a whole: reading by content when the extension lies, the pixel
// limits of every reader, GIF and TIFF through their libraries, and truncated files of
// every family.

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <fstream>
#include <string>
#include <vector>

#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/gif_reader.h"
#include "imageio/codecs/tga_codec.h"
#include "imageio/codecs/tiff_reader.h"
#include "imageio/image_files.h"
#include "support/byte_builder.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using test::Bytes;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  auto r = ReadWholeFile(path);
  EXPECT_TRUE(r.ok());
  return r.ok() ? std::move(r.value()) : std::vector<uint8_t>();
}

TEST(ImageRegistry, ReadsByContentWhenTheExtensionLies) {
  const Bitmap24 picture = test::Gradient(7, 5);
  const std::vector<uint8_t> bmp = EncodeBmp(picture);
  for (const char* name : {"photo.pbm", "photo.TGA", "photo.pcx", "photo.rgb"}) {
    auto r = DecodeImage(ByteSpan(bmp), name);
    ASSERT_TRUE(r.ok()) << name << ": " << r.error().cause;
    EXPECT_TRUE(r->SamePixels(picture)) << name;
  }
  const std::vector<uint8_t> junk(64, 'x');
  auto r = DecodeImage(ByteSpan(junk), "junk.psd");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().cause, "not a Photoshop image");
}

// Headers claiming more pixels than the limits allow, each with enough data after it
// that only the limit can refuse them.
TEST(ImageRegistry, EveryReaderRefusesOversizedHeadersBeforeAllocating) {
  const PixelLimits small{64, 4096};
  Bytes bmp;
  bmp.Str("BM").U32LE(0).U32LE(0).U32LE(54).U32LE(40).U32LE(100000).U32LE(100000).U16LE(1).U16LE(24).Fill(24);
  Bytes tga;
  tga.Raw({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}).U16LE(100).U16LE(100).U8(24).U8(0).Fill(30000);
  Bytes psd;
  psd.Str("8BPS").U16BE(1).Fill(6).U16BE(3).U32BE(100000).U32BE(100000).U16BE(8).U16BE(3).Fill(16);
  Bytes sgi;
  sgi.U16BE(474).U8(0).U8(1).U16BE(3).U16BE(100).U16BE(100).U16BE(3).Fill(500).Fill(30000);
  Bytes pcx;
  pcx.U8(10).U8(5).U8(0).U8(8).U16LE(0).U16LE(0).U16LE(99).U16LE(99).Fill(53).U8(1).U16LE(100).Fill(60).Fill(10000);
  Bytes gif;
  gif.Str("GIF89a").U16LE(65535).U16LE(65535).Raw({0x80, 0, 0}).Fill(6).Raw({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 1, 0, 0x3B});
  const std::string pnm = "P6 100000 100000 255\n" + std::string(1000, '\0');
  struct Row {
    const char* name;
    ByteSpan data;
  };
  const Row rows[] = {
      {"huge.bmp", bmp.Span()}, {"big.tga", tga.Span()},   {"huge.psd", psd.Span()}, {"big.sgi", sgi.Span()},
      {"big.pcx", pcx.Span()},  {"huge.gif", gif.Span()},
      {"huge.ppm", ByteSpan(reinterpret_cast<const uint8_t*>(pnm.data()), pnm.size())},
  };
  for (const Row& row : rows) {
    auto r = DecodeImage(row.data, row.name, small);
    ASSERT_FALSE(r.ok()) << row.name;
    EXPECT_EQ(r.error().kind, ErrorKind::OverLimit) << row.name << ": " << r.error().cause;
  }
}

// Writes a GIF with giflib: a 2 × 2 image at (1, 1) on a 3 × 3 screen, interlaced or
// not, with colour 0 transparent.
std::string WriteGif(const test::TempDir& dir, bool interlaced) {
  const std::string path = dir / (interlaced ? "i.gif" : "p.gif");
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  EXPECT_NE(gif, nullptr);
  GifColorType colors[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 3, 3, 2, 0, map);
  const GifByteType gce[4] = {1, 0, 0, 0};  // transparent colour index 0
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
  EGifPutImageDesc(gif, 1, 1, 2, 2, interlaced, nullptr);
  GifPixelType rows[2][2] = {{1, 2}, {3, 0}};
  for (auto& row : rows) EGifPutLine(gif, row, 2);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return path;
}

TEST(GifReader, FirstImageOnItsScreenWithTransparencyWhite) {
  test::TempDir dir;
  for (bool interlaced : {false, true}) {
    auto r = LoadImageFile(WriteGif(dir, interlaced));
    ASSERT_TRUE(r.ok()) << r.error().Line();
    ASSERT_EQ(r->Width(), 3);
    ASSERT_EQ(r->Height(), 3);
    const ColorTriple white{255, 255, 255};
    EXPECT_EQ(r->Pixel(0, 0), white);
    EXPECT_EQ(r->Pixel(1, 1), (ColorTriple{0, 0, 255}));
    EXPECT_EQ(r->Pixel(2, 1), (ColorTriple{0, 255, 0}));
    EXPECT_EQ(r->Pixel(1, 2), (ColorTriple{255, 0, 0}));
    EXPECT_EQ(r->Pixel(2, 2), white);  // transparent
  }
}

// A 3 × 1 GIF whose image data holds `codes` packed at the widths a decoder reads them
// (the minimum code size plus one, growing as the table fills), with a global table
// of black, red, green and blue or none.
Bytes LzwGif(int min_size, std::initializer_list<int> codes, bool with_table = true) {
  Bytes b;
  b.Str("GIF89a").U16LE(3).U16LE(1).U8(with_table ? 0x81 : 0).U8(0).U8(0);
  if (with_table) b.Raw({0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
  b.U8(0x2C).U16LE(0).U16LE(0).U16LE(3).U16LE(1).U8(0).U8(static_cast<unsigned>(min_size));
  std::vector<uint8_t> packed;
  uint32_t buffer = 0;
  int bits = 0, width = min_size + 1, next = (1 << min_size) + 2;
  bool first = true;
  for (int code : codes) {
    buffer |= static_cast<uint32_t>(code) << bits;
    for (bits += width; bits >= 8; bits -= 8, buffer >>= 8) packed.push_back(static_cast<uint8_t>(buffer));
    if (code == 1 << min_size) {
      width = min_size + 1, next = (1 << min_size) + 2, first = true;
    } else if (!first && ++next == 1 << width && width < 12) {
      ++width;
    } else {
      first = false;
    }
  }
  if (bits > 0) packed.push_back(static_cast<uint8_t>(buffer));
  b.U8(static_cast<unsigned>(packed.size())).Raw(packed).U8(0).U8(0x3B);
  return b;
}

TEST(GifReader, LzwCodeSizesOtherDecodersAcceptAndMissingColourTables) {
  const ColorTriple red{0, 0, 255}, green{0, 255, 0}, grey1{1, 1, 1}, grey2{2, 2, 2};
  struct Row {
    const char* what;
    Bytes file;
    ColorTriple pixels[3];
  } rows[] = {
      {"9-bit minimum code size", LzwGif(9, {512, 1, 2, 2, 513}), {red, green, green}},
      {"11-bit minimum code size", LzwGif(11, {2048, 1, 2, 2, 2049}), {red, green, green}},
      {"a code defined by its own use", LzwGif(2, {4, 1, 6, 5}), {red, red, red}},
      {"no colour table: grey levels", LzwGif(2, {4, 1, 2, 2, 5}, false), {grey1, grey2, grey2}},
  };
  for (const Row& row : rows) {
    auto r = ReadGif(row.file.Span(), kDefaultPixelLimits);
    ASSERT_TRUE(r.ok()) << row.what << ": " << r.error().cause;
    for (int x = 0; x < 3; ++x) EXPECT_EQ(r->Pixel(x, 0), row.pixels[x]) << row.what << ", pixel " << x;
  }
  struct Bad {
    const char* what;
    Bytes file;
    const char* cause;
  } bad[] = {
      {"12-bit minimum code size", LzwGif(12, {4096, 1, 4097}), "minimum code size of 12"},
      {"a code beyond the table", LzwGif(2, {4, 1, 7, 5}), "corrupt LZW code"},
      {"data ending before the last pixel", LzwGif(2, {4, 1, 5}), "ends before its last pixel"},
  };
  for (const Bad& b : bad) {
    auto r = ReadGif(b.file.Span(), kDefaultPixelLimits);
    ASSERT_FALSE(r.ok()) << b.what;
    EXPECT_NE(r.error().cause.find(b.cause), std::string::npos) << b.what << ": " << r.error().cause;
  }
}

// Files whose extension the open dialog does not list (cursors, portable maps, large
// Photoshop documents), or whose header is cut off as on the clipboard, are read.
TEST(ImageRegistry, CursorsPortableMapsAndHeaderlessDibs) {
  test::TempDir dir;
  Bytes dib;  // a 1 × 1 24-bit bitmap info header and its padded row
  dib.U32LE(40).U32LE(1).U32LE(1).U16LE(1).U16LE(24).U32LE(0).U32LE(4).Fill(16).Raw({255, 0, 0, 0});
  Bytes cursor;  // one 1 × 1 32-bit image, its hot spot at (0, 0)
  cursor.U16LE(0).U16LE(2).U16LE(1).U8(1).U8(1).U8(0).U8(0).U16LE(0).U16LE(0).U32LE(48).U32LE(22);
  cursor.U32LE(40).U32LE(1).U32LE(2).U16LE(1).U16LE(32).U32LE(0).U32LE(0).Fill(16).Raw({0, 0, 255, 255}).Fill(4);
  Bytes pnm;
  pnm.Str("P6 1 1 255\n").Raw({0, 255, 0});
  Bytes psb;  // a 1 × 1 grey large document, uncompressed
  psb.Str("8BPS").U16BE(2).Fill(6).U16BE(1).U32BE(1).U32BE(1).U16BE(8).U16BE(1).U32BE(0).U32BE(0).Fill(8).U16BE(0).U8(128);
  struct Row {
    const char* name;
    const Bytes& bytes;
    ColorTriple pixel;
  } rows[] = {
      {"clip.dib", dib, ColorTriple{255, 0, 0}},
      {"arrow.cur", cursor, ColorTriple{0, 0, 255}},
      {"photo.pnm", pnm, ColorTriple{0, 255, 0}},
      {"poster.psb", psb, ColorTriple{128, 128, 128}},
  };
  for (const Row& row : rows) {
    const std::string path = dir / row.name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(row.bytes.Vec().data()),
                                                static_cast<std::streamsize>(row.bytes.Size()));
    auto r = LoadImageFile(path);
    ASSERT_TRUE(r.ok()) << row.name << ": " << r.error().Line();
    EXPECT_EQ(r->Pixel(0, 0), row.pixel) << row.name;
  }
  const std::string path = dir / "none.cur";
  std::ofstream(path, std::ios::binary).write("\0\0\2\0\0\0", 6);
  auto r = LoadImageFile(path);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().cause, "the icon file holds no image");
  // A damaged file is refused as what its content is, not as what its name says.
  const uint8_t tiff_head[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
  auto damaged = DecodeImage(ByteSpan(tiff_head, sizeof tiff_head), "scene.rla");
  ASSERT_FALSE(damaged.ok());
  EXPECT_EQ(damaged.error().cause.rfind("its content is TIFF, not Alias/Wavefront: invalid TIFF data", 0), 0u)
      << damaged.error().cause;
}

// Writes a 3 × 2 RGB TIFF of the gradient pattern with an orientation tag.
std::string WriteTiff(const test::TempDir& dir, int orientation, const Bitmap24& picture) {
  const std::string path = dir / ("o" + std::to_string(orientation) + ".tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(picture.Width()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(picture.Height()));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
  std::vector<uint8_t> row(size_t(picture.Width()) * 3);
  for (int32_t y = 0; y < picture.Height(); ++y) {
    for (int32_t x = 0; x < picture.Width(); ++x) {
      const ColorTriple c = picture.Pixel(x, y);
      row[3 * x] = c.red, row[3 * x + 1] = c.green, row[3 * x + 2] = c.blue;
    }
    TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
  }
  TIFFClose(tif);
  return path;
}

TEST(TiffReader, OrientationTagTurnsThePicture) {
  test::TempDir dir;
  const Bitmap24 stored = test::Gradient(3, 2);
  // Stored pixel (x, y) appears at: 1 (x, y); 3 (2 - x, 1 - y); 6 (1 - y, x), rotated a
  // quarter turn clockwise.
  auto upright = LoadImageFile(WriteTiff(dir, 1, stored));
  ASSERT_TRUE(upright.ok()) << upright.error().Line();
  EXPECT_TRUE(upright->SamePixels(stored));
  auto flipped = LoadImageFile(WriteTiff(dir, 3, stored));
  ASSERT_TRUE(flipped.ok());
  EXPECT_EQ(flipped->Pixel(0, 0), stored.Pixel(2, 1));
  auto turned = LoadImageFile(WriteTiff(dir, 6, stored));
  ASSERT_TRUE(turned.ok());
  ASSERT_EQ(turned->Width(), 2);
  ASSERT_EQ(turned->Height(), 3);
  EXPECT_EQ(turned->Pixel(0, 0), stored.Pixel(0, 1));
  EXPECT_EQ(turned->Pixel(1, 2), stored.Pixel(2, 0));
}

TEST(TiffReader, RefusesPicturesOverTheLimitsBeforeDecoding) {
  test::TempDir dir;
  const auto bytes = ReadBytes(WriteTiff(dir, 1, test::Gradient(100, 100)));
  auto r = DecodeImage(ByteSpan(bytes), "big.tif", PixelLimits{64, 4096});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind, ErrorKind::OverLimit) << r.error().cause;
}

// Every prefix of a valid file of each family either decodes or fails with a cause;
// a file cut in its pixel data must fail.
TEST(ImageRegistry, TruncatedFilesFailWithACause) {
  test::TempDir dir;
  const Bitmap24 picture = test::Noise(9, 7);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"a.bmp", EncodeBmp(picture)},
      {"a.tga", EncodeTga(picture)},
      {"a.gif", ReadBytes(WriteGif(dir, true))},
      {"a.tif", ReadBytes(WriteTiff(dir, 1, picture))},
  };
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(DecodeImage(ByteSpan(bytes), name).ok()) << name;
    for (size_t n = 0; n + 1 < bytes.size(); n += 1 + n / 8) {
      auto r = DecodeImage(ByteSpan(bytes.data(), n), name);
      if (!r.ok()) {
        EXPECT_FALSE(r.error().cause.empty()) << name << " cut at " << n;
      }
    }
    auto half = DecodeImage(ByteSpan(bytes.data(), bytes.size() / 2), name);
    EXPECT_FALSE(half.ok()) << name;
  }
}

}  // namespace
}  // namespace kestal
