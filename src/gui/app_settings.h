#pragma once
// The choices the desktop program keeps between runs, in the platform's standard
// settings place (QSettings: ~/.config/Kestal/Kestal.conf on Linux): the animation
// settings, the export dialog's choices, the last open and save folders, the recent
// photos, the window's geometry, zoom and language, and the water's shape. Every value is checked when read; a value
// out of range, of the wrong type or from a file that cannot be parsed gives the
// start-up default, so a damaged file never stops the program.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "export/export_driver.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "render/animation_model.h"
#include "render/water_effects.h"

class QSettings;

namespace kestal {

inline constexpr int kMaxRecentFiles = 8;

// The main window's own choices.
struct WindowSettings {
  int frames = kDefaultFrameCount;
  int percent = kDefaultPercent;
  bool regularMode = false;
  bool naturalMode = false;  // natural water instead of the radio buttons' mode
  int intervalMs = kMediumIntervalMs;
  WaveLength waveLength = kDefaultWaveLength;
  QString openFolder;
  QString saveFolder;
  QStringList recentFiles;  // newest first
  QByteArray geometry;      // QWidget::saveGeometry(); empty: the system places the window
  double zoom = 1.0;
  QString language;         // a code of UiLanguages(); empty: the system's language
};

// The export dialog's choices, which it gives and takes as a whole (TFrmExport::Choices).
struct ExportChoices {
  // The format's item in the list, the composition, the GIF colour item and the
  // repetitions.
  int format = static_cast<int>(ExportFormat::Gif);
  bool reflectionOnly = false;
  int colorIndex = 3;
  int repetitions = kMinRepetitions;
  // The choices beside them: the photo's scale, WebP's lossless box, and the clip's
  // length in seconds with the box that chooses it over the repetitions.
  int scalePercent = kMaxScalePercent;
  bool lossless = false;
  bool bySeconds = false;
  double seconds = 3;
  bool operator==(const ExportChoices&) const = default;
};

// Everything the program keeps, read and written in one place.
struct AppSettings {
  WindowSettings window;
  ExportChoices exportChoices;
  WaterSettings water;
  NaturalWaterSettings natural;
};

AppSettings LoadAppSettings(QSettings& store);
void SaveAppSettings(QSettings& store, const AppSettings& settings);

// The parts, each under its own keys ("animation/", "export/", "water/", ...).
WindowSettings LoadWindowSettings(QSettings& store);
void SaveWindowSettings(QSettings& store, const WindowSettings& settings);
ExportChoices LoadExportChoices(QSettings& store);
void SaveExportChoices(QSettings& store, const ExportChoices& choices);
WaterSettings LoadWaterSettings(QSettings& store);
void SaveWaterSettings(QSettings& store, const WaterSettings& water);
NaturalWaterSettings LoadNaturalWater(QSettings& store);
void SaveNaturalWater(QSettings& store, const NaturalWaterSettings& natural);

// `list` with `path` moved or added to the front, at most kMaxRecentFiles long.
QStringList WithRecentFile(QStringList list, const QString& path);

}  // namespace kestal
