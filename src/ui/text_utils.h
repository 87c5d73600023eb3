#pragma once
// FoncUtils: small utilities shared by the windows and the exporter.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestal {

// The size of a file in bytes, or -1 when it cannot be opened (missing, no access, a
// folder). 64-bit, so files over 2 GiB get their true size.
int64_t GetFileSizeBytes(const std::string& path);

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

// The file-name part of a path (after the last '/'), and that name without its last
// extension ("/p/sea.view.jpg" gives "sea.view.jpg" and "sea.view").
std::string FileNameOf(std::string_view path);
std::string BaseNameOf(std::string_view path);
// The last extension with its dot, lower-cased (ASCII), or "" when there is none.
std::string LowerExtensionOf(std::string_view path);
// The path with its last extension replaced by `ext` (which includes the dot).
std::string ChangeExtension(std::string_view path, std::string_view ext);

}  // namespace kestal
