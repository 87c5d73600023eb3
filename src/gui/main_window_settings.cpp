// The main window's choices kept between runs: read at start, with the export dialog's
// and the water's, and written when the window closes.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>

#include "gui/app_settings.h"
#include "gui/export_dialog.h"
#include "gui/main_window.h"
#include "gui/prompts.h"

namespace kestal {

void TFrmKestal::LoadSettings() {
  QSettings store;
  const AppSettings settings = LoadAppSettings(store);
  ApplySettings(settings.window);
  if (FrmExport) FrmExport->SetChoices(settings.exportChoices);
  // The model refuses water values it cannot take and keeps its own, the plain mirror.
  (void)model_.SetWater(settings.water);
  ApplyNaturalWater(settings.natural);
  if (settings.window.naturalMode) SetWaveMode(WaveMode::Natural);
  ShowWaterState();
  settings_loaded_ = true;
}

void TFrmKestal::ApplySettings(const WindowSettings& s) {
  ui_.EditFrames->setValue(s.frames);
  ui_.EditPct->setValue(s.percent);
  (s.regularMode ? ui_.RBRegul : ui_.RBPerspective)->setChecked(true);
  VitesseClick(s.intervalMs == kSlowIntervalMs     ? ui_.VitesseLente
               : s.intervalMs == kMediumIntervalMs ? ui_.VitesseMoyenne
                                                   : ui_.VitesseRapide);
  OndeClick(s.waveLength == kestal::WaveLength::Short    ? ui_.OndeCourte
            : s.waveLength == kestal::WaveLength::Medium ? ui_.OndeMoyenne
                                                         : ui_.OndeLongue);
  // The open dialog starts in the current folder, as it always has: starting the run
  // in the last photo's folder is what brings the person back there.
  if (!s.openFolder.isEmpty() && QFileInfo(s.openFolder).isDir()) QDir::setCurrent(s.openFolder);
  SetLastSaveFolder(s.saveFolder);
  recent_files_ = s.recentFiles;
  RebuildRecentMenu();
  if (!s.geometry.isEmpty()) restoreGeometry(s.geometry);
  SetZoom(s.zoom);
  // The language chosen in the View menu; the system's otherwise, which is already in
  // effect.
  if (!s.language.isEmpty()) LanguageClick(s.language);
}

void TFrmKestal::SaveSettings() {
  AppSettings settings;
  WindowSettings& s = settings.window;
  s.frames = ui_.EditFrames->value();
  s.percent = ui_.EditPct->value();
  s.regularMode = ui_.RBRegul->isChecked();
  s.naturalMode = natural_mode_;
  s.intervalMs = ui_.Timer->interval();
  s.waveLength = model_.WaveLength();
  s.openFolder = photo_file_name_.isEmpty() ? QDir::currentPath() : QFileInfo(photo_file_name_).absolutePath();
  s.saveFolder = LastSaveFolder();
  s.recentFiles = recent_files_;
  s.geometry = saveGeometry();
  s.zoom = chosen_zoom_;
  s.language = language_choice_;
  QSettings store;
  // Without the dialog its stored choices stay as they are.
  settings.exportChoices = FrmExport ? FrmExport->Choices() : LoadExportChoices(store);
  settings.water = AppliedWater();
  settings.natural = model_.NaturalWater();
  SaveAppSettings(store, settings);
}

}  // namespace kestal
