#include "cli/cli_options.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdlib>
#include <map>

#include "base/paths.h"
#include "cli/water_options.h"
#include "export/output_formats.h"
#include "ui/text_utils.h"

namespace kestal::cli {
namespace {

bool ParseInt(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && p == end && !text.empty();
}

std::string RangeError(const std::string& option, const std::string& value, int lo, int hi) {
  return option + ": '" + value + "' is not a whole number from " + std::to_string(lo) + " to " +
         std::to_string(hi);
}

template <class T>
bool Choose(const std::map<std::string, T>& choices, const std::string& value, T& out) {
  auto it = choices.find(value);
  if (it == choices.end()) return false;
  out = it->second;
  return true;
}

std::string ChoiceError(const std::string& option, const std::string& value, const std::string& list) {
  return option + ": '" + value + "' is not one of " + list;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The options of the shared formats and of scaling. Returns false when `arg` is not
// one of them; otherwise sets `error` when the value is not accepted.
bool ParseShareOption(const std::string& arg, const std::string& value, Options& o, std::string& error) {
  if (arg == "--quality") {
    if (!ParseInt(value, o.settings.encode.quality) || o.settings.encode.quality < 0 || o.settings.encode.quality > 100) {
      error = RangeError(arg, value, 0, 100);
    }
  } else if (arg == "--lossless") {
    o.settings.encode.lossless = true;
  } else if (arg == "--seconds") {
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 3600) {
      error = arg + ": '" + value + "' is not a number of seconds above 0, at most 3600";
    }
    o.settings.encode.seconds = seconds;
  } else if (arg == "--scale") {
    if (!ParseInt(value, o.scale.percent) || o.scale.percent < kMinScalePercent || o.scale.percent > kMaxScalePercent) {
      error = RangeError(arg, value, kMinScalePercent, kMaxScalePercent);
    }
  } else if (arg == "--fit") {
    if (!ParseFit(value, o.scale)) error = arg + ": '" + value + "' is not a size such as 1280x720";
  } else {
    return false;
  }
  return true;
}

// The choices that only some formats take, checked once the format is known.
std::string CheckShareOptions(const Options& o) {
  const OutputFormatInfo& info = FormatInfo(o.settings.format);
  if (Status s = CheckQuality(o.settings.format, o.settings.encode.quality); !s) return "--quality: " + s.error().cause;
  if (o.settings.encode.lossless && o.settings.format != ExportFormat::WebP) return "--lossless: only for WebP";
  if (o.settings.encode.seconds > 0 && !info.clip) return std::string("--seconds: ") + info.name + " is not a clip";
  return std::string();
}

}  // namespace

std::string UsageText() {
  return "Usage: kestal-export [OPTIONS] PHOTO OUTPUT\n"
         "Turns PHOTO into an animated water reflection and writes it to OUTPUT.\n"
         "\n"
         "  OUTPUT ending in .gif: animated GIF; .avi: AVI clip; an existing folder or a\n"
         "  name ending in '/': numbered frames (<photo name>NN.bmp, or .jpg with --format jpg);\n"
         "  .mp4: H.264 video; .webm: VP9 video; .webp: animated WebP; .png: animated PNG\n"
         "\n"
         "  -f, --format bmp|jpg|gif|avi|mp4|webm|webp|apng   overrides the guess from OUTPUT\n"
         "  -n, --frames N          frames per wave cycle, 2..30 (5)\n"
         "  -p, --height PCT        reflection height in percent, 30..100 (90)\n"
         "  -m, --mode MODE         perspective | regular (perspective)\n"
         "  -w, --wave TYPE         short | medium | long (medium)\n"
         "  -s, --speed SPEED       slow | medium | fast (medium): GIF delay, AVI frame rate\n"
         "  -c, --colors N          16 | 32 | 64 | 256 (256)\n"
         "  -r, --reflection-only   only the reflection, without the photo above it\n"
         "  -R, --repeat N          AVI: the cycle N times, 1..100 (1)\n"
         "      --html              GIF: also write the HTML test page\n"
         "  -q, --quiet             no progress bar\n"
         "The shared formats (MP4, WebM, WebP, APNG):\n"
         "  -R, --repeat N          the cycle N times, 1..100 (1), for them as for AVI\n"
         "      --seconds S         instead of --repeat: enough whole cycles to last S seconds\n"
         "      --quality N         MP4: CRF 0..51 (18); WebM: CRF 0..63 (24), lower is better;\n"
         "                          WebP: 0..100 (90), higher is better\n"
         "      --lossless          WebP: every pixel exactly\n"
         "Every format:\n"
         "      --scale PCT         shrink the photo to PCT % of its sides, 10..100 (100)\n"
         "      --fit WxH           shrink the photo so the exported picture fits in W x H\n"
         "  -h, --help              this text\n"
         "      --version           the program's version\n"
         "\n" +
         WaterUsageText() +
         "\n"
         "Exit status: 0 written; 2 usage error; 3 the photo could not be read;\n"
         "4 the output could not be written.\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  std::vector<std::string> positional;
  static const std::map<std::string, std::string> kShort = {
      {"-f", "--format"}, {"-n", "--frames"}, {"-p", "--height"}, {"-m", "--mode"},
      {"-w", "--wave"},   {"-s", "--speed"},  {"-c", "--colors"}, {"-r", "--reflection-only"},
      {"-R", "--repeat"}, {"-q", "--quiet"},  {"-h", "--help"}};
  static const std::map<std::string, bool> kTakesValue = {
      {"--format", true}, {"--frames", true}, {"--height", true}, {"--mode", true},
      {"--wave", true},   {"--speed", true},  {"--colors", true}, {"--repeat", true},
      {"--reflection-only", false}, {"--html", false}, {"--quiet", false},
      {"--help", false},  {"--version", false},
      // The shared formats' options and scaling (ParseShareOption).
      {"--quality", true}, {"--lossless", false}, {"--seconds", true}, {"--scale", true}, {"--fit", true}};

  bool only_positional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (only_positional || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      if (auto eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
        has_value = true;
      }
    } else if (auto it = kShort.find(arg); it != kShort.end()) {
      arg = it->second;
    } else if (kShort.count(arg.substr(0, 2)) && kTakesValue.at(kShort.at(arg.substr(0, 2)))) {
      value = arg.substr(2);  // -n10
      arg = kShort.at(arg.substr(0, 2));
      has_value = true;
    }
    // The water options, each with a value, are read by their own parser.
    if (IsWaterOption(arg)) {
      if (!has_value && i + 1 >= args.size()) {
        r.error = arg + " needs a value (see --help)";
        return r;
      }
      r.error = ParseWaterOption(arg, has_value ? value : args[++i], o.water);
      if (!r.error.empty()) return r;
      continue;
    }
    auto known = kTakesValue.find(arg);
    if (known == kTakesValue.end()) {
      r.error = "unknown option '" + args[i] + "' (see --help)";
      return r;
    }
    if (known->second && !has_value) {
      if (i + 1 >= args.size()) {
        r.error = arg + " needs a value (see --help)";
        return r;
      }
      value = args[++i];
    } else if (!known->second && has_value) {
      r.error = arg + " takes no value";
      return r;
    }

    if (ParseShareOption(arg, value, o, r.error)) {
      if (!r.error.empty()) return r;
    } else if (arg == "--format") {
      const auto format = FormatByName(value);
      if (!format) {
        r.error = ChoiceError(arg, value, "bmp, jpg, gif, avi, mp4, webm, webp, apng");
        return r;
      }
      o.settings.format = *format;
      o.formatGiven = true;
    } else if (arg == "--frames") {
      if (!ParseInt(value, o.frames) || o.frames < kMinFrameCount || o.frames > kMaxFrameCount) {
        r.error = RangeError(arg, value, kMinFrameCount, kMaxFrameCount);
        return r;
      }
    } else if (arg == "--height") {
      if (!ParseInt(value, o.percent) || o.percent < kMinPercent || o.percent > kMaxPercent) {
        r.error = RangeError(arg, value, kMinPercent, kMaxPercent);
        return r;
      }
    } else if (arg == "--mode") {
      static const std::map<std::string, WaveMode> kModes = {{"perspective", WaveMode::Perspective},
                                                             {"regular", WaveMode::Regular}};
      if (!Choose(kModes, value, o.mode)) {
        r.error = ChoiceError(arg, value, "perspective, regular");
        return r;
      }
    } else if (arg == "--wave") {
      static const std::map<std::string, int> kWaves = {{"short", 1}, {"medium", 2}, {"long", 3}};
      if (!Choose(kWaves, value, o.waveLength)) {
        r.error = ChoiceError(arg, value, "short, medium, long");
        return r;
      }
    } else if (arg == "--speed") {
      static const std::map<std::string, int> kSpeeds = {
          {"slow", kSlowIntervalMs}, {"medium", kMediumIntervalMs}, {"fast", kFastIntervalMs}};
      if (!Choose(kSpeeds, value, o.settings.intervalMs)) {
        r.error = ChoiceError(arg, value, "slow, medium, fast");
        return r;
      }
    } else if (arg == "--colors") {
      static const std::map<std::string, int> kColors = {{"16", 16}, {"32", 32}, {"64", 64}, {"256", 256}};
      if (!Choose(kColors, value, o.settings.colors)) {
        r.error = ChoiceError(arg, value, "16, 32, 64, 256");
        return r;
      }
    } else if (arg == "--repeat") {
      if (!ParseInt(value, o.settings.repetitions) || o.settings.repetitions < 1 ||
          o.settings.repetitions > 100) {
        r.error = RangeError(arg, value, 1, 100);
        return r;
      }
    } else if (arg == "--reflection-only") {
      o.settings.composition = Composition::ReflectionOnly;
    } else if (arg == "--html") {
      o.settings.htmlPage = true;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--help") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    }
  }
  if (o.help || o.version) return r;
  if (positional.size() != 2) {
    r.error = positional.size() < 2 ? "expected PHOTO and OUTPUT (see --help)"
                                    : "too many arguments: expected PHOTO and OUTPUT (see --help)";
    return r;
  }
  o.photo = positional[0];
  o.output = positional[1];
  return r;
}

std::string GuessFormat(Options& o);

std::string ResolveFormat(Options& o) {
  std::string error = GuessFormat(o);
  return error.empty() ? CheckShareOptions(o) : error;
}

std::string GuessFormat(Options& o) {
  if (o.formatGiven) return std::string();
  const std::string ext = LowerExtensionOf(o.output);
  if (IsFolder(o.output) || (!o.output.empty() && o.output.back() == '/')) {
    o.settings.format = ExportFormat::BmpSequence;
  } else if (ext == ".gif") {
    o.settings.format = ExportFormat::Gif;
  } else if (ext == ".avi") {
    o.settings.format = ExportFormat::Avi;
  } else if (const auto format = FormatByExtension(o.output)) {
    o.settings.format = *format;
  } else {
    return "cannot tell the format from '" + o.output +
           "': give a folder, a .gif, .avi, .mp4, .webm, .webp or .png name, or --format";
  }
  return std::string();
}

}  // namespace kestal::cli
