#pragma once
// Writing a standard Windows BMP: 24 bits per pixel, rows bottom-up, each padded to a
// multiple of 4 bytes, a 14-byte file header and a 40-byte information header.

#include <string>
#include <vector>

#include "bitmap/bitmap24.h"

namespace kestal {

Status WriteBmpFile(const std::string& path, const Bitmap24& bitmap);
// The same file's bytes in memory.
std::vector<uint8_t> EncodeBmp(const Bitmap24& bitmap);

}  // namespace kestal
