#pragma once
// PNG through libpng: every colour type and bit depth, palettes with transparency,
// interlaced files; alpha flattened over white.

#include "base/bytes.h"
#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffPng(ByteSpan data);
Result<Bitmap24> ReadPng(ByteSpan data, const PixelLimits& limits);
// The size IHDR gives, read before libpng is started.
Result<ClaimedSize> PngHeaderSize(const FileHead& file);

}  // namespace kestal
