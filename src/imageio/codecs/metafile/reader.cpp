#include "imageio/codecs/metafile/reader.h"

#include "imageio/codecs/metafile/records.h"

namespace kestal {

bool SniffMetafile(ByteSpan data) {
  ByteReader in(data);
  return in.U32LE() == metafile::kPlaceableKey || metafile::IsEmf(data);
}

Result<ClaimedSize> MetafileHeaderSize(const FileHead& file) {
  if (metafile::IsEmf(file.Head())) return metafile::EmfHeaderSize(file);
  return metafile::WmfHeaderSize(file);
}

Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits, const metafile::PlayOptions& options,
                              metafile::PlayStats& stats) {
  if (metafile::IsEmf(data)) return metafile::PlayEmf(data, limits, options, stats);
  return metafile::PlayWmf(data, limits, options, stats);
}

Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits) {
  metafile::PlayStats stats;
  return ReadMetafile(data, limits, metafile::PlayOptions{}, stats);
}

}  // namespace kestal
