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
  kReduceDither = 1,         // Floyd–Steinberg error diffusion, else the nearest colour
  kReduceIndexed = 2,        // also return the indices and their bit depth
  kReduceReturnPalette = 4,  // return a copy of the palette
  kReduceGivenPalette = 8,   // map onto the given palette instead of computing one
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
// entries that can be nearest to some colour inside it, so a search scans a handful of
// entries instead of the whole palette. A small cache catches repeated colours.
class NearestColorMap {
 public:
  explicit NearestColorMap(const Palette& palette);
  uint8_t Find(uint8_t red, uint8_t green, uint8_t blue);
  const Palette& Colors() const { return palette_; }

 private:
  static constexpr int kCellBits = 5;
  static constexpr int kCellsPerSide = 1 << kCellBits;
  static constexpr int kCacheBits = 14;

  void BuildCell(int cell);

  Palette palette_;
  std::vector<std::array<int, 3>> colors_;  // red, green, blue
  std::vector<int32_t> cell_start_;         // -1 until the cell is built
  std::vector<uint16_t> cell_count_;
  std::vector<uint8_t> candidates_;
  std::vector<int> candidate_near_;         // squared distance from the candidate to its cell
  std::vector<uint32_t> cache_key_;         // 0x1000000 | rgb, 0 when empty
  std::vector<uint8_t> cache_index_;
};

// Maps every pixel of `bitmap` to an index of `palette`, row by row, into `indices`
// (resized to width × height). Dithered with serpentine Floyd–Steinberg when asked.
void MapToPalette(const Bitmap24& bitmap, const Palette& palette, bool dither,
                  std::vector<uint8_t>& indices);
// The same with a map kept from frame to frame, so its cells are built once.
void MapToPalette(const Bitmap24& bitmap, NearestColorMap& map, bool dither, std::vector<uint8_t>& indices);

// What ReduceBitmapColors hands back.
struct ReducedColors {
  Palette palette;               // with kReduceReturnPalette
  std::vector<uint8_t> indices;  // with kReduceIndexed: one per pixel, rows top-down
  int bitsPerPixel = 0;          // with kReduceIndexed: 1, 4 or 8
};

// Reduces `bitmap` in place to `count` colours (1..256) and draws the reduced colours
// back. Returns nothing, leaving the bitmap unchanged, when it holds no pixels, the
// count is out of range, or kReduceGivenPalette comes without a usable palette
// (1..256 entries).
std::optional<ReducedColors> ReduceBitmapColors(Bitmap24& bitmap, int count, unsigned options,
                                                const Palette* given = nullptr);

}  // namespace kestal
