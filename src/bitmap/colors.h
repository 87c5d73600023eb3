#pragma once
// Colours as 32-bit values: an RGB value packed red | green << 8 | blue << 16 (red in
// the low byte, top byte 0), or a reference to a system colour (top byte 0xFF, the
// system colour's index in the low byte). A reference is resolved to the colour's
// current RGB value through a table that the desktop program fills from the
// platform's palette at start-up; tests may set it too.

#include <cstdint>

#include "bitmap/bitmap24.h"

namespace kestal {

using Color = uint32_t;

// Indexes of the system colours the program uses (the classic Windows numbering, kept
// so that stored values mean the same everywhere).
enum SysColor : int {
  kColorScrollbar = 0,
  kColorBackground = 1,
  kColorMenu = 4,
  kColorWindow = 5,
  kColorWindowText = 8,
  kColorMenuText = 7,
  kColorAppWorkspace = 12,
  kColorHighlight = 13,
  kColorHighlightText = 14,
  kColorBtnFace = 15,
  kColorBtnShadow = 16,
  kColorGrayText = 17,
  kColorBtnText = 18,
  kColorBtnHighlight = 20,
  kSysColorCount = 31,
};

inline constexpr Color kSystemColorFlag = 0xFF000000u;

constexpr Color Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr Color SystemColor(SysColor index) { return kSystemColorFlag | static_cast<Color>(index); }
constexpr bool IsSystemColor(Color c) { return (c & 0xFF000000u) == kSystemColorFlag; }

// The channels of an RGB value (call ResolveColor first for a reference).
constexpr uint8_t RedOf(Color c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GreenOf(Color c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t BlueOf(Color c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// A system-colour reference becomes that colour's current RGB value; an RGB value is
// returned unchanged (its top byte cleared).
Color ResolveColor(Color c);

// Sets the current RGB value of a system colour. The defaults are a classic light
// palette, so the engine works without a desktop.
void SetSystemColorValue(SysColor index, Color rgb);
void ResetSystemColors();

ColorTriple ColorToTriple(Color c);
constexpr Color TripleToColor(ColorTriple t) { return Rgb(t.red, t.green, t.blue); }

}  // namespace kestal
