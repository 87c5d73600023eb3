#include "imageio/image_files.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "imageio/codecs/bmp_writer.h"
#include "imageio/codecs/jpeg_codec.h"
#include "support/test_support.h"
#include "text/string_table.h"

namespace kestal {
namespace {

using test::TestData;

class ImageFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLangDefaults();
    ResetImageFileTexts();
  }
  void TearDown() override {
    ResetLangDefaults();
    ResetImageFileTexts();
  }
};

Bitmap24 Load(const std::string& name) {
  auto b = LoadImageFile((TestData() / name).string());
  EXPECT_TRUE(b.ok()) << name << ": " << (b.ok() ? "" : b.error().Text());
  return b.ok() ? std::move(b.value()) : Bitmap24();
}

TEST_F(ImageFilesTest, OpenFilterListsCommonImagesAllImagesThenEveryFamily) {
  ApplyStartupTexts();
  EXPECT_EQ(BuildOpenFilter(),
            "Common images|*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.tga;*.bmp;*.gif|All images|*.*|"
            "Alias/Wavefront (*.rla;*.rpf)|*.rla;*.rpf|Autodesk (*.cel;*.pic)|*.cel;*.pic|"
            "BMP (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|Dr. Halo (*.cut)|*.cut|EPS (*.eps)|*.eps|"
            "GIF (*.gif)|*.gif|Icône (*.ico)|*.ico|"
            "JPEG (*.jfif;*.jpe;*.jpeg;*.jpg)|*.jfif;*.jpe;*.jpeg;*.jpg|"
            "Metafile (*.emf;*.wmf)|*.emf;*.wmf|Paintbrush (*.pcc;*.pcx;*.scr)|*.pcc;*.pcx;*.scr|"
            "Paintshop Pro (*.psp;*.tub)|*.psp;*.tub|Photo-CD (*.pcd)|*.pcd|"
            "Photoshop (*.pdd;*.psd)|*.pdd;*.psd|PNG (*.png)|*.png|"
            "Portable map (*.pbm;*.pgm;*.ppm)|*.pbm;*.pgm;*.ppm|"
            "SGI (*.bw;*.rgb;*.rgba;*.sgi)|*.bw;*.rgb;*.rgba;*.sgi|"
            "Targa (*.icb;*.tga;*.vda;*.vst;*.win)|*.icb;*.tga;*.vda;*.vst;*.win|"
            "TIFF (*.fax;*.tif;*.tiff)|*.fax;*.tif;*.tiff");
}

TEST_F(ImageFilesTest, SaveFilterAndFormatIndex) {
  EXPECT_EQ(BuildSaveFilter(), "BMP (*.bmp)|*.bmp|JPEG (*.jpg)|*.jpg|GIF (*.gif)|*.gif|Targa (*.tga)|*.tga");
  struct Row {
    const char* name;
    int index;
  } rows[] = {{"a.bmp", 0}, {"a.JPG", 1}, {"x/a.gif", 2}, {"a.Tga", 3},
              {"a.jpeg", -1}, {"noext", -1}, {"dir.bmp/noext", -1}};
  for (const Row& r : rows) EXPECT_EQ(SaveFormatIndex(r.name), r.index) << r.name;
}

TEST_F(ImageFilesTest, PngOfEveryKindDecodesToTheSamePixels) {
  const Bitmap24 rgb = Load("rgb7x5.png");
  ASSERT_EQ(rgb.Width(), 7);
  EXPECT_EQ(rgb.Pixel(0, 0), (ColorTriple{0, 0, 255}));
  EXPECT_EQ(rgb.Pixel(1, 1), (ColorTriple{255, 0, 0}));
  EXPECT_EQ(rgb.Pixel(6, 4), (ColorTriple{0, 255, 0}));
  EXPECT_TRUE(Load("palette7x5.png").SamePixels(rgb));
  EXPECT_TRUE(Load("interlaced7x5.png").SamePixels(rgb));

  const Bitmap24 gray = Load("gray16_9x4.png");
  EXPECT_EQ(gray.Pixel(0, 0), (ColorTriple{0, 0, 0}));
  EXPECT_EQ(gray.Pixel(8, 1), (ColorTriple{0x55, 0x55, 0x55}));
  EXPECT_EQ(gray.Pixel(0, 3), (ColorTriple{255, 255, 255}));

  const Bitmap24 alpha = Load("alpha6x6.png");
  EXPECT_EQ(alpha.Pixel(0, 0), (ColorTriple{255, 0, 0})) << "opaque blue";
  EXPECT_EQ(alpha.Pixel(5, 5), (ColorTriple{255, 255, 255})) << "transparent becomes white";
  const ColorTriple half = alpha.Pixel(2, 2);  // half-transparent red over white
  EXPECT_EQ(half.red, 255);
  EXPECT_NEAR(half.green, 127, 2);
  EXPECT_NEAR(half.blue, 127, 2);
}

TEST_F(ImageFilesTest, JpegColourGrayCmykAndOrientation) {
  const Bitmap24 rgb = Load("rgb16x8.jpg");
  const Bitmap24 gray = Load("gray16x8.jpg");
  const Bitmap24 cmyk = Load("cmyk16x8.jpg");
  ASSERT_EQ(rgb.Width(), 16);
  ASSERT_EQ(gray.Height(), 8);
  const ColorTriple g = gray.Pixel(3, 3);
  EXPECT_TRUE(g.blue == g.green && g.green == g.red);
  // The CMYK copy of the ramp decodes close to the colour one (ink conversion loses a little).
  const ColorTriple a = rgb.Pixel(8, 4), b = cmyk.Pixel(8, 4);
  EXPECT_NEAR(a.red, b.red, 40);
  EXPECT_NEAR(a.green, b.green, 40);
  EXPECT_NEAR(a.blue, b.blue, 40);

  // Orientation 6: the stored 4 × 2 picture is shown turned clockwise, 2 × 4, with the
  // stored top-left red pixel at the top right.
  const Bitmap24 turned = Load("exif6_4x2.jpg");
  ASSERT_EQ(turned.Width(), 2);
  ASSERT_EQ(turned.Height(), 4);
  EXPECT_GT(turned.Pixel(1, 0).red, 200);
  EXPECT_LT(turned.Pixel(1, 0).green, 60);
  EXPECT_GT(turned.Pixel(0, 0).green, 200);

  // Stray bytes between the start-of-image marker and the next marker are passed over.
  std::ifstream in(TestData() / "rgb16x8.jpg", std::ios::binary);
  std::vector<uint8_t> stray{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  stray.insert(stray.begin() + 2, {0x00, 0x01, 0x02});
  auto r = DecodeImage(ByteSpan(stray), "stray.jpg");
  ASSERT_TRUE(r.ok()) << r.error().cause;
  EXPECT_TRUE(r->SamePixels(rgb));
}

// A 1 × 1 grey PNG of level 128 with a gAMA chunk of `gamma` (none when 0).
std::vector<uint8_t> GreyPng(double gamma) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, 1, 1, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (gamma > 0) png_set_gAMA(png, info, gamma);
  png_write_info(png, info);
  png_byte row[1] = {128};
  png_write_row(png, row);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST_F(ImageFilesTest, PngGammaIsConvertedForTheDisplay) {
  const struct {
    const char* what;
    double gamma;
    int level;
  } rows[] = {
      {"no gAMA: as stored", 0, 128},
      {"gAMA of the display's 1/2.2: as stored", 1 / 2.2, 128},
      {"linear samples (gAMA 1.0) brighten: 255 × (128/255)^(1/2.2)", 1.0, 186},
      {"gAMA 1/1.5 darkens: 255 × (128/255)^(1.5/2.2)", 1 / 1.5, 159},
  };
  for (const auto& row : rows) {
    const std::vector<uint8_t> file = GreyPng(row.gamma);
    auto r = DecodeImage(ByteSpan(file), "g.png");
    ASSERT_TRUE(r.ok()) << row.what << ": " << r.error().cause;
    EXPECT_NEAR(r->Pixel(0, 0).green, row.level, 1) << row.what;
  }
}

TEST_F(ImageFilesTest, OrientationsMapEveryCorner) {
  const Bitmap24 src = test::Gradient(3, 2);
  // Where the stored top-left pixel lands, per orientation.
  struct Row {
    int orientation;
    int32_t w, h, x, y;
  } rows[] = {{2, 3, 2, 2, 0}, {3, 3, 2, 2, 1}, {4, 3, 2, 0, 1}, {5, 2, 3, 0, 0},
              {6, 2, 3, 1, 0}, {7, 2, 3, 1, 2}, {8, 2, 3, 0, 2}};
  for (const Row& r : rows) {
    auto out = ApplyOrientation(src, r.orientation);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out->Width(), r.w) << r.orientation;
    EXPECT_EQ(out->Height(), r.h) << r.orientation;
    EXPECT_EQ(out->Pixel(r.x, r.y), src.Pixel(0, 0)) << "orientation " << r.orientation;
  }
}

TEST_F(ImageFilesTest, FailuresNameTheFileAndTheCause) {
  ApplyStartupImageFileTexts();
  struct Row {
    const char* description;
    std::string path;
    ErrorKind kind;
  } rows[] = {
      {"missing file", (TestData() / "nothing.png").string(), ErrorKind::Io},
      {"unregistered extension", (TestData() / "SOURCES.md").string(), ErrorKind::Unsupported},
      {"truncated JPEG", (TestData() / "truncated.jpg").string(), ErrorKind::Truncated},
      {"truncated PNG", (TestData() / "bad/truncated.png").string(), ErrorKind::Truncated},
      {"a folder", TestData().string() + "/bad", ErrorKind::Io},
      {"over the pixel limits", (TestData() / "bad/huge-header.bmp").string(), ErrorKind::OverLimit},
  };
  for (const Row& r : rows) {
    auto b = LoadImageFile(r.path);
    ASSERT_FALSE(b.ok()) << r.description;
    EXPECT_EQ(b.error().message, "Unable to load image in file \"" + r.path + "\" !") << r.description;
    EXPECT_EQ(b.error().kind, r.kind) << r.description << ": " << b.error().cause;
    EXPECT_FALSE(b.error().cause.empty()) << r.description;
  }
  ResetImageFileTexts();
  auto b = LoadImageFile("/nowhere/x.png");
  EXPECT_EQ(b.error().message, "Impossible d'ouvrir l'image dans le fichier \"/nowhere/x.png\"");
}

TEST_F(ImageFilesTest, ExtensionsAreCaseInsensitiveAndSignaturesWin) {
  test::TempDir dir;
  const auto png = TestData() / "rgb7x5.png";
  std::filesystem::copy_file(png, dir / "PHOTO.PNG");
  std::filesystem::copy_file(png, dir / "really_a_png.pbm");
  std::filesystem::copy_file(TestData() / "rgb16x8.jpg", dir / "photo.JPEG");
  const Bitmap24 ref = Load("rgb7x5.png");
  auto upper = LoadImageFile(dir / "PHOTO.PNG");
  ASSERT_TRUE(upper.ok());
  EXPECT_TRUE(upper->SamePixels(ref));
  auto renamed = LoadImageFile(dir / "really_a_png.pbm");
  ASSERT_TRUE(renamed.ok()) << renamed.error().Text();
  EXPECT_TRUE(renamed->SamePixels(ref));
  EXPECT_TRUE(LoadImageFile(dir / "photo.JPEG").ok());
}

TEST_F(ImageFilesTest, PixelLimitsAreCheckedBeforeDecoding) {
  auto b = LoadImageFile((TestData() / "rgb16x8.jpg").string(), PixelLimits{10, 1000});
  ASSERT_FALSE(b.ok());
  EXPECT_EQ(b.error().kind, ErrorKind::OverLimit) << b.error().cause;
  EXPECT_NE(b.error().cause.find("at most 10 pixels"), std::string::npos) << b.error().cause;
  EXPECT_FALSE(LoadImageFile((TestData() / "rgb7x5.png").string(), PixelLimits{6, 1000}).ok());
}

TEST_F(ImageFilesTest, BmpIsAStandardBottomUpFile) {
  const Bitmap24 src = test::Gradient(5, 3);  // odd width: rows need padding
  const std::vector<uint8_t> bmp = EncodeBmp(src);
  ASSERT_EQ(bmp.size(), 54u + 16u * 3u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[28], 24) << "bits per pixel";
  EXPECT_EQ(bmp[22], 3) << "positive height: bottom-up";
  // The file's first row is the picture's bottom row.
  EXPECT_EQ(bmp[54 + 0], src.Pixel(0, 2).blue);
  EXPECT_EQ(bmp[54 + 2], src.Pixel(0, 2).red);
  EXPECT_EQ(bmp[54 + 15], 0) << "padding";

  test::TempDir dir;
  ASSERT_TRUE(SaveBitmapFile(dir / "out.BMP", src).ok());
  std::ifstream in(dir / "out.BMP", std::ios::binary);
  std::vector<uint8_t> written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, bmp);
}

TEST_F(ImageFilesTest, JpegIsWrittenAsBaselineQuality90AndReadsBack) {
  const Bitmap24 src = test::Gradient(33, 17);
  test::TempDir dir;
  const std::string path = dir / "frame.JPG";
  ASSERT_TRUE(SaveBitmapFile(path, src).ok());
  auto back = LoadImageFile(path);
  ASSERT_TRUE(back.ok());
  ASSERT_EQ(back->Width(), 33);
  int worst = 0;
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 33; ++x) {
      const ColorTriple a = src.Pixel(x, y), b = back->Pixel(x, y);
      worst = std::max({worst, std::abs(a.blue - b.blue), std::abs(a.green - b.green), std::abs(a.red - b.red)});
    }
  EXPECT_LT(worst, 40);
  if (test::HaveTool("identify")) {
    auto r = test::RunCommand("identify -format '%Q %[interlace]' " + test::ShellQuote(path));
    EXPECT_EQ(r.output, "90 None");
  }
}

TEST_F(ImageFilesTest, SavingRefusesOtherExtensionsAndReportsUnwritableFolders) {
  ApplyStartupImageFileTexts();
  const Bitmap24 src = test::Gradient(4, 4);
  test::TempDir dir;
  const std::string jpeg = dir / "a.jpeg";
  Status s = SaveBitmapFile(jpeg, src);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().message, "Unable to save image in file \"" + jpeg + "\" !");
  EXPECT_FALSE(std::filesystem::exists(jpeg));

  const std::string nowhere = dir / "missing-folder/a.bmp";
  s = SaveBitmapFile(nowhere, src);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.error().cause.find("No such file"), std::string::npos) << s.error().cause;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no temporary file is left behind";
}

}  // namespace
}  // namespace kestal
