#pragma once
// Wavefront RLA and RPF files: a 740-byte big-endian header, a table of scanline
// offsets, and per scanline one run-length record for each channel. Colour and matte
// channels of 8, 10 or 16 bits (any width up to 16) and 32-bit float are read; the
// active window is placed in the full frame, whose uncovered part stays white, as do
// transparent pixels (the matte is composited over white). Auxiliary channels are ignored.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

Result<Bitmap24> ReadRla(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> RlaHeaderSize(const FileHead& file);

}  // namespace kestal
