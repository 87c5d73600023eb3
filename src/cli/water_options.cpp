#include "cli/water_options.h"

#include <charconv>
#include <vector>

namespace kestal::cli {
namespace {

// The tint's strength when the option gives only a colour.
constexpr int kDefaultTintOptionPercent = 30;

bool ParseNumber(std::string_view text, int& out, int base = 10) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out, base);
  return ec == std::errc() && p == end && !text.empty() && text[0] != '-' && text[0] != '+';
}

bool InRange(std::string_view text, int lo, int hi, int& out) {
  return ParseNumber(text, out) && out >= lo && out <= hi;
}

std::vector<std::string_view> SplitColons(std::string_view text) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
    if (colon == std::string_view::npos) return parts;
    start = colon + 1;
  }
}

bool ParseWaterLine(std::string_view text, WaterLine& line) {
  if (!text.empty() && text.back() == '%') {
    line.unit = WaterLine::Unit::Percent;
    return InRange(text.substr(0, text.size() - 1), 1, 100, line.value);
  }
  line.unit = WaterLine::Unit::Rows;
  return InRange(text, 1, kDefaultPixelLimits.max_side, line.value);
}

bool ParseTint(std::string_view text, WaterSettings& w) {
  const std::vector<std::string_view> parts = SplitColons(text);
  std::string_view hex = parts[0];
  if (!hex.empty() && hex[0] == '#') hex.remove_prefix(1);
  int rgb = 0;
  if (parts.size() > 2 || hex.size() != 6 || !ParseNumber(hex, rgb, 16)) return false;
  w.tintColor = Rgb(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
  w.tintPercent = kDefaultTintOptionPercent;
  return parts.size() == 1 || InRange(parts[1], 0, kMaxTintPercent, w.tintPercent);
}

bool ParseFade(std::string_view text, WaterSettings& w) {
  const std::vector<std::string_view> parts = SplitColons(text);
  if (!InRange(parts[0], 0, kMaxFadePercent, w.fadePercent)) return false;
  // Each of the curve and the target at most once: "smooth:linear" says two things.
  bool curve = false, target = false;
  for (size_t i = 1; i < parts.size(); ++i) {
    const bool isCurve = parts[i] == "linear" || parts[i] == "smooth";
    const bool isTarget = parts[i] == "black" || parts[i] == "tint";
    if ((!isCurve && !isTarget) || (isCurve && curve) || (isTarget && target)) return false;
    if (isCurve) w.fadeCurve = parts[i] == "smooth" ? FadeCurve::Smooth : FadeCurve::Linear;
    if (isTarget) w.fadeTarget = parts[i] == "tint" ? FadeTarget::Tint : FadeTarget::Black;
    curve |= isCurve;
    target |= isTarget;
  }
  return true;
}

}  // namespace

bool IsWaterOption(std::string_view name) {
  return name == "--water-line" || name == "--tint" || name == "--fade" || name == "--blur" ||
         name == "--strength";
}

std::string ParseWaterOption(const std::string& name, const std::string& value, WaterSettings& w) {
  std::string accepts;
  if (name == "--water-line") {
    if (ParseWaterLine(value, w.line)) return {};
    accepts = "a row from 1 (the top row has nothing above it to reflect) or a percentage of the height "
              "from 1% to 100%";
  } else if (name == "--tint") {
    if (ParseTint(value, w)) return {};
    accepts = "RRGGBB[:PCT], a colour in hexadecimal and a strength from 0 to 100";
  } else if (name == "--fade") {
    if (ParseFade(value, w)) return {};
    accepts = "PCT[:linear|smooth][:black|tint], PCT from 0 to 100";
  } else if (name == "--blur") {
    if (InRange(value, 0, kMaxBlurRadius, w.blurRadius)) return {};
    accepts = "a whole number from 0 to " + std::to_string(kMaxBlurRadius);
  } else if (name == "--strength") {
    if (InRange(value, 0, kMaxStrengthPercent, w.strengthPercent)) return {};
    accepts = "a whole number from 0 to " + std::to_string(kMaxStrengthPercent);
  }
  return name + ": '" + value + "' is not " + accepts;
}

std::string WaterUsageText() {
  return "Water (each off by default):\n"
         "      --water-line ROW|PCT%   where the water starts: the rows from there down are\n"
         "                          replaced by the reflection (the bottom edge)\n"
         "      --tint RRGGBB[:PCT]     blends a colour into the reflection, 0..100 (30)\n"
         "      --fade PCT[:smooth][:tint]  darkens the reflection with depth, PCT at its\n"
         "                          last row, linear or smooth, to black or to the tint (0)\n"
         "      --blur PX               softens the reflection, 0..10 pixels (0)\n"
         "      --strength PCT          the waves' amplitude, 0..200 percent (100)\n";
}

}  // namespace kestal::cli
