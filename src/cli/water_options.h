#pragma once
// The command line's water options: --water-line, --tint, --fade, --blur, --strength,
// one for each row of the water's table (kWaterSettingTable), and the natural water's
// --wind, --direction, --rain, --glints, one for each row of kNaturalSettingTable.
// Every one takes a value.

#include <string>

#include "render/natural_water.h"
#include "render/water_effects.h"

namespace kestal::cli {

// Reads `value` of the water option `longName` into `water`. Returns an error line that
// names the option and what it accepts, or an empty string.
std::string ParseWaterOption(const std::string& longName, const std::string& value, WaterSettings& water);

// The options' lines of --help.
std::string WaterUsageText();

// Reads `value` of the natural water's option for `setting` (--wind, --direction, --rain,
// --glints) into `water`; an error line or an empty string, as above.
std::string ParseNaturalOption(NaturalSetting setting, const std::string& value, NaturalWaterSettings& water);

// The natural water options' lines of --help.
std::string NaturalUsageText();

}  // namespace kestal::cli
