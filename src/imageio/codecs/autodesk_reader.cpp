#include "imageio/codecs/autodesk_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/byte_reader.h"
#include "bitmap/palette.h"

namespace kestal {
namespace {

constexpr uint16_t kAnimatorMagic = 0x9119;
constexpr uint16_t kProPictureMagic = 0x9500;
constexpr uint16_t kFliMagic = 0xAF11;
constexpr uint16_t kFlcMagic = 0xAF12;
constexpr uint16_t kFrameChunk = 0xF1FA;

// Frame sub-chunk types of FLI and FLC animations.
enum FrameChunkType : uint16_t {
  kColor256 = 4,
  kDeltaWords = 7,   // FLI_SS2
  kColor64 = 11,
  kDeltaLines = 12,  // FLI_LC
  kBlack = 13,
  kByteRun = 15,     // FLI_BRUN
  kCopy = 16,
};

// Animator Pro PIC chunk types.
enum PictureChunkType : uint16_t { kPicColorMap = 0, kPicBytePixels = 1, kPicBitPixels = 2 };

uint16_t U16At(ByteSpan data, size_t pos) {
  return data.size() >= pos + 2 ? static_cast<uint16_t>(data[pos] | data[pos + 1] << 8) : 0;
}

Error Truncated() { return Error::Truncated("the Animator file is truncated"); }

Status CheckPictureSize(uint32_t width, uint32_t height, const PixelLimits& limits) {
  if (width == 0 || height == 0) return Error::Invalid("the Animator picture has no pixels (its size is 0)");
  return CheckPixelSize(width, height, limits);
}

// Allocates the picture after checking its size; the indices are decoded into the
// bitmap's own rows (see ExpandIndicesInPlace).
Result<Bitmap24> CreatePicture(uint32_t width, uint32_t height, const PixelLimits& limits) {
  if (Status s = CheckPictureSize(width, height, limits); !s) return s.error();
  return Bitmap24::Create(static_cast<int32_t>(width), static_cast<int32_t>(height), limits);
}

Result<Bitmap24> Finish(Result<Bitmap24> bitmap, const Palette& palette) {
  ExpandIndicesInPlace(bitmap.value(), palette);
  return bitmap;
}

// Copies `count` bytes from the reader into an index row starting at x, keeping what
// lies past the row's end out of it.
bool CopyIndices(ByteReader& in, uint8_t* row, int32_t width, int32_t& x, size_t count) {
  auto bytes = in.Take(count);
  if (bytes.size() != count) return false;
  for (size_t i = 0; i < count && x < width; ++i) row[x++] = bytes[i];
  return true;
}

void FillIndices(uint8_t* row, int32_t width, int32_t& x, size_t count, uint8_t value) {
  const size_t n = std::min<size_t>(count, static_cast<size_t>(width - x));
  std::memset(row + x, value, n);
  x += static_cast<int32_t>(n);
}

// ---- Original Animator (0x9119) ----

Result<Bitmap24> ReadAnimatorPicture(ByteSpan data, const PixelLimits& limits) {
  ByteReader in(data);
  in.U16LE();  // magic
  const uint16_t width = in.U16LE();
  const uint16_t height = in.U16LE();
  in.Skip(4);  // screen position
  const uint8_t depth = in.U8();
  const uint8_t compression = in.U8();
  in.Skip(4 + 16);  // data size (implied by the dimensions) and reserved bytes
  if (in.Failed()) return Truncated();
  if (depth != 8) return Error::Unsupported("unsupported Animator pixel depth " + std::to_string(depth));
  if (compression != 0) return Error::Unsupported("unsupported Animator compression " + std::to_string(compression));
  if (in.Remaining() < 768 + static_cast<size_t>(width) * height) return Truncated();

  Palette palette(kMaxPaletteColors);
  for (unsigned i = 0; i < 256; ++i) {
    const uint8_t r = in.U8(), g = in.U8(), b = in.U8();
    SetPaletteEntry(palette, i, Widen6Bit(r), Widen6Bit(g), Widen6Bit(b));
  }
  auto bitmap = CreatePicture(width, height, limits);
  if (!bitmap) return bitmap;
  for (int32_t y = 0; y < bitmap->Height(); ++y) in.Read(bitmap->Row(y), width);
  return Finish(std::move(bitmap), palette);
}

// ---- Animator Pro PIC (0x9500) ----

Status ReadPictureChunk(ByteReader& chunk, uint16_t type, uint8_t depth, Bitmap24& bitmap,
                        Palette& palette) {
  const int32_t width = bitmap.Width();
  if (type == kPicColorMap) {
    chunk.U16LE();  // version
    for (unsigned i = 0; i < 256; ++i) {
      const uint8_t r = chunk.U8(), g = chunk.U8(), b = chunk.U8();
      SetPaletteEntry(palette, i, r, g, b);
    }
  } else if (type == kPicBytePixels && depth == 8) {
    for (int32_t y = 0; y < bitmap.Height(); ++y) chunk.Read(bitmap.Row(y), static_cast<size_t>(width));
  } else if (type == kPicBitPixels && depth == 1) {
    // Leftmost pixel in the high bit; rows padded to whole bytes. Set bits are drawn
    // with index 255 and clear ones with index 0 (black and white without a palette).
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
      auto bits = chunk.Take(rowBytes);
      if (bits.size() != rowBytes) break;
      uint8_t* row = bitmap.Row(y);
      for (int32_t x = 0; x < width; ++x) row[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    }
  }
  if (chunk.Failed()) return Truncated();
  return Status::Ok();
}

Result<Bitmap24> ReadProPicture(ByteSpan data, const PixelLimits& limits) {
  ByteReader in(data);
  in.Skip(6);  // file size, magic
  const uint16_t width = in.U16LE();
  const uint16_t height = in.U16LE();
  in.Skip(8);  // position and user id
  const uint8_t depth = in.U8();
  if (!in.Seek(64) || in.Failed()) return Truncated();
  if (depth != 8 && depth != 1) return Error::Unsupported("unsupported Animator Pro pixel depth " + std::to_string(depth));
  if (Status s = CheckPictureSize(width, height, limits); !s) return s.error();

  // The chunks are checked before the picture is allocated: they must lie inside the
  // file (each is at least its 6-byte header long, so the walk ends with the data), and
  // a pixel chunk must hold the whole picture.
  const size_t rowBytes = depth == 8 ? width : (size_t{width} + 7) / 8;
  bool havePixels = false;
  for (ByteReader walk(data.subspan(64)); walk.Remaining() >= 6;) {
    const uint32_t size = walk.U32LE();
    const uint16_t type = walk.U16LE();
    if (size < 6 || !walk.Skip(size - 6)) return Truncated();
    if (type == (depth == 8 ? kPicBytePixels : kPicBitPixels)) {
      if (size - 6 < rowBytes * height) return Truncated();
      havePixels = true;
    }
  }
  if (!havePixels) return Error::Invalid("the Animator Pro picture holds no pixel data");

  auto bitmap = CreatePicture(width, height, limits);
  if (!bitmap) return bitmap;
  Palette palette = GreyRampPalette();
  while (in.Remaining() >= 6) {
    const uint32_t size = in.U32LE();
    const uint16_t type = in.U16LE();
    ByteReader chunk(in.Take(size - 6));
    if (Status s = ReadPictureChunk(chunk, type, depth, bitmap.value(), palette); !s) return s.error();
  }
  return Finish(std::move(bitmap), palette);
}

// ---- FLI / FLC animations: the first frame ----

void ReadColorPackets(ByteReader& in, Palette& palette, bool sixBit) {
  const uint16_t packets = in.U16LE();
  unsigned index = 0;
  for (uint16_t p = 0; p < packets && !in.Failed(); ++p) {
    index += in.U8();
    unsigned count = in.U8();
    if (count == 0) count = 256;
    for (unsigned i = 0; i < count && !in.Failed(); ++i, ++index) {
      uint8_t r = in.U8(), g = in.U8(), b = in.U8();
      if (sixBit) r = Widen6Bit(r), g = Widen6Bit(g), b = Widen6Bit(b);
      if (index < 256 && !in.Failed()) SetPaletteEntry(palette, index, r, g, b);
    }
  }
}

// Byte run length: per line a (meaningless) packet count, then packets until the line
// is full. A negative count copies that many bytes, a positive one repeats one byte.
void DecodeByteRun(ByteReader& in, Bitmap24& frame) {
  const int32_t width = frame.Width();
  for (int32_t y = 0; y < frame.Height() && !in.Failed(); ++y) {
    uint8_t* row = frame.Row(y);
    in.U8();
    int32_t x = 0;
    // Each packet consumes at least one input byte, so the loop ends with the chunk.
    while (x < width && !in.Failed()) {
      const auto count = static_cast<int8_t>(in.U8());
      if (count < 0) {
        CopyIndices(in, row, width, x, static_cast<size_t>(-count));
      } else {
        const uint8_t value = in.U8();
        if (!in.Failed()) FillIndices(row, width, x, static_cast<size_t>(count), value);
      }
    }
  }
}

// Line-coded delta of the original Animator: a first line and a line count, then per
// line a start column, a packet count, and packets of (skip, count); here a positive
// count copies and a negative one repeats.
void DecodeDeltaLines(ByteReader& in, Bitmap24& frame) {
  const int32_t width = frame.Width();
  const uint32_t first = in.U16LE();
  const uint32_t lines = in.U16LE();
  for (uint32_t i = 0; i < lines && !in.Failed(); ++i) {
    const uint32_t y = first + i;
    if (y >= static_cast<uint32_t>(frame.Height())) break;
    uint8_t* row = frame.Row(static_cast<int32_t>(y));
    int32_t x = 0;
    const uint8_t packets = in.U8();
    for (unsigned p = 0; p < packets && !in.Failed(); ++p) {
      x = std::min(width, x + in.U8());
      const auto count = static_cast<int8_t>(in.U8());
      if (count >= 0) {
        CopyIndices(in, row, width, x, static_cast<size_t>(count));
      } else {
        const uint8_t value = in.U8();
        if (!in.Failed()) FillIndices(row, width, x, static_cast<size_t>(-count), value);
      }
    }
  }
}

// Word-oriented delta of Animator Pro: a count of coded lines; each line starts with
// optional words that skip lines (top bits 11) or set the last pixel of an odd-width
// line (top bits 10), then a packet count. Packets are (skip, count) with a positive
// count copying that many pixel pairs and a negative one repeating one pair.
void DecodeDeltaWords(ByteReader& in, Bitmap24& frame) {
  const int32_t width = frame.Width();
  const uint32_t lines = in.U16LE();
  int64_t y = 0;
  for (uint32_t i = 0; i < lines && !in.Failed() && y < frame.Height(); ++i) {
    uint16_t word = in.U16LE();
    int lastPixel = -1;
    // Each option word consumes two input bytes, so this loop ends with the chunk.
    while ((word & 0x8000) && !in.Failed()) {
      if (word & 0x4000) {
        y += 0x10000 - word;  // a negative count of lines to skip
      } else {
        lastPixel = word & 0xFF;
      }
      word = in.U16LE();
    }
    if (in.Failed() || y >= frame.Height()) break;
    uint8_t* row = frame.Row(static_cast<int32_t>(y));
    int32_t x = 0;
    for (uint16_t p = 0; p < word && !in.Failed(); ++p) {
      x = std::min(width, x + in.U8());
      const auto count = static_cast<int8_t>(in.U8());
      if (count >= 0) {
        CopyIndices(in, row, width, x, 2 * static_cast<size_t>(count));
      } else {
        const uint8_t a = in.U8(), b = in.U8();
        for (int n = 0; n < -count && x < width && !in.Failed(); ++n) {
          row[x++] = a;
          if (x < width) row[x++] = b;
        }
      }
    }
    if (lastPixel >= 0) row[width - 1] = static_cast<uint8_t>(lastPixel);
    ++y;
  }
}

void DecodeFrameChunk(ByteReader& in, uint16_t type, Bitmap24& frame, Palette& palette) {
  switch (type) {
    case kColor256: ReadColorPackets(in, palette, false); break;
    case kColor64: ReadColorPackets(in, palette, true); break;
    case kBlack:
      for (int32_t y = 0; y < frame.Height(); ++y) std::memset(frame.Row(y), 0, static_cast<size_t>(frame.Width()));
      break;
    case kByteRun: DecodeByteRun(in, frame); break;
    case kDeltaLines: DecodeDeltaLines(in, frame); break;
    case kDeltaWords: DecodeDeltaWords(in, frame); break;
    case kCopy:
      // Some writers size this chunk a few bytes short of the frame; what is there is
      // used and the missing pixels keep index 0.
      for (int32_t y = 0; y < frame.Height() && in.Remaining() > 0; ++y) {
        const size_t n = std::min(in.Remaining(), static_cast<size_t>(frame.Width()));
        in.Read(frame.Row(y), n);
      }
      break;
    default: break;  // postage stamps and unknown chunks are skipped
  }
}

Result<Bitmap24> ReadFlic(ByteSpan data, const PixelLimits& limits) {
  ByteReader in(data);
  in.Skip(4);
  const uint16_t magic = in.U16LE();
  in.U16LE();  // frame count
  const uint16_t width = in.U16LE();
  const uint16_t height = in.U16LE();
  const uint16_t depth = in.U16LE();
  if (!in.Seek(80)) return Truncated();
  const uint32_t firstFrame = in.U32LE();
  if (in.Failed() || data.size() < 128) return Truncated();
  if (depth != 8 && depth != 0) return Error::Unsupported("unsupported animation pixel depth " + std::to_string(depth));
  if (Status s = CheckPictureSize(width, height, limits); !s) return s.error();

  // FLC files give the first frame's offset; FLI files (and FLC files that leave it
  // out) have it right after the header, possibly behind a prefix chunk.
  size_t pos = 128;
  if (magic == kFlcMagic && firstFrame >= 128 && firstFrame < data.size()) pos = firstFrame;
  in.Seek(pos);
  Palette palette = GreyRampPalette();
  while (in.Remaining() >= 6) {
    const uint32_t size = in.U32LE();
    const uint16_t type = in.U16LE();
    if (size < 6 || size - 6 > in.Remaining()) return Truncated();
    ByteReader chunk(in.Take(size - 6));
    if (type != kFrameChunk) continue;  // prefix chunks and anything unknown
    // The picture is allocated once its first frame is known to be there.
    auto bitmap = CreatePicture(width, height, limits);
    if (!bitmap) return bitmap;
    const uint16_t subchunks = chunk.U16LE();
    chunk.Skip(8);
    for (uint16_t i = 0; i < subchunks && chunk.Remaining() >= 6; ++i) {
      const uint32_t subSize = chunk.U32LE();
      const uint16_t subType = chunk.U16LE();
      if (subSize < 6 || subSize - 6 > chunk.Remaining()) return Truncated();
      ByteReader sub(chunk.Take(subSize - 6));
      DecodeFrameChunk(sub, subType, bitmap.value(), palette);
      if (sub.Failed()) return Truncated();
    }
    if (chunk.Failed()) return Truncated();
    return Finish(std::move(bitmap), palette);
  }
  return Error::Invalid("the animation holds no frame");
}

}  // namespace

bool SniffAutodesk(ByteSpan data) {
  if (data.size() >= 32 && U16At(data, 0) == kAnimatorMagic && data[10] == 8 && data[11] == 0) return true;
  if (data.size() >= 64 && U16At(data, 4) == kProPictureMagic && (data[18] == 8 || data[18] == 1)) return true;
  const uint16_t magic = U16At(data, 4);
  return data.size() >= 128 && (magic == kFlcMagic || magic == kFliMagic) && U16At(data, 12) == 8;
}

Result<Bitmap24> ReadAutodesk(ByteSpan data, const PixelLimits& limits) {
  if (data.size() >= 2 && U16At(data, 0) == kAnimatorMagic) return ReadAnimatorPicture(data, limits);
  const uint16_t magic = U16At(data, 4);
  if (magic == kProPictureMagic) return ReadProPicture(data, limits);
  if (magic == kFlcMagic || magic == kFliMagic) return ReadFlic(data, limits);
  // .pic also names PC Paint (Pictor) pictures, which start with 0x1234.
  if (data.size() >= 2 && U16At(data, 0) == 0x1234) {
    return Error::Unsupported("PC Paint (Pictor) pictures are not supported");
  }
  return Error::Invalid("not an Autodesk Animator picture or animation");
}

}  // namespace kestal
