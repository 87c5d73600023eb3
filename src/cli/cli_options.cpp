#include "cli/cli_options.h"

#include <sys/stat.h>

#include <charconv>
#include <map>

#include "base/paths.h"
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

}  // namespace

std::string UsageText() {
  return "Usage: kestal-export [OPTIONS] PHOTO OUTPUT\n"
         "Turns PHOTO into an animated water reflection and writes it to OUTPUT.\n"
         "\n"
         "  OUTPUT ending in .gif: animated GIF; .avi: AVI clip; an existing folder or a\n"
         "  name ending in '/': numbered frames (<photo name>NN.bmp, or .jpg with --format jpg)\n"
         "\n"
         "  -f, --format bmp|jpg|gif|avi   overrides the guess from OUTPUT\n"
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
         "  -h, --help              this text\n"
         "      --version           the program's version\n"
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
      {"--help", false},  {"--version", false}};

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

    if (arg == "--format") {
      static const std::map<std::string, ExportFormat> kFormats = {
          {"bmp", ExportFormat::BmpSequence}, {"jpg", ExportFormat::JpgSequence},
          {"gif", ExportFormat::Gif}, {"avi", ExportFormat::Avi}};
      if (!Choose(kFormats, value, o.settings.format)) {
        r.error = ChoiceError(arg, value, "bmp, jpg, gif, avi");
        return r;
      }
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

std::string ResolveFormat(Options& o) {
  if (o.formatGiven) return std::string();
  const std::string ext = LowerExtensionOf(o.output);
  if (IsFolder(o.output) || (!o.output.empty() && o.output.back() == '/')) {
    o.settings.format = ExportFormat::BmpSequence;
  } else if (ext == ".gif") {
    o.settings.format = ExportFormat::Gif;
  } else if (ext == ".avi") {
    o.settings.format = ExportFormat::Avi;
  } else {
    return "cannot tell the format from '" + o.output +
           "': give a folder, a .gif or .avi name, or --format";
  }
  return std::string();
}

}  // namespace kestal::cli
