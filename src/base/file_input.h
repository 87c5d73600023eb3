#pragma once
// Reading files: a whole file into memory, with a size bound checked before anything
// is allocated, a file's size, and a file's first bytes with reads by position beyond
// them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/bytes.h"
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

// The first bytes of a file, and any other bytes of it on request: from memory when
// the whole file is held, else read from the open file by position. Loading hands it
// to a reader's header parse, so that a header lying further in costs a few reads
// rather than the whole file.
class FileHead {
 public:
  // A file held whole in memory.
  explicit FileHead(ByteSpan whole) : head_(whole), size_(static_cast<int64_t>(whole.size())) {}
  // The first bytes of an open file of `size` bytes; `fd` stays open while this is used.
  FileHead(ByteSpan head, int64_t size, int fd) : head_(head), size_(size), fd_(fd) {}

  ByteSpan Head() const { return head_; }
  int64_t Size() const { return size_; }
  // Copies out.size() bytes from `offset`; false when the file does not hold them all
  // or they cannot be read.
  bool ReadAt(int64_t offset, std::span<uint8_t> out) const;

 private:
  ByteSpan head_;
  int64_t size_ = 0;
  int fd_ = -1;
};

}  // namespace kestal
