#include "gui/platform_qt.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QOperatingSystemVersion>
#include <QUrl>

#include "bitmap/colors.h"
#include "text/visual_styles.h"

namespace kestal {

bool IsWindowsXP() {
  const QOperatingSystemVersion os = QOperatingSystemVersion::current();
  return os.type() == QOperatingSystemVersion::Windows &&
         IsVersionWithVisualStyles(os.majorVersion(), os.minorVersion());
}

QFont DesignFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

namespace {

Color ToColor(const QColor& c) {
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
             static_cast<uint8_t>(c.blue()));
}

}  // namespace

void LoadSystemColors(const QPalette& p) {
  using R = QPalette::ColorRole;
  const struct {
    SysColor index;
    QPalette::ColorGroup group;
    R role;
  } table[] = {
      {kColorScrollbar, QPalette::Active, R::Button},
      {kColorBackground, QPalette::Active, R::Dark},
      {kColorMenu, QPalette::Active, R::Window},
      {kColorWindow, QPalette::Active, R::Base},
      {kColorMenuText, QPalette::Active, R::WindowText},
      {kColorWindowText, QPalette::Active, R::Text},
      {kColorAppWorkspace, QPalette::Active, R::Dark},
      {kColorHighlight, QPalette::Active, R::Highlight},
      {kColorHighlightText, QPalette::Active, R::HighlightedText},
      {kColorBtnFace, QPalette::Active, R::Button},
      {kColorBtnShadow, QPalette::Active, R::Mid},
      {kColorGrayText, QPalette::Disabled, R::Text},
      {kColorBtnText, QPalette::Active, R::ButtonText},
      {kColorBtnHighlight, QPalette::Active, R::Light},
  };
  for (const auto& row : table) SetSystemColorValue(row.index, ToColor(p.color(row.group, row.role)));
}

int QtKeyForVirtualKey(int vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;  // Qt uses ASCII too
  if (vk >= 96 && vk <= 105) return Qt::Key_0 + (vk - 96);                 // keypad digits
  if (vk >= 112 && vk <= 135) return Qt::Key_F1 + (vk - 112);              // F1..F24
  switch (vk) {
    case 8: return Qt::Key_Backspace;
    case 9: return Qt::Key_Tab;
    case 12: return Qt::Key_Clear;
    case 13: return Qt::Key_Return;
    case 16: return Qt::Key_Shift;
    case 17: return Qt::Key_Control;
    case 18: return Qt::Key_Alt;
    case 19: return Qt::Key_Pause;
    case 20: return Qt::Key_CapsLock;
    case 27: return Qt::Key_Escape;
    case 32: return Qt::Key_Space;
    case 33: return Qt::Key_PageUp;
    case 34: return Qt::Key_PageDown;
    case 35: return Qt::Key_End;
    case 36: return Qt::Key_Home;
    case 37: return Qt::Key_Left;
    case 38: return Qt::Key_Up;
    case 39: return Qt::Key_Right;
    case 40: return Qt::Key_Down;
    case 44: return Qt::Key_Print;
    case 45: return Qt::Key_Insert;
    case 46: return Qt::Key_Delete;
    case 91: case 92: return Qt::Key_Meta;
    case 93: return Qt::Key_Menu;
    case 106: return Qt::Key_Asterisk;
    case 107: return Qt::Key_Plus;
    case 109: return Qt::Key_Minus;
    case 110: return Qt::Key_Period;
    case 111: return Qt::Key_Slash;
    case 144: return Qt::Key_NumLock;
    case 145: return Qt::Key_ScrollLock;
    case 186: return Qt::Key_Semicolon;
    case 187: return Qt::Key_Equal;
    case 188: return Qt::Key_Comma;
    case 189: return Qt::Key_Minus;
    case 190: return Qt::Key_Period;
    case 191: return Qt::Key_Slash;
    case 192: return Qt::Key_QuoteLeft;
    case 219: return Qt::Key_BracketLeft;
    case 220: return Qt::Key_Backslash;
    case 221: return Qt::Key_BracketRight;
    case 222: return Qt::Key_Apostrophe;
    default: return 0;
  }
}

QKeySequence QtKeySequence(ShortCut shortcut) {
  const int key = QtKeyForVirtualKey(shortcut & 0xFF);
  if (key == 0) return {};
  Qt::KeyboardModifiers mods;
  if (shortcut & kShiftBit) mods |= Qt::ShiftModifier;
  if (shortcut & kCtrlBit) mods |= Qt::ControlModifier;
  if (shortcut & kAltBit) mods |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(mods, static_cast<Qt::Key>(key)));
}

void InstallQtKeyNames() {
  SetSystemKeyNameFunction([](int vk) -> std::string {
    const int key = QtKeyForVirtualKey(vk);
    if (key == 0) return {};
    return QKeySequence(key).toString(QKeySequence::NativeText).toStdString();
  });
}

bool OpenWithDesktop(const QString& target) {
  const QString t = target.trimmed();
  if (t.isEmpty()) return false;
  const QUrl url = QFileInfo::exists(t) ? QUrl::fromLocalFile(QFileInfo(t).absoluteFilePath())
                                        : QUrl::fromUserInput(t);
  return url.isValid() && QDesktopServices::openUrl(url);
}

}  // namespace kestal
