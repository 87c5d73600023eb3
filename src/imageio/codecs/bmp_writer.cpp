#include "imageio/codecs/bmp_writer.h"

#include <cstring>

#include "base/bytes.h"
#include "base/file_output.h"

namespace kestal {
namespace {

constexpr uint32_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr uint32_t kBiRgb = 0;                 // uncompressed
constexpr uint32_t kPixelsPerMetre = 2835;     // 72 dots per inch

// The two headers. A BMP's sizes are 32-bit; the pixel limits keep every picture far
// below 4 GiB, and WriteBmpFile checks it anyway.
std::vector<uint8_t> Headers(const Bitmap24& b) {
  const uint32_t image = static_cast<uint32_t>(Bitmap24Stride(b.Width()) * static_cast<size_t>(b.Height()));
  std::vector<uint8_t> h;
  h.reserve(kHeadersSize);
  ByteWriter w(h);
  // BITMAPFILEHEADER
  w.Put8('B');
  w.Put8('M');
  w.Put32LE(kHeadersSize + image);  // file size
  w.Put16LE(0);                     // reserved
  w.Put16LE(0);                     // reserved
  w.Put32LE(kHeadersSize);          // offset of the pixels
  // BITMAPINFOHEADER
  w.Put32LE(kInfoHeaderSize);
  w.Put32LE(static_cast<uint32_t>(b.Width()));
  w.Put32LE(static_cast<uint32_t>(b.Height()));  // positive: rows bottom-up
  w.Put16LE(1);                                  // planes
  w.Put16LE(24);                                 // bits per pixel
  w.Put32LE(kBiRgb);
  w.Put32LE(image);
  w.Put32LE(kPixelsPerMetre);  // horizontal resolution
  w.Put32LE(kPixelsPerMetre);  // vertical resolution
  w.Put32LE(0);                // colours used: none, no colour table
  w.Put32LE(0);                // important colours: all
  return h;
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const Bitmap24& b) {
  const size_t stride = Bitmap24Stride(b.Width());
  std::vector<uint8_t> out = Headers(b);
  out.resize(kHeadersSize + stride * static_cast<size_t>(b.Height()), 0);
  const size_t bytes = static_cast<size_t>(b.Width()) * 3;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::memcpy(out.data() + kHeadersSize + stride * static_cast<size_t>(b.Height() - 1 - y), b.Row(y), bytes);
  }
  return out;
}

Status WriteBmpFile(const std::string& path, const Bitmap24& b) {
  if (b.Empty()) return Error::Invalid("the picture is empty");
  const size_t stride = Bitmap24Stride(b.Width());
  if (stride * static_cast<size_t>(b.Height()) > 0xFFFFFFFFu - kHeadersSize) {
    return Error::OverLimit("the picture is too large for a BMP file");
  }
  OutputFile out;
  if (Status s = out.Open(path); !s) return s;
  const std::vector<uint8_t> headers = Headers(b);
  if (Status s = out.Write(headers.data(), headers.size()); !s) return s;
  // The bitmap's rows are already padded to 4 bytes with zeros, as a BMP row is.
  for (int32_t y = b.Height() - 1; y >= 0; --y) {
    if (Status s = out.Write(b.Row(y), stride); !s) return s;
  }
  return out.Commit();
}

}  // namespace kestal
