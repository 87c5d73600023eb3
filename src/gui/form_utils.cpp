#include "gui/form_utils.h"

#include <QFileInfo>

namespace kestal {

QString ApplicationTitle() {
  QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  if (const qsizetype dot = name.indexOf(QLatin1Char('.')); dot >= 0) name.truncate(dot);
  if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
  return name;
}

}  // namespace kestal
