#pragma once
// TIFF through libtiff, from memory: the first page, any photometric interpretation and
// bit depth that libtiff's RGBA interface converts, the orientation tag honoured, alpha
// flattened over white. libtiff's warnings are dropped and its errors become values.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffTiff(ByteSpan data);
Result<Bitmap24> ReadTiff(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> TiffHeaderSize(const FileHead& file);

}  // namespace kestal
