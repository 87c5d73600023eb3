#pragma once
// PNG through libpng: every colour type and bit depth, palettes with transparency,
// interlaced files; alpha flattened over white.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffPng(ByteSpan data);
Result<Bitmap24> ReadPng(ByteSpan data, const PixelLimits& limits);

}  // namespace kestal
