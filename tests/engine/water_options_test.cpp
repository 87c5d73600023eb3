#include "cli/water_options.h"

#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace kestal::cli {
namespace {

TEST(WaterOptions, EveryOptionInBothSpellings) {
  ParseResult r = ParseArguments({"--water-line", "75%", "--tint=#FF8000:50", "--fade", "60:smooth:tint",
                                  "--blur=3", "--strength", "0", "p.png", "o.gif"});
  ASSERT_EQ(r.error, "");
  const WaterSettings& w = r.options.water;
  EXPECT_EQ(w.line, (WaterLine{75, WaterLine::Unit::Percent}));
  EXPECT_EQ(w.tintColor, Rgb(255, 128, 0));
  EXPECT_EQ(w.tintPercent, 50);
  EXPECT_EQ(w.fadePercent, 60);
  EXPECT_EQ(w.fadeCurve, FadeCurve::Smooth);
  EXPECT_EQ(w.fadeTarget, FadeTarget::Tint);
  EXPECT_EQ(w.blurRadius, 3);
  EXPECT_EQ(w.strengthPercent, 0);
  EXPECT_EQ(r.options.photo, "p.png");

  r = ParseArguments({"--water-line=340", "--tint", "102030", "a", "b"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.water.line, (WaterLine{340, WaterLine::Unit::Rows}));
  EXPECT_EQ(r.options.water.tintPercent, 30) << "a colour alone tints at 30 %";
  EXPECT_EQ(ParseArguments({"a", "b"}).options.water, WaterSettings{}) << "no option, no change";
}

TEST(WaterOptions, BadValuesNameTheOptionAndWhatItAccepts) {
  const std::string line = "is not a row from 1 (the top row has nothing above it to reflect) or a percentage "
                           "of the height from 1% to 100%";
  const std::string tint = "is not RRGGBB[:PCT], a colour in hexadecimal and a strength from 0 to 100";
  struct Row {
    std::vector<std::string> args;
    std::string error;
  } rows[] = {
      {{"--water-line", "0", "a", "b"}, "--water-line: '0' " + line},
      {{"--water-line=0%", "a", "b"}, "--water-line: '0%' " + line},
      {{"--water-line", "101%", "a", "b"}, "--water-line: '101%' " + line},
      {{"--water-line", "-5", "a", "b"}, "--water-line: '-5' " + line},
      {{"--tint", "F00", "a", "b"}, "--tint: 'F00' " + tint},
      {{"--tint", "ff0000:101", "a", "b"}, "--tint: 'ff0000:101' " + tint},
      {{"--tint", "ff0000:5:5", "a", "b"}, "--tint: 'ff0000:5:5' " + tint},
      {{"--fade", "50:wavy", "a", "b"}, "--fade: '50:wavy' is not PCT[:linear|smooth][:black|tint], PCT from 0 to 100"},
      {{"--fade", "50:smooth:linear", "a", "b"},
       "--fade: '50:smooth:linear' is not PCT[:linear|smooth][:black|tint], PCT from 0 to 100"},
      {{"--fade", "50:smooth:linear:tint:black", "a", "b"},
       "--fade: '50:smooth:linear:tint:black' is not PCT[:linear|smooth][:black|tint], PCT from 0 to 100"},
      {{"--fade", "50:tint:tint", "a", "b"}, "--fade: '50:tint:tint' is not PCT[:linear|smooth][:black|tint], PCT from 0 to 100"},
      {{"--blur", "11", "a", "b"}, "--blur: '11' is not a whole number from 0 to 10"},
      {{"--strength", "+50", "a", "b"}, "--strength: '+50' is not a whole number from 0 to 200"},
      {{"--strength", "201", "a", "b"}, "--strength: '201' is not a whole number from 0 to 200"},
      {{"a", "b", "--blur"}, "--blur needs a value (see --help)"},
  };
  for (const Row& r : rows) EXPECT_EQ(ParseArguments(r.args).error, r.error);
}

TEST(WaterOptions, HelpListsThemAfterTheOtherOptions) {
  const std::string help = UsageText();
  const size_t others = help.find("--version");
  for (const char* name : {"--water-line ROW|PCT%", "--tint RRGGBB[:PCT]", "--fade PCT", "--blur PX", "--strength PCT"}) {
    EXPECT_GT(help.find(name), others) << name;
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

// Every numeric row of the water's table is the range that the effects' check and the
// option's parsing both hold to: its ends pass, one beyond either end is refused, and
// the help gives the same ends.
TEST(WaterOptions, TheTablesRangesHoldEverywhere) {
  const std::string help = UsageText();
  for (const WaterSettingInfo& row : kWaterSettingTable) {
    SCOPED_TRACE(row.option);
    const std::string option = std::string("--") + row.option;
    EXPECT_NE(help.find(option + " " + row.argument), std::string::npos);
    if (!row.field) continue;
    EXPECT_NE(help.find(std::to_string(row.min) + ".." + std::to_string(row.max)), std::string::npos);
    const std::string colour = row.setting == WaterSetting::Tint ? "102030:" : "";
    for (int value : {row.min, row.max, row.min - 1, row.max + 1}) {
      const bool inside = value >= row.min && value <= row.max;
      WaterSettings w;
      w.*row.field = value;
      EXPECT_EQ(CheckWaterSettings(w).ok(), inside) << value;
      ParseResult r = ParseArguments({option, colour + std::to_string(value), "a", "b"});
      EXPECT_EQ(r.error.empty(), inside) << value << ": " << r.error;
      if (inside) {
        EXPECT_EQ(r.options.water.*row.field, value);
      }
    }
  }
}

}  // namespace
}  // namespace kestal::cli
