#include "imageio/codecs/metafile/text.h"

#include <iconv.h>

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
