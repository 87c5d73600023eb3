#include "imageio/codecs/psd_reader.h"

#include <algorithm>
#include <bit>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/jpeg_codec.h"
#include "bitmap/flatten.h"

namespace kestal {
namespace {

enum Mode : uint16_t {
  kBitmap = 0,
  kGray = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

struct PsdHeader {
  bool large = false;  // version 2: 64-bit section lengths, 32-bit RLE row counts
  uint16_t channels = 0;
  uint32_t width = 0, height = 0;
  uint16_t depth = 0;
  uint16_t mode = 0;

  // Multichannel pictures of three or more inks show the first three as red, green and
  // blue, as other readers do; fewer show the first as grey.
  size_t ChannelsUsed() const {
    if (mode == kMultichannel) return channels >= 3 ? 3 : 1;
    return mode == kRgb || mode == kLab ? 3 : mode == kCmyk ? 4 : 1;
  }
  size_t RowBytes() const { return depth == 1 ? (size_t{width} + 7) / 8 : size_t{width} * (depth / 8); }
};

Result<PsdHeader> ParseHeader(ByteReader& r) {
  PsdHeader h;
  if (!StartsWith(r.Data(), "8BPS")) return Error::Invalid("not a Photoshop image");
  r.Skip(4);
  const uint16_t version = r.U16BE();
  r.Skip(6);
  h.channels = r.U16BE();
  h.height = r.U32BE();
  h.width = r.U32BE();
  h.depth = r.U16BE();
  h.mode = r.U16BE();
  if (r.Failed()) return Error::Truncated();
  if (version != 1 && version != 2) return Error::Unsupported("unsupported Photoshop version " + std::to_string(version));
  h.large = version == 2;
  if (h.channels < 1 || h.channels > 56) return Error::Invalid("invalid Photoshop header: " + std::to_string(h.channels) + " channels");
  if (h.depth != 1 && h.depth != 8 && h.depth != 16 && h.depth != 32) {
    return Error::Unsupported("unsupported Photoshop depth of " + std::to_string(h.depth) + " bits per channel");
  }
  switch (h.mode) {
    case kBitmap:
      if (h.depth != 1) return Error::Invalid("invalid Photoshop header: a bitmap mode image must have 1 bit per pixel");
      break;
    case kGray:
    case kIndexed:
    case kRgb:
    case kCmyk:
    case kMultichannel:
    case kDuotone:
    case kLab:
      if (h.depth == 1) return Error::Invalid("invalid Photoshop header: 1 bit per channel outside bitmap mode");
      break;
    default:
      return Error::Unsupported("unsupported Photoshop colour mode " + std::to_string(h.mode));
  }
  if (h.mode == kIndexed && h.depth != 8) return Error::Invalid("invalid Photoshop header: indexed images have 8 bits");
  if (h.channels < h.ChannelsUsed()) return Error::Invalid("invalid Photoshop header: too few channels for its colour mode");
  return h;
}

// A section given by its length (32-bit, or 64-bit when `wide`); a length past the end
// fails the reader, as Take does.
ByteSpan TakeSection(ByteReader& r, bool wide) {
  const uint64_t length = wide ? (uint64_t{r.U32BE()} << 32 | r.U32BE()) : r.U32BE();
  return r.Take(static_cast<size_t>(std::min<uint64_t>(length, uint64_t{r.Remaining()} + 1)));
}

// The layer count at the head of the layer and mask section's layer information, or 0
// when the section holds none. A negative count says that the first channel after the
// merged image's colours is its transparency.
int LayerCount(ByteSpan layers_and_masks, bool wide) {
  ByteReader r(layers_and_masks);
  const ByteSpan info = TakeSection(r, wide);
  if (r.Failed() || info.size() < 2) return 0;
  return static_cast<int16_t>(info[0] << 8 | info[1]);
}

// The image resource block `id`, or an empty span when the resources lack it or their
// list breaks off before it.
ByteSpan FindResource(ByteSpan resources, uint16_t id) {
  ByteReader r(resources);
  while (r.Remaining() >= 12) {
    if (!StartsWith(r.Take(4), "8BIM")) return {};
    const uint16_t block_id = r.U16BE();
    const uint8_t name_length = r.U8();
    r.Skip(name_length + (name_length % 2 == 0 ? 1u : 0u));  // the name is padded to an even size
    const uint32_t size = r.U32BE();
    const ByteSpan block = r.Take(size);
    r.Skip(size % 2);
    if (r.Failed()) return {};
    if (block_id == id) return block;
  }
  return {};
}

// Whether the first extra channel of the merged image is its transparency. The layer
// count's sign says so when the file has layers. A file without them (a flattened
// picture, or one from a writer that keeps no layers) has its transparency there,
// unless the alpha channel names (resource 1006, or its Unicode form 1045) list its
// extra channels: Photoshop names its saved selections and spot channels, and calls
// the merged transparency "Transparency".
bool MergedHasTransparency(ByteSpan resources, int layer_count) {
  if (layer_count != 0) return layer_count < 0;
  const ByteSpan names = FindResource(resources, 1006);
  if (names.empty()) return FindResource(resources, 1045).empty();
  static constexpr std::string_view kTransparency = "Transparency";
  return names[0] == kTransparency.size() && names.size() > kTransparency.size() &&
         std::equal(kTransparency.begin(), kTransparency.end(), names.begin() + 1);
}

// Files saved without "maximise compatibility" still hold an image data section, but
// a blank one; the version information resource (1057) says so.
bool HasRealMergedData(ByteSpan resources) {
  const ByteSpan version = FindResource(resources, 1057);
  return version.size() < 5 || version[4] != 0;
}

// PackBits: a header n of 0..127 copies n + 1 bytes, -1..-127 repeats the next byte
// 1 - n times, -128 does nothing. Output beyond the row is dropped.
bool UnpackBits(ByteSpan in, std::vector<uint8_t>& out) {
  size_t i = 0, o = 0;
  while (o < out.size()) {
    if (i >= in.size()) return false;
    const int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      const size_t count = static_cast<size_t>(n) + 1;
      if (count > in.size() - i) return false;
      std::copy_n(in.begin() + static_cast<ptrdiff_t>(i), std::min(count, out.size() - o),
                  out.begin() + static_cast<ptrdiff_t>(o));
      i += count;
      o += std::min(count, out.size() - o);
    } else if (n != -128) {
      if (i >= in.size()) return false;
      const size_t count = std::min<size_t>(1 - n, out.size() - o);
      std::fill_n(out.begin() + static_cast<ptrdiff_t>(o), count, in[i++]);
      o += count;
    }
  }
  return true;
}

// 8-bit sample x of a decoded row.
uint8_t Sample(const PsdHeader& h, const std::vector<uint8_t>& row, size_t x) {
  if (h.depth == 16) return row[2 * x];  // the high byte of a big-endian sample
  if (h.depth == 32) {
    // A big-endian float, 0 to 1 from black to full intensity.
    const uint32_t bits = uint32_t{row[4 * x]} << 24 | uint32_t{row[4 * x + 1]} << 16 |
                          uint32_t{row[4 * x + 2]} << 8 | row[4 * x + 3];
    const float v = std::bit_cast<float>(bits);
    if (!(v > 0)) return 0;  // also NaN
    return v >= 1 ? 255 : static_cast<uint8_t>(v * 255 + 0.5f);
  }
  if (h.depth == 1) return (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;  // 1 is black
  return row[x];
}

// The sections between the header and the pixels: the colour mode data (the palette
// of indexed images: 256 reds, greens, then blues), the image resources and the layers,
// of which only the layer count is read.
struct Sections {
  ByteSpan mode_data, resources;
  int layer_count = 0;
};

// Reads the sections and leaves the reader at the merged image's compression.
Result<Sections> ReadSections(ByteReader& r, const PsdHeader& h) {
  Sections s;
  const uint32_t mode_length = r.U32BE();
  s.mode_data = r.Take(mode_length);
  if (r.Failed()) return Error::Truncated();
  if (h.mode == kIndexed && s.mode_data.size() < 768) return Error::Invalid("the colour table is missing");
  const uint32_t resources_length = r.U32BE();
  s.resources = r.Take(resources_length);
  const ByteSpan layers = TakeSection(r, h.large);
  if (r.Failed()) return Error::Truncated();
  s.layer_count = LayerCount(layers, h.large);
  if (r.Remaining() == 0 || !HasRealMergedData(s.resources)) {
    return Error::Invalid("the Photoshop file holds no merged image (it was saved without maximised compatibility)");
  }
  return s;
}

// Where each row of each channel used starts in the file and how long it is, checked
// against the file before any pixel memory is allocated.
struct RowIndex {
  bool rle = false;
  size_t used = 0;  // channels decoded: the colour channels, then alpha when present
  std::vector<size_t> starts, lengths;
};

Result<RowIndex> IndexRows(ByteReader& r, const PsdHeader& h, size_t used) {
  RowIndex index;
  const uint16_t compression = r.U16BE();
  if (compression == 2 || compression == 3) return Error::Unsupported("ZIP-compressed Photoshop image data is not supported");
  if (r.Failed() || compression > 1) return Error::Invalid("unknown Photoshop compression " + std::to_string(compression));
  const size_t rows = h.height, row_bytes = h.RowBytes();
  index.rle = compression == 1;
  index.used = used;
  index.starts.resize(used * rows);
  index.lengths.assign(used * rows, row_bytes);
  if (!index.rle) {
    if (r.Remaining() / row_bytes / rows < used) return Error::Truncated();
    for (size_t i = 0; i < index.starts.size(); ++i) index.starts[i] = r.Position() + i * row_bytes;
    return index;
  }
  // RLE: a table of every channel's row lengths, then the rows.
  const size_t count_size = h.large ? 4 : 2;
  if (r.Remaining() / count_size / rows < h.channels) return Error::Truncated();
  const size_t size = r.Size();
  size_t at = r.Position() + size_t{h.channels} * rows * count_size;
  for (size_t i = 0; i < index.starts.size(); ++i) {
    index.lengths[i] = h.large ? r.U32BE() : r.U16BE();
    index.starts[i] = at;
    if (index.lengths[i] > size - std::min(at, size)) return Error::Truncated();
    at += index.lengths[i];
  }
  return index;
}

// One row of 8-bit samples per channel into a row of pixels, by the colour mode.
void ComposeRow(const PsdHeader& h, const std::vector<std::vector<uint8_t>>& planes, ByteSpan mode_data,
                uint8_t* out) {
  for (size_t x = 0; x < h.width; ++x, out += 3) {
    const uint8_t v0 = Sample(h, planes[0], x);
    if (h.mode == kRgb || (h.mode == kMultichannel && h.ChannelsUsed() == 3)) {
      out[0] = Sample(h, planes[2], x), out[1] = Sample(h, planes[1], x), out[2] = v0;
    } else if (h.mode == kCmyk) {
      // Photoshop stores CMYK inverted (255 is no ink): each colour is the product of
      // its channel and K.
      const unsigned k = Sample(h, planes[3], x);
      out[0] = static_cast<uint8_t>((Sample(h, planes[2], x) * k + 127) / 255);
      out[1] = static_cast<uint8_t>((Sample(h, planes[1], x) * k + 127) / 255);
      out[2] = static_cast<uint8_t>((v0 * k + 127) / 255);
    } else if (h.mode == kLab) {
      LabToRgb(v0, Sample(h, planes[1], x), Sample(h, planes[2], x), out);
    } else if (h.mode == kIndexed) {
      out[0] = mode_data[512 + v0], out[1] = mode_data[256 + v0], out[2] = mode_data[v0];
    } else {
      out[0] = out[1] = out[2] = v0;
    }
  }
}

// How far below 255 × (1 − alpha) a colour matted on white may lie by rounding.
constexpr int kMatteSlack = 2;

// Decodes the merged image's rows into `bitmap` and, when the file has one, its
// transparency into `alpha`. Returns whether every pixel's colour may be matted on
// white: not darker than its transparency lets white show through.
Result<bool> DecodeRows(ByteSpan data, const PsdHeader& h, const RowIndex& index, ByteSpan mode_data,
                        Bitmap24& bitmap, std::vector<uint8_t>& alpha) {
  const size_t rows = h.height;
  std::vector<std::vector<uint8_t>> planes(index.used, std::vector<uint8_t>(h.RowBytes()));
  bool matted = true;
  for (size_t y = 0; y < rows; ++y) {
    for (size_t c = 0; c < index.used; ++c) {
      const ByteSpan in = data.subspan(index.starts[c * rows + y], index.lengths[c * rows + y]);
      if (!index.rle) {
        std::copy(in.begin(), in.end(), planes[c].begin());
      } else if (!UnpackBits(in, planes[c])) {
        return Error::Invalid("invalid RLE data in row " + std::to_string(y + 1));
      }
    }
    uint8_t* out = bitmap.Row(static_cast<int32_t>(y));
    ComposeRow(h, planes, mode_data, out);
    if (alpha.empty()) continue;
    for (size_t x = 0; x < h.width; ++x, out += 3) {
      const uint8_t a = Sample(h, planes[index.used - 1], x);
      alpha[y * h.width + x] = a;
      // A colour matted on white is at least 255 × (1 − alpha) in every channel.
      if (std::min({out[0], out[1], out[2]}) + a + kMatteSlack < 255) matted = false;
    }
  }
  return matted;
}

}  // namespace

bool SniffPsd(ByteSpan data) { return StartsWith(data, "8BPS") && data.size() >= 6 && data[4] == 0 && (data[5] == 1 || data[5] == 2); }

Result<Bitmap24> ReadPsd(ByteSpan data, const PixelLimits& limits) {
  ByteReader r(data);
  auto parsed = ParseHeader(r);
  if (!parsed) return parsed.error();
  const PsdHeader& h = parsed.value();
  if (h.width == 0 || h.height == 0) return Error::Invalid("invalid Photoshop header: the picture is empty");
  if (Status s = CheckPixelSize(h.width, h.height, limits); !s) return s.error();
  auto sections = ReadSections(r, h);
  if (!sections) return sections.error();
  const ByteSpan resources = sections->resources;
  const bool has_alpha = h.channels > h.ChannelsUsed() && h.mode != kMultichannel && h.mode != kBitmap &&
                         MergedHasTransparency(resources, sections->layer_count);
  auto index = IndexRows(r, h, h.ChannelsUsed() + (has_alpha ? 1 : 0));
  if (!index) return index.error();

  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  std::vector<uint8_t> alpha(has_alpha ? size_t{h.width} * h.height : 0);
  auto matted = DecodeRows(data, h, index.value(), sections->mode_data, bitmap.value(), alpha);
  if (!matted) return matted.error();
  // Photoshop mattes the composite on white, which is already the flattened picture;
  // other writers store plain colours, recognisable by transparent pixels that are
  // not white.
  if (has_alpha && !matted.value()) FlattenOverWhite(bitmap.value(), alpha);
  // The EXIF data resource (1058, a TIFF structure) may say how the picture is turned,
  // as a camera's JPEG does.
  const int orientation = TiffOrientation(FindResource(resources, 1058));
  if (orientation != 1) return ApplyOrientation(bitmap.value(), orientation);
  return bitmap;
}

Result<ClaimedSize> PsdHeaderSize(const FileHead& file) {
  ByteReader r(file.Head());
  return SizeOf(ParseHeader(r));
}

}  // namespace kestal
