#include "cli/water_options.h"

#include <charconv>
#include <vector>

namespace kestal::cli {
namespace {

bool ParseNumber(std::string_view text, int& out, int base = 10) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out, base);
  return ec == std::errc() && p == end && !text.empty() && text[0] != '-' && text[0] != '+';
}

bool InRange(std::string_view text, int lo, int hi, int& out) {
  return ParseNumber(text, out) && out >= lo && out <= hi;
}

// Within the range of the setting's row.
bool InRange(std::string_view text, WaterSetting setting, int& out) {
  const WaterSettingInfo& row = WaterSettingRow(setting);
  return InRange(text, row.min, row.max, out);
}

std::string RangeText(WaterSetting setting, const char* unit = "") {
  const WaterSettingInfo& row = WaterSettingRow(setting);
  return "from " + std::to_string(row.min) + unit + " to " + std::to_string(row.max) + unit;
}

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
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
    return InRange(text.substr(0, text.size() - 1), WaterSetting::Line, line.value);
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
  w.tintPercent = WaterSettingRow(WaterSetting::Tint).optionDefault;
  return parts.size() == 1 || InRange(parts[1], WaterSetting::Tint, w.tintPercent);
}

bool ParseFade(std::string_view text, WaterSettings& w) {
  const std::vector<std::string_view> parts = SplitColons(text);
  if (!InRange(parts[0], WaterSetting::Fade, w.fadePercent)) return false;
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

std::string ParseWaterOption(const std::string& name, const std::string& value, WaterSettings& w) {
  std::string accepts;
  if (name == "--water-line") {
    if (ParseWaterLine(value, w.line)) return {};
    accepts = "a row from 1 (the top row has nothing above it to reflect) or a percentage of the height " +
              RangeText(WaterSetting::Line, "%");
  } else if (name == "--tint") {
    if (ParseTint(value, w)) return {};
    accepts = "RRGGBB[:PCT], a colour in hexadecimal and a strength " + RangeText(WaterSetting::Tint);
  } else if (name == "--fade") {
    if (ParseFade(value, w)) return {};
    accepts = "PCT[:linear|smooth][:black|tint], PCT " + RangeText(WaterSetting::Fade);
  } else if (name == "--blur") {
    if (InRange(value, WaterSetting::Blur, w.blurRadius)) return {};
    accepts = "a whole number " + RangeText(WaterSetting::Blur);
  } else if (name == "--strength") {
    if (InRange(value, WaterSetting::Strength, w.strengthPercent)) return {};
    accepts = "a whole number " + RangeText(WaterSetting::Strength);
  }
  return name + ": '" + value + "' is not " + accepts;
}

namespace {

// "      --blur PX" padded to a column of 30, or followed by two spaces when longer, and
// the help with its range and default filled in.
std::string UsageLine(const char* option, const char* argument, const char* helpText, int min, int max,
                      const std::string& defaultText) {
  constexpr size_t kHelpColumn = 30;
  std::string names = std::string("      --") + option + " " + argument;
  names += std::string(names.size() + 2 < kHelpColumn ? kHelpColumn - names.size() : 2, ' ');
  std::string help = helpText;
  ReplaceAll(help, "{min}", std::to_string(min));
  ReplaceAll(help, "{max}", std::to_string(max));
  ReplaceAll(help, "{default}", defaultText);
  return names + help + "\n";
}

}  // namespace

std::string WaterUsageText() {
  std::string text = "Water (each off by default):\n";
  for (const WaterSettingInfo& row : kWaterSettingTable)
    text += UsageLine(row.option, row.argument, row.help, row.min, row.max, std::to_string(row.optionDefault));
  return text;
}

std::string ParseNaturalOption(NaturalSetting setting, const std::string& value, NaturalWaterSettings& water) {
  const NaturalSettingInfo& row = NaturalSettingRow(setting);
  const std::string name = std::string("--") + row.option;
  if (setting == NaturalSetting::Glints) {
    if (value != "on" && value != "off") return name + ": '" + value + "' is not on or off";
    SetNaturalValue(water, setting, value == "on");
    return {};
  }
  // A sign is allowed here: the direction runs from -90 to 90.
  int number = 0;
  const char* end = value.data() + value.size();
  auto [p, ec] = std::from_chars(value.data(), end, number);
  if (value.empty() || ec != std::errc() || p != end || number < row.min || number > row.max)
    return name + ": '" + value + "' is not a whole number from " + std::to_string(row.min) + " to " +
           std::to_string(row.max);
  SetNaturalValue(water, setting, number);
  return {};
}

std::string NaturalUsageText() {
  std::string text = "Natural water (with --mode natural):\n";
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    const std::string defaultText = row.setting == NaturalSetting::Glints ? (row.defaultValue ? "on" : "off")
                                                                          : std::to_string(row.defaultValue);
    text += UsageLine(row.option, row.argument, row.help, row.min, row.max, defaultText);
  }
  return text;
}

}  // namespace kestal::cli
