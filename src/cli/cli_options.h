#pragma once
// The command line of kestal-export. Every option is one row of OptionTable(): its
// names, its argument and range, the outputs it applies to and its help line. Parsing,
// the help text and the "does not apply to this output" check all read that table, so
// a new option is one new row.

#include <string>
#include <vector>

#include "base/result.h"
#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPhoto = 3;
inline constexpr int kExitOutput = 4;

// OUTPUT "-": the GIF goes to standard output.
inline constexpr const char* kStandardOutput = "-";

struct Options {
  std::string photo;
  std::string output;
  ExportSettings settings;
  bool formatGiven = false;
  int frames = kDefaultFrameCount;
  int percent = kDefaultPercent;
  WaveMode mode = WaveMode::Perspective;
  WaveLength waveLength = kDefaultWaveLength;
  WaterSettings water;
  NaturalWaterSettings natural;  // --wind, --direction, --rain, --glints (with --mode natural)
  bool quiet = false;
  bool estimate = false;  // --estimate: print the export's size in bytes, write nothing
  bool help = false;
  bool version = false;
  ScaleRequest scale;  // --scale / --fit
  // The long names of the options given, in order, for the checks that need the
  // output's format (which is known only after parsing).
  std::vector<std::string> given;
};

// The outputs an option applies to, as a set of bits: bit n is the format whose
// ExportFormat value is n.
inline constexpr unsigned OutputBit(ExportFormat format) { return 1u << static_cast<int>(format); }
inline constexpr unsigned kGifOutput = OutputBit(ExportFormat::Gif);
inline constexpr unsigned kWebPOutput = OutputBit(ExportFormat::WebP);

// A named value of an option's argument ("fast" is 50 ms).
struct OptionChoice {
  const char* name;
  int value;
};

struct OptionSpec {
  char shortName;                       // 0: long name only
  const char* longName;                 // without the leading "--"
  const char* argument;                 // shown in the help ("N"); nullptr for a switch
  int min, max;                         // range of a whole-number argument
  std::vector<OptionChoice> choices;    // when not empty, the argument is one of these
  unsigned outputs;                     // OutputBit bits
  std::string outputName;               // says which outputs, for the error ("AVI output")
  std::string help;                     // the help line's text after the names; empty: none
  void (*store)(Options&, int value);   // a switch stores 1
  // For an argument that is not a whole number or a choice (seconds, a size, a colour):
  // reads it into the options and returns an error line, or "". Replaces min/max/store.
  std::string (*parse)(Options&, const std::string& value) = nullptr;
};

const std::vector<OptionSpec>& OptionTable();

struct ParseResult {
  Options options;
  std::string error;  // one line naming the option and what it accepts; empty when fine
};

ParseResult ParseArguments(const std::vector<std::string>& args);

// Chooses the format from OUTPUT when --format was not given: the extension of a
// format in the format table (".gif", ".avi", ".mp4", ".webm", ".webp", ".png" for
// APNG, ".avif"), or a folder (an existing one, or a name ending in '/') for a BMP
// sequence. Then checks that every option given applies to that format,
// that OUTPUT does not name another format and that the format's own choices (quality)
// are in range. Then fills in the format's defaults for what was not asked: the shared
// formats' fit (DefaultScale) and the videos' length (DefaultClipSeconds). Returns an
// error line, or "" when all is well.
std::string ResolveFormat(Options& options);

// Whether `path` names a folder (following links).
bool IsFolder(const std::string& path);

std::string UsageText();

// Which exit status a failure gets: anything that went wrong with the photo is 3;
// for the output, a system's failure to write (ErrorKind::Io) and every refusal of
// the output (too large for its format, no rows) is 4.
enum class FailedStage { Photo, Output };
int ExitCodeFor(FailedStage stage);

// The one line printed for an error: "kestal-export: FILE: cause". The file is the
// error's message when it has one, otherwise `file`.
std::string ErrorLine(const Error& error, const std::string& file);

}  // namespace kestal::cli
