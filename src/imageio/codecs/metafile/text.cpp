#include "imageio/codecs/metafile/text.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <utility>
#include <vector>

namespace kestal::metafile {
namespace {

const char* CodePage(uint8_t charset) {
  switch (charset) {
    case 128: return "CP932";   // SHIFTJIS_CHARSET
    case 129: return "CP949";   // HANGUL_CHARSET
    case 134: return "CP936";   // GB2312_CHARSET
    case 136: return "CP950";   // CHINESEBIG5_CHARSET
    case 161: return "CP1253";  // GREEK_CHARSET
    case 162: return "CP1254";  // TURKISH_CHARSET
    case 163: return "CP1258";  // VIETNAMESE_CHARSET
    case 177: return "CP1255";  // HEBREW_CHARSET
    case 178: return "CP1256";  // ARABIC_CHARSET
    case 186: return "CP1257";  // BALTIC_CHARSET
    case 204: return "CP1251";  // RUSSIAN_CHARSET
    case 222: return "CP874";   // THAI_CHARSET
    case 238: return "CP1250";  // EASTEUROPE_CHARSET
    case 255: return "CP437";   // OEM_CHARSET
    default: return "CP1252";
  }
}

// Converts with iconv; bytes it cannot convert become U+FFFD one at a time.
bool Iconv(const char* from, ByteSpan bytes, std::u32string& out) {
  iconv_t cd = iconv_open("UTF-32LE", from);
  if (cd == iconv_t(-1)) return false;
  std::vector<char> in(bytes.begin(), bytes.end());
  char* inPtr = in.data();
  size_t inLeft = in.size();
  std::vector<char32_t> buffer(in.size() + 1);
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(buffer.data());
    size_t outLeft = buffer.size() * sizeof(char32_t);
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const size_t produced = (buffer.size() * sizeof(char32_t) - outLeft) / sizeof(char32_t);
    out.append(buffer.data(), produced);
    if (r == size_t(-1) && inLeft > 0) {
      // An invalid or cut-short sequence: mark it and go on after its first byte.
      out.push_back(U'\uFFFD');
      ++inPtr, --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return true;
}

}  // namespace

std::u32string DecodeUtf16(ByteSpan bytes) {
  std::u32string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t u = bytes[i] | (char32_t(bytes[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = bytes[i + 2] | (char32_t(bytes[i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        out.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    out.push_back(u >= 0xD800 && u < 0xE000 ? U'\uFFFD' : u);
  }
  return out;
}

std::u32string DecodeCharset(ByteSpan bytes, uint8_t charset) {
  std::u32string out;
  if (Iconv(CodePage(charset), bytes, out)) return out;
  out.clear();
  for (uint8_t b : bytes) out.push_back(b);  // Latin-1 when iconv is missing
  return out;
}

namespace {

// The Symbol font's code chart from 0x20 to 0xFE (0x7F..0x9F and 0xF0 hold no glyph:
// 0). Greek letters follow the Latin keys that type them.
constexpr char16_t kSymbolChart[0xFF - 0x20] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212,
    0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D,
    0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C,
    0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D,
    0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC,
    0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D,
    0x223C, 0,
    // 0x80, 0x90
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0,
    0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286,
    0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1,
    0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8,
    0x23A9, 0x23AA,
    // 0xF0
    0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC,
    0x23AD,
};

// MathType's "MT Extra" chart: the codes that have a Unicode character outside the
// private use area, as (code, character) pairs in code order; the embellishments (accents
// and arrows set above a letter, which the metafile places itself) as their spacing
// forms, which every font draws alone. Its other codes (pieces
// of stretched brackets and arrows) have no character a system font draws. Codes 0x80
// to 0x9F are left out: WMF text reaches here through Windows-1252, which moves them.
constexpr std::pair<char16_t, char16_t> kMtExtraChart[] = {
    {0x23, 0x0060}, {0x24, 0x02C6}, {0x25, 0x02DC}, {0x26, 0x02D9}, {0x28, 0x2323}, {0x29, 0x2322},
    {0x3A, 0x223C}, {0x3B, 0x2243}, {0x3C, 0x22B2}, {0x3D, 0x226A}, {0x3E, 0x22B3}, {0x3F, 0x226B},
    {0x40, 0x225C}, {0x41, 0x2259}, {0x42, 0x2250}, {0x43, 0x2210}, {0x44, 0x019B}, {0x49, 0x2229},
    {0x4A, 0x2127}, {0x4B, 0x2026}, {0x4C, 0x22EF}, {0x4D, 0x22EE}, {0x4E, 0x22F0}, {0x4F, 0x22F1},
    {0x50, 0x2225}, {0x51, 0x2235}, {0x52, 0x2221}, {0x53, 0x2222}, {0x55, 0x222A}, {0x56, 0x25B3},
    {0x57, 0x25A1}, {0x58, 0x25AD}, {0x59, 0x25B1}, {0x5A, 0x2197}, {0x5B, 0x2199}, {0x5D, 0x2198},
    {0x5E, 0x2196}, {0x60, 0x2035}, {0x61, 0x21A6}, {0x62, 0x2195}, {0x63, 0x21D5}, {0x64, 0x25CB},
    {0x65, 0x2299}, {0x66, 0x227B}, {0x68, 0x210F}, {0x6C, 0x2113}, {0x6D, 0x2213}, {0x6F, 0x2218},
    {0x70, 0x227A}, {0x72, 0x2192}, {0x73, 0x2190}, {0x74, 0x2194}, {0x76, 0x21C0}, {0x77, 0x21BC},
    {0x7B, 0xFE38}, {0x7D, 0xFE37}, {0xA1, 0x211D}, {0xA2, 0x2124}, {0xA3, 0x2102}, {0xA4, 0x211A},
    {0xA5, 0x2115}, {0xA7, 0x301A}, {0xA8, 0x301B}, {0xE8, 0x0160}, {0xE9, 0x00DD}, {0xEA, 0x00DE},
    {0xEB, 0x00D0}, {0xEC, 0x0161}, {0xED, 0x00FD}, {0xEE, 0x00FE}, {0xEF, 0x00F0}, {0xF0, 0xFB01},
    {0xF1, 0xFB02}, {0xF2, 0x0131}, {0xF3, 0x00B9}, {0xF4, 0x00B2}, {0xF5, 0x00B3}, {0xF6, 0x00BD},
    {0xF7, 0x00BC}, {0xF8, 0x00BE}, {0xF9, 0x2044}, {0xFA, 0x00A6}, {0xFB, 0x02DD}, {0xFC, 0x02D8},
    {0xFD, 0x02C7}, {0xFE, 0x02DA}, {0xFF, 0x02DB},
};

// The character a symbol font's code stands for, or 0 when the chart has none.
char32_t ChartCharacter(SymbolFace face, char32_t code) {
  if (face == SymbolFace::kSymbol) return code >= 0x20 && code <= 0xFE ? kSymbolChart[code - 0x20] : 0;
  const auto* end = std::end(kMtExtraChart);
  const auto* it = std::lower_bound(std::begin(kMtExtraChart), end, code,
                                    [](const std::pair<char16_t, char16_t>& e, char32_t c) { return e.first < c; });
  return it != end && it->first == code ? it->second : 0;
}

}  // namespace

SymbolFace SymbolFaceOf(const std::string& face) {
  std::string name;
  for (char c : face) name += char(std::tolower(static_cast<unsigned char>(c)));
  if (name == "symbol") return SymbolFace::kSymbol;
  if (name == "mt extra") return SymbolFace::kMtExtra;
  return SymbolFace::kNone;
}

std::u32string FromSymbolFont(std::u32string text, SymbolFace face) {
  if (face == SymbolFace::kNone) return text;
  for (char32_t& c : text) {
    const char32_t code = c >= 0xF020 && c <= 0xF0FF ? c - 0xF000 : c;
    if (const char32_t mapped = ChartCharacter(face, code)) c = mapped;
  }
  return text;
}

bool IsMtExtraArrow(char32_t c) {
  for (char32_t code : {0x72, 0x73, 0x74, 0x76, 0x77}) {
    if (c == ChartCharacter(SymbolFace::kMtExtra, code)) return true;
  }
  return false;
}

std::string ToUtf8(const std::u32string& text) {
  std::string s;
  for (char32_t c : text) {
    if (c < 0x80) {
      s += char(c);
    } else if (c < 0x800) {
      s += char(0xC0 | (c >> 6)), s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += char(0xE0 | (c >> 12)), s += char(0x80 | ((c >> 6) & 0x3F)), s += char(0x80 | (c & 0x3F));
    } else {
      s += char(0xF0 | (c >> 18)), s += char(0x80 | ((c >> 12) & 0x3F)), s += char(0x80 | ((c >> 6) & 0x3F)),
          s += char(0x80 | (c & 0x3F));
    }
  }
  return s;
}

}  // namespace kestal::metafile
