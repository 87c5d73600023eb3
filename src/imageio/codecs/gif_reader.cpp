#include "imageio/codecs/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {
namespace {

struct Source {
  ByteSpan data;
  size_t pos = 0;
};

int ReadProc(GifFileType* gif, GifByteType* out, int length) {
  auto* s = static_cast<Source*>(gif->UserData);
  if (length <= 0) return 0;
  const size_t n = std::min(static_cast<size_t>(length), s->data.size() - s->pos);
  std::memcpy(out, s->data.data() + s->pos, n);
  s->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

Error GifFailure(int code) {
  if (code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON) return Error::Truncated();
  const char* text = GifErrorString(code);
  return Error::Invalid(std::string("invalid GIF data: ") + (text ? text : "unknown error"));
}

// Opens the file with giflib, which reads the header, the logical screen descriptor
// and the global colour table.
Result<GifPtr> Open(Source& src) {
  int error = 0;
  GifPtr gif(DGifOpen(&src, ReadProc, &error));
  if (!gif) return GifFailure(error);
  return gif;
}

// The first image: the transparent colour of the graphic control extension before it
// (-1: none) and where its LZW data starts in the file.
struct FirstImage {
  int transparent = -1;
  size_t lzw_at = 0;
};

// Reads records up to the first image descriptor and the image's colour table.
Result<FirstImage> SeekFirstImage(GifFileType* gif, const Source& src) {
  FirstImage image;
  int& transparent = image.transparent;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return GifFailure(gif->Error);
    if (type == IMAGE_DESC_RECORD_TYPE) {
      // The descriptor's 9 bytes, its colour table, then the LZW code size, which
      // giflib refuses above 8 after it has read the rest.
      const size_t at = src.pos;
      if (src.data.size() - at < 9) return Error::Truncated();
      const uint8_t flags = src.data[at + 8];
      image.lzw_at = at + 9 + (flags & 0x80 ? size_t{3} << ((flags & 7) + 1) : 0);
      const bool wide_codes = image.lzw_at < src.data.size() && src.data[image.lzw_at] > 8;
      if (DGifGetImageDesc(gif) == GIF_ERROR && !(wide_codes && gif->Error == D_GIF_ERR_READ_FAILED)) {
        return GifFailure(gif->Error);
      }
      return image;
    }
    if (type == TERMINATE_RECORD_TYPE) return Error::Invalid("the GIF file holds no image");
    if (type != EXTENSION_RECORD_TYPE) return Error::Invalid("invalid GIF data: unknown block");
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return GifFailure(gif->Error);
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = block[1] & 1 ? block[4] : -1;
    while (block) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return GifFailure(gif->Error);
    }
  }
}

// The LZW-compressed indices of one image (GIF89a appendix F), read from the data
// sub-blocks at `pos`: a code size byte, then blocks of up to 255 bytes until an empty
// one. Decoded here rather than by giflib, which refuses the minimum code sizes of 9
// to 11 bits that other decoders accept. Codes past the table's 4096 entries keep
// 12 bits until the next clear code.
class LzwDecoder {
 public:
  LzwDecoder(ByteSpan data, size_t pos) : data_(data), pos_(pos) {}

  Status Decode(std::vector<GifPixelType>& out) {
    if (pos_ >= data_.size()) return Error::Truncated();
    const int min_size = data_[pos_++];
    if (min_size < 1 || min_size > 11) {
      return Error::Invalid("invalid GIF data: an LZW minimum code size of " + std::to_string(min_size));
    }
    const int clear = 1 << min_size, end = clear + 1;
    int width = min_size + 1, next = clear + 2, prev = -1;
    uint8_t first = 0;
    size_t o = 0;
    while (o < out.size()) {
      int code = 0;
      if (!ReadCode(width, code)) return Error::Truncated();
      if (code == clear) {
        width = min_size + 1, next = clear + 2, prev = -1;
        continue;
      }
      if (code == end) return Error::Truncated("the GIF image data ends before its last pixel");
      if (code > next || (prev < 0 && code >= clear)) return Error::Invalid("invalid GIF data: a corrupt LZW code");
      // The string of `code` (or, for the code about to be defined, the previous
      // string and its own first index), written back to front.
      int length = 0, c = code == next ? prev : code;
      if (code == next) stack_[length++] = first;
      while (c >= clear) {
        stack_[length++] = suffix_[c];
        c = prefix_[c];
      }
      stack_[length++] = static_cast<uint8_t>(c);
      first = static_cast<uint8_t>(c);
      while (length > 0 && o < out.size()) out[o++] = stack_[--length];
      if (prev >= 0 && next < kTableSize) {
        prefix_[next] = static_cast<uint16_t>(prev);
        suffix_[next] = first;
        if (++next == 1 << width && width < 12) ++width;
      }
      prev = code;
    }
    return Status::Ok();
  }

 private:
  static constexpr int kTableSize = 4096;

  // The next `width` bits, least significant first, across sub-block boundaries.
  bool ReadCode(int width, int& code) {
    while (bits_ < width) {
      if (block_left_ == 0) {
        if (pos_ >= data_.size() || data_[pos_] == 0) return false;
        block_left_ = data_[pos_++];
      }
      if (pos_ >= data_.size()) return false;
      buffer_ |= uint32_t{data_[pos_++]} << bits_;
      bits_ += 8;
      --block_left_;
    }
    code = static_cast<int>(buffer_ & ((1u << width) - 1));
    buffer_ >>= width;
    bits_ -= width;
    return true;
  }

  ByteSpan data_;
  size_t pos_;
  uint32_t buffer_ = 0;
  int bits_ = 0, block_left_ = 0;
  uint16_t prefix_[kTableSize] = {};
  uint8_t suffix_[kTableSize] = {};
  uint8_t stack_[kTableSize + 1] = {};
};

}  // namespace

bool SniffGif(ByteSpan data) { return StartsWith(data, "GIF87a") || StartsWith(data, "GIF89a"); }

Result<Bitmap24> ReadGif(ByteSpan data, const PixelLimits& limits) {
  if (!SniffGif(data)) return Error::Invalid("not a GIF image");
  Source src{data, 0};
  auto opened = Open(src);
  if (!opened) return opened.error();
  GifPtr gif = std::move(opened.value());
  auto first = SeekFirstImage(gif.get(), src);
  if (!first) return first.error();
  const int transparent = first->transparent;

  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  // Without any colour table, index i is grey level i, as other decoders draw it.
  std::vector<GifColorType> ramp;
  if (!map || !map->Colors) {
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<GifByteType>(i);
      ramp.push_back(GifColorType{v, v, v});
    }
  }
  const GifColorType* colours = ramp.empty() ? map->Colors : ramp.data();
  const int colour_count = ramp.empty() ? map->ColorCount : 256;
  if (desc.Width <= 0 || desc.Height <= 0) return Error::Invalid("invalid GIF data: the image is empty");
  // The picture is the logical screen, grown to hold an image that overflows it.
  const int64_t width = std::max<int64_t>(gif->SWidth, int64_t{desc.Left} + desc.Width);
  const int64_t height = std::max<int64_t>(gif->SHeight, int64_t{desc.Top} + desc.Height);
  auto bitmap = CreateFromHeader(width, height, limits);
  if (!bitmap) return bitmap.error();
  bitmap->Fill(ColorTriple{255, 255, 255});

  std::vector<GifPixelType> indices(static_cast<size_t>(desc.Width) * static_cast<size_t>(desc.Height));
  auto decoder = std::make_unique<LzwDecoder>(data, first->lzw_at);
  if (Status s = decoder->Decode(indices); !s) return s.error();
  // Interlaced images store rows 0, 8, 16... then 4, 12... then 2, 6... then 1, 3...
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = desc.Interlace ? 4 : 1;
  const GifPixelType* line = indices.data();
  for (int pass = 0; pass < passes; ++pass) {
    const int start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
    for (int y = start; y < desc.Height; y += step, line += desc.Width) {
      uint8_t* out = bitmap->Row(desc.Top + y) + 3 * static_cast<size_t>(desc.Left);
      for (int x = 0; x < desc.Width; ++x, out += 3) {
        const int index = line[x];
        if (index == transparent) continue;  // stays white
        const GifColorType c = index < colour_count ? colours[index] : GifColorType{0, 0, 0};
        out[0] = c.Blue, out[1] = c.Green, out[2] = c.Red;
      }
    }
  }
  return bitmap;
}

Result<ClaimedSize> GifHeaderSize(const FileHead& file) {
  Source src{file.Head(), 0};
  auto gif = Open(src);
  if (!gif) return gif.error();
  return ClaimedSize{gif.value()->SWidth, gif.value()->SHeight};
}

}  // namespace kestal
