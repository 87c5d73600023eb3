#pragma once
// The picture size that a file's first bytes claim. Loading checks it against the pixel
// limits before it reads the rest of the file, so a huge (or sparse) file claiming an
// oversized picture costs neither the time nor the memory of reading it. The header
// functions of the families whose size lies near the start live here; the others sit
// with their readers, beside the header parsing they share.

#include <cstdint>
#include <span>

#include "base/bytes.h"
#include "base/result.h"

namespace kestal {

// How many bytes of a file are read before its header is looked at (fewer when the
// file is shorter). Formats whose size may lie further in read the bytes they need
// through FileHead::ReadAt.
inline constexpr size_t kHeaderProbeBytes = size_t{1} << 20;

// The first bytes of a file, and any other bytes of it on request: from memory when
// the whole file is held, else read from the open file by position.
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

// The size a file's header claims, read before the file is read whole.
struct ClaimedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// The size a reader's header parser found, or its error.
template <class Header>
Result<ClaimedSize> SizeOf(const Result<Header>& header) {
  if (!header) return header.error();
  return ClaimedSize{static_cast<int64_t>(header->width), static_cast<int64_t>(header->height)};
}

// Each returns the width and height the header claims, or an error when the bytes do
// not say (too short, another layout); the caller then leaves the check to the reader.
Result<ClaimedSize> PngHeaderSize(const FileHead& file);
Result<ClaimedSize> GifHeaderSize(const FileHead& file);
Result<ClaimedSize> BmpHeaderSize(const FileHead& file);
// Walks the marker segments wherever they lead, reading only their headers.
Result<ClaimedSize> JpegHeaderSize(const FileHead& file);
Result<ClaimedSize> PsdHeaderSize(const FileHead& file);

}  // namespace kestal
