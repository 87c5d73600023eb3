#include "render/natural_water.h"

#include "render/natural_sampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace kestal {
namespace {

constexpr double kTwoPi = 6.283185307179586477;
constexpr double kDegree = kTwoPi / 360;

// The field is computed every kStep pixels along a row and interpolated between: the
// waves are smooth at that scale, and the trains' cost drops kStep times.
// Displacements are carried in 1/256 of a pixel (natural_sampling.h).
using natural::kStep;
using natural::kStepBits;
constexpr int kSubpixel = natural::kSubpixel;

// The wave trains, relative to the wind's direction, length and height: a long swell
// and shorter trains across it, so that crests cross and no row moves as one piece.
// `periods` is how many times a train passes a point in one cycle; `phase` offsets it.
struct Train {
  double angleDegrees;
  double length;
  double height;
  int periods;
  double phase;
};
constexpr Train kTrains[] = {
    {0, 1.00, 1.00, 1, 0.0},
    {-32, 0.62, 0.55, 1, 1.9},
    {47, 0.41, 0.38, 2, 4.1},
    {12, 0.23, 0.22, 3, 2.7},
};
// A sideways slope moves the reflection less than one along the line of sight, which
// the view meets at a grazing angle.
constexpr double kSideways = 0.6;
// Rain rings are seen flattened to this share of their width.
constexpr double kRingAspect = 0.3;
constexpr int kMaxDrops = 12;
// Glints: the share of the trains' summed height a slope must pass, and how far a
// glint goes towards the bright colour at most.
constexpr double kGlintFrom = 0.45;
constexpr float kGlintFromF = static_cast<float>(kGlintFrom);
constexpr float kGlintSpan = static_cast<float>(1 / (1 - kGlintFrom));
// How much further along its slope a glinting facet looks.
constexpr int32_t kGlintReach = 4;
constexpr double kGlintGain = 0.85;
constexpr double kGlintMinHeight = 1.0;
// How many rows ahead of the rows sampled the mirror is fetched into the cache, and
// the cache's line.
constexpr int32_t kPrefetchRows = 4;
constexpr size_t kCacheLine = 64;
// Panes of this many pixels and more are rendered on two threads.
constexpr int64_t kThreadedPixels = 1 << 19;

// The phase of something passing `periods` times a cycle at `frame`, reduced in
// integers first so that frame `frameCount` gives exactly frame 0's value.
double CyclePhase(int64_t periods, int frame, int frameCount) {
  const int64_t n = std::max(frameCount, 1);
  const int64_t k = ((periods * frame) % n + n) % n;
  return kTwoPi * static_cast<double>(k) / static_cast<double>(n);
}

// Eight floats or integers side by side (GCC's vector extension): each lane is
// computed as the same scalar expression would be, so the results are the same bytes on
// every machine, with or without vector instructions, and in every copy the compiler
// makes for wider ones.
constexpr int kLanes = 8;
typedef float Lanes __attribute__((vector_size(4 * kLanes)));
typedef int32_t IntLanes __attribute__((vector_size(4 * kLanes)));

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define KESTAL_WIDE_VECTORS __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define KESTAL_WIDE_VECTORS
#endif

// Rounded half away from zero: the magnitude plus a half, truncated, with the sign
// given back.
// (Through references: a vector passed by value would depend on the instruction set.)
__attribute__((always_inline)) inline void RoundLanes(const Lanes& v, IntLanes& rounded) {
  IntLanes bits;
  std::memcpy(&bits, &v, sizeof bits);
  const IntLanes sign = bits & INT32_MIN;
  const IntLanes magnitudeBits = bits & INT32_MAX;
  Lanes magnitude;
  std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
  const IntLanes whole = __builtin_convertvector(magnitude + 0.5f, IntLanes);
  rounded = sign != 0 ? -whole : whole;
}

constexpr int kTrainCount = static_cast<int>(std::size(kTrains));

// One row's wave trains as SumTrains takes them: each train's cos and sin of the phase
// at the row's first field point, the turns from a block's first point to its kLanes
// points and from one block to the next, and its sideways and along slopes' heights.
struct RowTrains {
  Lanes turnC[kTrainCount], turnS[kTrainCount];
  float c[kTrainCount], s[kTrainCount], blockC[kTrainCount], blockS[kTrainCount], hx[kTrainCount], hy[kTrainCount];
};

// The trains' summed displacement at the row's blocks × kLanes field points: the
// points follow by rotation, kLanes side by side, without trigonometry inside the row.
KESTAL_WIDE_VECTORS void SumTrains(const RowTrains& trains, int32_t blocks, float* dx, float* dy) {
  float c[kTrainCount], s[kTrainCount];
  std::memcpy(c, trains.c, sizeof c);
  std::memcpy(s, trains.s, sizeof s);
  for (int32_t b = 0; b < blocks; ++b) {
    Lanes sumX = {}, sumY = {};
    for (int i = 0; i < kTrainCount; ++i) {
      const Lanes phase = c[i] * trains.turnC[i] - s[i] * trains.turnS[i];
      sumX += trains.hx[i] * phase;
      sumY += trains.hy[i] * phase;
      const float next = c[i] * trains.blockC[i] - s[i] * trains.blockS[i];
      s[i] = s[i] * trains.blockC[i] + c[i] * trains.blockS[i];
      c[i] = next;
    }
    std::memcpy(dx + kLanes * static_cast<size_t>(b), &sumX, sizeof sumX);
    std::memcpy(dy + kLanes * static_cast<size_t>(b), &sumY, sizeof sumY);
  }
}

// The field in 1/256 pixel, rounded, from the displacement in pixels; returns the
// largest displacement along. Marks the blocks that hold a point whose displacement
// along, times `steepScale`, passes `steepFrom` (the glints' test).
KESTAL_WIDE_VECTORS int32_t RoundField(const float* dx, const float* dy, int32_t blocks, float steepScale,
                                       float steepFrom, int32_t* fieldX, int32_t* fieldY, bool* steepBlocks) {
  IntLanes most = {};
  for (int32_t b = 0; b < blocks; ++b) {
    Lanes sx, sy;
    std::memcpy(&sx, dx + kLanes * static_cast<size_t>(b), sizeof sx);
    std::memcpy(&sy, dy + kLanes * static_cast<size_t>(b), sizeof sy);
    IntLanes ix, iy;
    RoundLanes(sx * static_cast<float>(kSubpixel), ix);
    RoundLanes(sy * static_cast<float>(kSubpixel), iy);
    most = iy > most ? iy : most;
    std::memcpy(fieldX + kLanes * static_cast<size_t>(b), &ix, sizeof ix);
    std::memcpy(fieldY + kLanes * static_cast<size_t>(b), &iy, sizeof iy);
    const IntLanes steep = sy * steepScale > steepFrom;
    int32_t any = 0;
    for (int m = 0; m < kLanes; ++m) any |= steep[m];
    steepBlocks[b] = any != 0;
  }
  int32_t largest = 0;
  for (int m = 0; m < kLanes; ++m) largest = std::max(largest, most[m]);
  return largest;
}

// A small fixed generator: the drops' places are the same on every run and machine.
class Seeded {
 public:
  double Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;  // [0, 1)
  }

 private:
  uint64_t state_ = 0x6b657374616c2121ull;
};

struct Drop {
  double x, y;      // centre, in pane pixels
  double radius;    // of the ring now, across
  double width;     // of the ring's crest
  double height;    // of its slope, in pixels of displacement
};

// Brightness as red × 3 + green × 6 + blue, of a pixel in blue, green, red order.
int32_t Luma(const uint8_t* bgr) { return bgr[2] * 3 + bgr[1] * 6 + bgr[0]; }

// The photo's brightest colour, from a sparse grid: the mean of the brightest
// hundredth of the samples, so that one hot pixel does not decide it.
ColorTriple BrightColor(const Bitmap24& src) {
  const int32_t stepX = std::max<int32_t>(1, src.Width() / 64);
  const int32_t stepY = std::max<int32_t>(1, src.Height() / 64);
  std::vector<std::pair<int, ColorTriple>> samples;
  for (int32_t y = 0; y < src.Height(); y += stepY)
    for (int32_t x = 0; x < src.Width(); x += stepX) {
      const ColorTriple c = src.Pixel(x, y);
      samples.push_back({c.red * 3 + c.green * 6 + c.blue, c});
    }
  if (samples.empty()) return ColorTriple{};
  const size_t keep = std::max<size_t>(1, samples.size() / 100);
  std::partial_sort(samples.begin(), samples.begin() + static_cast<ptrdiff_t>(keep), samples.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  int64_t r = 0, g = 0, b = 0;
  for (size_t i = 0; i < keep; ++i) {
    r += samples[i].second.red;
    g += samples[i].second.green;
    b += samples[i].second.blue;
  }
  const auto mean = [&](int64_t v) { return static_cast<uint8_t>((v + static_cast<int64_t>(keep) / 2) / static_cast<int64_t>(keep)); };
  return ColorTriple{mean(r), mean(g), mean(b)};
}

// The map of block rows [fromRow, toRow), for the photo's brightest colour `bright`.
NaturalGlintMap GlintMap(const Bitmap24& src, ColorTriple bright, int32_t fromRow, int32_t toRow) {
  constexpr int32_t kBlock = NaturalGlintMap::kBlock;
  NaturalGlintMap map;
  map.bright = bright;
  map.width = (src.Width() + kBlock - 1) / kBlock;
  map.height = (src.Height() + kBlock - 1) / kBlock;
  map.fromRow = std::clamp(fromRow, 0, map.height);
  map.toRow = std::clamp(toRow, map.fromRow, map.height);
  map.near.resize(static_cast<size_t>(map.toRow - map.fromRow) * map.width);
  const int32_t brightLuma = bright.red * 3 + bright.green * 6 + bright.blue;
  if (brightLuma <= 0) return map;
  // The share in 1/255, by a multiplication in 16-bit fixed point.
  const int32_t perLuma = (255 << 16) / brightLuma;
  std::vector<int32_t> brightest(static_cast<size_t>(map.width));
  for (int32_t r = map.fromRow; r < map.toRow; ++r) {
    std::fill(brightest.begin(), brightest.end(), 0);
    for (int32_t y = kBlock * r; y < std::min(src.Height(), kBlock * (r + 1)); ++y) {
      const uint8_t* row = src.Row(y);
      for (int32_t x = 0; x < src.Width(); ++x)
        brightest[x / kBlock] = std::max(brightest[x / kBlock], Luma(row + 3 * x));
    }
    uint8_t* near = &map.near[static_cast<size_t>(r - map.fromRow) * map.width];
    for (int32_t c = 0; c < map.width; ++c) {
      const int32_t share = std::clamp((brightest[c] - brightLuma * 2 / 3) * 3, 0, brightLuma);
      near[c] = static_cast<uint8_t>(std::min(255, (share * perLuma + 32768) >> 16));
    }
  }
  return map;
}

}  // namespace

NaturalGlintMap MakeNaturalGlintMap(const Bitmap24& mirror) {
  return GlintMap(mirror, BrightColor(mirror), 0, INT32_MAX);
}

int NaturalValue(const NaturalWaterSettings& water, NaturalSetting setting) {
  switch (setting) {
    case NaturalSetting::Wind: return water.wind;
    case NaturalSetting::Direction: return water.directionDegrees;
    case NaturalSetting::Rain: return water.rain;
    case NaturalSetting::Glints: return water.glints ? 1 : 0;
  }
  return 0;
}

void SetNaturalValue(NaturalWaterSettings& water, NaturalSetting setting, int value) {
  const NaturalSettingInfo& row = NaturalSettingRow(setting);
  value = std::clamp(value, row.min, row.max);
  switch (setting) {
    case NaturalSetting::Wind: water.wind = value; break;
    case NaturalSetting::Direction: water.directionDegrees = value; break;
    case NaturalSetting::Rain: water.rain = value; break;
    case NaturalSetting::Glints: water.glints = value != 0; break;
  }
}

void RenderNaturalWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       const NaturalWaterSettings& water, Color background, int strengthPercent) {
  RenderNaturalWave(src, dst, frame, frameCount, water, background, strengthPercent, NaturalRendering{});
}

void RenderNaturalWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       const NaturalWaterSettings& water, Color background, int strengthPercent,
                       const NaturalRendering& rendering) {
  const int32_t width = dst.Width();
  const int32_t height = dst.Height();
  const int32_t hs = src.Height();
  // As in the other modes: a reflection taller or other than as wide as the mirror is
  // a caller's mistake that must not turn into a read past it.
  if (width < 1 || height < 1 || src.Width() != width || height > hs) return;
  // Lengths are worked out for the pane the frame stands for and then brought to this
  // one's scale, so that a reduced pane shows the same waves reduced.
  const int32_t fullWidth = rendering.fullWidth > 0 ? rendering.fullWidth : width;
  const int32_t fullHeight = rendering.fullHeight > 0 ? rendering.fullHeight : height;
  const double scale = static_cast<double>(width) / fullWidth;

  const double factor = std::max(strengthPercent, 0) / 100.0;
  const double wind = std::clamp(water.wind, 0, kMaxNaturalWind) / 100.0;
  const double direction = std::clamp(water.directionDegrees, -kMaxNaturalDirection, kMaxNaturalDirection) * kDegree;
  // The scene's size: the pane's height, or half its width for a low, wide pane.
  const double fullScene = std::max<double>(fullHeight, fullWidth / 2.0);
  const double scene = fullScene * scale;
  // Perspective: a row's share of the nearest row's scale, from y0 / (H + y0) at the
  // water line to 1 at the bottom.
  const double y0 = std::max(4.0, fullHeight * 0.12) * scale;
  const auto perspective = [&](double y) { return (y + y0) / (height + y0); };
  const double length = std::max(16.0, fullScene * (0.06 + 0.14 * wind)) * scale;  // at the bottom row
  const double amplitude = length * (0.10 + 0.12 * wind) * factor;    // in pixels there

  struct TrainNow {
    double sin, cos;   // of the direction it runs
    double number;     // 2π / its length at the bottom row
    double height;     // of its slope there, in pixels
    double phase;      // its offset, less the time
  };
  std::vector<TrainNow> trains;
  double summedHeight = 0;
  for (const Train& t : kTrains) {
    const double angle = direction + t.angleDegrees * kDegree;
    const double h = amplitude * t.height;
    trains.push_back({std::sin(angle), std::cos(angle), kTwoPi / (length * t.length), h,
                      t.phase - CyclePhase(t.periods, frame, frameCount)});
    summedHeight += h * std::abs(std::cos(angle));
  }

  std::vector<Drop> drops;
  const int dropCount = std::clamp(water.rain, 0, kMaxNaturalRain) * kMaxDrops / kMaxNaturalRain;
  Seeded seeded;
  for (int d = 0; d < dropCount && factor > 0; ++d) {
    const double x = (0.05 + 0.9 * seeded.Next()) * width;
    const double y = (0.25 + 0.7 * seeded.Next()) * height;
    const int64_t n = std::max(frameCount, 1);
    const int64_t born = static_cast<int64_t>(seeded.Next() * static_cast<double>(n));
    // Its age in the cycle, 0 to 1: it is born, spreads and fades within one cycle.
    const double age = static_cast<double>(((frame - born) % n + n) % n) / static_cast<double>(n);
    const double fade = std::sin(age * kTwoPi / 2);
    const double p = perspective(y);
    drops.push_back({x, y, age * scene * 0.22 * p, std::max(1.5, fullScene * 0.012 * p) * scale,
                     amplitude * 0.8 * p * fade * fade});
  }

  const bool glints = water.glints && factor > 0 && summedHeight > 0;
  const int glintGain = static_cast<int>(kGlintGain * std::min(factor, 1.0) * kSubpixel);

  const ColorTriple back = ColorToTriple(background);
  std::vector<uint8_t> backRow(static_cast<size_t>(width) * 3);
  for (int32_t x = 0; x < width; ++x) {
    backRow[3 * x] = back.blue;
    backRow[3 * x + 1] = back.green;
    backRow[3 * x + 2] = back.red;
  }

  // The mirror's rows, then the background as the rows past its end: a sample's lower
  // neighbour row is always there.
  std::vector<const uint8_t*> rows(static_cast<size_t>(hs) + 2);
  for (int32_t i = 0; i < hs; ++i) rows[i] = src.Row(i);
  rows[hs] = rows[hs + 1] = backRow.data();
  const natural::RowSource source{rows.data(), src.Row(0), src.Stride(), width, hs};
  const natural::Kernel kernel = rendering.kernel ? *rendering.kernel : natural::BestKernel();

  const int32_t points = (width - 1) / kStep + 2;
  const double centre = width / 2.0;
  const int32_t first = std::clamp(rendering.fromRow, 0, height);
  const int32_t last = rendering.toRow < 0 ? height : std::clamp(rendering.toRow, first, height);

  // The glints read a map of the photo's brightness rather than the mirror far from the
  // row rendered: the map stays in the cache, where those reads would each wait on
  // memory. Without the mirror's map, one is made of the rows the glints can reach.
  constexpr int32_t kBlock = NaturalGlintMap::kBlock;
  std::optional<NaturalGlintMap> ownMap;
  const NaturalGlintMap* glintMap = rendering.glintMap;
  if (glints && (!glintMap || glintMap->width != (width + kBlock - 1) / kBlock ||
                 glintMap->height != (hs + kBlock - 1) / kBlock)) {
    const double along = summedHeight + dropCount * 0.8 * amplitude;
    const int32_t reach = static_cast<int32_t>(std::ceil((1 + kGlintReach) * along)) + 2;
    ownMap = GlintMap(src, BrightColor(src), std::max(0, first - reach) / kBlock,
                      static_cast<int32_t>(std::min<int64_t>(hs - 1, int64_t{last} + reach) / kBlock + 1));
    glintMap = &*ownMap;
  }
  const ColorTriple bright = glints ? glintMap->bright : ColorTriple{};
  const int32_t brightLuma = bright.red * 3 + bright.green * 6 + bright.blue;

  // Rows [fromRow, toRow): each row depends on nothing but its own number, so a band of
  // rows gives the same bytes on whichever thread renders it.
  const auto renderRows = [&](int32_t fromRow, int32_t toRow) {
    std::vector<int32_t> fieldX(points + natural::kFieldPadding), fieldY(points + natural::kFieldPadding),
        fieldGlint(points), steep(points);
    // The trains are summed kLanes field points at a time.
    static_assert(kLanes <= natural::kFieldPadding);
    const int32_t blocks = (points + kLanes - 1) / kLanes;
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    int32_t prefetched = fromRow - 1;
    std::vector<float> dx(kLanes * static_cast<size_t>(blocks)), dy(kLanes * static_cast<size_t>(blocks));
    const std::unique_ptr<bool[]> steepBlocks(new bool[blocks]);
    for (int32_t y = fromRow; y < toRow; ++y) {
      const double p = perspective(y);
      // How far each train's phase has come from the water line down to this row: the
      // integral of its wave number, which grows as 1 / p towards the water line.
      const double depth = (height + y0) * std::log((y + y0) / y0);
      RowTrains rowTrains;
      double rowHeight = 0;
      for (int i = 0; i < kTrainCount; ++i) {
        const TrainNow& t = trains[i];
        const double along = t.number / p * t.sin;  // phase per pixel across the row
        const double start = t.number * depth * t.cos + along * (0 - centre) + t.phase;
        rowTrains.c[i] = static_cast<float>(std::cos(start));
        rowTrains.s[i] = static_cast<float>(std::sin(start));
        // The turns to a block's points by rotation from one cell's turn, in double.
        const double cellC = std::cos(along * kStep), cellS = std::sin(along * kStep);
        double turnC = 1, turnS = 0;
        for (int m = 0; m < kLanes; ++m) {
          rowTrains.turnC[i][m] = static_cast<float>(turnC);
          rowTrains.turnS[i][m] = static_cast<float>(turnS);
          const double next = turnC * cellC - turnS * cellS;
          turnS = turnS * cellC + turnC * cellS;
          turnC = next;
        }
        rowTrains.blockC[i] = static_cast<float>(turnC);
        rowTrains.blockS[i] = static_cast<float>(turnS);
        // A train shorter than two field cells would alias into a lattice: it fades out
        // between two cells of length and one, so the smallest ripples near the water
        // line melt into the still mirror.
        const double rowLength = kTwoPi / t.number * p;
        const double h = t.height * p * std::clamp((rowLength - kStep) / kStep, 0.0, 1.0);
        rowTrains.hx[i] = static_cast<float>(h * t.sin * kSideways);
        rowTrains.hy[i] = static_cast<float>(h * t.cos);
        rowHeight += h * std::abs(t.cos);
      }
      SumTrains(rowTrains, blocks, dx.data(), dy.data());
      for (const Drop& d : drops) {
        const double reach = d.radius + 3 * d.width;
        if (d.height <= 0 || std::abs(y - d.y) > reach * kRingAspect) continue;
        const double ey = (y - d.y) / kRingAspect;
        const int32_t left = std::max<int32_t>(0, static_cast<int32_t>((d.x - reach) / kStep));
        const int32_t right = std::min<int32_t>(points - 1, static_cast<int32_t>((d.x + reach) / kStep) + 1);
        for (int32_t k = left; k <= right; ++k) {
          const double ex = k * kStep - d.x;
          const double r = std::sqrt(ex * ex + ey * ey);
          const double off = (r - d.radius) / d.width;
          if (r <= 0 || std::abs(off) > 3) continue;
          const double slope = d.height * std::cos(off * 2.1) * std::exp(-off * off);
          dx[k] += static_cast<float>(slope * ex / r * kSideways);
          dy[k] += static_cast<float>(slope * ey / r);
        }
      }
      bool rowGlints = false;
      // Rows whose waves are under a pixel high do not glint: their facets are too small
      // to catch the light.
      const float glintScale = rowHeight > kGlintMinHeight * scale ? static_cast<float>(1 / rowHeight) : 0.f;
      const auto round = [](float v) { return static_cast<int32_t>(v + (v < 0 ? -0.5f : 0.5f)); };
      // The mirror's rows this row and the next few reach down to are fetched ahead into
      // the cache: a row is first needed here and there across the pane's row, in an
      // order no hardware prefetcher follows.
      const int32_t reach = RoundField(dx.data(), dy.data(), blocks, glintScale, kGlintFromF, fieldX.data(),
                                       fieldY.data(), steepBlocks.get()) >> 8;
      for (const int32_t edge = std::min(hs - 1, y + reach + kPrefetchRows); prefetched < edge;) {
        const uint8_t* row = rows[++prefetched];
        for (size_t at = 0; at < rowBytes; at += kCacheLine) __builtin_prefetch(row + at, 0, 2);
      }
      if (glints && brightLuma > 0) {
        // A steep facet reflects what lies further along its slope: where that is as
        // bright as the photo's brightest part, the facet glints. The steep points are
        // listed first, without a branch that would mispredict.
        std::fill(fieldGlint.begin(), fieldGlint.end(), 0);
        int32_t steepCount = 0;
        for (int32_t b = 0; b < blocks; ++b) {
          if (!steepBlocks[b]) continue;
          for (int32_t k = kLanes * b; k < std::min(points, kLanes * (b + 1)); ++k) {
            steep[steepCount] = k;
            steepCount += dy[k] * glintScale > kGlintFromF;
          }
        }
        for (int32_t i = 0; i < steepCount; ++i) {
          const int32_t k = steep[i];
          const int32_t gx = std::clamp((k * kStep * kSubpixel + fieldX[k] * (1 + kGlintReach)) >> 8, 0, width - 1);
          const int32_t gy = std::clamp((y * kSubpixel + fieldY[k] * (1 + kGlintReach)) >> 8, 0, hs - 1);
          const int32_t r = std::clamp(gy / kBlock, glintMap->fromRow, glintMap->toRow - 1);
          const size_t block = static_cast<size_t>(r - glintMap->fromRow) * glintMap->width + gx / kBlock;
          const int32_t lit = glintMap->near[block];
          const float over = std::min((dy[k] * glintScale - kGlintFromF) * kGlintSpan, 1.f);
          fieldGlint[k] = (round(over * over * static_cast<float>(glintGain)) * lit + 127) / 255;
          rowGlints |= fieldGlint[k] > 0;
        }
      }

      uint8_t* out = dst.Row(y);
      natural::SampleRow(kernel, source, y, fieldX.data(), fieldY.data(), out);
      if (rowGlints) {
        // The shine runs linearly between the field points, towards the bright colour.
        const int32_t toward[3] = {bright.blue, bright.green, bright.red};
        for (int32_t k = 0; k + 1 < points; ++k) {
          if (fieldGlint[k] <= 0 && fieldGlint[k + 1] <= 0) continue;
          const int32_t stepGlint = fieldGlint[k + 1] - fieldGlint[k];
          for (int32_t j = 0; j < kStep && k * kStep + j < width; ++j) {
            const int32_t x = k * kStep + j;
            const int32_t shine = fieldGlint[k] + (stepGlint * j >> kStepBits);
            uint8_t* o = out + 3 * x;
            for (int ch = 0; ch < 3; ++ch) o[ch] = static_cast<uint8_t>(o[ch] + (((toward[ch] - o[ch]) * shine) >> 8));
          }
        }
      }
    }
  };

  // A large pane is rendered in two bands, the lower on a second thread; without one
  // (the system refuses it) the same bytes come from this thread alone.
  const int32_t split = !rendering.oneThread && static_cast<int64_t>(width) * (last - first) >= kThreadedPixels
                            ? first + (last - first) / 2
                            : first;
  std::thread lower;
  if (split > first) {
    try {
      lower = std::thread(renderRows, split, last);
    } catch (const std::system_error&) {
    }
  }
  renderRows(first, lower.joinable() ? split : last);
  if (lower.joinable()) lower.join();
}

}  // namespace kestal
