// Decodes every file of the shared sample folders (files that programs other than ours
// wrote) through the registry, and checks each against a reference image beside it or
// against ImageMagick for lossless formats. Prints a table per family.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "imageio/codecs/png_codec.h"
#include "imageio/codecs/pnm_reader.h"
#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;

// File names that mark a deliberately broken file.
const std::regex kBrokenName("bad|corrupt|crash|truncat|broken|invalid|negative|incomplete|overflow|overfull|"
                             "reallybig|short|nomaxcompat|zero-height",
                             std::regex::icase);

// Files we refuse on purpose although their names do not say they are broken, each
// with a word the error must contain.
const std::map<std::string, std::string> kRefusedOnPurpose = {
    {"rletopdown.bmp", "top-down"},     // bmpsuite's "bad" folder: RLE rows cannot be top-down
    {"01r_00.pcx", "shorter"},          // 12 bytes per row for 88 pixels of 8 bits
    {"black_1x1_4.pbm", "size"},        // words instead of numbers in the header
    {"input_70x46.rgb", "not an SGI"},  // raw RGB bytes, not an SGI file
    {"TEST.CEL", "no pixels"},          // an animation of 0 × 0 pixels
    {"PhotoCD.pcd", "truncated"},       // the image pack's header without its images
};

// Files on which the independent decoder is known to be wrong (checked by eye).
const std::map<std::string, std::string> kOracleWrong = {
    {"clipboard.dib", "ImageMagick applies the padding byte of three-mask 32-bit pixels as alpha"},
    {"pal8os2v2.bmp", "ImageMagick misreads the 64-byte OS/2 2.x header"},
    {"rgb16-231.bmp", "ImageMagick scales 1- and 2-bit fields to half intensity"},
    {"rgb32fakealpha.bmp", "the padding bits are set and must be ignored"},
    {"rgba16-4444.bmp", "4-bit fields scaled by 17 rather than shifted"},
    {"rgba16-1924.bmp", "ImageMagick scales 9- and 2-bit fields differently"},
    {"pil184.pcx", "ImageMagick inverts this 1-bit PCX"},
    {"ver3_0_palette_1bpp_10x10_white.pcx", "an empty header palette: 1-bit PCX is black and white"},
    {"la.tga", "ImageMagick misreads 16-bit gray and alpha"},
    {"200x32_la_tl_rle.tga", "ImageMagick misreads 16-bit gray and alpha"},
    {"rgba.tga", "the reference keeps colours under 4 alpha bits of a 32-bit file"},
    {"CTC16.TGA", "the extension area marks the alpha as undefined; ImageMagick applies it"},
    {"CTC32.TGA", "the extension area marks the alpha as undefined; ImageMagick applies it"},
    {"UTC16.TGA", "the extension area marks the alpha as undefined; ImageMagick applies it"},
    {"UTC32.TGA", "the extension area marks the alpha as undefined; ImageMagick applies it"},
};

// Families whose decodes are compared with ImageMagick (lossless formats only).
const std::vector<std::string> kLossless = {"BMP", "GIF", "Icône", "Paintbrush", "Photoshop", "Portable map",
                                            "SGI", "Targa", "TIFF"};

struct Tally {
  int decoded = 0, refused_as_expected = 0, mismatched = 0, unexpected_failures = 0, lenient = 0, skipped = 0;
};

Result<Bitmap24> DecodeFile(const fs::path& path) {
  auto bytes = ReadWholeFile(path.string());
  if (!bytes) return bytes.error();
  return DecodeImage(ByteSpan(bytes.value()), path.filename().string());
}

// ImageMagick's decode of the file's first image, flattened over white.
Result<Bitmap24> ConvertDecode(const fs::path& path) {
  const auto r = test::RunCommand("timeout 60 convert " + test::ShellQuote(path.string() + "[0]") +
                                  " -auto-orient -background white -alpha remove -alpha off -depth 8 ppm:- 2>/dev/null");
  if (r.status != 0 || r.output.empty()) return Error::Io("convert failed");
  ByteSpan bytes(reinterpret_cast<const uint8_t*>(r.output.data()), r.output.size());
  return ReadPnm(bytes, kDefaultPixelLimits);
}

// The largest difference of any channel of any pixel, or -1 when the sizes differ.
int MaxDifference(const Bitmap24& a, const Bitmap24& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int worst = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width() * 3; ++x) worst = std::max(worst, std::abs(a.Row(y)[x] - b.Row(y)[x]));
  }
  return worst;
}

bool IsReference(const fs::path& p) {
  if (p.extension() != ".png") return false;
  for (const auto& e : fs::directory_iterator(p.parent_path())) {
    if (e.path() != p && e.path().stem() == p.stem()) return true;
  }
  return false;
}

fs::path ReferenceFor(const fs::path& p) {
  fs::path ref = p;
  ref.replace_extension(".png");
  return ref != p && fs::exists(ref) ? ref : fs::path();
}

TEST(ImageSamples, EveryFamilyDecodesOrRefusesItsSamples) {
  KESTAL_REQUIRE_SAMPLES();
  const fs::path root = test::Samples() / "formats";
  if (!fs::is_directory(root)) GTEST_SKIP() << "no sample formats folder at " << root;
  const bool have_convert = test::HaveTool("convert");
  const ImageRegistry& registry = ImageRegistry::Instance();
  std::map<std::string, Tally> tallies;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());

  for (const fs::path& path : files) {
    const ImageFamily* family = registry.FindByExtension(path.extension().string());
    if (!family || IsReference(path)) continue;
    Tally& t = tallies[family->description];
    const std::string name = fs::relative(path, root).string();
    const bool broken = std::regex_search(path.filename().string(), kBrokenName);
    auto decoded = DecodeFile(path);
    if (!decoded && decoded.error().cause.find("is not available") != std::string::npos) {
      ++t.skipped;
      continue;
    }
    if (broken) {
      if (decoded) {
        ++t.lenient;
        std::printf("decoded a file marked broken: %s\n", name.c_str());
      } else {
        ++t.refused_as_expected;
        EXPECT_FALSE(decoded.error().cause.empty()) << name;
      }
      continue;
    }
    if (!decoded) {
      const auto known = kRefusedOnPurpose.find(path.filename().string());
      if (known != kRefusedOnPurpose.end()) {
        ++t.refused_as_expected;
        EXPECT_NE(decoded.error().cause.find(known->second), std::string::npos) << name << ": " << decoded.error().cause;
        continue;
      }
      ++t.unexpected_failures;
      ADD_FAILURE() << name << ": " << decoded.error().cause;
      continue;
    }
    ++t.decoded;
    const fs::path ref = ReferenceFor(path);
    Result<Bitmap24> expected = Error::Invalid("no reference");
    if (!ref.empty()) {
      expected = DecodeFile(ref);
    } else if (have_convert &&
               std::find(kLossless.begin(), kLossless.end(), family->description) != kLossless.end()) {
      expected = ConvertDecode(path);
    }
    if (!expected) continue;
    const int diff = MaxDifference(decoded.value(), expected.value());
    // ImageMagick gives an icon's first image; we give its largest.
    if (diff < 0 && family->description == "Icône" && ref.empty()) continue;
    // 5-bit channels may be widened by shifting or by scaling: allow 8 levels.
    if (diff < 0 || diff > 8) {
      const bool known = kOracleWrong.count(path.filename().string()) > 0;
      if (!known) ADD_FAILURE() << name << " differs from its " << (ref.empty() ? "ImageMagick decode" : "reference");
      ++t.mismatched;
      std::printf("mismatch (%s): %s, %dx%d vs %dx%d, max difference %d\n", ref.empty() ? "convert" : "reference",
                  name.c_str(), decoded->Width(), decoded->Height(), expected->Width(), expected->Height(), diff);
    }
  }

  std::printf("%-16s %8s %8s %8s %8s %8s %8s\n", "family", "decoded", "refused", "mismatch", "failed", "lenient",
              "skipped");
  for (const auto& [family, t] : tallies) {
    std::printf("%-16s %8d %8d %8d %8d %8d %8d\n", family.c_str(), t.decoded, t.refused_as_expected, t.mismatched,
                t.unexpected_failures, t.lenient, t.skipped);
  }
}

}  // namespace
}  // namespace kestal
