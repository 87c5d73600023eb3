// Dr. Halo pictures made here (no public sample exists), checked against ImageMagick's
// reader, which also looks for the palette file beside the picture.

#include "imageio/codecs/drhalo_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "imageio/image_files.h"
#include "support/image_compare.h"
#include "support/test_support.h"

namespace kestal {
namespace {

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes& out, unsigned v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

// Codes one row: runs of three or more equal indices as runs, the rest as literals.
Bytes CodeLine(const uint8_t* row, int width) {
  Bytes code;
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 127 && row[x + run] == row[x]) ++run;
    if (run >= 3) {
      code.push_back(uint8_t(0x80 | run));
      code.push_back(row[x]);
      x += run;
      continue;
    }
    int n = 0;
    while (x + n < width && n < 127 && !(x + n + 2 < width && row[x + n] == row[x + n + 1] && row[x + n] == row[x + n + 2])) ++n;
    code.push_back(uint8_t(n));
    code.insert(code.end(), row + x, row + x + n);
    x += n;
  }
  code.push_back(0);
  return code;
}

Bytes MakeCut(int width, int height, const std::vector<uint8_t>& indices) {
  Bytes out;
  PutU16(out, width);
  PutU16(out, height);
  PutU16(out, 0);
  for (int y = 0; y < height; ++y) {
    const Bytes line = CodeLine(indices.data() + y * width, width);
    PutU16(out, unsigned(line.size()));
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// A palette of `count` entries with levels up to `max`, in 512-byte blocks.
Bytes MakePal(int count, unsigned max) {
  Bytes out = {'A', 'H'};
  PutU16(out, 0xE3);  // version
  PutU16(out, 0);     // size
  out.push_back('P');
  out.push_back(0);
  PutU16(out, 0);  // board
  PutU16(out, 0);  // graphics mode
  PutU16(out, unsigned(count - 1));
  for (int i = 0; i < 3; ++i) PutU16(out, max);
  const char id[20] = "Dr. Halo";
  out.insert(out.end(), id, id + 20);
  for (int i = 0; i < count; ++i) {
    if (out.size() % 512 > 512 - 6) out.resize((out.size() / 512 + 1) * 512, 0);
    PutU16(out, (i * 7) % (max + 1));
    PutU16(out, (max - i) % (max + 1));
    PutU16(out, (i * i) % (max + 1));
  }
  return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Pattern(int width, int height, int levels) {
  std::vector<uint8_t> p(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p[y * width + x] = uint8_t(((x / 5) * 3 + y * (x % 3 == 0)) % levels);
  return p;
}

struct CutCase {
  const char* description;
  int width, height, levels;
  int paletteEntries;  // 0: no palette file
  unsigned paletteMax;
};

TEST(DrHalo, MatchesImageMagick) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const CutCase cases[] = {
      {"grey levels without a palette, odd size", 47, 33, 256, 0, 0},
      {"only indices 0 and 1 without a palette: black and white", 40, 20, 2, 0, 0},
      {"256 colours of 6-bit levels, palette entries across 512-byte blocks", 61, 17, 256, 256, 63},
      {"16 colours of 8-bit levels", 33, 9, 16, 16, 255},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.description);
    test::TempDir dir;
    const std::string cut = dir / "picture.cut";
    WriteFile(cut, MakeCut(c.width, c.height, Pattern(c.width, c.height, c.levels)));
    if (c.paletteEntries) WriteFile(dir / "picture.pal", MakePal(c.paletteEntries, c.paletteMax));
    auto ours = LoadImageFile(cut);
    ASSERT_TRUE(ours.ok()) << ours.error().Line();
    // Named explicitly: a width of 40 makes ImageMagick take the file for a DIB.
    auto theirs = test::ImageMagickDecode(cut, "cut");
    ASSERT_TRUE(theirs.has_value());
    ASSERT_EQ(ours->Width(), theirs->Width());
    ASSERT_EQ(ours->Height(), theirs->Height());
    EXPECT_LE(test::Compare(ours.value(), *theirs).max, 1);
  }
}

TEST(DrHalo, RunsAndLiteralsAreClampedToTheRow) {
  // A 4-pixel row coded as a run of 6 and a literal of 3: the excess is dropped and
  // the next row still starts at its own length word.
  Bytes file;
  PutU16(file, 4);
  PutU16(file, 2);
  PutU16(file, 0);
  const Bytes line1 = {0x86, 9, 3, 1, 2, 3, 0};
  const Bytes line2 = {2, 5, 6, 0};  // short: the rest stays index 0
  for (const Bytes* line : {&line1, &line2}) {
    PutU16(file, unsigned(line->size()));
    file.insert(file.end(), line->begin(), line->end());
  }
  Palette grey = GreyRampPalette();
  auto b = DecodeDrHalo(ByteSpan(file), &grey, kDefaultPixelLimits);
  ASSERT_TRUE(b.ok()) << b.error().Line();
  const uint8_t expected[2][4] = {{9, 9, 9, 9}, {5, 6, 0, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b->Pixel(x, y).red, expected[y][x]) << x << "," << y;
}

TEST(DrHalo, MalformedInputIsRefused) {
  test::ExpectRefusals(ReadDrHalo, {
      {"shorter than the header", {1, 0, 1}, "shorter than its header"},
      {"zero width", {0, 0, 1, 0, 0, 0, 2, 0, 0x81, 0}, "no pixels"},
      {"lines missing", {2, 0, 3, 0, 0, 0, 2, 0, 0x82, 7, 0}, "truncated"},
      {"a line length past the end", {1, 0, 1, 0, 0, 0, 0xFF, 0x7F, 0x81, 1, 0}, "truncated"},
  });
}

TEST(DrHalo, BrokenPaletteBesideThePictureIsNamed) {
  test::TempDir dir;
  WriteFile(dir / "p.cut", MakeCut(3, 1, {0, 1, 2}));
  WriteFile(dir / "p.pal", Bytes{'A', 'H', 0, 0});
  auto r = LoadImageFile(dir / "p.cut");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().cause.find("p.pal"), std::string::npos) << r.error().cause;
}

}  // namespace
}  // namespace kestal
