#pragma once
// GIF through giflib: the first image of the file, drawn on its logical screen (white
// where the image does not cover it); transparent pixels are white.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffGif(ByteSpan data);
Result<Bitmap24> ReadGif(ByteSpan data, const PixelLimits& limits);

}  // namespace kestal
