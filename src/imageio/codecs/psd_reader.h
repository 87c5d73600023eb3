#pragma once
// Photoshop documents (.psd, .pdd, and the large-document variant): the merged
// composite image that Photoshop stores after the layers, raw or RLE (PackBits), 1, 8
// or 16 bits per channel; bitmap, grayscale, indexed, RGB, CMYK (converted to RGB),
// duotone and multichannel (shown as gray from the first channel). The first channel
// after the colour channels is the composite's alpha: Photoshop's composites are
// already matted on white, other writers' are flattened over white. A file saved
// without its composite image is refused.

#include "base/bytes.h"
#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

bool SniffPsd(ByteSpan data);
Result<Bitmap24> ReadPsd(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> PsdHeaderSize(const FileHead& file);

}  // namespace kestal
