#include "imageio/codecs/pcd_reader.h"

#include <algorithm>
#include <cmath>

#include "base/byte_reader.h"
#include "imageio/codecs/jpeg_codec.h"

namespace kestal {
namespace {

constexpr size_t kSignatureOffset = 0x800;
constexpr size_t kOrientationOffset = 0xE02;
constexpr size_t kBaseOffset = 0x30000;
constexpr int32_t kBaseWidth = 768;
constexpr int32_t kBaseHeight = 512;
// Each pair of rows is stored as two luma rows, then one row of each chroma channel
// at half the width.
constexpr size_t kRowPairBytes = 2 * kBaseWidth + 2 * (kBaseWidth / 2);
constexpr size_t kBaseBytes = kRowPairBytes * (kBaseHeight / 2);

uint8_t Clip(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

ColorTriple PhotoYccToRgb(uint8_t luma, uint8_t chroma1, uint8_t chroma2) {
  // Kodak's PhotoYCC: luma and chroma are scaled so that reference white is 255 and
  // highlights up to 1.35 times brighter stay representable; they clip here.
  const double l = 1.3584 * luma;
  const double c1 = 2.2179 * (chroma1 - 156.0);
  const double c2 = 1.8215 * (chroma2 - 137.0);
  return ColorTriple{Clip(l + c1), Clip(l - 0.194 * c1 - 0.509 * c2), Clip(l + c2)};
}

bool SniffPcd(ByteSpan data) {
  return data.size() > kSignatureOffset + 7 && StartsWith(data.subspan(kSignatureOffset), "PCD_IPI");
}

Result<Bitmap24> ReadPcd(ByteSpan data, const PixelLimits& limits) {
  if (!SniffPcd(data)) return Error::Invalid("not a Photo-CD image pack (no PCD_IPI signature)");
  if (data.size() < kBaseOffset + kBaseBytes) {
    return Error::Truncated("the Photo-CD file is truncated: it ends before its Base image is complete");
  }
  auto bitmap = Bitmap24::Create(kBaseWidth, kBaseHeight, limits);
  if (!bitmap) return bitmap;
  const uint8_t* pair = data.data() + kBaseOffset;
  for (int32_t y = 0; y < kBaseHeight; y += 2, pair += kRowPairBytes) {
    const uint8_t* chroma1 = pair + 2 * kBaseWidth;
    const uint8_t* chroma2 = chroma1 + kBaseWidth / 2;
    for (int32_t dy = 0; dy < 2; ++dy) {
      const uint8_t* luma = pair + dy * kBaseWidth;
      for (int32_t x = 0; x < kBaseWidth; ++x) {
        bitmap->SetPixel(x, y + dy, PhotoYccToRgb(luma[x], chroma1[x / 2], chroma2[x / 2]));
      }
    }
  }
  // The low two bits of the orientation byte say how the Base must be turned to
  // stand upright: 0 not at all, 1 a quarter counter-clockwise, 2 a half turn, 3 a
  // quarter clockwise; those are the EXIF orientations 1, 8, 3 and 6.
  static constexpr int kExifOrientation[4] = {1, 8, 3, 6};
  const int orientation = kExifOrientation[data[kOrientationOffset] & 3];
  if (orientation == 1) return bitmap;
  return ApplyOrientation(bitmap.value(), orientation);
}

}  // namespace kestal
