#include "gui/folder_chooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace kestal {

std::string SelectFolder(const std::string& title, const std::string& initialFolder) {
  const QString initial = QString::fromStdString(initialFolder);
  const QString start = QFileInfo(initial).isDir() ? initial : QString();
  const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                           QString::fromStdString(title), start,
                                                           QFileDialog::ShowDirsOnly);
  return chosen.isEmpty() ? std::string() : QDir::toNativeSeparators(chosen).toStdString();
}

}  // namespace kestal
