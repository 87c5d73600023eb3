#pragma once
// Shortcut values and their text. A shortcut value is 16 bits: the low byte is the
// key's virtual-key code, and in the high byte 0x20 means Shift, 0x40 Ctrl and 0x80 Alt.
// Key names and modifier prefixes come from the string library, so "Ctrl+O" or
// "Maj+Ctrl+Alt+A" follow its current texts.

#include <cstdint>
#include <functional>
#include <string>

namespace kestal {

using ShortCut = uint16_t;
inline constexpr ShortCut kShiftBit = 0x2000;
inline constexpr ShortCut kCtrlBit = 0x4000;
inline constexpr ShortCut kAltBit = 0x8000;

// Virtual-key codes that the program uses by name.
enum VirtualKey : int {
  kVkBack = 8,
  kVkTab = 9,
  kVkReturn = 13,
  kVkShift = 16,
  kVkEscape = 27,
  kVkSpace = 32,
  kVkF1 = 112,
};

// The name of a key that the table does not cover, supplied by the desktop layer
// (the platform's key name); an empty name hides the shortcut.
using KeyNameFunction = std::function<std::string(int virtualKey)>;
void SetSystemKeyNameFunction(KeyNameFunction fn);

std::string ShortCutToText(ShortCut shortcut);

}  // namespace kestal
