#pragma once
// Windows metafiles (WMF, with or without the placeable header, and EMF) made of
// bitmap records: each device-independent bitmap is decoded by the DIB reader and drawn,
// stretched as the record says, on a white picture of the metafile's frame size (at
// 96 dots per inch). Metafiles that draw vector graphics or text are refused by name.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffMetafile(ByteSpan data);
Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits);

}  // namespace kestal
