#pragma once
// JPEG through libjpeg-turbo: reading (colour, grayscale, CMYK and YCCK, with the EXIF
// orientation applied so that phone photos stand upright) and writing (baseline colour
// JFIF at quality 90).

#include <string>

#include "base/bytes.h"
#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

// The longest side the encoder writes (libjpeg's JPEG_MAX_DIMENSION).
inline constexpr int64_t kMaxJpegSide = 65500;

bool SniffJpeg(ByteSpan data);
Result<Bitmap24> ReadJpeg(ByteSpan data, const PixelLimits& limits);
// The size the frame header gives. Walks the marker segments wherever they lead,
// reading only their headers, so metadata of any size before it costs a few reads.
Result<ClaimedSize> JpegHeaderSize(const FileHead& file);
Status WriteJpegFile(const std::string& path, const Bitmap24& bitmap);

// The EXIF orientation (1 to 8) stored in an APP1 segment's payload, or 1 when there is
// none or it cannot be read.
int ExifOrientation(ByteSpan app1);
// The same from a bare EXIF TIFF structure (byte order mark first), as a Photoshop
// file's EXIF resource holds it.
int TiffOrientation(ByteSpan tiff);
// Turns a bitmap as EXIF orientation `orientation` says (2 to 8; 1 returns a copy).
Result<Bitmap24> ApplyOrientation(const Bitmap24& src, int orientation);

}  // namespace kestal
