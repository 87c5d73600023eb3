#include "imageio/codecs/ico_reader.h"

#include "imageio/codecs/bmp_reader.h"
#include "base/byte_reader.h"
#include "imageio/codecs/png_codec.h"

#include <algorithm>
#include <span>

namespace kestal {
namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kEntrySize = 16;

struct Entry {
  uint32_t width = 0, height = 0, bpp = 0;
  uint32_t size = 0, offset = 0;
};

// The entry's depth: the directory's, or when that is 0, the DIB header's.
uint32_t EntryDepth(const FileHead& file, const Entry& e) {
  if (e.bpp != 0) return e.bpp;
  uint8_t bpp[2];
  if (!file.ReadAt(int64_t{e.offset} + 14, bpp)) return 0;
  return uint32_t{bpp[0]} | uint32_t{bpp[1]} << 8;
}

// The image the icon is read as: the largest, and of equal sizes the deepest.
Result<Entry> PickEntry(const FileHead& file) {
  ByteReader r(file.Head());
  const uint16_t reserved = r.U16LE(), type = r.U16LE(), count = r.U16LE();
  if (r.Failed() || reserved != 0 || (type != 1 && type != 2)) return Error::Invalid("not an icon file");
  if (count == 0) return Error::Invalid("the icon file holds no image");
  if (r.Remaining() / kEntrySize < count) return Error::Truncated();
  Entry best;
  bool found = false;
  for (uint16_t i = 0; i < count; ++i) {
    Entry e;
    e.width = r.U8();
    e.height = r.U8();
    r.Skip(4);  // colour count, reserved, planes or hot spot x
    e.bpp = r.U16LE();
    e.size = r.U32LE();
    e.offset = r.U32LE();
    if (e.width == 0) e.width = 256;  // 0 stands for 256
    if (e.height == 0) e.height = 256;
    if (e.offset < kHeaderSize || e.offset >= file.Size()) continue;
    e.bpp = EntryDepth(file, e);
    const uint64_t area = uint64_t{e.width} * e.height, best_area = uint64_t{best.width} * best.height;
    if (!found || area > best_area || (area == best_area && e.bpp > best.bpp)) {
      best = e;
      found = true;
    }
  }
  if (!found) return Error::Truncated("every image of the icon file lies outside the file");
  // An image that runs past the end of the file was cut short.
  if (best.size > file.Size() - best.offset) return Error::Truncated("the icon's image is cut short");
  return best;
}

}  // namespace

bool SniffIco(ByteSpan data) {
  if (data.size() < kHeaderSize + kEntrySize) return false;
  ByteReader r(data);
  const uint16_t reserved = r.U16LE(), type = r.U16LE(), count = r.U16LE();
  r.Skip(3);
  const uint8_t entry_reserved = r.U8();
  return reserved == 0 && (type == 1 || type == 2) && count > 0 && entry_reserved == 0;
}

Result<Bitmap24> ReadIco(ByteSpan data, const PixelLimits& limits) {
  auto entry = PickEntry(FileHead(data));
  if (!entry) return entry.error();
  const ByteSpan image = data.subspan(entry->offset, entry->size);
  if (SniffPng(image)) return ReadPng(image, limits);
  return ReadIconDib(image, limits);
}

Result<ClaimedSize> IcoHeaderSize(const FileHead& file) {
  // The chosen image's own header: an embedded PNG's, or the DIB's.
  auto entry = PickEntry(file);
  if (!entry) return entry.error();
  uint8_t head[kMaxDibHeaderBytes];
  const std::span<uint8_t> image(head, std::min<size_t>(entry->size, sizeof head));
  if (!file.ReadAt(entry->offset, image)) return Error::Truncated();
  if (SniffPng(image)) return PngHeaderSize(FileHead(image));
  return IconDibSize(image);
}

}  // namespace kestal
