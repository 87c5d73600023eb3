#pragma once
// The command line's water options: --water-line, --tint, --fade, --blur, --strength,
// one for each row of the water's table (kWaterSettingTable). Every one takes a value.

#include <string>

#include "render/water_effects.h"

namespace kestal::cli {

// Reads `value` of the water option `longName` into `water`. Returns an error line that
// names the option and what it accepts, or an empty string.
std::string ParseWaterOption(const std::string& longName, const std::string& value, WaterSettings& water);

// The options' lines of --help.
std::string WaterUsageText();

}  // namespace kestal::cli
