#include "gui/prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "gui/export_dialog.h"
#include "gui/folder_chooser.h"

namespace kestal {
namespace {

Prompts* installed = nullptr;
QString last_save_folder;

QWidget* Owner() { return QApplication::activeWindow(); }

}  // namespace

Prompts& CurrentPrompts() {
  static DesktopPrompts desktop;
  return installed ? *installed : desktop;
}

void SetPrompts(Prompts* prompts) { installed = prompts; }

QString LastSaveFolder() { return last_save_folder; }
void SetLastSaveFolder(const QString& folder) { last_save_folder = folder; }

bool DesktopPrompts::EditSettings(TFrmExport& dialog) { return dialog.exec() == QDialog::Accepted; }

std::string DesktopPrompts::ChooseFolder(const std::string& title, const std::string& initialFolder) {
  std::string folder = SelectFolder(title, initialFolder);
  if (!folder.empty()) SetLastSaveFolder(QString::fromStdString(folder));
  return folder;
}

std::string DesktopPrompts::ChooseSaveFile(const SaveRequest& request) {
  QFileDialog dialog(Owner(), QString(), request.folder.isEmpty() ? QDir::currentPath() : request.folder,
                     request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  dialog.selectFile(request.proposedName);
  if (!last_save_folder.isEmpty() && QFileInfo(last_save_folder).isDir())
    dialog.setSidebarUrls(dialog.sidebarUrls() << QUrl::fromLocalFile(last_save_folder));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  const QString file = dialog.selectedFiles().constFirst();
  SetLastSaveFolder(QFileInfo(file).absolutePath());
  return file.toStdString();
}

int DesktopPrompts::Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) {
  return ShowMsgDlg(message, kind, buttons);
}

void DesktopPrompts::ShowError(const Error& error) {
  QMessageBox::critical(Owner(), QApplication::applicationName(), QString::fromStdString(error.Text()));
}

void DesktopPrompts::OpenPage(const std::string& path) {
  // Without a browser the page would open silently nowhere; say where it is instead.
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
    ShowMsgDlg(path + "\n" + QApplication::translate("Prompts", "No program was found to open this page.").toStdString(),
               MsgInformation, MsgBtnOk);
}

}  // namespace kestal
