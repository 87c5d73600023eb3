#include "text/text_utils.h"

#include <clocale>
#include <cstdio>

#include "text/string_table.h"

namespace kestal {

std::string MenuCaptionToHint(std::string_view caption) {
  std::string s(caption);
  if (s.empty()) return s;
  if (auto amp = s.find('&'); amp != std::string::npos) s.erase(amp, 1);
  if (s.size() >= 3 && s.compare(s.size() - 3, 3, "...") == 0) s.resize(s.size() - 3);
  if (!s.empty() && s.back() == ':') s.pop_back();
  size_t begin = 0;
  size_t end = s.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (begin < end && blank(s[begin])) ++begin;
  while (end > begin && blank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

std::string FileSizeText(int64_t size) {
  if (size < 1024) {
    const LangId unit = size < 2 ? StrByte : StrBytes;
    return std::to_string(size) + " " + Lang(unit);
  }
  uint64_t unit_bytes = 1024;
  LangId unit = StrKB;
  if (size >= 1073741824) {
    unit_bytes = 1073741824;
    unit = StrGB;
  } else if (size >= 1048576) {
    unit_bytes = 1048576;
    unit = StrMB;
  }
  // size / unit with two decimals, a half rounded away from zero, in exact integer
  // arithmetic: the quotient of a size by a power of two has a finite decimal
  // expansion, so its third decimal decides exactly.
  const uint64_t s = static_cast<uint64_t>(size);
  const uint64_t hundredths = (s / unit_bytes) * 100 + ((s % unit_bytes) * 100 + unit_bytes / 2) / unit_bytes;
  const uint64_t whole = hundredths / 100;
  const unsigned frac = static_cast<unsigned>(hundredths % 100);
  const char* point = std::localeconv()->decimal_point;
  char digits[4];
  std::snprintf(digits, sizeof digits, "%02u", frac);
  return std::to_string(whole) + (point && *point ? point : ".") + digits + " " + Lang(unit);
}

std::string FormatWithString(std::string_view format, std::string_view value) {
  std::string out(format);
  if (auto pos = out.find("%s"); pos != std::string::npos) out.replace(pos, 2, value);
  return out;
}

}  // namespace kestal
