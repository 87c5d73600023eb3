#include "imageio/codecs/sgi_reader.h"

#include <algorithm>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"
#include "bitmap/flatten.h"

namespace kestal {
namespace {

constexpr uint16_t kMagic = 474;
constexpr size_t kHeaderSize = 512;

struct SgiHeader {
  uint8_t storage = 0;  // 0 verbatim, 1 RLE
  uint8_t bpc = 1;      // bytes per channel sample
  uint16_t width = 0, height = 0, channels = 0;
};

Result<SgiHeader> ParseHeader(ByteSpan data) {
  if (!SniffSgi(data)) return Error::Invalid("not an SGI image");
  ByteReader r(data);
  r.Skip(2);
  SgiHeader h;
  h.storage = r.U8();
  h.bpc = r.U8();
  const uint16_t dimension = r.U16BE();
  h.width = r.U16BE();
  h.height = r.U16BE();
  h.channels = r.U16BE();
  r.Skip(4 + 4 + 4 + 80);  // pixmin, pixmax, unused, name
  const uint32_t colormap = r.U32BE();
  if (r.Failed() || data.size() < kHeaderSize) return Error::Truncated();
  if (dimension < 1 || dimension > 3) return Error::Invalid("invalid SGI header: dimension " + std::to_string(dimension));
  if (dimension < 3) h.channels = 1;
  if (dimension < 2) h.height = 1;
  if (h.channels == 0) return Error::Invalid("invalid SGI header: no channels");
  if (h.width == 0 || h.height == 0) return Error::Invalid("invalid SGI header: the picture is empty");
  if (colormap != 0) return Error::Unsupported("SGI colour-map and screen images are not supported");
  return h;
}

// Expands one RLE row of `bpc`-byte samples into `out`. Samples past the row's end are
// dropped (some writers emit them). Returns false when the data ends before the row is
// complete or terminated.
bool ExpandRleRow(ByteSpan in, int bpc, std::vector<uint16_t>& out) {
  ByteReader r(in);
  size_t x = 0;
  auto sample = [&]() -> uint16_t { return bpc == 2 ? r.U16BE() : r.U8(); };
  auto put = [&](uint16_t v) {
    if (x < out.size()) out[x++] = v;
  };
  // Some writers leave out the terminator of a full row.
  while (x < out.size()) {
    const uint16_t control = sample();
    if (r.Failed()) return false;
    const size_t count = control & 0x7F;
    if (count == 0) return true;
    if (control & 0x80) {
      for (size_t i = 0; i < count; ++i) put(sample());
    } else {
      const uint16_t v = sample();
      for (size_t i = 0; i < count; ++i) put(v);
    }
    if (r.Failed()) return false;
  }
  return true;
}

// Where the rows of an RLE file lie: an offset and a length per row of each channel,
// channel by channel. Verbatim files need none; both are checked against the file
// before the picture is allocated.
struct RowTable {
  std::vector<uint32_t> starts, lengths;
};

Result<RowTable> LocateRows(ByteSpan data, const SgiHeader& h) {
  const size_t w = h.width, rows = h.height, planes = h.channels;
  RowTable t;
  if (h.storage == 0) {
    if ((data.size() - kHeaderSize) / (w * h.bpc) / rows < planes) return Error::Truncated();
    return t;
  }
  const size_t table = rows * planes;
  if ((data.size() - kHeaderSize) / 8 < table) return Error::Truncated("the RLE offset tables are truncated");
  ByteReader r(data.subspan(kHeaderSize));
  t.starts.resize(table);
  t.lengths.resize(table);
  for (auto& s : t.starts) s = r.U32BE();
  for (auto& l : t.lengths) l = r.U32BE();
  for (size_t i = 0; i < table; ++i) {
    if (t.starts[i] < kHeaderSize || t.starts[i] > data.size() || t.lengths[i] > data.size() - t.starts[i]) {
      return Error::Truncated("an RLE row lies outside the file");
    }
  }
  return t;
}

// The samples of row y (counted from the bottom) of channel z.
Status ReadRow(ByteSpan data, const SgiHeader& h, const RowTable& t, size_t z, size_t y,
               std::vector<uint16_t>& samples) {
  const size_t w = h.width, i = z * h.height + y;
  if (h.storage == 0) {
    ByteReader r(data.subspan(kHeaderSize + i * w * h.bpc));
    for (auto& s : samples) s = h.bpc == 2 ? r.U16BE() : r.U8();
    return Status::Ok();
  }
  std::fill(samples.begin(), samples.end(), 0);
  if (!ExpandRleRow(data.subspan(t.starts[i], t.lengths[i]), h.bpc, samples)) {
    return Error::Invalid("invalid RLE data in row " + std::to_string(y + 1));
  }
  return Status::Ok();
}

}  // namespace

bool SniffSgi(ByteSpan data) {
  return data.size() >= 4 && (data[0] << 8 | data[1]) == kMagic && data[2] <= 1 && (data[3] == 1 || data[3] == 2);
}

Result<Bitmap24> ReadSgi(ByteSpan data, const PixelLimits& limits) {
  auto parsed = ParseHeader(data);
  if (!parsed) return parsed.error();
  const SgiHeader& h = parsed.value();
  const size_t w = h.width, rows = h.height;
  const size_t used = std::min<size_t>(h.channels, 4);
  auto table = LocateRows(data, h);
  if (!table) return table.error();

  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  Bitmap24& b = bitmap.value();
  std::vector<uint8_t> alpha(used == 2 || used == 4 ? w * rows : 0);
  std::vector<uint16_t> samples(w);
  const uint32_t max = h.bpc == 2 ? 65535 : 255;

  for (size_t z = 0; z < used; ++z) {
    // Channels are red, green, blue, alpha; or grey and alpha.
    const bool is_alpha = (used == 2 && z == 1) || z == 3;
    for (size_t y = 0; y < rows; ++y) {
      if (Status s = ReadRow(data, h, table.value(), z, y, samples); !s) return s.error();
      // Rows are stored bottom-up; a gray picture fills all three colours.
      const int32_t dest = static_cast<int32_t>(rows - 1 - y);
      uint8_t* p = b.Row(dest);
      for (size_t x = 0; x < w; ++x) {
        const uint8_t v = ScaleTo8(samples[x], max);
        if (is_alpha) {
          alpha[static_cast<size_t>(dest) * w + x] = v;
        } else if (used <= 2) {
          p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = v;
        } else {
          p[3 * x + 2 - z] = v;  // channel 0 is red
        }
      }
    }
  }
  if (!alpha.empty()) FlattenOverWhite(b, alpha);
  return bitmap;
}

Result<ClaimedSize> SgiHeaderSize(const FileHead& file) { return SizeOf(ParseHeader(file.Head())); }

}  // namespace kestal
