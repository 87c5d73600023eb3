#include "text/shortcut_text.h"

#include <utility>

#include "text/string_table.h"

namespace kestal {
namespace {

KeyNameFunction& SystemKeyName() {
  static KeyNameFunction fn;
  return fn;
}

std::string KeyName(int k) {
  switch (k) {
    case 8: return Lang(StrKeyBackspace);
    case 9: return Lang(StrKeyTab);
    case 13: return Lang(StrKeyEnter);
    case 27: return Lang(StrKeyEsc);
    case 32: return Lang(StrKeySpace);
    case 33: return Lang(StrKeyPageUp);
    case 34: return Lang(StrKeyPageDown);
    case 35: return Lang(StrKeyEnd);
    case 36: return Lang(StrKeyHome);
    case 37: return Lang(StrKeyLeft);
    case 38: return Lang(StrKeyUp);
    case 39: return Lang(StrKeyRight);
    case 40: return Lang(StrKeyDown);
    case 45: return Lang(StrKeyIns);
    case 46: return Lang(StrKeyDel);
    default: break;
  }
  if ((k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z')) return std::string(1, static_cast<char>(k));
  if (k >= 96 && k <= 105) return std::string(1, static_cast<char>('0' + (k - 96)));
  if (k >= 112 && k <= 135) return "F" + std::to_string(k - 111);
  const KeyNameFunction& fn = SystemKeyName();
  return fn ? fn(k) : std::string();
}

}  // namespace

void SetSystemKeyNameFunction(KeyNameFunction fn) { SystemKeyName() = std::move(fn); }

std::string ShortCutToText(ShortCut shortcut) {
  const std::string name = KeyName(shortcut & 0xFF);
  if (name.empty()) return name;
  std::string text;
  if (shortcut & kShiftBit) text += Lang(StrShift);
  if (shortcut & kCtrlBit) text += Lang(StrCtrl);
  if (shortcut & kAltBit) text += Lang(StrAlt);
  return text + name;
}

}  // namespace kestal
