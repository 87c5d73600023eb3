#include "imageio/codecs/pnm_reader.h"

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {
namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the header's and the ASCII formats' numbers, skipping white space and
// comments (from '#' to the end of the line).
class TextScanner {
 public:
  explicit TextScanner(ByteSpan data, size_t pos) : data_(data), pos_(pos) {}
  size_t Position() const { return pos_; }

  void SkipSpaceAndComments() {
    while (pos_ < data_.size()) {
      if (data_[pos_] == '#') {
        while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
      } else if (IsSpace(data_[pos_])) {
        ++pos_;
      } else {
        break;
      }
    }
  }
  // A decimal number up to `max`; false when there is none or it is larger.
  bool Number(uint32_t max, uint32_t& out) {
    SkipSpaceAndComments();
    if (pos_ >= data_.size() || !IsDigit(data_[pos_])) return false;
    uint64_t v = 0;
    while (pos_ < data_.size() && IsDigit(data_[pos_])) {
      v = v * 10 + (data_[pos_++] - '0');
      if (v > max) return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
  }
  // One P1 pixel: a '0' or '1', with or without space around it.
  bool Bit(uint32_t& out) {
    SkipSpaceAndComments();
    if (pos_ >= data_.size() || (data_[pos_] != '0' && data_[pos_] != '1')) return false;
    out = data_[pos_++] - '0';
    return true;
  }

 private:
  ByteSpan data_;
  size_t pos_;
};

struct PnmHeader {
  int kind = 0;  // 1 to 6
  uint32_t width = 0, height = 0, maxval = 1;
  size_t data_offset = 0;
  bool Color() const { return kind == 3 || kind == 6; }
  bool Bitmap() const { return kind == 1 || kind == 4; }
};

Result<PnmHeader> ParseHeader(ByteSpan data) {
  // Deluxe Paint's IFF pictures also go by .pbm.
  if (StartsWith(data, "FORM")) return Error::Unsupported("IFF pictures (Deluxe Paint PBM or ILBM) are not supported");
  if (!SniffPnm(data)) return Error::Invalid("not a portable map (PBM, PGM or PPM) image");
  PnmHeader h;
  h.kind = data[1] - '0';
  TextScanner s(data, 2);
  if (!s.Number(0x7FFFFFFF, h.width) || !s.Number(0x7FFFFFFF, h.height)) {
    return Error::Invalid("the header's picture size is missing or invalid");
  }
  if (!h.Bitmap() && (!s.Number(65535, h.maxval) || h.maxval == 0)) {
    return Error::Invalid("the header's maximum value is missing or not between 1 and 65535");
  }
  h.data_offset = s.Position();
  // Binary data starts after exactly one white-space byte.
  if (h.kind >= 4) {
    if (h.data_offset >= data.size() || !IsSpace(data[h.data_offset])) return Error::Truncated();
    ++h.data_offset;
  }
  return h;
}

}  // namespace

bool SniffPnm(ByteSpan data) {
  return data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' &&
         (IsSpace(data[2]) || data[2] == '#');
}

Result<Bitmap24> ReadPnm(ByteSpan data, const PixelLimits& limits) {
  auto parsed = ParseHeader(data);
  if (!parsed) return parsed.error();
  const PnmHeader& h = parsed.value();
  if (h.width == 0 || h.height == 0) return Error::Invalid("the header gives an empty picture");
  if (Status s = CheckPixelSize(h.width, h.height, limits); !s) return s.error();

  // The data must be able to hold every sample before anything is allocated.
  const size_t channels = h.Color() ? 3 : 1;
  const size_t samples = size_t{h.width} * h.height * channels;
  const size_t sample_bytes = h.maxval > 255 ? 2 : 1;
  const size_t left = data.size() - h.data_offset;
  const size_t need = h.kind == 4   ? (size_t{h.width} + 7) / 8 * h.height
                      : h.kind >= 5 ? samples * sample_bytes
                      : h.kind == 1 ? samples
                                    : 2 * samples - 1;  // digits and separators
  if (left < need) return Error::Truncated();

  auto bitmap = CreateFromHeader(h.width, h.height, limits);
  if (!bitmap) return bitmap.error();
  Bitmap24& b = bitmap.value();
  TextScanner text(data, h.data_offset);
  ByteReader bin(data.subspan(h.data_offset));
  const size_t packed_row = (size_t{h.width} + 7) / 8;

  // 8-bit binary pixmaps, the common case, are copied a row at a time.
  if (h.kind == 6 && h.maxval == 255) {
    const uint8_t* in = data.data() + h.data_offset;
    for (uint32_t y = 0; y < h.height; ++y) {
      uint8_t* row = b.Row(static_cast<int32_t>(y));
      for (uint32_t x = 0; x < h.width; ++x, in += 3, row += 3) row[0] = in[2], row[1] = in[1], row[2] = in[0];
    }
    return bitmap;
  }
  for (uint32_t y = 0; y < h.height; ++y) {
    uint8_t* row = b.Row(static_cast<int32_t>(y));
    const uint8_t* bits = h.kind == 4 ? data.data() + h.data_offset + packed_row * y : nullptr;
    for (uint32_t x = 0; x < h.width; ++x, row += 3) {
      uint32_t v[3] = {0, 0, 0};
      for (size_t c = 0; c < channels; ++c) {
        bool ok = true;
        switch (h.kind) {
          case 1: ok = text.Bit(v[c]); break;
          case 2:
          case 3: ok = text.Number(0xFFFFFFFF, v[c]); break;
          case 4: v[c] = (bits[x / 8] >> (7 - x % 8)) & 1; break;
          default: v[c] = sample_bytes == 2 ? bin.U16BE() : bin.U8(); break;
        }
        if (!ok) return Error::Truncated("the pixel data is truncated or holds an invalid number");
      }
      if (h.Bitmap()) {
        const uint8_t g = v[0] ? 0 : 255;  // 1 is black
        row[0] = row[1] = row[2] = g;
      } else if (channels == 1) {
        row[0] = row[1] = row[2] = ScaleTo8(v[0], h.maxval);
      } else {
        row[0] = ScaleTo8(v[2], h.maxval);
        row[1] = ScaleTo8(v[1], h.maxval);
        row[2] = ScaleTo8(v[0], h.maxval);
      }
    }
  }
  return bitmap;
}

Result<ClaimedSize> PnmHeaderSize(const FileHead& file) { return SizeOf(ParseHeader(file.Head())); }

}  // namespace kestal
