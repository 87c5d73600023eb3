#include "gui/window_export_host.h"

#include "gui/main_window.h"

namespace kestal {

AnimationModel& WindowExportHost::Model() { return window_.Model(); }
std::string WindowExportHost::PhotoFileName() const { return window_.PhotoFileName().toStdString(); }
int WindowExportHost::TimerIntervalMs() const { return window_.TimerInterval(); }
void WindowExportHost::StopTimer() { window_.StopAnimation(); }
QWidget* WindowExportHost::Window() { return &window_; }
void WindowExportHost::ShowExportProgress(int number, int total) { window_.ShowExportProgress(number, total); }
void WindowExportHost::EndExportProgress() { window_.EndExportProgress(); }
void WindowExportHost::RunInBackground(const std::function<void()>& work) { window_.RunExport(work); }
bool WindowExportHost::CancelRequested() const { return window_.ExportCancelRequested(); }
void WindowExportHost::ShowNotice(const QString& text) { window_.ShowNotice(text); }

}  // namespace kestal
