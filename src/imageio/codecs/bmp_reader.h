#pragma once
// BMP and DIB reading: OS/2 1.x and 2.x headers, Windows headers of 40, 52, 56, 108 and
// 124 bytes; 1, 2, 4, 8, 16, 24 and 32 bits per pixel; bit fields of any width; RLE4,
// RLE8 and the OS/2 RLE24 with their deltas; top-down rows; files without the 14-byte
// file header (.dib); embedded JPEG or PNG data. Huffman 1D (OS/2 fax) data and Utah
// RLE files (sharing the .rle extension) are refused by name.

#include "base/bytes.h"
#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffBmp(ByteSpan data);
Result<Bitmap24> ReadBmp(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> BmpHeaderSize(const FileHead& file);

// The image of an icon or cursor entry: a DIB whose height counts both the colour
// image and the 1-bit AND mask after it. Pixels the mask (or, for 32-bit entries, the
// alpha channel) makes transparent come out white.
Result<Bitmap24> ReadIconDib(ByteSpan dib, const PixelLimits& limits);
// The size of that image, from the start of the DIB: its header, and the masks after a
// 40-byte one, lie within the first kMaxDibHeaderBytes.
inline constexpr size_t kMaxDibHeaderBytes = 124 + 16;
Result<ClaimedSize> IconDibSize(ByteSpan dib);

}  // namespace kestal
