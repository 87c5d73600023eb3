#pragma once
// The language of the window: English (the source texts) or one of the translations in
// translations/*.ts, which the build compiles and embeds. It follows the system
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG through QLocale::system().uiLanguages()) unless
// the person chose one in the View menu. Changing it installs the program's and Qt's
// translators, makes it QLocale's default (so any code can read the window's language
// from QLocale()), and puts the string library's words (buttons, headings, key names,
// size units) into that language; every window retranslates on QEvent::LanguageChange.
// The command line stays English.

#include <QString>
#include <QStringList>

#include <span>

namespace kestal {

struct UiLanguage {
  const char* code;  // "ru": the translation file is kestal_<code>.ts
  const char* name;  // English; shown translated ("Language" context)
};

// Every language the window can show, English first.
std::span<const UiLanguage> UiLanguages();
bool IsUiLanguage(const QString& code);
// The first of `preferred` ("ru-RU", "de", ...) that the window can show, by its
// language part; English when none is.
QString ResolveUiLanguage(const QStringList& preferred);
// The language the system asks for, resolved as above.
QString SystemUiLanguage();

// Makes `code` the window's language (the system's when empty or unknown) at once:
// the LanguageChange events are delivered before this returns.
void SetUiLanguage(const QString& code);
// The language in effect ("en" before any SetUiLanguage).
QString CurrentUiLanguage();

// The string library's words and the image files' messages in the current language.
void ApplyLanguageTexts();

}  // namespace kestal
