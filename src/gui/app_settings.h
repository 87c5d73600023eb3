#pragma once
// The choices the desktop program keeps between runs, in the platform's standard
// settings place (QSettings: ~/.config/Kestal/Kestal.conf on Linux): the animation
// settings, the export dialog's choices, the last open and save folders, the recent
// photos, the window's geometry and zoom. Every value is checked when read; a value
// out of range, of the wrong type or from a file that cannot be parsed gives the
// start-up default, so a damaged file never stops the program.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "export/export_driver.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "render/animation_model.h"

class QSettings;

namespace kestal {

inline constexpr int kMaxRecentFiles = 8;

struct WindowSettings {
  int frames = kDefaultFrameCount;
  int percent = kDefaultPercent;
  bool regularMode = false;
  int intervalMs = kMediumIntervalMs;
  WaveLength waveLength = kDefaultWaveLength;
  // The export dialog: format item, composition, GIF colour item, AVI repetitions.
  int exportFormat = 2;
  bool reflectionOnly = false;
  int colorIndex = 3;
  int repetitions = kMinRepetitions;
  // The choices beside them: the photo's scale, WebP's lossless box, and the clip's
  // length in seconds with the box that chooses it over the repetitions.
  int scalePercent = kMaxScalePercent;
  bool lossless = false;
  bool bySeconds = false;
  double seconds = 3;
  QString openFolder;
  QString saveFolder;
  QStringList recentFiles;  // newest first
  QByteArray geometry;      // QWidget::saveGeometry(); empty: the system places the window
  double zoom = 1.0;
};

WindowSettings LoadWindowSettings(QSettings& store);
void SaveWindowSettings(QSettings& store, const WindowSettings& settings);

// `list` with `path` moved or added to the front, at most kMaxRecentFiles long.
QStringList WithRecentFile(QStringList list, const QString& path);

}  // namespace kestal
