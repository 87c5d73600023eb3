#include "imageio/codecs/header_sizes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "base/byte_reader.h"

namespace kestal {
namespace {

// Bounds on the walk through a JPEG's segments: ordinary files have a few dozen before
// the frame header, and a marker rarely more than one fill byte.
constexpr int kMaxJpegSegments = 1 << 16;
constexpr int kMaxJpegFillBytes = 1 << 16;

Result<ClaimedSize> Claimed(const ByteReader& r, int64_t width, int64_t height) {
  if (r.Failed()) return Error::Truncated();
  return ClaimedSize{width, height};
}

}  // namespace

bool FileHead::ReadAt(int64_t offset, std::span<uint8_t> out) const {
  if (offset < 0 || offset > size_ || static_cast<int64_t>(out.size()) > size_ - offset) return false;
  if (static_cast<uint64_t>(offset) + out.size() <= head_.size()) {
    std::copy_n(head_.data() + offset, out.size(), out.data());
    return true;
  }
  if (fd_ < 0) return false;
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

Result<ClaimedSize> PngHeaderSize(const FileHead& file) {
  // The signature, then IHDR first: length, "IHDR", width and height big-endian.
  const ByteSpan head = file.Head();
  ByteReader r(head);
  r.Skip(12);
  if (!StartsWith(head.subspan(std::min<size_t>(12, head.size())), "IHDR")) return Error::Invalid("no IHDR");
  r.Skip(4);
  const int64_t width = r.U32BE();
  const int64_t height = r.U32BE();
  return Claimed(r, width, height);
}

Result<ClaimedSize> GifHeaderSize(const FileHead& file) {
  // "GIF87a" or "GIF89a", then the logical screen's width and height.
  ByteReader r(file.Head());
  r.Skip(6);
  const int64_t width = r.U16LE();
  const int64_t height = r.U16LE();
  return Claimed(r, width, height);
}

Result<ClaimedSize> BmpHeaderSize(const FileHead& file) {
  // The 14-byte file header (which a headerless DIB, as on the clipboard, lacks), then
  // the DIB header: its size says the layout. OS/2's 12-byte core header has 16-bit
  // sizes; the others 32-bit, the height negative for top-down rows.
  ByteReader r(file.Head());
  r.Skip(StartsWith(file.Head(), "BM") ? 14 : 0);
  const uint32_t dib = r.U32LE();
  if (dib == 12) {
    const int64_t width = r.U16LE();
    const int64_t height = r.U16LE();
    return Claimed(r, width, height);
  }
  const int64_t width = static_cast<int32_t>(r.U32LE());
  const int64_t height = static_cast<int32_t>(r.U32LE());
  return Claimed(r, std::llabs(width), std::llabs(height));
}

Result<ClaimedSize> JpegHeaderSize(const FileHead& file) {
  // Walks the marker segments (ITU T.81, B.1.1) up to the first start of frame,
  // reading each segment's marker and length only, so metadata of any size before the
  // frame header costs no more than a few reads.
  uint8_t b[5];
  if (!file.ReadAt(0, {b, 2}) || b[0] != 0xFF || b[1] != 0xD8) return Error::Invalid("no SOI");
  int64_t pos = 2;
  for (int segment = 0; segment < kMaxJpegSegments; ++segment) {
    if (!file.ReadAt(pos, {b, 2})) return Error::Truncated();
    if (b[0] != 0xFF) return Error::Invalid("no marker");
    pos += 2;
    uint8_t marker = b[1];
    for (int fill = 0; marker == 0xFF; ++fill, ++pos) {  // fill bytes
      if (fill == kMaxJpegFillBytes || !file.ReadAt(pos, {&marker, 1})) return Error::Invalid("no marker");
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (!file.ReadAt(pos, {b, 2})) return Error::Truncated();
    const uint16_t length = static_cast<uint16_t>(b[0] << 8 | b[1]);
    if (length < 2) return Error::Invalid("bad segment length");
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC): precision, height, width.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (!file.ReadAt(pos + 2, {b, 5})) return Error::Truncated();
      return ClaimedSize{int64_t{b[3]} << 8 | b[4], int64_t{b[1]} << 8 | b[2]};
    }
    if (marker == 0xDA || marker == 0xD9) return Error::Invalid("no frame header before the scan");
    pos += length;
  }
  return Error::Invalid("too many segments before the frame header");
}

Result<ClaimedSize> PsdHeaderSize(const FileHead& file) {
  // "8BPS", version, six reserved bytes, channels, then height and width.
  ByteReader r(file.Head());
  r.Skip(14);
  const int64_t height = r.U32BE();
  const int64_t width = r.U32BE();
  return Claimed(r, width, height);
}

}  // namespace kestal
