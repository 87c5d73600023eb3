#include "imageio/codecs/png_codec.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/byte_reader.h"
#include "bitmap/flatten.h"

namespace kestal {
namespace {

struct Source {
  ByteSpan data;
  size_t pos = 0;
};

struct Decoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Source src;
  char message[256] = {0};
  bool truncated = false;
  ~Decoder() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

void OnError(png_structp png, png_const_charp msg) {
  auto* d = static_cast<Decoder*>(png_get_error_ptr(png));
  std::snprintf(d->message, sizeof d->message, "%s", msg);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* d = static_cast<Decoder*>(png_get_io_ptr(png));
  if (length > d->src.data.size() - d->src.pos) {
    d->truncated = true;
    png_error(png, "truncated");  // reported from the flag
  }
  std::memcpy(out, d->src.data.data() + d->src.pos, length);
  d->src.pos += length;
}

// Reads the header and sets the transformations: 8-bit BGR or BGRA rows. Holds only
// trivially destructible locals, since libpng's errors jump out of it.
bool ReadHeader(Decoder& d, const PixelLimits& limits, png_uint_32& width, png_uint_32& height,
                int& channels, bool& interlaced) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  png_set_user_limits(d.png, static_cast<png_uint_32>(limits.max_side),
                      static_cast<png_uint_32>(limits.max_side));
  png_read_info(d.png, d.info);
  int bit_depth = 0, color_type = 0, interlace = 0;
  png_get_IHDR(d.png, d.info, &width, &height, &bit_depth, &color_type, &interlace, nullptr, nullptr);
  png_set_expand(d.png);  // palette to RGB, gray below 8 bits to 8, tRNS to alpha
  png_set_scale_16(d.png);
  png_set_gray_to_rgb(d.png);
  png_set_bgr(d.png);
  // A file gamma other than sRGB's (gAMA without sRGB or iCCP) is converted to the
  // display's 2.2, as viewers do; alpha stays linear.
  double file_gamma = 0;
  if (png_get_gAMA(d.png, d.info, &file_gamma) && file_gamma > 0 && !png_get_valid(d.png, d.info, PNG_INFO_sRGB) &&
      !png_get_valid(d.png, d.info, PNG_INFO_iCCP)) {
    png_set_gamma(d.png, PNG_DEFAULT_sRGB, file_gamma);
  }
  interlaced = interlace != PNG_INTERLACE_NONE;
  if (interlaced) png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  channels = png_get_channels(d.png, d.info);
  return true;
}

bool ReadRows(Decoder& d, png_bytepp rows, png_uint_32 height, bool interlaced) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  if (interlaced) {
    png_read_image(d.png, rows);
  } else {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(d.png, rows[y], nullptr);
  }
  return true;
}

bool ReadRow(Decoder& d, png_bytep row) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  png_read_row(d.png, row, nullptr);
  return true;
}

void StoreRow(const uint8_t* in, int channels, uint32_t width, uint8_t* out) {
  if (channels == 3) {
    std::memcpy(out, in, static_cast<size_t>(width) * 3);
    return;
  }
  for (uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
    out[0] = OverWhite(in[0], in[3]);
    out[1] = OverWhite(in[1], in[3]);
    out[2] = OverWhite(in[2], in[3]);
  }
}

// libpng allocates a chunk's whole declared length before reading it, and not every
// chunk handler applies the chunk size limit: a 300-byte file whose text chunk claims
// 2 GB would make it allocate 2 GB before it finds the file short. The file is in
// memory, so the chunks up to the first IDAT are walked here first, and one that claims
// more bytes than the file has left is refused by name. (The image data after it is
// read in pieces, so a cut-off IDAT needs no such check.)
Status CheckChunkLengths(ByteSpan data) {
  size_t pos = 8;
  while (data.size() - pos >= 8) {
    ByteReader r(data.subspan(pos, 8));
    const uint32_t length = r.U32BE();
    const char* type = reinterpret_cast<const char*>(data.data() + pos + 4);
    if (std::memcmp(type, "IDAT", 4) == 0) break;
    const size_t left = data.size() - pos - 8;
    if (length > left) {
      return Error::Truncated("the file is truncated: its \"" + std::string(type, 4) + "\" chunk claims " +
                              std::to_string(length) + " bytes, " + std::to_string(left) + " are left");
    }
    if (left - length < 4) break;  // no room for the CRC: libpng reports it
    pos += 8 + static_cast<size_t>(length) + 4;
  }
  return Status();
}

Error Failure(const Decoder& d) {
  if (d.truncated) return Error::Truncated();
  return Error::Invalid(std::string("invalid PNG data: ") + d.message);
}

}  // namespace

Result<ClaimedSize> PngHeaderSize(const FileHead& file) {
  // The signature, then IHDR first: length, "IHDR", width and height big-endian.
  const ByteSpan head = file.Head();
  ByteReader r(head);
  r.Skip(12);
  if (!StartsWith(head.subspan(std::min<size_t>(12, head.size())), "IHDR")) return Error::Invalid("no IHDR");
  r.Skip(4);
  const int64_t width = r.U32BE();
  const int64_t height = r.U32BE();
  if (r.Failed()) return Error::Truncated();
  return ClaimedSize{width, height};
}

bool SniffPng(ByteSpan data) {
  static const uint8_t kMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return StartsWith(data, ByteSpan(kMagic, 8));
}

Result<Bitmap24> ReadPng(ByteSpan data, const PixelLimits& limits) {
  if (!SniffPng(data)) return Error::Invalid("not a PNG file");
  Decoder d;
  d.src.data = data;
  // libpng's own limit check would only say "Invalid IHDR data"; say the size instead.
  if (auto claimed = PngHeaderSize(FileHead(data)); claimed) {
    if (Status s = CheckPixelSize(claimed->width, claimed->height, limits); !s) return s.error();
  }
  if (Status s = CheckChunkLengths(data); !s) return s.error();
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, OnError, OnWarning);
  if (!d.png) return Error::NoMemory("not enough memory");
  d.info = png_create_info_struct(d.png);
  if (!d.info) return Error::NoMemory("not enough memory");
  png_set_read_fn(d.png, &d, ReadFromMemory);
  // Ancillary chunks are limited in size and number, so a hostile file cannot make the
  // decoder hold large amounts of metadata.
  png_set_chunk_malloc_max(d.png, 16u << 20);
  png_set_chunk_cache_max(d.png, 1000);

  png_uint_32 width = 0, height = 0;
  int channels = 0;
  bool interlaced = false;
  if (!ReadHeader(d, limits, width, height, channels, interlaced)) return Failure(d);
  if (channels != 3 && channels != 4) return Error::Unsupported("unsupported PNG pixel layout");
  if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();
  auto bitmap = Bitmap24::Create(static_cast<int32_t>(width), static_cast<int32_t>(height), limits);
  if (!bitmap) return bitmap.error();

  const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  if (!interlaced) {
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[row_bytes]);
    if (!row) return Error::NoMemory("not enough memory");
    for (png_uint_32 y = 0; y < height; ++y) {
      if (!ReadRow(d, row.get())) return Failure(d);
      StoreRow(row.get(), channels, width, bitmap->Row(static_cast<int32_t>(y)));
    }
    return bitmap;
  }

  // Interlaced rows are only complete after the last pass, so the whole picture is
  // decoded first. Its size was checked against the limits above.
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[row_bytes * height]);
  std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height]);
  if (!pixels || !rows) return Error::NoMemory("not enough memory");
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.get() + row_bytes * y;
  if (!ReadRows(d, rows.get(), height, true)) return Failure(d);
  for (png_uint_32 y = 0; y < height; ++y) {
    StoreRow(rows[y], channels, width, bitmap->Row(static_cast<int32_t>(y)));
  }
  return bitmap;
}

}  // namespace kestal
