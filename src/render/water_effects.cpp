#include "render/water_effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/filters.h"
#include "bitmap/rect_utils.h"
#include "render/animation_model.h"

namespace kestal {
namespace {

Status RangeError(const std::string& what, int value, int lo, int hi, const std::string& unit) {
  return Error::OverLimit(what + " " + std::to_string(value) + unit + " is outside " + std::to_string(lo) +
                          ".." + std::to_string(hi) + unit);
}

// The three channel tables that move a pixel `amount` (0..1) of the way to `target`,
// rounded to the nearest value.
struct TripleTables {
  ChannelTable blue, green, red;
};

uint8_t FadeChannel(int value, int goal, double amount) {
  return static_cast<uint8_t>(std::clamp(std::lround(value + (goal - value) * amount), 0L, 255L));
}

TripleTables FadeTables(Color target, double amount) {
  const Color c = ResolveColor(target);
  TripleTables t;
  for (int i = 0; i < 256; ++i) {
    t.blue[i] = FadeChannel(i, BlueOf(c), amount);
    t.green[i] = FadeChannel(i, GreenOf(c), amount);
    t.red[i] = FadeChannel(i, RedOf(c), amount);
  }
  return t;
}

Color FadeColor(const WaterSettings& water) {
  return water.fadeTarget == FadeTarget::Tint ? water.tintColor : Rgb(0, 0, 0);
}

void MapRow(uint8_t* p, int32_t width, const TripleTables& t) {
  for (int32_t x = 0; x < width; ++x, p += 3) {
    p[0] = t.blue[p[0]];
    p[1] = t.green[p[1]];
    p[2] = t.red[p[2]];
  }
}

// The rounded mean of every sum a (2r + 1)-pixel box can hold: a table look-up in
// place of a division per byte.
std::vector<uint8_t> BoxMeans(int radius) {
  const uint32_t n = 2 * static_cast<uint32_t>(radius) + 1;
  std::vector<uint8_t> mean(255 * n + 1);
  for (uint32_t sum = 0; sum < mean.size(); ++sum) mean[sum] = static_cast<uint8_t>((sum + n / 2) / n);
  return mean;
}

// One pass of the box along each row. A row is copied with `radius` repeats of its
// edge pixels on either side, so the running sums need no bounds checks.
void BoxAcross(const Bitmap24& from, Bitmap24& to, int radius, const std::vector<uint8_t>& mean) {
  const int32_t w = from.Width();
  const size_t edge = 3 * static_cast<size_t>(radius);
  std::vector<uint8_t> line(static_cast<size_t>(w) * 3 + 2 * edge);
  for (int32_t y = 0; y < from.Height(); ++y) {
    const uint8_t* src = from.Row(y);
    for (size_t i = 0; i < edge; ++i) line[i] = src[i % 3];
    std::memcpy(line.data() + edge, src, static_cast<size_t>(w) * 3);
    const uint8_t* last = src + 3 * static_cast<size_t>(w - 1);
    for (size_t i = 0; i < edge; ++i) line[edge + 3 * static_cast<size_t>(w) + i] = last[i % 3];
    uint32_t sum[3] = {0, 0, 0};
    // line[3k..] is pixel k − radius.
    for (int k = 0; k < 2 * radius + 1; ++k)
      for (int c = 0; c < 3; ++c) sum[c] += line[3 * static_cast<size_t>(k) + c];
    uint8_t* o = to.Row(y);
    const uint8_t* drop = line.data();
    const uint8_t* add = line.data() + 3 * (2 * static_cast<size_t>(radius) + 1);
    for (int32_t x = 0; x < w; ++x, o += 3, drop += 3, add += 3) {
      for (int c = 0; c < 3; ++c) o[c] = mean[sum[c]];
      if (x + 1 == w) break;  // `add` would be one pixel past the padded line
      for (int c = 0; c < 3; ++c) sum[c] += add[c] - drop[c];
    }
  }
}

// Down the columns, a whole row at a time: one running sum per byte of a row, so the
// rows are read in order rather than one column at a time.
void BoxDown(const Bitmap24& from, Bitmap24& to, int radius, const std::vector<uint8_t>& mean) {
  const int32_t h = from.Height();
  const size_t bytes = static_cast<size_t>(from.Width()) * 3;
  auto row = [&](int64_t y) { return from.Row(static_cast<int32_t>(std::clamp<int64_t>(y, 0, h - 1))); };
  std::vector<uint32_t> sum(bytes, 0);
  for (int k = -radius; k <= radius; ++k) {
    const uint8_t* p = row(k);
    for (size_t i = 0; i < bytes; ++i) sum[i] += p[i];
  }
  const uint8_t* table = mean.data();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* o = to.Row(y);
    for (size_t i = 0; i < bytes; ++i) o[i] = table[sum[i]];
    const uint8_t* add = row(static_cast<int64_t>(y) + radius + 1);
    const uint8_t* drop = row(static_cast<int64_t>(y) - radius);
    for (size_t i = 0; i < bytes; ++i) sum[i] += add[i] - drop[i];
  }
}

}  // namespace

bool ChangesMirror(const WaterSettings& water) {
  return water.tintPercent != 0 || water.fadePercent != 0 || water.blurRadius != 0;
}

Result<int> WaterLineRow(const WaterLine& line, int photoHeight) {
  const int row = line.unit == WaterLine::Unit::Rows ? line.value : ReflectionHeight(photoHeight, line.value);
  const std::string where = line.unit == WaterLine::Unit::Rows
                                ? "row " + std::to_string(line.value)
                                : std::to_string(line.value) + " % of " + std::to_string(photoHeight) +
                                      (photoHeight == 1 ? " row" : " rows");
  if (row < 1) {
    return Error::Invalid("the water line (" + where +
                          ") is at the photo's top row: there is nothing above it to reflect");
  }
  if (row > photoHeight) {
    return Error::OverLimit("the water line (" + where + ") is below the photo's bottom edge (row " +
                            std::to_string(photoHeight) + ")");
  }
  return row;
}

WaterLine FitWaterLine(const WaterLine& line, int photoHeight) {
  if (photoHeight < 1) return line;
  auto row = WaterLineRow(line, photoHeight);
  if (row) return line;
  const bool tooLow = line.unit == WaterLine::Unit::Rows ? line.value > photoHeight : line.value > 100;
  if (line.unit == WaterLine::Unit::Percent && tooLow) return WaterLine{};
  return WaterLine{tooLow ? photoHeight : 1, WaterLine::Unit::Rows};
}

Status CheckWaterSettings(const WaterSettings& w) {
  const WaterSettingInfo& line = WaterSettingRow(WaterSetting::Line);
  if (w.line.unit == WaterLine::Unit::Percent && (w.line.value < line.min || w.line.value > line.max))
    return RangeError(line.what, w.line.value, line.min, line.max, line.unit);
  if (w.line.unit == WaterLine::Unit::Rows && w.line.value < 1)
    return Error::Invalid("the water line (row " + std::to_string(w.line.value) +
                          ") is at the photo's top row: there is nothing above it to reflect");
  for (const WaterSettingInfo& row : kWaterSettingTable) {
    if (!row.field) continue;
    const int value = w.*row.field;
    if (value < row.min || value > row.max) return RangeError(row.what, value, row.min, row.max, row.unit);
  }
  return Status::Ok();
}

double FadeAmount(int row, int reflectionRows, int percent, FadeCurve curve) {
  // With one row (or none) the first row is already the last.
  double t = reflectionRows <= 1 ? 1.0 : static_cast<double>(row) / (reflectionRows - 1);
  t = std::clamp(t, 0.0, 1.0);
  if (curve == FadeCurve::Smooth) t = t * t * (3.0 - 2.0 * t);
  return t * percent / 100.0;
}

void FadeRows(Bitmap24& b, int reflectionRows, int percent, FadeCurve curve, Color target) {
  if (percent == 0) return;
  for (int32_t y = 0; y < b.Height(); ++y)
    MapRow(b.Row(y), b.Width(), FadeTables(target, FadeAmount(y, reflectionRows, percent, curve)));
}

Status BlurBitmap(Bitmap24& b, int radius) {
  if (radius <= 0 || b.Empty()) return Status::Ok();
  auto work = Bitmap24::Create(b.Width(), b.Height(), PixelLimits{INT32_MAX, INT64_MAX});
  if (!work) return work.error();
  const std::vector<uint8_t> mean = BoxMeans(radius);
  for (int pass = 0; pass < 2; ++pass) {
    BoxAcross(b, *work, radius, mean);
    BoxDown(*work, b, radius, mean);
  }
  return Status::Ok();
}

Result<Bitmap24> MakeWaterMirror(const Bitmap24& photo, int waterLine, int reflectionRows,
                                 const WaterSettings& water) {
  const int32_t h = std::clamp<int32_t>(waterLine, 0, photo.Height());
  auto mirror = Bitmap24::Create(photo.Width(), h, PixelLimits{INT32_MAX, INT64_MAX});
  if (!mirror) return mirror.error();
  const size_t bytes = static_cast<size_t>(photo.Width()) * 3;
  for (int32_t i = 0; i < h; ++i) std::memcpy(mirror->Row(i), photo.Row(h - 1 - i), bytes);
  if (Status s = BlurBitmap(*mirror, water.blurRadius); !s) return s.error();
  TintRect(*mirror, water.tintColor, water.tintPercent, AllRect);
  FadeRows(*mirror, reflectionRows, water.fadePercent, water.fadeCurve, FadeColor(water));
  return mirror;
}

Color WaterBackground(Color background, const WaterSettings& water) {
  if (!ChangesMirror(water)) return background;
  // The same tables as the mirror's rows, for one pixel: this runs at every frame and
  // must not allocate.
  ColorTriple p = ColorToTriple(background);
  if (water.tintPercent != 0) {
    const Color tint = ResolveColor(water.tintColor);
    p = ColorTriple{TintTable(BlueOf(tint), water.tintPercent)[p.blue],
                    TintTable(GreenOf(tint), water.tintPercent)[p.green],
                    TintTable(RedOf(tint), water.tintPercent)[p.red]};
  }
  const Color goal = ResolveColor(FadeColor(water));
  const double amount = water.fadePercent / 100.0;
  return TripleToColor(ColorTriple{FadeChannel(p.blue, BlueOf(goal), amount),
                                   FadeChannel(p.green, GreenOf(goal), amount),
                                   FadeChannel(p.red, RedOf(goal), amount)});
}

}  // namespace kestal
