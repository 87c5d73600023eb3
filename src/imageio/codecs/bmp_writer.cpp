#include "imageio/codecs/bmp_writer.h"

#include <cstring>

#include "base/file_output.h"

namespace kestal {
namespace {

constexpr uint32_t kHeadersSize = 14 + 40;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The two headers. A BMP's sizes are 32-bit; the pixel limits keep every picture far
// below 4 GiB, and WriteBmpFile checks it anyway.
void FillHeaders(uint8_t* h, const Bitmap24& b) {
  const uint32_t image = static_cast<uint32_t>(Bitmap24Stride(b.Width()) * static_cast<size_t>(b.Height()));
  std::memset(h, 0, kHeadersSize);
  h[0] = 'B';
  h[1] = 'M';
  Put32(h + 2, kHeadersSize + image);  // file size
  Put32(h + 10, kHeadersSize);         // offset of the pixels
  Put32(h + 14, 40);                   // BITMAPINFOHEADER
  Put32(h + 18, static_cast<uint32_t>(b.Width()));
  Put32(h + 22, static_cast<uint32_t>(b.Height()));  // positive: rows bottom-up
  Put16(h + 26, 1);                    // planes
  Put16(h + 28, 24);                   // bits per pixel
  Put32(h + 30, 0);                    // BI_RGB
  Put32(h + 34, image);
  // 2835 pixels per metre is 72 dots per inch.
  Put32(h + 38, 2835);
  Put32(h + 42, 2835);
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const Bitmap24& b) {
  const size_t stride = Bitmap24Stride(b.Width());
  std::vector<uint8_t> out(kHeadersSize + stride * static_cast<size_t>(b.Height()), 0);
  FillHeaders(out.data(), b);
  const size_t bytes = static_cast<size_t>(b.Width()) * 3;
  for (int32_t y = 0; y < b.Height(); ++y) {
    std::memcpy(out.data() + kHeadersSize + stride * static_cast<size_t>(b.Height() - 1 - y), b.Row(y), bytes);
  }
  return out;
}

Status WriteBmpFile(const std::string& path, const Bitmap24& b) {
  if (b.Empty()) return MakeError("the picture is empty");
  const size_t stride = Bitmap24Stride(b.Width());
  if (stride * static_cast<size_t>(b.Height()) > 0xFFFFFFFFu - kHeadersSize) {
    return MakeError("the picture is too large for a BMP file");
  }
  OutputFile out;
  if (Status s = out.Open(path); !s) return s;
  uint8_t headers[kHeadersSize];
  FillHeaders(headers, b);
  if (Status s = out.Write(headers, sizeof headers); !s) return s;
  // The bitmap's rows are already padded to 4 bytes with zeros, as a BMP row is.
  for (int32_t y = b.Height() - 1; y >= 0; --y) {
    if (Status s = out.Write(b.Row(y), stride); !s) return s;
  }
  return out.Commit();
}

}  // namespace kestal
