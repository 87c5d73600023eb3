#pragma once
// The main window as the export sees it: its model, photo, timer and status bar, and
// the thread the export runs on. While an export runs, status panel 1 shows
// "Exporting image N" with a progress bar and a Cancel button beside it.

#include "gui/export_commands.h"

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
  void RunInBackground(const std::function<void()>& work) override;
  bool CancelRequested() const override;
  void ShowNotice(const QString& text) override;

 private:
  TFrmKestal& window_;
};

}  // namespace kestal
