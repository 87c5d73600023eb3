#include "gui/window_export_host.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include "gui/main_window.h"

namespace kestal {
namespace {
constexpr const char* kProgressName = "ExportProgress";
}

AnimationModel& WindowExportHost::Model() { return window_.Model(); }
std::string WindowExportHost::PhotoFileName() const { return window_.PhotoFileName().toStdString(); }
int WindowExportHost::TimerIntervalMs() const { return window_.Timer->interval(); }
void WindowExportHost::StopTimer() { window_.Timer->stop(); }
QWidget* WindowExportHost::Window() { return &window_; }

QProgressBar* WindowExportHost::ProgressBar() {
  if (auto* bar = window_.StatusPanel1()->findChild<QProgressBar*>(kProgressName)) return bar;
  auto* bar = new QProgressBar(window_.StatusPanel1());
  bar->setObjectName(kProgressName);
  bar->setMaximumWidth(160);
  bar->setMaximumHeight(14);
  bar->setTextVisible(false);
  window_.StatusPanel1Layout()->addWidget(bar);
  return bar;
}

void WindowExportHost::ShowExportProgress(int number, int total) {
  window_.SetStatusText(1, ExportProgressText(number));
  QProgressBar* bar = ProgressBar();
  bar->setRange(0, total);
  bar->setValue(number);
  bar->show();
  // The export runs on the interface thread: paint the status bar now, not after it.
  window_.statusBar()->repaint();
}

void WindowExportHost::EndExportProgress() {
  window_.SetStatusText(1, window_.PhotoFileName());
  if (auto* bar = window_.StatusPanel1()->findChild<QProgressBar*>(kProgressName)) bar->hide();
}

}  // namespace kestal
