#pragma once
// Windows icons (.ico, and cursors in the same container): of the images in the file,
// the largest, and of those the deepest; PNG entries through libpng, DIB entries with
// their AND mask or 32-bit alpha. Transparent pixels come out white.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffIco(ByteSpan data);
Result<Bitmap24> ReadIco(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> IcoHeaderSize(const FileHead& file);

}  // namespace kestal
