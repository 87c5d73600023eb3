#pragma once
// Netpbm portable maps: P1 to P6 (bitmap, graymap and pixmap, ASCII and binary),
// comments anywhere in the header, maxval up to 65535; of a file holding several
// images, the first.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffPnm(ByteSpan data);
Result<Bitmap24> ReadPnm(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> PnmHeaderSize(const FileHead& file);

}  // namespace kestal
