#pragma once
// SGI images (.sgi, .rgb, .rgba, .bw): verbatim and RLE storage, 1 or 2 bytes per
// channel, 1 to 4 channels (gray, gray and alpha, RGB, RGBA), the RLE offset tables
// checked against the file.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffSgi(ByteSpan data);
Result<Bitmap24> ReadSgi(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> SgiHeaderSize(const FileHead& file);

}  // namespace kestal
