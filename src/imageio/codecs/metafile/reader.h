#pragma once
// Windows metafiles: WMF (with or without the placeable header) and EMF, drawn at 96
// dots per inch on a white picture of the metafile's frame size. Vector graphics,
// text and bitmaps are drawn; records the player does not draw are skipped and
// counted. A malformed file is refused.

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/metafile/player.h"

namespace kestal {

bool SniffMetafile(ByteSpan data);
Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits);
Result<ClaimedSize> MetafileHeaderSize(const FileHead& file);
// The same with a limit on the records read, telling what was skipped.
Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits, const metafile::PlayOptions& options,
                              metafile::PlayStats& stats);

}  // namespace kestal
