#pragma once
// ZSoft Paintbrush (PCX): 1, 2, 4 or 8 bits per plane and 1 to 4 planes, the header's
// 16-colour (EGA) palette and the 256-colour (VGA) palette at the file's end, 24-bit
// colour as three planes (and alpha as a fourth).

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

Result<Bitmap24> ReadPcx(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> PcxHeaderSize(const FileHead& file);

}  // namespace kestal
