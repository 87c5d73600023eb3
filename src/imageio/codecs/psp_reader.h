#pragma once
// Paint Shop Pro images and tubes (file format version 4 and later): the composite
// image that the file keeps beside its layers, stored as a JPEG or as colour channels
// (uncompressed, run-length or LZ77). Files without a full-size composite, and files
// of the older versions, which keep only layers, are refused with the version found.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffPsp(ByteSpan data);
Result<Bitmap24> ReadPsp(ByteSpan data, const PixelLimits& limits);

}  // namespace kestal
