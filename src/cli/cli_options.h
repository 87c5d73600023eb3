#pragma once
// The command line of kestal-export.

#include <string>
#include <vector>

#include "export/export_driver.h"
#include "export/scale.h"

namespace kestal::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPhoto = 3;
inline constexpr int kExitOutput = 4;

struct Options {
  std::string photo;
  std::string output;
  ExportSettings settings;
  bool formatGiven = false;
  int frames = kDefaultFrameCount;
  int percent = kDefaultPercent;
  WaveMode mode = WaveMode::Perspective;
  int waveLength = kDefaultWaveLength;
  WaterSettings water;
  bool quiet = false;
  bool help = false;
  bool version = false;
  ScaleRequest scale;  // --scale / --fit
};

struct ParseResult {
  Options options;
  std::string error;  // one line naming the option and what it accepts; empty when fine
};

ParseResult ParseArguments(const std::vector<std::string>& args);

// Chooses the format from OUTPUT when --format was not given: ".gif", ".avi", ".mp4",
// ".webm", ".webp", ".png" (APNG), or a folder (an existing one, or a name ending in
// '/') for a BMP sequence; then checks the options that depend on the format. Returns
// an error line when OUTPUT says nothing usable.
std::string ResolveFormat(Options& options);

std::string UsageText();

}  // namespace kestal::cli
