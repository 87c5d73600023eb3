#pragma once
// Truevision TGA reading and writing. Reading: image types 1, 2, 3 (uncompressed
// colour-mapped, true-colour, grayscale) and 9, 10, 11 (their RLE forms); colour maps
// of 15, 16, 24 or 32-bit entries starting at any first index; 8, 15, 16, 24 and 32
// bits per pixel; all four origins; RLE packets that cross rows; alpha as the
// descriptor and the TGA 2.0 extension area's attributes type say, flattened over
// white. Writing: an uncompressed 24-bit bottom-up file with a TGA 2.0 footer.

#include <string>
#include <vector>

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

// TGA files have no magic number; only TGA 2.0 files end with a signature.
bool SniffTga(ByteSpan data);
Result<Bitmap24> ReadTga(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> TgaHeaderSize(const FileHead& file);

std::vector<uint8_t> EncodeTga(const Bitmap24& bitmap);
Status WriteTgaFile(const std::string& path, const Bitmap24& bitmap);

}  // namespace kestal
