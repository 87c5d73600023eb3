#include "gui/kestal_application.h"

#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "gui/platform_qt.h"

namespace kestal {

KestalApplication::KestalApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every window title, and the titles are
  // designed texts.
  setApplicationName(QStringLiteral("Kestal"));
  setApplicationVersion(QStringLiteral(KESTAL_VERSION));
  setDesktopFileName(QStringLiteral("kestal"));
  setWindowIcon(QIcon(QStringLiteral(":/kestal/kestal.png")));
  LoadSystemColors(palette());
  InstallQtKeyNames();
}

bool KestalApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(QStringLiteral("An unexpected error occurred."));
  }
  return false;
}

namespace {
KestalApplication::ExceptionHook& Hook() {
  static KestalApplication::ExceptionHook hook;
  return hook;
}
}  // namespace

void KestalApplication::SetExceptionHook(ExceptionHook hook) { Hook() = std::move(hook); }

void KestalApplication::ShowException(const QString& what) {
  if (Hook()) {
    Hook()(what);
    return;
  }
  QMessageBox::critical(activeWindow(), applicationName(), what);
}

}  // namespace kestal
