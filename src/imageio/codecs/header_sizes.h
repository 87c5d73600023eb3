#pragma once
// The picture size that a file's first bytes claim, for the formats whose header says
// it near the start. Loading checks it against the pixel limits before it reads the
// rest of the file, so a huge (or sparse) file claiming an oversized picture costs
// neither the time nor the memory of reading it.

#include "base/bytes.h"
#include "base/result.h"

namespace kestal {

// How many bytes of a file the header functions are given (fewer when the file is
// shorter). A JPEG's size comes after its metadata segments, which are at most 64 KiB
// each; one MiB covers any ordinary file.
inline constexpr size_t kHeaderProbeBytes = size_t{1} << 20;

// The size a file's header claims, read before the file is read whole.
struct ClaimedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// Each returns the width and height the header claims, or an error when the bytes do
// not say (too short, another layout); the caller then leaves the check to the reader.
Result<ClaimedSize> PngHeaderSize(ByteSpan head);
Result<ClaimedSize> GifHeaderSize(ByteSpan head);
Result<ClaimedSize> BmpHeaderSize(ByteSpan head);
Result<ClaimedSize> JpegHeaderSize(ByteSpan head);
Result<ClaimedSize> PsdHeaderSize(ByteSpan head);

}  // namespace kestal
