#pragma once
// The desktop layer's answers to the platform services the program relies on: the
// operating-system version test, the design font, the system colours, key names and
// key sequences for shortcut values, and opening a document or address with the
// desktop's default application.

#include <QFont>
#include <QKeySequence>
#include <QPalette>
#include <QString>

#include "text/shortcut_text.h"

namespace kestal {

// True only on Windows 5.1; false on Linux and everywhere else.
bool IsWindowsXP();

// "MS Sans Serif" at 11 pixels, falling back to the desktop's sans-serif face at the
// same pixel size, so the designed positions keep fitting.
QFont DesignFont();

// Fills the engine's system-colour table from a palette.
void LoadSystemColors(const QPalette& palette);

// The Qt key of a virtual-key code, or 0 when the table has none.
int QtKeyForVirtualKey(int virtualKey);
// The key sequence of a shortcut value (modifier bits and virtual key).
QKeySequence QtKeySequence(ShortCut shortcut);
// Gives the engine's shortcut texts Qt's own names for the keys its table lacks.
void InstallQtKeyNames();

// Opens a file path or an address with the desktop's default application; a blank
// target opens nothing. The result says whether the desktop accepted it.
bool OpenWithDesktop(const QString& target);

}  // namespace kestal
