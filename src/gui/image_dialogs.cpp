#include "gui/image_dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "imageio/image_files.h"

namespace kestal {

QString ToQtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    if (name.endsWith(QLatin1Char(')'))) {
      const qsizetype open = name.lastIndexOf(QLatin1Char('('));
      if (open > 0) name = name.left(open).trimmed();
    }
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    out << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

QString ChooseImageFile(QWidget* owner, const QString& initialFolder) {
  const QString filters = ToQtFilter(BuildOpenFilter());
  QString selected = filters.section(QStringLiteral(";;"), 0, 0);
  const QString path = QFileDialog::getOpenFileName(owner, QString(), initialFolder, filters, &selected);
  // Let the windows under the dialog repaint before a long decode starts.
  QCoreApplication::processEvents();
  if (path.isEmpty()) return path;
  QDir::setCurrent(QFileInfo(path).absolutePath());
  return path;
}

}  // namespace kestal
