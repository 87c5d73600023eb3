#pragma once
// Reading files: a whole file into memory, with a size bound checked before anything
// is allocated, and a file's size.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"

namespace kestal {

// Files larger than this are refused before they are read.
inline constexpr int64_t kMaxImageFileBytes = int64_t{2} << 30;

// Reads a whole file into memory, refusing files over `maxBytes`. The error's cause
// says why; naming the file is the caller's part.
Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path, int64_t maxBytes = kMaxImageFileBytes);

// The size of a file in bytes, or -1 when it cannot be opened (missing, no access, a
// folder). 64-bit, so files over 2 GiB get their true size.
int64_t GetFileSizeBytes(const std::string& path);

}  // namespace kestal
