#pragma once
// Autodesk Animator pictures: the original Animator's CEL and PIC files (magic 0x9119:
// a 32-byte header, a 6-bit palette, raw 8-bit pixels), Animator Pro PIC files (magic
// 0x9500: a 64-byte header and chunks) and Animator Pro CEL files, which are FLC
// animations (magic 0xAF12, or 0xAF11 for the older FLI): their first frame with its
// palette.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffAutodesk(ByteSpan data);
Result<Bitmap24> ReadAutodesk(ByteSpan data, const PixelLimits& limits);

}  // namespace kestal
