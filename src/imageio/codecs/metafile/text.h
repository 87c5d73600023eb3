#pragma once
// Metafile strings to characters: EMF text is UTF-16; WMF text and font names are
// bytes in the code page of the font's character set.

#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace kestal::metafile {

// Little-endian UTF-16; unpaired surrogates become U+FFFD.
std::u32string DecodeUtf16(ByteSpan bytes);
// Bytes in the Windows code page of a LOGFONT character set (Windows-1252 for the
// ANSI, default and symbol sets and any set iconv does not know).
std::u32string DecodeCharset(ByteSpan bytes, uint8_t charset);
std::string ToUtf8(const std::u32string& text);

// The symbol fonts whose codes are not those of any code page, by face name: Symbol and
// MathType's MT Extra (in equations pasted from Word).
enum class SymbolFace { kNone, kSymbol, kMtExtra };
SymbolFace SymbolFaceOf(const std::string& face);
// Text set in a symbol font to Unicode through the font's code chart: in Symbol "D" is
// Δ, "p" is π, 0xB3 is ≥; in MT Extra "L" is ⋯ and "l" is ℓ. Codes given as
// U+F020..U+F0FF (how UTF-16 text addresses a symbol font) count as 0x20..0xFF; other
// characters stay as they are.
std::u32string FromSymbolFont(std::u32string text, SymbolFace face);
// MT Extra's embellishment arrows (codes 0x72 to 0x74, 0x76 and 0x77) as mapped above.
// MT Extra draws them just above the baseline, a substitute font at its maths axis.
bool IsMtExtraArrow(char32_t c);

}  // namespace kestal::metafile
