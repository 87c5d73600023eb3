#include "imageio/codecs/tga_codec.h"

#include <algorithm>
#include <cstring>

#include "base/byte_reader.h"
#include "base/bytes.h"
#include "imageio/codecs/decode_util.h"
#include "bitmap/flatten.h"
#include "base/file_output.h"

namespace kestal {
namespace {

constexpr size_t kHeaderSize = 18;
constexpr size_t kFooterSize = 26;
constexpr char kSignature[] = "TRUEVISION-XFILE.";  // followed by a NUL

// The header's image type: what the pixels are, with kRleFlag added when they are
// run-length encoded (TGA 2.0, field 3).
enum ImageType : uint8_t {
  kNoImage = 0,
  kColorMapped = 1,
  kTrueColor = 2,
  kGrayscale = 3,
  kRleColorMapped = 9,
  kRleTrueColor = 10,
  kRleGrayscale = 11,
};
constexpr uint8_t kRleFlag = 8;

// The colour map type (field 2): whether a colour map follows the image ID.
constexpr uint8_t kNoColorMap = 0;
constexpr uint8_t kHasColorMap = 1;

// The image descriptor's bits (field 5.6): the alpha bits per pixel, and where the
// first pixel lies.
constexpr uint8_t kDescriptorAlphaBits = 0x0F;
constexpr uint8_t kDescriptorRightToLeft = 0x10;
constexpr uint8_t kDescriptorTopDown = 0x20;

struct TgaHeader {
  uint8_t id_length = 0;
  uint8_t colormap_type = 0;
  uint8_t image_type = 0;
  uint16_t colormap_first = 0;
  uint16_t colormap_length = 0;
  uint8_t colormap_bits = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t bpp = 0;
  uint8_t descriptor = 0;

  bool Rle() const { return (image_type & kRleFlag) != 0; }
  // Colour-mapped, true colour or grayscale, however stored.
  ImageType BaseType() const { return static_cast<ImageType>(image_type & ~kRleFlag); }
  size_t PixelBytes() const { return (bpp + 7u) / 8u; }
  size_t ColormapBytes() const {
    return colormap_type == kHasColorMap ? size_t{colormap_length} * ((colormap_bits + 7u) / 8u) : 0;
  }
};

// How the alpha channel is used, from the TGA 2.0 extension area's attributes type.
enum class AlphaUse { kByDescriptor, kNone, kStraight, kPremultiplied };

Result<TgaHeader> ParseHeader(ByteSpan data) {
  ByteReader r(data);
  TgaHeader h;
  h.id_length = r.U8();
  h.colormap_type = r.U8();
  h.image_type = r.U8();
  h.colormap_first = r.U16LE();
  h.colormap_length = r.U16LE();
  h.colormap_bits = r.U8();
  r.Skip(4);  // origin on screen
  h.width = r.U16LE();
  h.height = r.U16LE();
  h.bpp = r.U8();
  h.descriptor = r.U8();
  if (r.Failed()) return Error::Truncated();

  const auto invalid = [](const std::string& why) { return Error::Invalid("not a valid Targa image: " + why); };
  if (h.image_type == kNoImage) return Error::Invalid("the Targa file holds no image");
  if (h.colormap_type > kHasColorMap) return invalid("unknown colour map type");
  switch (h.image_type) {
    case kColorMapped:
    case kRleColorMapped:
      if (h.colormap_type != kHasColorMap) return invalid("a colour-mapped image without a colour map");
      if (h.bpp != 8 && h.bpp != 16) return invalid("colour-map indices of " + std::to_string(h.bpp) + " bits");
      break;
    case kTrueColor:
    case kRleTrueColor:
      if (h.bpp != 15 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) {
        return invalid(std::to_string(h.bpp) + " bits per pixel");
      }
      break;
    case kGrayscale:
    case kRleGrayscale:
      if (h.bpp != 8 && h.bpp != 16) return invalid(std::to_string(h.bpp) + "-bit grayscale");
      break;
    default:
      return Error::Unsupported("unsupported Targa image type " + std::to_string(h.image_type));
  }
  if (h.colormap_type == kHasColorMap && h.colormap_bits != 15 && h.colormap_bits != 16 && h.colormap_bits != 24 &&
      h.colormap_bits != 32) {
    return invalid("colour map entries of " + std::to_string(h.colormap_bits) + " bits");
  }
  if (h.width == 0 || h.height == 0) return invalid("the picture is empty");
  return h;
}

// Reads the attributes type of a TGA 2.0 extension area, when the file has one.
AlphaUse ExtensionAlphaUse(ByteSpan data) {
  if (data.size() < kHeaderSize + kFooterSize) return AlphaUse::kByDescriptor;
  const ByteSpan footer = data.subspan(data.size() - kFooterSize);
  if (std::memcmp(footer.data() + 8, kSignature, sizeof kSignature) != 0) return AlphaUse::kByDescriptor;
  ByteReader r(footer);
  const uint32_t ext = r.U32LE();
  // The extension area is 495 bytes; its last byte is the attributes type.
  if (ext < kHeaderSize || ext > data.size() - kFooterSize || data.size() - kFooterSize - ext < 495) {
    return AlphaUse::kByDescriptor;
  }
  switch (data[ext + 494]) {
    case 0:
    case 1:
    case 2:
      return AlphaUse::kNone;  // no alpha, or undefined data to ignore or keep
    case 3:
      return AlphaUse::kStraight;
    case 4:
      return AlphaUse::kPremultiplied;
    default:
      return AlphaUse::kByDescriptor;
  }
}

struct Pixel {
  uint8_t b = 0, g = 0, r = 0, a = 255;
};

uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// One colour of `bits` bits (8 gray, 15/16 A1R5G5B5, 24 BGR, 32 BGRA) at p.
Pixel ColorAt(const uint8_t* p, int bits, bool gray) {
  if (gray) {
    // 16-bit grayscale files hold gray and alpha bytes.
    return Pixel{p[0], p[0], p[0], bits == 16 ? p[1] : uint8_t{255}};
  }
  switch (bits) {
    case 15:
    case 16: {
      const uint32_t v = p[0] | uint32_t{p[1]} << 8;
      return Pixel{Expand5(v & 31), Expand5((v >> 5) & 31), Expand5((v >> 10) & 31),
                   static_cast<uint8_t>(v & 0x8000 ? 255 : 0)};
    }
    case 24:
      return Pixel{p[0], p[1], p[2], 255};
    default:
      return Pixel{p[0], p[1], p[2], p[3]};
  }
}

struct Decoder {
  const TgaHeader& h;
  std::vector<Pixel> colormap;
  Bitmap24& out;
  std::vector<uint8_t>& alpha;
  size_t next = 0;  // pixels written, in file order
  size_t col = 0, line = 0;  // the next pixel's column and line in file order

  Pixel Lookup(const uint8_t* p) const {
    if (h.BaseType() != kColorMapped) return ColorAt(p, h.bpp, h.BaseType() == kGrayscale);
    const uint32_t index = h.bpp == 8 ? p[0] : uint32_t{p[0]} | uint32_t{p[1]} << 8;
    const uint32_t i = index - h.colormap_first;
    return index >= h.colormap_first && i < colormap.size() ? colormap[i] : Pixel{0, 0, 0, 255};
  }
  // Stores the next pixel in file order where the descriptor's origin puts it.
  void Put(Pixel px) {
    const size_t w = h.width;
    const size_t x = h.descriptor & kDescriptorRightToLeft ? w - 1 - col : col;
    const size_t y = h.descriptor & kDescriptorTopDown ? line : h.height - 1 - line;
    uint8_t* d = out.Row(static_cast<int32_t>(y)) + 3 * x;
    d[0] = px.b;
    d[1] = px.g;
    d[2] = px.r;
    if (!alpha.empty()) alpha[y * w + x] = px.a;
    ++next;
    if (++col == w) col = 0, ++line;
  }
};

// RLE packets may cross rows; runs are clamped to the pixels left.
Status DecodeRle(ByteReader& r, Decoder& d, size_t total) {
  const size_t bytes = d.h.PixelBytes();
  while (d.next < total) {
    const uint8_t packet = r.U8();
    if (r.Failed()) return Error::Truncated("the compressed pixel data is truncated");
    const size_t count = std::min<size_t>((packet & 0x7F) + 1u, total - d.next);
    if (packet & 0x80) {
      auto p = r.Take(bytes);
      if (p.empty()) return Error::Truncated("the compressed pixel data is truncated");
      const Pixel px = d.Lookup(p.data());
      for (size_t i = 0; i < count; ++i) d.Put(px);
    } else {
      auto p = r.Take(bytes * ((packet & 0x7F) + 1u));
      if (p.empty()) return Error::Truncated("the compressed pixel data is truncated");
      for (size_t i = 0; i < count; ++i) d.Put(d.Lookup(p.data() + i * bytes));
    }
  }
  return Status::Ok();
}

// Whether the alpha values decoded are to be applied.
bool AlphaApplies(const TgaHeader& h, AlphaUse use, const std::vector<uint8_t>& alpha) {
  if (use == AlphaUse::kNone) return false;
  const bool mapped32 = h.BaseType() == kColorMapped && h.colormap_bits == 32;
  const bool mapped16 = h.BaseType() == kColorMapped && h.colormap_bits == 16;
  const bool has_channel = h.bpp == 32 || (h.bpp == 16 && h.BaseType() != kColorMapped) || mapped32 || mapped16;
  if (!has_channel || h.bpp == 15) return false;
  // Without an extension area the descriptor's alpha bit count decides; many writers
  // leave it 0 for 32-bit pixels whose fourth byte is padding. A 32-bit colour map's
  // alpha is used whatever the descriptor says, since writers describe only the
  // indices there.
  if (use == AlphaUse::kByDescriptor && (h.descriptor & kDescriptorAlphaBits) == 0 && !mapped32) return false;
  // An alpha channel that is zero everywhere is padding too.
  return std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 0; });
}

}  // namespace

bool SniffTga(ByteSpan data) {
  return data.size() >= kHeaderSize + kFooterSize &&
         std::memcmp(data.data() + data.size() - kFooterSize + 8, kSignature, sizeof kSignature) == 0;
}

Result<Bitmap24> ReadTga(ByteSpan data, const PixelLimits& limits) {
  auto parsed = ParseHeader(data);
  if (!parsed) return parsed.error();
  const TgaHeader& h = parsed.value();
  if (Status s = CheckPixelSize(h.width, h.height, limits); !s) return s.error();
  ByteReader r(data);
  r.Skip(kHeaderSize + h.id_length);
  auto map_bytes = r.Take(h.ColormapBytes());
  if (r.Failed()) return Error::Truncated();

  // The pixel data must be able to cover the picture before anything is allocated: a
  // packet of 1 + pixel bytes covers at most 128 pixels.
  const size_t total = size_t{h.width} * h.height;
  const size_t need = h.Rle() ? (total + 127) / 128 * (1 + h.PixelBytes()) : total * h.PixelBytes();
  if (r.Remaining() < need) return Error::Truncated();

  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  // Only pixels of 16 or 32 bits, or mapped to such entries, can carry alpha.
  const bool may_have_alpha = h.bpp == 16 || h.bpp == 32 || h.colormap_bits == 16 || h.colormap_bits == 32;
  std::vector<uint8_t> alpha(may_have_alpha ? total : 0, 255);
  Decoder d{h, {}, bitmap.value(), alpha};
  if (h.BaseType() == kColorMapped) {
    const size_t entry = (h.colormap_bits + 7u) / 8u;
    d.colormap.reserve(h.colormap_length);
    for (size_t i = 0; i < h.colormap_length; ++i) {
      d.colormap.push_back(ColorAt(map_bytes.data() + i * entry, h.colormap_bits, false));
    }
  }
  if (h.Rle()) {
    if (Status s = DecodeRle(r, d, total); !s) return s.error();
  } else if (h.BaseType() == kTrueColor && h.bpp == 24 && !(h.descriptor & kDescriptorRightToLeft)) {
    // Uncompressed BGR rows, the layout our writer and most programs use, are copied.
    const uint8_t* p = r.Take(need).data();
    const size_t row = size_t{h.width} * 3;
    for (size_t line = 0; line < h.height; ++line, p += row) {
      const size_t y = h.descriptor & kDescriptorTopDown ? line : h.height - 1 - line;
      std::memcpy(bitmap->Row(static_cast<int32_t>(y)), p, row);
    }
  } else {
    const uint8_t* p = r.Take(need).data();
    for (size_t i = 0; i < total; ++i) d.Put(d.Lookup(p + i * h.PixelBytes()));
  }

  const AlphaUse use = ExtensionAlphaUse(data);
  if (!alpha.empty() && AlphaApplies(h, use, alpha)) {
    FlattenOverWhite(bitmap.value(), alpha,
                     use == AlphaUse::kPremultiplied ? AlphaStorage::kPremultiplied : AlphaStorage::kStraight);
  }
  return bitmap;
}

std::vector<uint8_t> EncodeTga(const Bitmap24& b) {
  const size_t row = static_cast<size_t>(b.Width()) * 3;
  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + row * static_cast<size_t>(b.Height()) + kFooterSize);
  ByteWriter w(out);
  w.Put8(0);  // no image ID
  w.Put8(kNoColorMap);
  w.Put8(kTrueColor);
  w.PutZeros(5);  // colour map fields: first entry, length, entry size
  w.Put16LE(0);   // x origin
  w.Put16LE(0);   // y origin
  w.Put16LE(static_cast<uint16_t>(b.Width()));
  w.Put16LE(static_cast<uint16_t>(b.Height()));
  w.Put8(24);  // bits per pixel
  w.Put8(0);   // descriptor: bottom-left origin, no alpha bits
  for (int32_t y = b.Height() - 1; y >= 0; --y) w.PutBytes(b.Row(y), row);
  // TGA 2.0 footer without extension or developer areas: it marks the file as Targa.
  w.Put32LE(0);  // extension area offset: none
  w.Put32LE(0);  // developer directory offset: none
  w.PutBytes(kSignature, sizeof kSignature);
  return out;
}

Status WriteTgaFile(const std::string& path, const Bitmap24& bitmap) {
  if (bitmap.Empty()) return Error::Invalid("the picture is empty");
  if (bitmap.Width() > 0xFFFF || bitmap.Height() > 0xFFFF) {
    return Error::OverLimit("a Targa file holds at most 65535 × 65535 pixels");
  }
  const std::vector<uint8_t> bytes = EncodeTga(bitmap);
  OutputFile out;
  if (Status s = out.Open(path); !s) return s;
  if (Status s = out.Write(bytes.data(), bytes.size()); !s) return s;
  return out.Commit();
}

Result<ClaimedSize> TgaHeaderSize(const FileHead& file) { return SizeOf(ParseHeader(file.Head())); }

}  // namespace kestal
