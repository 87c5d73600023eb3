#include "imageio/codecs/rla_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "bitmap/flatten.h"

namespace kestal {
namespace {

constexpr size_t kHeaderSize = 740;
constexpr int16_t kFloatChannels = 4;
// One scanline holds at most three colour channels and one matte channel, each as
// wide as a float.
constexpr int kMaxChannels = 4;

struct Window {
  int32_t left, right, bottom, top;
  int32_t Width() const { return right - left + 1; }
  int32_t Height() const { return top - bottom + 1; }
};

// The samples of one kind of channel: how many, and how each is stored.
struct ChannelKind {
  int count = 0;
  int bits = 8;
  bool isFloat = false;
  int Bytes() const { return isFloat ? 4 : (bits + 7) / 8; }
};

struct Header {
  Window frame;
  Window active;
  ChannelKind color;
  ChannelKind matte;
};

Window ReadWindow(ByteReader& in) {
  Window w;
  w.left = in.S16BE();
  w.right = in.S16BE();
  w.bottom = in.S16BE();
  w.top = in.S16BE();
  return w;
}

Result<Header> ReadHeader(ByteSpan data) {
  ByteReader in(data);
  if (data.size() < kHeaderSize) return Error::Truncated("the RLA file is shorter than its header");
  Header h;
  h.frame = ReadWindow(in);
  h.active = ReadWindow(in);
  in.Skip(2);  // frame number
  const int16_t colorType = in.S16BE();
  h.color.count = in.S16BE();
  h.matte.count = in.S16BE();
  in.Seek(658);
  const int16_t colorBits = in.S16BE();
  const int16_t matteType = in.S16BE();
  const int16_t matteBits = in.S16BE();

  h.color.isFloat = colorType == kFloatChannels;
  h.matte.isFloat = matteType == kFloatChannels;
  // Files from before the bit-depth fields existed leave them zero: 8 bits then.
  h.color.bits = colorBits == 0 ? 8 : colorBits;
  h.matte.bits = matteBits == 0 ? 8 : matteBits;

  if (h.frame.Width() <= 0 || h.frame.Height() <= 0) return Error::Invalid("the RLA image window is empty");
  if (h.active.Width() <= 0 || h.active.Height() <= 0) return Error::Invalid("the RLA active window is empty");
  if (h.color.count != 1 && h.color.count != 3) {
    return Error::Unsupported("unsupported number of RLA colour channels: " + std::to_string(h.color.count));
  }
  if (h.matte.count < 0 || h.matte.count > 1) {
    return Error::Unsupported("unsupported number of RLA matte channels: " + std::to_string(h.matte.count));
  }
  for (const ChannelKind* k : {&h.color, &h.matte}) {
    if (!k->isFloat && (k->bits < 1 || k->bits > 16)) {
      return Error::Unsupported("unsupported RLA channel depth: " + std::to_string(k->bits) + " bits");
    }
  }
  return h;
}

// Decodes one channel's run-length record into `width` samples of `bytes` bytes each,
// stored big-endian at `out + x * stride`. Integer channels wider than a byte are coded
// as one byte plane after another, most significant first. A count byte c >= 0 repeats
// the next byte c + 1 times; c < 0 copies -c bytes. Float channels are stored raw.
bool DecodeChannel(ByteSpan record, int32_t width, int bytes, bool isFloat, uint8_t* out, size_t stride) {
  if (isFloat) {
    if (record.size() < static_cast<size_t>(width) * 4) return false;
    for (int32_t x = 0; x < width; ++x) std::memcpy(out + x * stride, record.data() + 4 * x, 4);
    return true;
  }
  size_t e = 0;
  for (int b = 0; b < bytes; ++b) {
    int32_t x = 0;
    while (x < width) {
      if (e >= record.size()) return false;
      const auto count = static_cast<int8_t>(record[e++]);
      if (count >= 0) {
        if (e >= record.size()) return false;
        const uint8_t v = record[e++];
        for (int i = 0; i <= count && x < width; ++i, ++x) out[x * stride + b] = v;
      } else {
        for (int i = 0; i < -count && x < width; ++i, ++x) {
          if (e >= record.size()) return false;
          out[x * stride + b] = record[e++];
        }
      }
    }
  }
  return true;
}

// A stored sample as an 8-bit level.
uint8_t Level(const uint8_t* sample, const ChannelKind& kind) {
  if (kind.bits == 8 && !kind.isFloat) return sample[0];
  if (kind.isFloat) {
    const uint32_t u = uint32_t{sample[0]} << 24 | uint32_t{sample[1]} << 16 | uint32_t{sample[2]} << 8 | sample[3];
    const float f = std::bit_cast<float>(u);
    if (!(f > 0.0f)) return 0;  // also NaN
    return f >= 1.0f ? 255 : static_cast<uint8_t>(std::lround(f * 255.0f));
  }
  uint32_t v = 0;
  for (int i = 0; i < kind.Bytes(); ++i) v = v << 8 | sample[i];
  return ScaleTo8(v, (uint32_t{1} << kind.bits) - 1);
}

}  // namespace

Result<Bitmap24> ReadRla(ByteSpan data, const PixelLimits& limits) {
  auto header = ReadHeader(data);
  if (!header) return header.error();
  const Header& h = header.value();
  if (Status s = CheckPixelSize(h.frame.Width(), h.frame.Height(), limits); !s) return s.error();
  const int32_t activeWidth = h.active.Width();
  const int32_t activeHeight = h.active.Height();
  if (int64_t{activeHeight} * 4 > static_cast<int64_t>(data.size() - kHeaderSize)) {
    return Error::Truncated("the RLA file is truncated (its scanline table is incomplete)");
  }
  // The active window may reach outside the frame; only the part inside it is drawn,
  // but every scanline is decoded at its stored width, so the work it asks for must
  // stay within the same limits as a picture.
  if (Status s = CheckPixelSize(activeWidth, activeHeight, limits); !s) return s.error();

  auto bitmap = Bitmap24::Create(h.frame.Width(), h.frame.Height(), limits);
  if (!bitmap) return bitmap;
  bitmap->Fill(ColorTriple{255, 255, 255});

  // One decoded scanline: kMaxChannels samples of up to 4 bytes per pixel. Every
  // channel's record fills all its samples or fails, so no sample is read unset.
  const size_t stride = kMaxChannels * 4;
  std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[static_cast<size_t>(activeWidth) * stride]);
  if (!line) return Error::NoMemory("not enough memory");

  ByteReader table(data.subspan(kHeaderSize));
  for (int32_t i = 0; i < activeHeight; ++i) {
    const uint32_t offset = table.U32BE();
    ByteReader in(data);
    if (!in.Seek(offset)) return Error::Truncated("the RLA file is truncated (a scanline lies past its end)");
    const int channels = h.color.count + h.matte.count;
    for (int c = 0; c < channels; ++c) {
      const ChannelKind& kind = c < h.color.count ? h.color : h.matte;
      const uint16_t length = in.U16BE();
      ByteSpan record = in.Take(length);
      if (in.Failed() || !DecodeChannel(record, activeWidth, kind.Bytes(), kind.isFloat, line.get() + 4 * c, stride)) {
        return Error::Truncated("the RLA file is truncated or corrupt (scanline " + std::to_string(i) + ")");
      }
    }
    // Scanlines are stored from the bottom of the active window up.
    const int64_t y = int64_t{h.frame.top} - (int64_t{h.active.bottom} + i);
    if (y < 0 || y >= bitmap->Height()) continue;
    uint8_t* row = bitmap->Row(static_cast<int32_t>(y));
    for (int32_t x = 0; x < activeWidth; ++x) {
      const int64_t fx = int64_t{h.active.left} - h.frame.left + x;
      if (fx < 0 || fx >= bitmap->Width()) continue;
      const uint8_t* px = line.get() + x * stride;
      const uint8_t r = Level(px, h.color);
      const uint8_t g = h.color.count == 3 ? Level(px + 4, h.color) : r;
      const uint8_t b = h.color.count == 3 ? Level(px + 8, h.color) : r;
      const uint8_t a = h.matte.count ? Level(px + 4 * h.color.count, h.matte) : 255;
      uint8_t* out = row + 3 * fx;
      out[0] = OverWhite(b, a);
      out[1] = OverWhite(g, a);
      out[2] = OverWhite(r, a);
    }
  }
  return bitmap;
}

Result<ClaimedSize> RlaHeaderSize(const FileHead& file) {
  auto header = ReadHeader(file.Head());
  if (!header) return header.error();
  return ClaimedSize{header->frame.Width(), header->frame.Height()};
}

}  // namespace kestal
