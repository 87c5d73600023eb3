#include "gui/kestal_application.h"

#include <QIcon>
#include <exception>

#include "gui/language.h"
#include "gui/platform_qt.h"
#include "gui/prompts.h"

namespace kestal {

KestalApplication::KestalApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every window title, and the titles are
  // designed texts.
  setApplicationName(QStringLiteral("Kestal"));
  // Settings live in ~/.config/Kestal/Kestal.conf.
  setOrganizationName(QStringLiteral("Kestal"));
  setApplicationVersion(QStringLiteral(KESTAL_VERSION));
  setDesktopFileName(QStringLiteral("kestal"));
  setWindowIcon(QIcon(QStringLiteral(":/kestal/kestal.png")));
  LoadSystemColors(palette());
  InstallQtKeyNames();
  // The system's language until the window's settings choose another.
  SetUiLanguage(QString());
}

bool KestalApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(tr("An unexpected error occurred."));
  }
  return false;
}

void KestalApplication::ShowException(const QString& what) { CurrentPrompts().ShowError(MakeError(what.toStdString())); }

}  // namespace kestal
