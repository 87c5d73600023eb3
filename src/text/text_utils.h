#pragma once
// FoncUtils: small utilities shared by the windows and the exporter.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestal {

// A menu caption turned into a tool-button hint: the first "&" removed, then a final
// "..." removed, then a final ":" removed, then leading and trailing characters with a
// code of 32 or less trimmed.
std::string MenuCaptionToHint(std::string_view caption);

// A file size as text with the units of the string library: "0 octet", "500 octets",
// "1.13 Ko", "1.00 Mo", "2.50 Go". Two decimals, halves rounded away from zero, the
// decimal separator of the C library's current numeric locale.
std::string FileSizeText(int64_t size);

// Replaces the first "%s" of a message format with `value`; the rest of the format is
// taken literally (a format from the string library is data, never a printf format).
std::string FormatWithString(std::string_view format, std::string_view value);

}  // namespace kestal
