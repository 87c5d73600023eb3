#include "imageio/color_reduce.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kestal {

int PaletteBitsForCount(int count) {
  if (count <= 2) return 1;
  if (count <= 16) return 4;
  if (count <= 32) return 5;
  if (count <= 64) return 6;
  if (count <= 128) return 7;
  return 8;
}

int IndexedDepthForCount(int count) {
  if (count <= 2) return 1;
  if (count <= 16) return 4;
  return 8;
}

NearestColorMap::NearestColorMap(const Palette& palette, int64_t pixelsToMap)
    : table_bytes_(static_cast<size_t>(std::clamp<int64_t>(pixelsToMap / 16, 0, kMaxTableBytes))),
      palette_(palette), cells_(kCellsPerSide * kCellsPerSide * kCellsPerSide, List{0, 0}), fine_(size_t{1} << 18, 0) {
  // An index is one byte: entries past 256 are never chosen.
  for (size_t i = 0; i < palette.size() && i < 256; ++i) colors_.push_back({palette[i].red, palette[i].green, palette[i].blue});
}

namespace {

// Squared distances from a colour to the nearest and the farthest point of the box
// [lo, lo + side - 1] on each channel.
void BoxDistances(const std::array<int, 3>& c, const int* lo, int side, int& near_d, int& far_d) {
  near_d = far_d = 0;
  for (int k = 0; k < 3; ++k) {
    const int v = c[k], a = lo[k], b = lo[k] + side - 1;
    const int n = v < a ? a - v : (v > b ? v - b : 0);
    const int f = std::max(std::abs(v - a), std::abs(v - b));
    near_d += n * n;
    far_d += f * f;
  }
}

// Of `from`, the entries that can be nearest to some colour of the box: those whose
// smallest distance to the box is at most the smallest, over all of them, of the
// largest distance to the box. Any other entry is beaten everywhere in the box by that
// one. Writes them to `list` in the order of `from` and returns how many there are.
size_t Candidates(const std::vector<std::array<int, 3>>& colors, const uint8_t* from, size_t n, const int* lo,
                  int side, uint8_t* list) {
  std::array<int, 256> near_d;
  int bound = std::numeric_limits<int>::max();
  for (size_t j = 0; j < n; ++j) {
    int f = 0;
    BoxDistances(colors[from[j]], lo, side, near_d[j], f);
    bound = std::min(bound, f);
  }
  size_t count = 0;
  for (size_t j = 0; j < n; ++j) {
    if (near_d[j] <= bound) list[count++] = from[j];
  }
  return count;
}

}  // namespace

void NearestColorMap::BuildCell(int cell) {
  constexpr int kSide = 256 / kCellsPerSide;
  const int lo[3] = {(cell >> (2 * kCellBits)) * kSide, ((cell >> kCellBits) & (kCellsPerSide - 1)) * kSide,
                     (cell & (kCellsPerSide - 1)) * kSide};
  std::array<uint8_t, 256> all, list;
  for (size_t i = 0; i < colors_.size(); ++i) all[i] = static_cast<uint8_t>(i);
  const size_t n = Candidates(colors_, all.data(), colors_.size(), lo, kSide, list.data());
  cells_[cell] = List{static_cast<uint32_t>(cell_candidates_.size()), static_cast<uint32_t>(n)};
  cell_candidates_.insert(cell_candidates_.end(), list.begin(), list.begin() + n);
}

// A sub-cell keeps its cell's candidates that can be nearest inside it; a single one
// (or none, with an empty palette) is the answer for every colour of the sub-cell.
// Several settle the sub-cell's 64 colours into a table while the tables stay within
// the map's budget; past that the sub-cell keeps its list, and should the lists ever
// outgrow the state's field, it is searched through its cell's list each time.
uint8_t NearestColorMap::FindFirst(uint8_t red, uint8_t green, uint8_t blue, uint32_t fine) {
  const int cell = int((fine >> 13) << (2 * kCellBits) | ((fine >> 7) & 31) << kCellBits | ((fine >> 1) & 31));
  if (cells_[cell].count == 0) BuildCell(cell);
  const int lo[3] = {int(fine >> 12) * 4, int((fine >> 6) & 63) * 4, int(fine & 63) * 4};
  std::array<uint8_t, 256> list;
  const size_t n = Candidates(colors_, cell_candidates_.data() + cells_[cell].start, cells_[cell].count, lo, 4,
                              list.data());
  if (n <= 1) {
    fine_[fine] = kUniform | (n == 1 ? list[0] : 0u);
    return static_cast<uint8_t>(fine_[fine]);
  }
  if (tables_.size() + 64 <= table_bytes_) {
    fine_[fine] = kTable | static_cast<uint32_t>(tables_.size() >> 6);
    for (int c = 0; c < 64; ++c) {
      tables_.push_back(Nearest(uint8_t(lo[0] + (c >> 4)), uint8_t(lo[1] + ((c >> 2) & 3)), uint8_t(lo[2] + (c & 3)),
                                list.data(), static_cast<uint32_t>(n)));
    }
    return Find(red, green, blue);
  }
  if (fine_candidates_.size() + n <= kMaxFineCandidates) {
    fine_[fine] = static_cast<uint32_t>(fine_candidates_.size() << 8 | (n - 1));
    fine_candidates_.insert(fine_candidates_.end(), list.begin(), list.begin() + n);
  }
  return Nearest(red, green, blue, list.data(), static_cast<uint32_t>(n));
}

namespace {

void MapNearest(const Bitmap24& bitmap, NearestColorMap& map, uint8_t* out) {
  const size_t w = static_cast<size_t>(bitmap.Width());
  for (int32_t y = 0; y < bitmap.Height(); ++y, out += w) {
    const uint8_t* p = bitmap.Row(y);
    for (size_t x = 0; x < w; ++x, p += 3) out[x] = map.Find(p[2], p[1], p[0]);
  }
}

// Serpentine Floyd–Steinberg with the classic 7/16, 3/16, 5/16 and 1/16 weights: even
// rows run left to right, odd rows right to left, which avoids the diagonal drift of
// one-way scans. Errors are kept in sixteenths in two rows with a spare pixel at each
// end. The error a pixel receives is clamped to ±40 per channel, so that a run of
// pixels far outside the palette cannot pile up an error that then spills as a streak.
//
// The two kinds of dithering differ in the rules below, each chosen by the benchmark
// (30 frames of the 600 × 800 reflection of coffee.png and the 640 × 854 reflection of
// rocket.jpg, against the 24-bit frames; figures in docs/benchmarks.md).
struct DiffusionRules {
  // A pixel within this squared distance of a palette entry takes that entry: its own
  // colour no longer depends on what came before it (-1: never).
  int snapDistance2;
  // Otherwise a pixel keeps its own nearest colour while that colour's squared distance
  // to the error-adjusted target is at most keepNum/keepDen of the best match's; the
  // error of the colour actually chosen travels on (1/1: the best match always wins).
  int keepNum, keepDen;
  // The share of each error passed on: less than all of it keeps noise from building
  // up in busy areas.
  int dampNum, dampDen;
  // Errors are carried in sixteenths of a level, so that small ones add up; otherwise
  // a pixel rounds what it receives to whole levels and the rest is lost, so that an
  // error under half a level goes no further, which keeps still pixels still.
  bool exact;
};

// A still picture: the average tone of every area is kept as closely as error diffusion
// can. Errors are carried in sixteenths, so that small ones add up (at 256 colours 0.3
// to 0.65 dB more blurred PSNR than whole levels); passing on 7/8 of each keeps busy
// areas calmer than the classic full error (0.7 to 0.8 dB more PSNR, and no less
// blurred PSNR).
constexpr DiffusionRules kStillRules{-1, 1, 1, 7, 8, true};

// Animation frames. Nearly all flicker is in reflection rows whose pixels did not change
// at all but receive a different error from the changed rows above. A pixel within
// about 3 levels of an entry (squared 10) takes it, and one between entries keeps its own
// nearest colour when that is within 6 % of the best match (squared: 9/8), so its choice
// depends less on that error; every error is damped to 15/16. Against the still rules,
// at 256 colours, this cuts the flicker by 44 to 66 % for 0.5 to 1.5 dB of blurred PSNR.
constexpr DiffusionRules kSteadyRules{10, 9, 8, 15, 16, false};

constexpr int kMaxCarried = 40;

int Distance2(const int* v, const ColorTriple& c) {
  const int dr = v[0] - c.red, dg = v[1] - c.green, db = v[2] - c.blue;
  return dr * dr + dg * dg + db * db;
}

// One row, left to right (kDir 1) or right to left (kDir -1). `cur` holds the errors
// for this row, `next` collects those for the row below; both have a spare pixel at
// each end.
template <int kDir, const DiffusionRules& kRules>
void DitherRow(const uint8_t* row, int w, NearestColorMap& map, int* cur, int* next, uint8_t* out,
               uint32_t& last_own, uint8_t& last_near) {
  const Palette& palette = map.Colors();
  for (int i = 0; i < w; ++i) {
    const int x = kDir > 0 ? i : w - 1 - i;
    const uint8_t* p = row + 3 * x;
    int* e = cur + 3 * (x + 1);
    // Channels in the order red, green, blue; the pixel stores blue first.
    const int own[3] = {p[2], p[1], p[0]};
    const uint32_t own_key = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    if (own_key != last_own) {  // runs of one colour are common: skip their search
      last_own = own_key;
      last_near = map.Find(p[2], p[1], p[0]);
    }
    uint8_t index = last_near;
    const ColorTriple& near = palette[index];
    const int dr = own[0] - near.red, dg = own[1] - near.green, db = own[2] - near.blue;
    // The target in sixteenths of a level, and rounded to a colour.
    int v16[3], v[3];
    for (int k = 0; k < 3; ++k) {
      const int carried = kRules.exact ? std::clamp((e[k] + 8) >> 4, -16 * kMaxCarried, 16 * kMaxCarried)
                                       : 16 * std::clamp((e[k] + 8) >> 4, -kMaxCarried, kMaxCarried);
      v16[k] = std::clamp(16 * own[k] + carried, 0, 16 * 255);
      v[k] = (v16[k] + 8) >> 4;
      e[k] = 0;
    }
    if (dr * dr + dg * dg + db * db > kRules.snapDistance2 && (v[0] != own[0] || v[1] != own[1] || v[2] != own[2])) {
      const uint8_t best = map.Find(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]));
      if (best != index && Distance2(v, near) * kRules.keepDen > Distance2(v, palette[best]) * kRules.keepNum) {
        index = best;
      }
    }
    out[x] = index;
    const ColorTriple& c = palette[index];
    const int chosen[3] = {c.red, c.green, c.blue};
    int* ahead = e + 3 * kDir;
    int* below = next + 3 * (x + 1);
    for (int k = 0; k < 3; ++k) {
      const int err = (kRules.exact ? v16[k] - 16 * chosen[k] : v[k] - chosen[k]) * kRules.dampNum / kRules.dampDen;
      ahead[k] += err * 7;
      below[k - 3 * kDir] += err * 3;
      below[k] += err * 5;
      below[k + 3 * kDir] += err;
    }
  }
}

// Rows above `steady_from` are dithered by the still rules, the rest by the steady
// rules, starting afresh: no error crosses into them and their first row runs left to
// right, just as when they are dithered on their own.
void MapDithered(const Bitmap24& bitmap, NearestColorMap& map, int32_t steady_from, uint8_t* out) {
  const int w = bitmap.Width();
  // Each entry of `cur` is cleared once it has been read, so the row just finished is
  // all zeros but for its spare ends and can serve as the next row without a fill.
  std::vector<int> cur(static_cast<size_t>(w + 2) * 3, 0), next(cur.size(), 0);
  uint32_t last_own = 0xffffffffu;
  uint8_t last_near = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y, out += w) {
    const uint8_t* row = bitmap.Row(y);
    if (y < steady_from) {
      if ((y & 1) == 0) DitherRow<1, kStillRules>(row, w, map, cur.data(), next.data(), out, last_own, last_near);
      else DitherRow<-1, kStillRules>(row, w, map, cur.data(), next.data(), out, last_own, last_near);
    } else {
      if (y == steady_from) std::fill(cur.begin(), cur.end(), 0);
      if (((y - steady_from) & 1) == 0) {
        DitherRow<1, kSteadyRules>(row, w, map, cur.data(), next.data(), out, last_own, last_near);
      } else {
        DitherRow<-1, kSteadyRules>(row, w, map, cur.data(), next.data(), out, last_own, last_near);
      }
    }
    // The spare ends received error that no pixel reads.
    std::fill_n(cur.begin(), 3, 0);
    std::fill_n(cur.end() - 3, 3, 0);
    std::swap(cur, next);
  }
}

void Map(const Bitmap24& bitmap, NearestColorMap& map, bool dither, int32_t steady_from,
         std::vector<uint8_t>& indices) {
  indices.resize(static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()));
  if (indices.empty() || map.Colors().empty()) return;
  if (dither) MapDithered(bitmap, map, steady_from, indices.data());
  else MapNearest(bitmap, map, indices.data());
}

}  // namespace

void MapToPalette(const Bitmap24& bitmap, NearestColorMap& map, Dither dither, std::vector<uint8_t>& indices) {
  Map(bitmap, map, dither != Dither::None, dither == Dither::Steady ? 0 : bitmap.Height(), indices);
}

void MapToPalette(const Bitmap24& bitmap, const Palette& palette, Dither dither, std::vector<uint8_t>& indices) {
  NearestColorMap map(palette, int64_t{bitmap.Width()} * bitmap.Height());
  MapToPalette(bitmap, map, dither, indices);
}

void MapStillAboveSteady(const Bitmap24& bitmap, NearestColorMap& map, int32_t steadyFrom,
                         std::vector<uint8_t>& indices) {
  Map(bitmap, map, true, std::clamp(steadyFrom, 0, bitmap.Height()), indices);
}

std::optional<ReducedColors> ReduceColors(const Bitmap24& bitmap, int count, unsigned options,
                                          const Palette* given) {
  if (bitmap.Empty() || count < 1 || count > 256) return std::nullopt;
  ReducedColors result;
  if (options & kReduceGivenPalette) {
    if (!given || given->empty() || given->size() > 256) return std::nullopt;
    result.palette = *given;
  } else {
    result.palette = ComputePalette(bitmap, 1 << PaletteBitsForCount(count));
  }
  const Dither dither = (options & kReduceSteadyDither) ? Dither::Steady
                        : (options & kReduceDither)     ? Dither::Still
                                                        : Dither::None;
  MapToPalette(bitmap, result.palette, dither, result.indices);
  result.bitsPerPixel = IndexedDepthForCount(count);
  return result;
}

std::optional<ReducedColors> ReduceBitmapColors(Bitmap24& bitmap, int count, unsigned options,
                                                const Palette* given) {
  std::optional<ReducedColors> result = ReduceColors(bitmap, count, options, given);
  if (!result) return result;
  const uint8_t* index = result->indices.data();
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    uint8_t* p = bitmap.Row(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x, p += 3) {
      const ColorTriple& c = result->palette[*index++];
      p[0] = c.blue;
      p[1] = c.green;
      p[2] = c.red;
    }
  }
  if (!(options & kReduceIndexed)) {
    result->indices.clear();
    result->bitsPerPixel = 0;
  }
  if (!(options & kReduceReturnPalette)) result->palette.clear();
  return result;
}

}  // namespace kestal
