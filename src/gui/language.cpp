#include "gui/language.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include <array>

#include "imageio/image_files.h"
#include "text/string_table.h"

namespace kestal {
namespace {

// One line per language; its translation is translations/kestal_<code>.ts.
constexpr UiLanguage kLanguages[] = {
    {"en", QT_TRANSLATE_NOOP("Language", "English")},
    {"ru", QT_TRANSLATE_NOOP("Language", "Russian")},
};

// The string library's entries in English, in LangId order; the translations give
// each language its words.
constexpr std::array<const char*, kLangEntryCount> kStringTable = {
    QT_TRANSLATE_NOOP("StringTable", "All images"),
    QT_TRANSLATE_NOOP("StringTable", "Common images"),
    QT_TRANSLATE_NOOP("StringTable", "BMP"),
    QT_TRANSLATE_NOOP("StringTable", "RLE"),
    QT_TRANSLATE_NOOP("StringTable", "GIF"),
    QT_TRANSLATE_NOOP("StringTable", "JPEG"),
    QT_TRANSLATE_NOOP("StringTable", "PNG"),
    QT_TRANSLATE_NOOP("StringTable", "Targa"),
    QT_TRANSLATE_NOOP("StringTable", "TIFF"),
    QT_TRANSLATE_NOOP("StringTable", "Cannot open the image in file \"%s\" !"),
    QT_TRANSLATE_NOOP("StringTable", "Cannot save the image in file \"%s\" !"),
    QT_TRANSLATE_NOOP("StringTable", "Quirnel Selection"),
    QT_TRANSLATE_NOOP("StringTable", "Quirnel Image"),
    QT_TRANSLATE_NOOP("StringTable", "Icon"),
    QT_TRANSLATE_NOOP("StringTable", "AVI"),
    QT_TRANSLATE_NOOP("StringTable", "Invalid data file!"),
    QT_TRANSLATE_NOOP("StringTable", "%dx%d pixels"),
    QT_TRANSLATE_NOOP("StringTable", "Preview"),
    QT_TRANSLATE_NOOP("StringTable", "(Empty)"),
    QT_TRANSLATE_NOOP("StringTable", "RGBA (alpha channel)"),
    QT_TRANSLATE_NOOP("StringTable", "Transparency"),
    QT_TRANSLATE_NOOP("StringTable", "Image properties"),
    QT_TRANSLATE_NOOP("StringTable", "Animated GIF"),
    QT_TRANSLATE_NOOP("StringTable", "&Yes"),
    QT_TRANSLATE_NOOP("StringTable", "&No"),
    QT_TRANSLATE_NOOP("StringTable", "OK"),
    QT_TRANSLATE_NOOP("StringTable", "Cancel"),
    QT_TRANSLATE_NOOP("StringTable", "Warning"),
    QT_TRANSLATE_NOOP("StringTable", "Error"),
    QT_TRANSLATE_NOOP("StringTable", "Information"),
    QT_TRANSLATE_NOOP("StringTable", "Confirmation"),
    QT_TRANSLATE_NOOP("StringTable", "Input"),
    QT_TRANSLATE_NOOP("StringTable", "Backspace"),
    QT_TRANSLATE_NOOP("StringTable", "Tab"),
    QT_TRANSLATE_NOOP("StringTable", "Esc"),
    QT_TRANSLATE_NOOP("StringTable", "Enter"),
    QT_TRANSLATE_NOOP("StringTable", "Space"),
    QT_TRANSLATE_NOOP("StringTable", "PgUp"),
    QT_TRANSLATE_NOOP("StringTable", "PgDown"),
    QT_TRANSLATE_NOOP("StringTable", "End"),
    QT_TRANSLATE_NOOP("StringTable", "Home"),
    QT_TRANSLATE_NOOP("StringTable", "Left"),
    QT_TRANSLATE_NOOP("StringTable", "Up"),
    QT_TRANSLATE_NOOP("StringTable", "Right"),
    QT_TRANSLATE_NOOP("StringTable", "Down"),
    QT_TRANSLATE_NOOP("StringTable", "Ins"),
    QT_TRANSLATE_NOOP("StringTable", "Del"),
    QT_TRANSLATE_NOOP("StringTable", "Shift+"),
    QT_TRANSLATE_NOOP("StringTable", "Ctrl+"),
    QT_TRANSLATE_NOOP("StringTable", "Alt+"),
    QT_TRANSLATE_NOOP("StringTable", "byte"),
    QT_TRANSLATE_NOOP("StringTable", "bytes"),
    QT_TRANSLATE_NOOP("StringTable", "kB"),
    QT_TRANSLATE_NOOP("StringTable", "MB"),
    QT_TRANSLATE_NOOP("StringTable", "GB"),
};

QString current_language = QStringLiteral("en");
// The translators in effect, owned by the application object.
QPointer<QTranslator> program_translator;
QPointer<QTranslator> qt_translator;

void RemoveTranslator(QPointer<QTranslator>& translator) {
  if (!translator) return;
  QCoreApplication::removeTranslator(translator);
  delete translator.data();
}

// Installs a translator loaded from `file` in `folder`; none when there is no such file
// (English needs none).
void InstallTranslator(QPointer<QTranslator>& slot, const QString& file, const QString& folder) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(file, folder)) {
    delete translator;
    return;
  }
  QCoreApplication::installTranslator(translator);
  slot = translator;
}

std::string Translated(const char* context, const char* source) {
  return QCoreApplication::translate(context, source).toStdString();
}

}  // namespace

std::span<const UiLanguage> UiLanguages() { return kLanguages; }

bool IsUiLanguage(const QString& code) {
  for (const UiLanguage& l : kLanguages)
    if (code == QLatin1String(l.code)) return true;
  return false;
}

QString ResolveUiLanguage(const QStringList& preferred) {
  for (const QString& name : preferred) {
    // "ru-RU", "ru_RU.UTF-8" and "ru" all name Russian.
    const QString language = name.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
    if (IsUiLanguage(language)) return language;
  }
  return QStringLiteral("en");
}

QString SystemUiLanguage() { return ResolveUiLanguage(QLocale::system().uiLanguages()); }

void SetUiLanguage(const QString& code) {
  const QString language = IsUiLanguage(code) ? code : SystemUiLanguage();
  RemoveTranslator(program_translator);
  RemoveTranslator(qt_translator);
  InstallTranslator(program_translator, QStringLiteral("kestal_") + language, QStringLiteral(":/i18n"));
  // Qt's own dialogs and standard buttons.
  InstallTranslator(qt_translator, QStringLiteral("qtbase_") + language,
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  // The system's locale keeps its country when it speaks the chosen language.
  const QLocale system = QLocale::system();
  const QLocale chosen(language);
  QLocale::setDefault(system.language() == chosen.language() ? system : chosen);
  current_language = language;
  ApplyLanguageTexts();
  // The installs posted LanguageChange to every window; deliver them now, after the
  // string library has its new words.
  if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

QString CurrentUiLanguage() { return current_language; }

void ApplyLanguageTexts() {
  for (int i = 0; i < kLangEntryCount; ++i) SetLang(static_cast<LangId>(i), Translated("StringTable", kStringTable[i]));
  LoadErrorFormat() = Translated("ImageFiles", QT_TRANSLATE_NOOP("ImageFiles", "Unable to load image in file \"%s\" !"));
  SaveErrorFormat() = Translated("ImageFiles", QT_TRANSLATE_NOOP("ImageFiles", "Unable to save image in file \"%s\" !"));
}

}  // namespace kestal
