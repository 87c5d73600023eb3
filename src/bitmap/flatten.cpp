#include "bitmap/flatten.h"

#include <algorithm>

namespace kestal {

void FlattenOverWhite(Bitmap24& bitmap, ByteSpan alpha, AlphaStorage storage) {
  const size_t w = static_cast<size_t>(bitmap.Width());
  if (w == 0) return;
  const size_t rows = std::min(static_cast<size_t>(bitmap.Height()), alpha.size() / w);
  for (size_t y = 0; y < rows; ++y) {
    uint8_t* p = bitmap.Row(static_cast<int32_t>(y));
    const uint8_t* a = alpha.data() + y * w;
    for (size_t x = 0; x < w; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        p[c] = storage == AlphaStorage::kPremultiplied ? static_cast<uint8_t>(std::min(255, p[c] + 255 - a[x]))
                                                       : OverWhite(p[c], a[x]);
      }
    }
  }
}

}  // namespace kestal
