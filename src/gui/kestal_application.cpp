#include "gui/kestal_application.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

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
  LoadQtTranslations();
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

void KestalApplication::ShowException(const QString& what) { CurrentPrompts().ShowError(MakeError(what.toStdString())); }

void KestalApplication::LoadQtTranslations() {
  auto* translator = new QTranslator(this);
  if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    installTranslator(translator);
}

}  // namespace kestal
