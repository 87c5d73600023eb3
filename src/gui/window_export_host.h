#pragma once
// The main window as the export sees it: its model, photo, timer and status bar. While
// an export runs, status panel 1 shows "Exporting image N" with a progress bar beside it.

#include "gui/export_commands.h"

class QProgressBar;

namespace kestal {

class TFrmKestal;

class WindowExportHost : public ExportHost {
 public:
  explicit WindowExportHost(TFrmKestal& window) : window_(window) {}

  AnimationModel& Model() override;
  std::string PhotoFileName() const override;
  int TimerIntervalMs() const override;
  void StopTimer() override;
  QWidget* Window() override;
  void ShowExportProgress(int number, int total) override;
  void EndExportProgress() override;

 private:
  QProgressBar* ProgressBar();

  TFrmKestal& window_;
};

}  // namespace kestal
