#pragma once
// Dr. Halo CUT pictures: a 6-byte header (width, height, a reserved word) and one
// run-length coded line of 8-bit colour indices per row. The colours live in a PAL
// file of the same name beside it; without one, the indices are shown as grey levels
// (or as black and white when only indices 0 and 1 occur).

#include <string>

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "bitmap/palette.h"

namespace kestal {

// The picture in grey levels (no palette file is known from bytes alone).
Result<Bitmap24> ReadDrHalo(ByteSpan data, const PixelLimits& limits);
// The picture with the colours of the PAL file beside `path`, when there is one.
Result<Bitmap24> ReadDrHaloFile(const std::string& path, ByteSpan data, const PixelLimits& limits);

// Decodes with a palette already read; nullptr means none.
Result<Bitmap24> DecodeDrHalo(ByteSpan data, const Palette* palette, const PixelLimits& limits);
// Reads a Dr. Halo PAL file ("AH" signature, a 40-byte header, then 16-bit levels
// scaled by the header's maxima, laid out in 512-byte blocks that no entry straddles).
Result<Palette> ReadDrHaloPalette(ByteSpan data);

}  // namespace kestal
