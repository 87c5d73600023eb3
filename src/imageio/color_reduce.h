#pragma once
// Colour reduction: an optimal palette for a 24-bit picture (an octree with 8 bits per
// channel, refined so that the palette is full), nearest-colour mapping through a fast
// candidate-cell search, and Floyd–Steinberg error diffusion.
//
// A Bitmap24 cannot hold indexed pixels, so a reduction yields the indices (one byte
// per pixel, rows top-down, no padding) beside its palette, and draws the reduced
// colours back into the bitmap.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "bitmap/bitmap24.h"
#include "bitmap/palette.h"

namespace kestal {

// A GIF colour table holds a power of two of a palette's colours.

// The options of ReduceBitmapColors, a set of bits.
enum ReduceOption : unsigned {
  kReduceDither = 1,         // Floyd–Steinberg error diffusion (Dither::Still), else the nearest colour
  kReduceIndexed = 2,        // also return the indices and their bit depth
  kReduceReturnPalette = 4,  // return a copy of the palette
  kReduceGivenPalette = 8,   // map onto the given palette instead of computing one
  kReduceSteadyDither = 16,  // dither as a frame of an animation (Dither::Steady)
};

// How pixels are mapped onto a palette.
enum class Dither {
  None,    // each pixel takes its nearest entry
  Still,   // Floyd–Steinberg error diffusion for a picture seen on its own
  Steady,  // Floyd–Steinberg error diffusion for the frames of an animation: a pixel
           // close to an entry takes it, and one between entries leans to its own
           // nearest, so pixels that do not change between frames rarely change
           // colour, at some cost in how closely the average tone is kept
};

// The palette size computed for a colour count: 2 to the power of 1 (count up to 2),
// 4 (up to 16), 5 (up to 32), 6 (up to 64), 7 (up to 128) or 8 bits.
int PaletteBitsForCount(int count);

// The indexed depth for a colour count: 1 bit up to 2, 4 bits up to 16, else 8.
int IndexedDepthForCount(int count);

// An optimal palette of exactly `size` entries (1..256) for the pixels of `bitmap`.
// When the picture holds at least `size` distinct colours, every entry is a distinct
// colour; otherwise the picture's colours come first and black fills the rest.
Palette ComputePalette(const Bitmap24& bitmap, int size);

// Exact nearest palette entry (squared RGB distance, the lowest index on a tie). The
// colour cube is cut into 32 × 32 × 32 cells; each cell keeps, once first needed, the
// entries that can be nearest to some colour inside it. Each of its 8 sub-cells of
// 4 × 4 × 4 colours is then checked, when first met: when one entry is nearest to all
// of its colours (most sub-cells, even at 256 colours) the sub-cell answers at once;
// otherwise it keeps the few of its cell's candidates that can be nearest inside it,
// and a search compares those alone. A map told it will serve many pixels settles such
// a sub-cell's 64 colours once instead, into a table, so it too answers at once: a
// smooth picture dithered onto 256 close entries meets the same such sub-cells over and
// over. A table costs 64 bytes, so they get a sixteenth of a byte a pixel, at most
// kMaxTableBytes.
class NearestColorMap {
 public:
  explicit NearestColorMap(const Palette& palette, int64_t pixelsToMap = 0);
  uint8_t Find(uint8_t red, uint8_t green, uint8_t blue) {
    const uint32_t fine = (uint32_t{red} >> 2 << 12) | (uint32_t{green} >> 2 << 6) | (blue >> 2);
    const uint32_t state = fine_[fine];
    if (state & kUniform) return static_cast<uint8_t>(state);
    if (state & kTable) {
      return tables_[size_t{state & ~kTable} << 6 | (red & 3u) << 4 | (green & 3u) << 2 | (blue & 3u)];
    }
    if (state == 0) return FindFirst(red, green, blue, fine);
    return Nearest(red, green, blue, fine_candidates_.data() + (state >> 8), (state & 0xffu) + 1);
  }
  const Palette& Colors() const { return palette_; }

 private:
  static constexpr int kCellBits = 5;
  static constexpr int kCellsPerSide = 1 << kCellBits;
  // A sub-cell's state: 0 until met; kUniform | entry; kTable | its table's number in
  // tables_; or its candidates' start in fine_candidates_ above the low byte and their
  // count - 1 (at least 1) in it.
  static constexpr uint32_t kUniform = 0x80000000u;
  static constexpr uint32_t kTable = 0x40000000u;
  static constexpr size_t kMaxTableBytes = size_t{1} << 20;
  static constexpr size_t kMaxFineCandidates = size_t{1} << 21;

  struct List {
    uint32_t start;
    uint32_t count;
  };

  void BuildCell(int cell);
  uint8_t FindFirst(uint8_t red, uint8_t green, uint8_t blue, uint32_t fine);
  // The nearest of `count` entries listed in index order.
  uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue, const uint8_t* entry, uint32_t count) const {
    int best = 1 << 30;
    uint8_t pick = 0;
    for (uint32_t j = 0; j < count; ++j) {
      const auto& c = colors_[entry[j]];
      const int dr = red - c[0], dg = green - c[1], db = blue - c[2];
      const int d = dr * dr + dg * dg + db * db;
      if (d < best) {  // the lowest index wins a tie
        best = d;
        pick = entry[j];
      }
    }
    return pick;
  }

  size_t table_bytes_;  // this map's budget for tables
  Palette palette_;
  std::vector<std::array<int, 3>> colors_;  // red, green, blue
  std::vector<List> cells_;                 // count 0 until the cell is built
  std::vector<uint8_t> cell_candidates_;
  std::vector<uint32_t> fine_;
  std::vector<uint8_t> fine_candidates_;    // in index order
  std::vector<uint8_t> tables_;             // 64 entries a table, blue fastest
};

// Maps every pixel of `bitmap` to an index of `palette`, row by row, into `indices`
// (resized to width × height), dithered as asked.
void MapToPalette(const Bitmap24& bitmap, const Palette& palette, Dither dither, std::vector<uint8_t>& indices);
// The same with a map kept from frame to frame, so its cells are built once.
void MapToPalette(const Bitmap24& bitmap, NearestColorMap& map, Dither dither, std::vector<uint8_t>& indices);
// A still picture whose rows from `steadyFrom` on are a moving part (a photo above its
// reflection): the rows above are dithered Still, the rows from `steadyFrom` on Steady
// and exactly as if they were a picture of their own, with no error carried across.
void MapStillAboveSteady(const Bitmap24& bitmap, NearestColorMap& map, int32_t steadyFrom,
                         std::vector<uint8_t>& indices);

// What ReduceBitmapColors hands back.
struct ReducedColors {
  Palette palette;               // with kReduceReturnPalette
  std::vector<uint8_t> indices;  // with kReduceIndexed: one per pixel, rows top-down
  int bitsPerPixel = 0;          // with kReduceIndexed: 1, 4 or 8
};

// The reduction itself, leaving the bitmap as it is: the palette (computed, or the
// given one) and the indices, always both. The export reduces its frames with it, so
// the animation's frames are exactly what ReduceBitmapColors makes of them, and
// frames can be reduced on several threads at once.
std::optional<ReducedColors> ReduceColors(const Bitmap24& bitmap, int count, unsigned options,
                                          const Palette* given = nullptr);

// Reduces `bitmap` in place to `count` colours (1..256) and draws the reduced colours
// back. Returns nothing, leaving the bitmap unchanged, when it holds no pixels, the
// count is out of range, or kReduceGivenPalette comes without a usable palette
// (1..256 entries).
std::optional<ReducedColors> ReduceBitmapColors(Bitmap24& bitmap, int count, unsigned options,
                                                const Palette* given = nullptr);

}  // namespace kestal
