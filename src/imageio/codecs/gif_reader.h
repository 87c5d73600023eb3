#pragma once
// GIF through giflib: the first image of the file, drawn on its logical screen (white
// where the image does not cover it); transparent pixels are white.

#include "base/bytes.h"
#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffGif(ByteSpan data);
Result<Bitmap24> ReadGif(ByteSpan data, const PixelLimits& limits);
// The logical screen's size, as giflib reads it when the file is opened.
Result<ClaimedSize> GifHeaderSize(const FileHead& file);

}  // namespace kestal
