#include "export/scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace kestal {
namespace {

// One output pixel's share of the source along one axis: the source pixels from
// `first`, each with its weight; the weights sum to 1.
struct Taps {
  int32_t first = 0;
  std::vector<float> weights;
};

// Output pixel i covers source [i × ratio, (i + 1) × ratio).
std::vector<Taps> AreaTaps(int32_t from, int32_t to) {
  std::vector<Taps> taps(static_cast<size_t>(to));
  const double ratio = static_cast<double>(from) / to;
  for (int32_t i = 0; i < to; ++i) {
    const double a = i * ratio;
    const double b = std::min<double>(from, (i + 1) * ratio);
    Taps& t = taps[static_cast<size_t>(i)];
    t.first = static_cast<int32_t>(a);
    for (int32_t s = t.first; s < from && s < b; ++s) {
      const double cover = std::min<double>(s + 1, b) - std::max<double>(s, a);
      if (cover > 0) t.weights.push_back(static_cast<float>(cover / ratio));
      else if (t.weights.empty()) ++t.first;
    }
  }
  return taps;
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

int64_t OutputHeight(int32_t photoHeight, int percent, Composition composition, const WaterLine& line) {
  auto row = WaterLineRow(FitWaterLine(line, photoHeight), photoHeight);
  const int32_t above = row ? *row : photoHeight;
  const int64_t reflection = ReflectionHeight(above, percent);
  return composition == Composition::ReflectionOnly ? reflection : above + reflection;
}

WaterLine ScaledWaterLine(const WaterLine& line, int32_t fromHeight, int32_t toHeight) {
  if (line.unit != WaterLine::Unit::Rows || fromHeight <= 0 || toHeight == fromHeight) return line;
  const double row = std::round(static_cast<double>(line.value) * toHeight / fromHeight);
  return WaterLine{static_cast<int>(std::clamp<double>(row, 1, std::max(1, toHeight))), WaterLine::Unit::Rows};
}

PixelSize ScaledPhotoSize(PixelSize photo, const ScaleRequest& request, int reflectionPercent, Composition composition,
                          const WaterLine& line) {
  if (photo.width <= 0 || photo.height <= 0) return photo;
  auto side = [](int32_t s, double f) { return std::max<int32_t>(1, static_cast<int32_t>(std::lround(s * f))); };
  if (request.fitWidth <= 0) {
    const double f = std::clamp(request.percent, kMinScalePercent, kMaxScalePercent) / 100.0;
    return {side(photo.width, f), side(photo.height, f)};
  }
  // The exported height is about photo height × (1 + percent / 100); start from that
  // factor and step down a row until the rounding of the reflection fits too.
  const auto exported = [&](int32_t h) {
    return OutputHeight(h, reflectionPercent, composition, ScaledWaterLine(line, photo.height, h));
  };
  const double tall = static_cast<double>(exported(photo.height));
  double f = std::min({1.0, static_cast<double>(request.fitWidth) / photo.width,
                       request.fitHeight / std::max(1.0, tall)});
  const int32_t first = std::min(photo.height, side(photo.height, f));
  int32_t h = first;
  while (h > 1 && exported(h) > request.fitHeight) --h;
  if (h < first) f = static_cast<double>(h) / photo.height;
  return {std::min(photo.width, std::min(request.fitWidth, side(photo.width, f))), h};
}

Result<Bitmap24> ScaleDown(const Bitmap24& src, int32_t width, int32_t height) {
  if (width > src.Width() || height > src.Height() || width < 1 || height < 1) {
    return Error::Invalid("cannot scale a " + std::to_string(src.Width()) + " x " + std::to_string(src.Height()) +
                          " picture to " + std::to_string(width) + " x " + std::to_string(height));
  }
  auto made = Bitmap24::Create(width, height);
  if (!made) return made.error();
  Bitmap24 out = std::move(made.value());
  const std::vector<Taps> columns = AreaTaps(src.Width(), width);
  const std::vector<Taps> rows = AreaTaps(src.Height(), height);
  // Each source row is resampled across once, into `across`; the output row adds up
  // the rows it covers, weighted.
  std::vector<float> across(static_cast<size_t>(width) * 3);
  std::vector<float> sum(across.size());
  for (int32_t y = 0; y < height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Taps& row = rows[static_cast<size_t>(y)];
    for (size_t k = 0; k < row.weights.size(); ++k) {
      const uint8_t* in = src.Row(row.first + static_cast<int32_t>(k));
      for (int32_t x = 0; x < width; ++x) {
        const Taps& col = columns[static_cast<size_t>(x)];
        float b = 0, g = 0, r = 0;
        const uint8_t* p = in + 3 * static_cast<size_t>(col.first);
        for (float w : col.weights) {
          b += w * p[0];
          g += w * p[1];
          r += w * p[2];
          p += 3;
        }
        float* s = &sum[3 * static_cast<size_t>(x)];
        s[0] += row.weights[k] * b;
        s[1] += row.weights[k] * g;
        s[2] += row.weights[k] * r;
      }
    }
    uint8_t* o = out.Row(y);
    for (size_t i = 0; i < sum.size(); ++i) o[i] = ToByte(sum[i]);
  }
  return out;
}

PixelSize ExportedSize(const AnimationModel& model, const ScaleRequest& request, Composition composition) {
  const PixelSize photo{model.Photo().Width(), model.Photo().Height()};
  const WaterLine& line = model.Water().line;
  const PixelSize scaled = ScaledPhotoSize(photo, request, model.Percent(), composition, line);
  const int64_t height = OutputHeight(scaled.height, model.Percent(), composition,
                                      ScaledWaterLine(line, photo.height, scaled.height));
  return {scaled.width, static_cast<int32_t>(std::min<int64_t>(height, INT32_MAX))};
}

Result<AnimationModel> ScaledModel(const AnimationModel& source, const ScaleRequest& request, Composition composition) {
  if (!source.HasPhoto()) return Error::Invalid("no photo is open");
  const Bitmap24& photo = source.Photo();
  const PixelSize size =
      ScaledPhotoSize({photo.Width(), photo.Height()}, request, source.Percent(), composition, source.Water().line);
  auto copy = size == PixelSize{photo.Width(), photo.Height()} ? photo.Clone()
                                                                : ScaleDown(photo, size.width, size.height);
  if (!copy) return copy.error();
  return ModelOfScaledPhoto(source, std::move(copy.value()), photo.Height());
}

Result<AnimationModel> ModelOfScaledPhoto(const AnimationModel& source, Bitmap24 photo, int32_t fromHeight) {
  AnimationModel model;
  model.SetFrameCount(source.FrameCount());
  model.SetWaveLength(source.WaveLength());
  model.SetMode(source.Mode());
  model.SetNaturalWater(source.NaturalWater());
  if (Status s = model.SetPercent(source.Percent()); !s) return s.error();
  // Tint, fade, blur and strength stay as set; the line moves with the photo.
  WaterSettings water = source.Water();
  water.line = ScaledWaterLine(water.line, fromHeight, photo.Height());
  if (Status s = model.SetWater(water); !s) return s.error();
  if (Status s = model.SetPhoto(std::move(photo)); !s) return s.error();
  return model;
}

bool ParseFit(const std::string& text, ScaleRequest& request) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int w = 0, h = 0;
  const char* begin = text.data();
  auto [pw, ew] = std::from_chars(begin, begin + x, w);
  auto [ph, eh] = std::from_chars(begin + x + 1, begin + text.size(), h);
  if (ew != std::errc() || eh != std::errc() || pw != begin + x || ph != begin + text.size()) return false;
  if (w < 1 || h < 1 || w > 30000 || h > 30000) return false;
  request.fitWidth = w;
  request.fitHeight = h;
  return true;
}

}  // namespace kestal
