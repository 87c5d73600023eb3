#include "cli/cli_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "base/paths.h"
#include "cli/water_options.h"
#include "export/output_formats.h"
#include "text/text_utils.h"

namespace kestal::cli {
namespace {

bool ParseInt(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && p == end && !text.empty();
}

std::string ChoiceList(const OptionSpec& row) {
  std::string list;
  for (const OptionChoice& c : row.choices) list += (list.empty() ? "" : ", ") + std::string(c.name);
  return list;
}

// Reads the argument of `row` into a value; an error line names the option and what
// it accepts.
std::string ParseValue(const OptionSpec& row, const std::string& text, int& value) {
  const std::string option = std::string("--") + row.longName;
  if (!row.choices.empty()) {
    for (const OptionChoice& c : row.choices) {
      if (text == c.name) {
        value = c.value;
        return std::string();
      }
    }
    return option + ": '" + text + "' is not one of " + ChoiceList(row);
  }
  if (!ParseInt(text, value) || value < row.min || value > row.max) {
    return option + ": '" + text + "' is not a whole number from " + std::to_string(row.min) + " to " +
           std::to_string(row.max);
  }
  return std::string();
}

const OptionSpec* FindLong(const std::string& name) {
  for (const OptionSpec& row : OptionTable())
    if (name == row.longName) return &row;
  return nullptr;
}

const OptionSpec* FindShort(char name) {
  for (const OptionSpec& row : OptionTable())
    if (row.shortName != 0 && row.shortName == name) return &row;
  return nullptr;
}

// The format an output name stands for by its extension, or -1.
int FormatOfName(const std::string& output) {
  const auto format = FormatByExtension(output);
  return format ? static_cast<int>(*format) : -1;
}

const char* FormatName(ExportFormat f) { return FormatInfo(f).name; }

std::string ParseSeconds(Options& o, const std::string& value) {
  char* end = nullptr;
  const double seconds = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > kMaxClipSeconds) {
    return "--seconds: '" + value + "' is not a number of seconds above 0, at most " +
           std::to_string(static_cast<int>(kMaxClipSeconds));
  }
  o.settings.encode.seconds = seconds;
  return std::string();
}

// Any whole number; its range depends on the format, which is known only once every
// option is read (ResolveFormat checks it).
std::string ParseQuality(Options& o, const std::string& value) {
  if (!ParseInt(value, o.settings.encode.quality)) return "--quality: '" + value + "' is not a whole number";
  return std::string();
}

bool Given(const Options& o, std::string_view longName) {
  return std::find(o.given.begin(), o.given.end(), longName) != o.given.end();
}

std::string ParseFitOption(Options& o, const std::string& value) {
  return ParseFit(value, o.scale) ? std::string() : "--fit: '" + value + "' is not a size such as 1280x720";
}

// The water options read their own values (a row, a percentage, a colour).
template <WaterSetting kSetting>
std::string ParseWater(Options& o, const std::string& value) {
  return ParseWaterOption(std::string("--") + WaterSettingRow(kSetting).option, value, o.water);
}

unsigned OutputsWhere(bool (*keep)(const OutputFormatInfo&));
bool AnyFormat(const OutputFormatInfo&);

// The natural water's options, one for each row of its table; they apply to every
// output but only with --mode natural (checked once every option is read).
template <NaturalSetting kSetting>
std::string ParseNatural(Options& o, const std::string& value) {
  return ParseNaturalOption(kSetting, value, o.natural);
}

template <NaturalSetting kSetting>
OptionSpec NaturalOptionSpec() {
  const NaturalSettingInfo& row = NaturalSettingRow(kSetting);
  return {0, row.option, row.argument, 0, 0, {}, OutputsWhere(AnyFormat), "", "", nullptr, ParseNatural<kSetting>};
}

// The first natural water option given when the mode is not natural, or null.
const char* NaturalOptionOutsideNaturalMode(const Options& o) {
  if (o.mode == WaveMode::Natural) return nullptr;
  for (const std::string& name : o.given)
    for (const NaturalSettingInfo& row : kNaturalSettingTable)
      if (name == row.option) return row.option;
  return nullptr;
}

// The row of the water option `kSetting`, named as its row of the water's table says.
template <WaterSetting kSetting>
OptionSpec WaterOptionSpec() {
  const WaterSettingInfo& row = WaterSettingRow(kSetting);
  return {0, row.option, row.argument, 0, 0, {}, OutputsWhere(AnyFormat), "", "", nullptr, ParseWater<kSetting>};
}

// The formats `keep` accepts, as OutputBit bits, and their titles for messages.
unsigned OutputsWhere(bool (*keep)(const OutputFormatInfo&)) {
  unsigned bits = 0;
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (keep(f)) bits |= OutputBit(f.format);
  }
  return bits;
}
std::string OutputsName(bool (*keep)(const OutputFormatInfo&)) { return FormatTitles(keep) + " output"; }

bool AnyFormat(const OutputFormatInfo&) { return true; }
bool IsClip(const OutputFormatInfo& f) { return f.clip; }
bool HasQuality(const OutputFormatInfo& f) { return f.qualityMax > 0; }
bool HasDefaultFit(const OutputFormatInfo& f) { return f.defaultFit > 0; }
bool HasDefaultSeconds(const OutputFormatInfo& f) { return f.defaultSeconds > 0; }
bool IsOtherClip(const OutputFormatInfo& f) { return f.clip && f.format != ExportFormat::Avi; }

// ".gif, .avi, ... or .avif": the extensions that name a format.
std::string ExtensionList() {
  std::vector<std::string> names;
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (*f.extension != '\0') names.push_back(f.extension);
  }
  return ListText(names);
}

// "bmp|jpg|gif|..." and the choices of --format, in the table's order.
const char* FormatArgument() {
  static const std::string names = [] {
    std::string list;
    for (const OutputFormatInfo& f : OutputFormats()) list += (list.empty() ? "" : "|") + std::string(f.name);
    return list;
  }();
  return names.c_str();
}

std::vector<OptionChoice> FormatChoices() {
  std::vector<OptionChoice> choices;
  for (const OutputFormatInfo& f : OutputFormats()) choices.push_back({f.name, static_cast<int>(f.format)});
  return choices;
}

// The GIF colour counts, as choices and as their help ("16 | 32 | 64 | 256 (256)").
std::vector<OptionChoice> ColorChoices() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (int count : kGifColorCounts) list.push_back(std::to_string(count));
    return list;
  }();
  std::vector<OptionChoice> choices;
  for (size_t i = 0; i < names.size(); ++i) choices.push_back({names[i].c_str(), kGifColorCounts[i]});
  return choices;
}

std::string ColorHelp() {
  std::string help;
  for (int count : kGifColorCounts) help += (help.empty() ? "" : " | ") + std::to_string(count);
  return help + " (" + std::to_string(ExportSettings{}.colors) + ")";
}

// "MP4: 0..51 (18); ..." for every format with a quality, grouped by which way is better.
std::string QualityHelp() {
  std::string lower, higher;
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (!HasQuality(f)) continue;
    std::string& list = f.higherIsBetter ? higher : lower;
    list += (list.empty() ? "" : ", ") + std::string(f.title) + ": " + std::to_string(f.qualityMin) + ".." +
            std::to_string(f.qualityMax) + " (" + std::to_string(f.qualityDefault) + ")";
  }
  std::string help = lower.empty() ? "" : lower + ", lower is better";
  if (!higher.empty()) help += (help.empty() ? "" : "; ") + higher + ", higher is better";
  return help;
}

std::string SecondsHelp() {
  std::string help = "instead of --repeat: enough whole cycles to last S seconds";
  std::string defaults;
  double seconds = 0;
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (!HasDefaultSeconds(f)) continue;
    defaults += (defaults.empty() ? "" : ", ") + std::string(f.title);
    seconds = f.defaultSeconds;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%g", seconds);
  if (!defaults.empty()) help += " (" + defaults + ": " + number + ")";
  return help;
}

std::string FitHelp() {
  std::string fit;
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (HasDefaultFit(f)) fit = std::to_string(f.defaultFit) + "x" + std::to_string(f.defaultFit);
  }
  std::string help = "shrink the photo so the exported picture fits in W x H";
  return fit.empty() ? help : help + " (" + FormatTitles(HasDefaultFit, ", ") + ": " + fit + ")";
}

std::string RepeatHelp() {
  return "AVI: the cycle N times, 1..100 (1); also " + FormatTitles(IsOtherClip, ", ");
}

// What the format does when its size or length is not asked for.
void ApplyFormatDefaults(Options& o) {
  const auto asked = [&o](const char* name) {
    return std::find(o.given.begin(), o.given.end(), name) != o.given.end();
  };
  if (!asked("scale") && !asked("fit")) o.scale = DefaultScale(o.settings.format);
  if (!asked("repeat") && !asked("seconds")) o.settings.encode.seconds = DefaultClipSeconds(o.settings.format);
}

}  // namespace

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const std::vector<OptionSpec>& OptionTable() {
  static const unsigned any = OutputsWhere(AnyFormat);
  static const unsigned clips = OutputsWhere(IsClip);
  static const std::vector<OptionSpec> table = {
      {'f', "format", FormatArgument(), 0, 0, FormatChoices(), any, "", "overrides the guess from OUTPUT",
       [](Options& o, int v) { o.settings.format = static_cast<ExportFormat>(v), o.formatGiven = true; }},
      {'n', "frames", "N", kMinFrameCount, kMaxFrameCount, {}, any, "",
       "frames per wave cycle, 2..30 (5)", [](Options& o, int v) { o.frames = v; }},
      {'p', "height", "PCT", kMinPercent, kMaxPercent, {}, any, "",
       "reflection height in percent, 30..100 (90)", [](Options& o, int v) { o.percent = v; }},
      {'m', "mode", "MODE", 0, 0, {{"perspective", int(WaveMode::Perspective)}, {"regular", int(WaveMode::Regular)},
                                 {"natural", int(WaveMode::Natural)}},
       any, "", "perspective | regular | natural (perspective)",
       [](Options& o, int v) { o.mode = static_cast<WaveMode>(v); }},
      {'w', "wave", "TYPE", 0, 0, 
       {{"short", int(WaveLength::Short)}, {"medium", int(WaveLength::Medium)}, {"long", int(WaveLength::Long)}},
       any, "", "short | medium | long (medium)",
       [](Options& o, int v) { o.waveLength = static_cast<WaveLength>(v); }},
      {'s', "speed", "SPEED", 0, 0,
       {{"slow", kSlowIntervalMs}, {"medium", kMediumIntervalMs}, {"fast", kFastIntervalMs}}, any, "",
       "slow | medium | fast (medium): GIF delay, AVI frame rate",
       [](Options& o, int v) { o.settings.intervalMs = v; }},
      {'c', "colors", "N", 0, 0, ColorChoices(), kGifOutput, "GIF output", ColorHelp(),
       [](Options& o, int v) { o.settings.colors = v; }},
      {'r', "reflection-only", nullptr, 0, 0, {}, any, "",
       "only the reflection, without the photo above it",
       [](Options& o, int) { o.settings.composition = Composition::ReflectionOnly; }},
      {'R', "repeat", "N", kMinRepetitions, kMaxRepetitions, {}, clips, OutputsName(IsClip), RepeatHelp(),
       [](Options& o, int v) { o.settings.repetitions = v; }},
      {0, "html", nullptr, 0, 0, {}, kGifOutput, "GIF output", "GIF: also write the HTML test page",
       [](Options& o, int) { o.settings.htmlPage = true; }},
      {'q', "quiet", nullptr, 0, 0, {}, any, "", "no progress bar",
       [](Options& o, int) { o.quiet = true; }},
      // The shared formats' choices and scaling.
      {0, "seconds", "S", 0, 0, {}, clips, OutputsName(IsClip), SecondsHelp(), nullptr, ParseSeconds},
      {0, "quality", "N", 0, 100, {}, OutputsWhere(HasQuality), OutputsName(HasQuality), QualityHelp(), nullptr,
       ParseQuality},
      {0, "lossless", nullptr, 0, 0, {}, kWebPOutput, "WebP output", "WebP: every pixel exactly",
       [](Options& o, int) { o.settings.encode.lossless = true; }},
      {0, "scale", "PCT", kMinScalePercent, kMaxScalePercent, {}, any, "",
       "shrink the photo to PCT % of its sides, 10..100 (100)", [](Options& o, int v) { o.scale.percent = v; }},
      {0, "fit", "WxH", 0, 0, {}, any, "", FitHelp(), nullptr, ParseFitOption},
      {0, "estimate", nullptr, 0, 0, {}, any, "", "print the output's estimated size in bytes, write nothing",
       [](Options& o, int) { o.estimate = true; }},
      {'h', "help", nullptr, 0, 0, {}, any, "", "this text", [](Options& o, int) { o.help = true; }},
      {0, "version", nullptr, 0, 0, {}, any, "", "the program's version",
       [](Options& o, int) { o.version = true; }},
      // The water options; their help is WaterUsageText(), after the list.
      WaterOptionSpec<WaterSetting::Line>(), WaterOptionSpec<WaterSetting::Tint>(),
      WaterOptionSpec<WaterSetting::Fade>(), WaterOptionSpec<WaterSetting::Blur>(),
      WaterOptionSpec<WaterSetting::Strength>(),
      // The natural water's; their help is NaturalUsageText().
      NaturalOptionSpec<NaturalSetting::Wind>(), NaturalOptionSpec<NaturalSetting::Direction>(),
      NaturalOptionSpec<NaturalSetting::Rain>(), NaturalOptionSpec<NaturalSetting::Glints>(),
  };
  return table;
}

// What each extension of OUTPUT writes, from the format table, in lines of at most 80
// characters: "  OUTPUT ending in .gif: animated GIF; .avi: AVI clip; ...".
std::string OutputsHelp() {
  constexpr size_t kWidth = 80;
  std::string text, line = "  OUTPUT ending in";
  for (const OutputFormatInfo& f : OutputFormats()) {
    if (*f.extension == '\0') continue;
    const std::string item = std::string(" ") + f.extension + ": " + f.help + ";";
    if (line.size() + item.size() > kWidth) {
      text += line + "\n";
      line = " ";
    }
    line += item;
  }
  line.back() = '\n';
  return text + line;
}

std::string UsageText() {
  std::string text = "Usage: kestal-export [OPTIONS] PHOTO OUTPUT\n"
                     "Turns PHOTO into an animated water reflection and writes it to OUTPUT.\n"
                     "\n" +
                     OutputsHelp() +
                     "  an existing folder or a name ending in '/': numbered frames (<photo name>NN.bmp,\n"
                     "  or .jpg with --format jpg)\n"
                     "  '-' with --format gif: the GIF goes to standard output\n"
                     "\n";
  // "  -n, --frames N" padded to a column of 26, or followed by three spaces when longer.
  constexpr size_t kHelpColumn = 26;
  for (const OptionSpec& row : OptionTable()) {
    if (row.help.empty()) continue;
    std::string names = row.shortName ? std::string("  -") + row.shortName + ", --" : std::string("      --");
    names += row.longName;
    if (row.argument) names += std::string(" ") + row.argument;
    names += names.size() < kHelpColumn ? std::string(kHelpColumn - names.size(), ' ') : std::string(3, ' ');
    text += names + row.help + "\n";
  }
  return text + "\n" + WaterUsageText() + "\n" + NaturalUsageText() +
         "\n"
         "Exit status: 0 written; 2 usage error; 3 the photo could not be read;\n"
         "4 the output could not be written.\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  std::vector<std::string> positional;
  bool only_positional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "-" alone is a name (standard output), not an option.
    if (only_positional || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    const OptionSpec* row = nullptr;
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      row = FindLong(arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2));
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        has_value = true;
      }
    } else {
      row = FindShort(arg[1]);
      if (row && arg.size() > 2) {
        if (!row->argument) row = nullptr;  // "-rq" is not a thing
        value = arg.substr(2);                 // -n10
        has_value = true;
      }
    }
    if (!row) {
      r.error = "unknown option '" + arg + "' (see --help)";
      return r;
    }
    const std::string name = std::string("--") + row->longName;
    int number = 1;
    if (row->argument) {
      if (!has_value) {
        if (i + 1 >= args.size()) {
          r.error = name + " needs a value (see --help)";
          return r;
        }
        value = args[++i];
      }
      std::string err = row->parse ? row->parse(o, value) : ParseValue(*row, value, number);
      if (!err.empty()) {
        r.error = err;
        return r;
      }
    } else if (has_value) {
      r.error = name + " takes no value";
      return r;
    }
    if (row->store) row->store(o, number);
    o.given.push_back(row->longName);
  }
  if (o.help || o.version) return r;
  if (const char* natural = NaturalOptionOutsideNaturalMode(o)) {
    const char* mode = o.mode == WaveMode::Regular ? "regular" : "perspective";
    r.error = std::string("--") + natural + " applies only to --mode natural, not to " + mode + " mode";
    return r;
  }
  if (positional.size() != 2) {
    r.error = positional.size() < 2 ? "expected PHOTO and OUTPUT (see --help)"
                                    : "too many arguments: expected PHOTO and OUTPUT (see --help)";
    return r;
  }
  o.photo = positional[0];
  o.output = positional[1];
  if (o.photo.empty()) r.error = "no photo given: PHOTO is an empty name";
  else if (o.output.empty()) r.error = "no output given: OUTPUT is an empty name";
  return r;
}

std::string ResolveFormat(Options& o) {
  const int named = FormatOfName(o.output);
  if (o.output == kStandardOutput) {
    if (!o.formatGiven) return "'-' writes to standard output: give the format with --format gif";
    if (o.settings.format != ExportFormat::Gif) {
      return std::string("--format ") + FormatName(o.settings.format) +
             " cannot go to standard output: only a GIF is written as it is made" +
             (o.settings.format == ExportFormat::Avi ? " (an AVI's sizes are written at its end)" : "");
    }
    if (o.settings.htmlPage) return "--html needs a GIF file beside the page, not standard output";
  } else if (!o.formatGiven) {
    if (IsFolder(o.output) || o.output.back() == '/') {
      o.settings.format = ExportFormat::BmpSequence;
    } else if (named >= 0) {
      o.settings.format = static_cast<ExportFormat>(named);
    } else {
      return "cannot tell the format from '" + o.output + "': give a folder, a " + ExtensionList() +
             " name, or --format";
    }
  } else if (named >= 0 && named != static_cast<int>(o.settings.format)) {
    return std::string("--format ") + FormatName(o.settings.format) + " does not match the output '" + o.output +
           "', whose name says " + FormatName(static_cast<ExportFormat>(named));
  }
  const unsigned bit = 1u << static_cast<int>(o.settings.format);
  for (const std::string& name : o.given) {
    const OptionSpec* row = FindLong(name);
    if (row && !(row->outputs & bit)) {
      return "--" + name + " applies only to " + row->outputName + ", not to " +
             FormatName(o.settings.format) + " output";
    }
  }
  if (Given(o, "repeat") && Given(o, "seconds")) {
    return "--repeat and --seconds both set the clip's length: give one of them";
  }
  const int quality = o.settings.encode.quality;
  const Status checked = Given(o, "quality") ? CheckGivenQuality(o.settings.format, quality)
                                             : CheckQuality(o.settings.format, quality);
  if (!checked) return "--quality: " + checked.error().cause;
  ApplyFormatDefaults(o);
  return std::string();
}

int ExitCodeFor(FailedStage stage) {
  // Anything that goes wrong with the photo, whatever its kind, is 3. Once the photo is
  // read, every kind is the output's failure: the system refused to write (Io), the
  // format cannot hold the picture (OverLimit), the settings give no picture (Invalid),
  // memory ran out for the output frame (NoMemory). All of them are 4.
  return stage == FailedStage::Photo ? kExitPhoto : kExitOutput;
}

std::string ErrorLine(const Error& error, const std::string& file) {
  const std::string& name = file.empty() ? error.message : file;
  std::string line = "kestal-export: ";
  if (!name.empty()) line += name + (error.cause.empty() ? "" : ": ");
  return line + error.cause;
}

}  // namespace kestal::cli
