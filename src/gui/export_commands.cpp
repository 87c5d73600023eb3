#include "gui/export_commands.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "export/avi_export.h"
#include "export/export_driver.h"
#include "export/gif_export.h"
#include "gui/export_dialog.h"
#include "export/html_test_page.h"
#include "base/paths.h"
#include "ui/text_utils.h"
#include "gui/folder_chooser.h"

namespace kestal {
namespace {

// The hourglass and the progress text for the length of one export. Both are put back
// on every way out, an exception included.
class ExportBusy {
 public:
  explicit ExportBusy(ExportHost& host) : host_(host) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~ExportBusy() {
    host_.EndExportProgress();
    QApplication::restoreOverrideCursor();
  }
  ExportBusy(const ExportBusy&) = delete;
  ExportBusy& operator=(const ExportBusy&) = delete;

  ExportProgress Progress() {
    return [this](int number, int total) { host_.ShowExportProgress(number, total); };
  }

 private:
  ExportHost& host_;
};

QString ProposedName(const std::string& photo, const char* extension) {
  return QString::fromStdString(ChangeExtension(FileNameOf(photo), extension));
}

}  // namespace

QString ExportProgressText(int number) { return QStringLiteral("Exporting image %1").arg(number); }

bool DesktopPrompts::EditSettings(TFrmExport& dialog) { return dialog.exec() == QDialog::Accepted; }

std::string DesktopPrompts::ChooseFolder(const std::string& title, const std::string& initialFolder) {
  return SelectFolder(title, initialFolder);
}

std::string DesktopPrompts::ChooseSaveFile(const SaveRequest& request) {
  // No folder is set in advance: the dialog opens in the current folder, which is the
  // photo's folder once a photo was opened.
  QFileDialog dialog(owner_, QString(), QDir::currentPath(), request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.selectFile(request.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().constFirst().toStdString();
}

int DesktopPrompts::Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) {
  return ShowMsgDlg(message, kind, buttons);
}

void DesktopPrompts::ShowError(const Error& error) {
  QMessageBox::critical(owner_, QApplication::applicationDisplayName(), QString::fromStdString(error.Text()));
}

void DesktopPrompts::OpenPage(const std::string& path) {
  // Without a browser the page would open silently nowhere; say where it is instead.
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
    ShowMsgDlg(path + "\nNo program was found to open this page.", MsgInformation, MsgBtnOk);
}

void ExportCommand::ExportAnimation() {
  host_.StopTimer();
  if (!prompts_.EditSettings(dialog_)) return;
  host_.Model().ResetFrameIndex();
  switch (static_cast<ExportFormat>(dialog_.FormatIndex())) {
    case ExportFormat::BmpSequence: ExportSequence("bmp"); break;
    case ExportFormat::JpgSequence: ExportSequence("jpg"); break;
    case ExportFormat::Gif: ExportGif(); break;
    case ExportFormat::Avi: ExportAvi(); break;
  }
}

void ExportCommand::ExportSequence(const char* extension) {
  const std::string folder =
      prompts_.ChooseFolder(kSavingFolderTitle, QDir::toNativeSeparators(QDir::currentPath()).toStdString());
  if (folder.empty()) return;
  host_.Window()->repaint();
  const ExportSettings settings = dialog_.Settings(host_.TimerIntervalMs());
  auto report = [&] {
    ExportBusy busy(host_);
    return kestal::ExportSequence(host_.Model(), folder, host_.PhotoFileName(), extension,
                                  settings.composition, busy.Progress());
  }();
  // One box for each file that could not be written, each naming its file.
  if (!report) {
    prompts_.ShowError(Error{folder, report.error().Text()});
    return;
  }
  for (const Error& failure : report->failures) prompts_.ShowError(failure);
}

void ExportCommand::ExportGif() {
  const std::string path = prompts_.ChooseSaveFile(
      {QStringLiteral("GIF (*.gif)"), QStringLiteral("gif"), ProposedName(host_.PhotoFileName(), ".gif")});
  if (path.empty()) return;
  host_.Window()->repaint();
  const ExportSettings settings = dialog_.Settings(host_.TimerIntervalMs());
  auto gif = [&] {
    ExportBusy busy(host_);
    return kestal::ExportGif(host_.Model(), path, settings, busy.Progress());
  }();
  if (!gif) {
    prompts_.ShowError(gif.error());
    return;
  }
  if (prompts_.Ask(kHtmlPageQuestion, MsgConfirmation, MsgBtnYes | MsgBtnNo) != kMsgResultYes) return;
  const Bitmap24& photo = host_.Model().Photo();
  auto page = WriteHtmlTestPage(path, gif->width, gif->height,
                                settings.composition == Composition::PhotoAndReflection,
                                HtmlPhoto{host_.PhotoFileName(), photo.Width(), photo.Height()});
  if (!page) {
    prompts_.ShowError(page.error());
    return;
  }
  prompts_.OpenPage(*page);
}

void ExportCommand::ExportAvi() {
  const std::string path = prompts_.ChooseSaveFile(
      {QStringLiteral("AVI (*.avi)"), QStringLiteral("avi"), ProposedName(host_.PhotoFileName(), ".avi")});
  if (path.empty()) return;
  host_.Window()->repaint();
  const ExportSettings settings = dialog_.Settings(host_.TimerIntervalMs());
  const Status written = [&] {
    ExportBusy busy(host_);
    return kestal::ExportAvi(host_.Model(), path, settings, busy.Progress());
  }();
  if (!written) prompts_.ShowError(written.error());
}

}  // namespace kestal
