#pragma once
// Photo-CD image packs: the Base image (768 × 512, stored as PhotoYCC with chroma
// halved in both directions) converted to RGB and turned upright as the header's
// orientation field says. The higher resolutions, which need the pack's Huffman
// tables, are left out; the Base is what every pack holds.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffPcd(ByteSpan data);
Result<Bitmap24> ReadPcd(ByteSpan data, const PixelLimits& limits);

// PhotoYCC (8-bit luma and two chroma values) to 8-bit RGB, clipped.
ColorTriple PhotoYccToRgb(uint8_t luma, uint8_t chroma1, uint8_t chroma2);

}  // namespace kestal
