#include "imageio/codecs/psp_reader.h"

#include <zlib.h>

#include <algorithm>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "base/byte_reader.h"
#include "imageio/codecs/jpeg_codec.h"
#include "bitmap/palette.h"

namespace kestal {
namespace {

constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr size_t kSignatureSize = 32;
constexpr uint16_t kLayersOnlyVersion = 3, kFirstCompositeVersion = 4;

enum BlockId : uint16_t {
  kImageBlock = 0,
  kPaletteBlock = 2,
  kLayerStartBlock = 3,
  kLayerBlock = 4,
  kChannelBlock = 5,
  kCompositeImageBlock = 9,
  kCompositeBankBlock = 16,
  kCompositeAttributesBlock = 17,
  kJpegBlock = 18,
};

enum Compression : uint16_t { kNone = 0, kRunLength = 1, kLz77 = 2, kJpeg = 3 };
enum ChannelType : uint16_t { kIndexChannel = 0, kRedChannel = 1, kGreenChannel = 2, kBlueChannel = 3 };
constexpr uint16_t kImageBitmap = 0;       // as opposed to masks and alpha
constexpr uint16_t kFullComposite = 0;     // as opposed to a thumbnail

struct Block {
  uint16_t id = 0;
  ByteSpan body;
};

// The next "~BK\0" block of a v4+ file: id, total length, body. At the end of the
// data, or before bytes that are not a whole block, there is none; Damaged() tells
// the two apart afterwards.
std::optional<Block> NextBlock(ByteReader& in) {
  if (in.Remaining() < 10) return std::nullopt;
  const size_t start = in.Position();
  auto magic = in.Take(4);
  if (std::memcmp(magic.data(), "~BK\0", 4) != 0) {
    in.Seek(start);
    return std::nullopt;
  }
  Block b;
  b.id = in.U16LE();
  const uint32_t length = in.U32LE();
  b.body = in.Take(length);
  if (in.Failed()) return std::nullopt;
  return b;
}

bool Damaged(const ByteReader& in) { return in.Failed() || in.Remaining() > 0; }

// A block body starts with a chunk whose first word is its own length; sub-blocks
// follow it.
ByteReader AfterChunk(ByteSpan body, ByteReader& chunk) {
  ByteReader in(body);
  const uint32_t size = in.U32LE();
  chunk = ByteReader(body.subspan(0, std::min<size_t>(size, body.size())));
  chunk.Skip(4);
  in.Seek(size);
  return in;
}

struct Composite {
  int32_t width = 0, height = 0;
  uint16_t bitDepth = 0, compression = 0, type = 0;
};

Error Corrupt(const std::string& what) { return Error::Invalid("the Paint Shop Pro file is corrupt: " + what); }

// Run-length: a count above 128 repeats the next byte count − 128 times; otherwise
// that many bytes follow literally.
bool Unpack(ByteSpan in, uint8_t* out, size_t size) {
  size_t o = 0, i = 0;
  while (o < size && i < in.size()) {
    const uint8_t count = in[i++];
    if (count > 128) {
      if (i >= in.size()) return false;
      const size_t n = std::min<size_t>(count - 128, size - o);
      std::memset(out + o, in[i++], n);
      o += n;
    } else {
      const size_t n = std::min<size_t>({count, size - o, in.size() - i});
      std::memcpy(out + o, in.data() + i, n);
      o += n;
      i += count;
    }
  }
  return o == size;
}

bool Inflate(ByteSpan in, uint8_t* out, size_t size) {
  uLongf outSize = static_cast<uLongf>(size);
  return uncompress(out, &outSize, in.data(), static_cast<uLong>(in.size())) == Z_OK && outSize == size;
}

// Decodes one channel into a plane of width × height bytes.
bool DecodeChannel(ByteSpan data, const Composite& c, uint8_t* plane) {
  const size_t w = static_cast<size_t>(c.width), h = static_cast<size_t>(c.height);
  switch (c.compression) {
    case kNone: {
      // Uncompressed rows are padded to a multiple of four bytes.
      const size_t stride = (w + 3) & ~size_t{3};
      if (data.size() < stride * (h - 1) + w) return false;
      for (size_t y = 0; y < h; ++y) std::memcpy(plane + y * w, data.data() + y * stride, w);
      return true;
    }
    case kRunLength: return Unpack(data, plane, w * h);
    case kLz77: return Inflate(data, plane, w * h);
    default: return false;
  }
}

Result<Bitmap24> ReadChannels(ByteReader& blocks, const Composite& c, const PixelLimits& limits) {
  if (c.bitDepth != 24 && c.bitDepth != 8) {
    return Error::Unsupported("unsupported Paint Shop Pro composite depth: " + std::to_string(c.bitDepth) + " bits");
  }
  auto bitmap = Bitmap24::Create(c.width, c.height, limits);
  if (!bitmap) return bitmap;
  const size_t planeSize = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
  std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[planeSize]);
  if (!plane) return Error::NoMemory("not enough memory");
  Palette palette = GreyRampPalette();
  int channelsSeen = 0;
  while (auto block = NextBlock(blocks)) {
    ByteReader chunk(ByteSpan{});
    ByteReader rest = AfterChunk(block->body, chunk);
    if (block->id == kPaletteBlock) {
      const uint32_t entries = chunk.U32LE();
      for (uint32_t i = 0; i < entries && i < 256 && !rest.Failed(); ++i) {
        const uint8_t b = rest.U8(), g = rest.U8(), r = rest.U8();
        rest.U8();
        SetPaletteEntry(palette, i, r, g, b);
      }
      continue;
    }
    if (block->id != kChannelBlock) continue;
    const uint32_t compressedSize = chunk.U32LE();
    chunk.U32LE();  // uncompressed size
    const uint16_t bitmapType = chunk.U16LE();
    const uint16_t channelType = chunk.U16LE();
    if (chunk.Failed()) return Corrupt("a channel header is incomplete");
    if (bitmapType != kImageBitmap) continue;
    ByteSpan data = rest.Take(compressedSize);
    if (rest.Failed() || !DecodeChannel(data, c, plane.get())) return Corrupt("a channel's data is incomplete");
    // Channels go to their place in the bitmap: red, green, blue, or indices.
    const int offset = channelType == kRedChannel ? 2 : channelType == kGreenChannel ? 1 : 0;
    for (int32_t y = 0; y < c.height; ++y) {
      uint8_t* row = bitmap->Row(y);
      const uint8_t* src = plane.get() + static_cast<size_t>(y) * c.width;
      if (c.bitDepth == 8) {
        std::memcpy(row, src, static_cast<size_t>(c.width));
      } else {
        for (int32_t x = 0; x < c.width; ++x) row[3 * x + offset] = src[x];
      }
    }
    ++channelsSeen;
  }
  if (Damaged(blocks)) return Corrupt("a block of the composite image is damaged or cut short");
  if (channelsSeen == 0) return Corrupt("the composite image holds no colour channels");
  if (c.bitDepth == 8) ExpandIndicesInPlace(bitmap.value(), palette);
  return bitmap;
}

// Walks a composite bank: attribute blocks followed by the image each describes. A
// full composite is taken; a thumbnail only when it is as large as the image.
Result<Bitmap24> ReadCompositeBank(ByteSpan body, int32_t imageWidth, int32_t imageHeight,
                                   const PixelLimits& limits) {
  ByteReader chunk(ByteSpan{});
  ByteReader blocks = AfterChunk(body, chunk);
  std::optional<Composite> pending;
  while (auto block = NextBlock(blocks)) {
    if (block->id == kCompositeAttributesBlock) {
      ByteReader a(block->body);
      a.U32LE();
      Composite c;
      c.width = a.S32LE();
      c.height = a.S32LE();
      c.bitDepth = a.U16LE();
      c.compression = a.U16LE();
      a.U16LE();  // planes
      a.U32LE();  // colours
      c.type = a.U16LE();
      if (a.Failed()) return Corrupt("composite attributes are incomplete");
      const bool whole = c.type == kFullComposite || (c.width == imageWidth && c.height == imageHeight);
      pending = whole ? std::optional<Composite>(c) : std::nullopt;
      continue;
    }
    if (!pending) continue;
    const Composite c = *pending;
    pending.reset();
    if (Status s = CheckPixelSize(c.width, c.height, limits); !s) return s.error();
    if (c.width <= 0 || c.height <= 0) return Corrupt("the composite image has no pixels");
    if (block->id == kJpegBlock && c.compression == kJpeg) {
      ByteReader j(block->body);
      const uint32_t size = j.U32LE();
      const uint32_t compressedSize = j.U32LE();
      if (!j.Seek(size) || j.Failed()) return Corrupt("the JPEG composite's header is incomplete");
      ByteSpan jpeg = j.Take(compressedSize);
      if (j.Failed()) return Error::Truncated("the Paint Shop Pro file is corrupt: the JPEG composite is truncated");
      return ReadJpeg(jpeg, limits);
    }
    if (block->id == kCompositeImageBlock) {
      ByteReader inner(ByteSpan{});
      ByteReader channels = AfterChunk(block->body, inner);
      return ReadChannels(channels, c, limits);
    }
  }
  if (Damaged(blocks)) return Corrupt("a block of the composite bank is damaged or cut short");
  return Error::Unsupported("the Paint Shop Pro file holds no full-size composite image, only layers, which are not read");
}

// A block of a version 3 file: "~BK\0", id, the length of its leading data, then its
// total length. The leading data has no length word of its own.
struct Version3Block {
  uint16_t id = 0;
  ByteSpan head, rest;
};

std::optional<Version3Block> NextVersion3Block(ByteReader& in) {
  if (in.Remaining() < 14) return std::nullopt;
  const size_t start = in.Position();
  if (std::memcmp(in.Take(4).data(), "~BK\0", 4) != 0) {
    in.Seek(start);
    return std::nullopt;
  }
  Version3Block b;
  b.id = in.U16LE();
  const uint32_t head = in.U32LE(), total = in.U32LE();
  const ByteSpan body = in.Take(total);
  if (in.Failed() || head > body.size()) return std::nullopt;
  b.head = body.subspan(0, head);
  b.rest = body.subspan(head);
  return b;
}

// The one layer of a version 3 file, which keeps no composite image: its name (256
// bytes), type and rectangle, then its channel blocks, drawn on a white picture.
Result<Bitmap24> ReadVersion3Layer(const Version3Block& layer, int32_t width, int32_t height, uint16_t compression,
                                   const PixelLimits& limits) {
  ByteReader info(layer.head);
  info.Skip(256 + 1);
  const int32_t left = info.S32LE(), top = info.S32LE(), right = info.S32LE(), bottom = info.S32LE();
  if (info.Failed()) return Corrupt("the layer's attributes are incomplete");
  if (left < 0 || top < 0 || right <= left || bottom <= top || right > width || bottom > height) {
    return Corrupt("the layer lies outside the picture");
  }
  auto bitmap = Bitmap24::Create(width, height, limits);
  if (!bitmap) return bitmap;
  bitmap->Fill(ColorTriple{255, 255, 255});
  Composite c;
  c.width = right - left, c.height = bottom - top;
  c.bitDepth = 24;
  c.compression = compression;
  std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[static_cast<size_t>(c.width) * c.height]);
  if (!plane) return Error::NoMemory("not enough memory");
  ByteReader blocks(layer.rest);
  int channelsSeen = 0;
  while (auto block = NextVersion3Block(blocks)) {
    if (block->id != kChannelBlock) continue;
    ByteReader chunk(block->head);
    const uint32_t compressedSize = chunk.U32LE();
    chunk.U32LE();  // uncompressed size
    const uint16_t bitmapType = chunk.U16LE(), channelType = chunk.U16LE();
    if (chunk.Failed() || compressedSize > block->rest.size()) return Corrupt("a channel is incomplete");
    if (bitmapType != kImageBitmap || channelType < kRedChannel || channelType > kBlueChannel) continue;
    if (!DecodeChannel(block->rest.subspan(0, compressedSize), c, plane.get())) {
      return Corrupt("a channel's data is incomplete");
    }
    const int offset = channelType == kRedChannel ? 2 : channelType == kGreenChannel ? 1 : 0;
    for (int32_t y = 0; y < c.height; ++y) {
      uint8_t* row = bitmap->Row(top + y) + 3 * static_cast<size_t>(left);
      const uint8_t* src = plane.get() + static_cast<size_t>(y) * c.width;
      for (int32_t x = 0; x < c.width; ++x) row[3 * x + offset] = src[x];
    }
    ++channelsSeen;
  }
  if (Damaged(blocks)) return Corrupt("a block of the layer is damaged or cut short");
  if (channelsSeen == 0) return Corrupt("the layer holds no colour channels");
  return bitmap;
}

// A version 3 file: the image attributes, then the layers. Single-layer 24-bit files
// are read; blending several layers is not.
Result<Bitmap24> ReadVersion3(ByteReader& in, const std::string& version, const PixelLimits& limits) {
  int32_t width = 0, height = 0;
  uint16_t compression = 0, depth = 0, layers = 0;
  bool sawImage = false;
  while (auto block = NextVersion3Block(in)) {
    if (block->id == kImageBlock) {
      ByteReader image(block->head);
      width = image.S32LE();
      height = image.S32LE();
      image.Skip(8 + 1);  // resolution and its unit
      compression = image.U16LE();
      depth = image.U16LE();
      image.Skip(2 + 4 + 1 + 4 + 4);  // planes, colours, grey flag, size, active layer
      layers = image.U16LE();
      sawImage = !image.Failed();
      if (!sawImage) return Corrupt("the image attributes are incomplete");
      if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();
      if (width <= 0 || height <= 0) return Corrupt("the picture has no pixels");
      if (depth != 24) {
        return Error::Unsupported("Paint Shop Pro " + version + " files of " + std::to_string(depth) +
                                  " bits are not supported; only 24-bit ones are read");
      }
      if (layers != 1) {
        return Error::Unsupported("Paint Shop Pro " + version + " files keep no composite image, and blending their " +
                                  std::to_string(layers) + " layers is not supported");
      }
    } else if (block->id == kLayerStartBlock) {
      if (!sawImage) return Corrupt("the image attributes are missing");
      ByteReader bank(block->rest);
      while (auto layer = NextVersion3Block(bank)) {
        if (layer->id == kLayerBlock) return ReadVersion3Layer(*layer, width, height, compression, limits);
      }
      return Corrupt("the layer bank holds no layer");
    }
  }
  if (Damaged(in)) return Corrupt("a block is damaged or cut short");
  return Error::Invalid("this Paint Shop Pro file (format version " + version + ") holds no image");
}

}  // namespace

bool SniffPsp(ByteSpan data) { return StartsWith(data, kSignature); }

Result<Bitmap24> ReadPsp(ByteSpan data, const PixelLimits& limits) {
  if (!SniffPsp(data)) return Error::Invalid("not a Paint Shop Pro file");
  ByteReader in(data);
  in.Seek(kSignatureSize);
  const uint16_t major = in.U16LE();
  const uint16_t minor = in.U16LE();
  if (in.Failed()) return Error::Truncated("the Paint Shop Pro file is truncated");
  const std::string version = std::to_string(major) + "." + std::to_string(minor);
  if (major == kLayersOnlyVersion) return ReadVersion3(in, version, limits);
  if (major < kFirstCompositeVersion) {
    return Error::Unsupported("Paint Shop Pro file format version " + version +
                              " is not supported; versions 3 and later can be read");
  }
  int32_t width = 0, height = 0;
  bool sawImage = false;
  while (auto block = NextBlock(in)) {
    if (block->id == kImageBlock) {
      ByteReader image(block->body);
      image.U32LE();
      width = image.S32LE();
      height = image.S32LE();
      sawImage = !image.Failed();
    } else if (block->id == kCompositeBankBlock) {
      if (!sawImage) return Corrupt("the image attributes are missing");
      return ReadCompositeBank(block->body, width, height, limits);
    }
  }
  if (Damaged(in)) return Corrupt("a block is damaged or cut short");
  return Error::Unsupported("this Paint Shop Pro file (format version " + version +
                   ") holds no composite image, only layers, which are not read");
}

}  // namespace kestal
