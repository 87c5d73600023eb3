#include "imageio/codecs/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
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

// Reads records up to the first image descriptor, keeping the transparent colour of
// the graphic control extension before it (-1: none).
Result<int> SeekFirstImage(GifFileType* gif) {
  int transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return GifFailure(gif->Error);
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return GifFailure(gif->Error);
      return transparent;
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

}  // namespace

bool SniffGif(ByteSpan data) { return StartsWith(data, "GIF87a") || StartsWith(data, "GIF89a"); }

Result<Bitmap24> ReadGif(ByteSpan data, const PixelLimits& limits) {
  if (!SniffGif(data)) return Error::Invalid("not a GIF image");
  Source src{data, 0};
  auto opened = Open(src);
  if (!opened) return opened.error();
  GifPtr gif = std::move(opened.value());
  auto transparent = SeekFirstImage(gif.get());
  if (!transparent) return transparent.error();

  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  if (!map || !map->Colors) return Error::Invalid("invalid GIF data: the image has no colour table");
  if (desc.Width <= 0 || desc.Height <= 0) return Error::Invalid("invalid GIF data: the image is empty");
  // The picture is the logical screen, grown to hold an image that overflows it.
  const int64_t width = std::max<int64_t>(gif->SWidth, int64_t{desc.Left} + desc.Width);
  const int64_t height = std::max<int64_t>(gif->SHeight, int64_t{desc.Top} + desc.Height);
  auto bitmap = CreateFromHeader(width, height, limits);
  if (!bitmap) return bitmap.error();
  bitmap->Fill(ColorTriple{255, 255, 255});

  std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
  // Interlaced images store rows 0, 8, 16... then 4, 12... then 2, 6... then 1, 3...
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = desc.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
    for (int y = start; y < desc.Height; y += step) {
      if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) return GifFailure(gif->Error);
      uint8_t* out = bitmap->Row(desc.Top + y) + 3 * static_cast<size_t>(desc.Left);
      for (int x = 0; x < desc.Width; ++x, out += 3) {
        const int index = line[static_cast<size_t>(x)];
        if (index == transparent.value()) continue;  // stays white
        const GifColorType c = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
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
