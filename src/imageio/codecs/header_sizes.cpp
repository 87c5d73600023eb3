#include "imageio/codecs/header_sizes.h"

#include <cstdlib>

#include "base/byte_reader.h"

namespace kestal {
namespace {

Result<ClaimedSize> Claimed(const ByteReader& r, int64_t width, int64_t height) {
  if (r.Failed()) return Error::Truncated();
  return ClaimedSize{width, height};
}

}  // namespace

Result<ClaimedSize> PngHeaderSize(ByteSpan head) {
  // The signature, then IHDR first: length, "IHDR", width and height big-endian.
  ByteReader r(head);
  r.Skip(12);
  if (!StartsWith(head.subspan(std::min<size_t>(12, head.size())), "IHDR")) return Error::Invalid("no IHDR");
  r.Skip(4);
  const int64_t width = r.U32BE();
  const int64_t height = r.U32BE();
  return Claimed(r, width, height);
}

Result<ClaimedSize> GifHeaderSize(ByteSpan head) {
  // "GIF87a" or "GIF89a", then the logical screen's width and height.
  ByteReader r(head);
  r.Skip(6);
  const int64_t width = r.U16LE();
  const int64_t height = r.U16LE();
  return Claimed(r, width, height);
}

Result<ClaimedSize> BmpHeaderSize(ByteSpan head) {
  // The 14-byte file header, then the DIB header: its size says the layout. OS/2's
  // 12-byte core header has 16-bit sizes; the others 32-bit, the height negative for
  // top-down rows.
  ByteReader r(head);
  r.Skip(14);
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

Result<ClaimedSize> JpegHeaderSize(ByteSpan head) {
  // Walks the marker segments (ITU T.81, B.1.1) up to the first start of frame.
  ByteReader r(head);
  if (r.U8() != 0xFF || r.U8() != 0xD8) return Error::Invalid("no SOI");
  while (!r.Failed()) {
    if (r.U8() != 0xFF) return Error::Invalid("no marker");
    uint8_t marker = r.U8();
    while (marker == 0xFF && !r.Failed()) marker = r.U8();  // fill bytes
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    const uint16_t length = r.U16BE();
    if (length < 2) return Error::Invalid("bad segment length");
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC): precision, height, width.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      r.U8();
      const int64_t height = r.U16BE();
      const int64_t width = r.U16BE();
      return Claimed(r, width, height);
    }
    if (marker == 0xDA || marker == 0xD9) return Error::Invalid("no frame header before the scan");
    r.Skip(length - 2u);
  }
  return Error::Truncated();
}

Result<ClaimedSize> PsdHeaderSize(ByteSpan head) {
  // "8BPS", version, six reserved bytes, channels, then height and width.
  ByteReader r(head);
  r.Skip(14);
  const int64_t height = r.U32BE();
  const int64_t width = r.U32BE();
  return Claimed(r, width, height);
}

}  // namespace kestal
