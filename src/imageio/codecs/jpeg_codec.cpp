#include "imageio/codecs/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "base/byte_reader.h"
#include "base/file_output.h"

namespace kestal {
namespace {

// Bounds on the walk through a JPEG's segments: ordinary files have a few dozen before
// the frame header, and a marker rarely more than one fill byte.
constexpr int kMaxJpegSegments = 1 << 16;
constexpr int kMaxJpegFillBytes = 1 << 16;

// libjpeg reports errors through error_exit, which must not return. We jump back to the
// function that called into the library; those functions hold only trivially
// destructible locals, so the jump skips no destructor.
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
  bool corrupt;                        // the entropy-coded data is damaged
  bool in_scans;                       // the header is read: markers now follow scans
  char warning[JMSG_LENGTH_MAX];       // libjpeg's words for the damage
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  // A premature end of the data is only a warning to libjpeg, which then fills the
  // rest of the picture with grey; for us the file is broken.
  if (level != -1) return;
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
      err->truncated = true;
      break;
    // Damaged picture data: libjpeg resynchronises and carries on with grey or
    // misplaced blocks, even when the file ends properly. We refuse it like a
    // truncated one. Stray bytes before a marker that follows a scan are scan data
    // the decoder never used: it lost its place in the scan and decoded the rest
    // wrongly. (Stray bytes between the header's markers leave the pixels whole and
    // are accepted.)
    case JWRN_EXTRANEOUS_DATA:
      if (!err->in_scans) break;
      [[fallthrough]];
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      if (!err->corrupt) (*cinfo->err->format_message)(cinfo, err->warning);
      err->corrupt = true;
      break;
    default:
      break;
  }
}

void Silent(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  err.pub.output_message = Silent;
  err.message[0] = '\0';
  err.truncated = false;
  err.corrupt = false;
  err.in_scans = false;
  err.warning[0] = '\0';
}

struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  bool created = false;
  int orientation = 1;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

Error LibError(const ErrorManager& err) {
  return Error::Invalid(std::string("invalid JPEG data: ") + err.message);
}

int OrientationFromMarkers(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1) {
      const int o = ExifOrientation(ByteSpan(m->data, m->data_length));
      if (o != 1) return o;
    }
  }
  return 1;
}

// Reads the header and chooses the output colour space. Returns false on a libjpeg
// error (the message is in d.err).
bool StartDecoder(Decoder& d, const uint8_t* data, size_t size) {
  if (setjmp(d.err.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&d.cinfo, TRUE);
  d.err.in_scans = true;
  // The saved markers live only until the decompression ends, so read them now.
  d.orientation = OrientationFromMarkers(d.cinfo);
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      d.cinfo.out_color_space = JCS_EXT_BGR;
      break;
  }
  return true;
}

bool Decode(Decoder& d, Bitmap24& out, uint8_t* scratch) {
  if (setjmp(d.err.jump)) return false;
  jpeg_start_decompress(&d.cinfo);
  const JDIMENSION width = d.cinfo.output_width;
  const J_COLOR_SPACE space = d.cinfo.out_color_space;
  // Adobe writes CMYK inverted (0 is full ink); other writers do not.
  const bool inverted = d.cinfo.saw_Adobe_marker;
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    const int32_t y = static_cast<int32_t>(d.cinfo.output_scanline);
    uint8_t* row = out.Row(y);
    if (space == JCS_EXT_BGR) {
      JSAMPROW rows[1] = {row};
      jpeg_read_scanlines(&d.cinfo, rows, 1);
      continue;
    }
    JSAMPROW rows[1] = {scratch};
    jpeg_read_scanlines(&d.cinfo, rows, 1);
    if (space == JCS_GRAYSCALE) {
      for (JDIMENSION x = 0; x < width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = scratch[x];
    } else {
      for (JDIMENSION x = 0; x < width; ++x) {
        unsigned c = scratch[4 * x], m = scratch[4 * x + 1], yy = scratch[4 * x + 2], k = scratch[4 * x + 3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yy = 255 - yy;
          k = 255 - k;
        }
        // Inverted values: c is 255 - cyan; red = (255 - cyan) × (255 - black) / 255.
        row[3 * x] = static_cast<uint8_t>((yy * k + 127) / 255);
        row[3 * x + 1] = static_cast<uint8_t>((m * k + 127) / 255);
        row[3 * x + 2] = static_cast<uint8_t>((c * k + 127) / 255);
      }
    }
  }
  jpeg_finish_decompress(&d.cinfo);
  return true;
}

struct Encoder {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  bool created = false;
  ~Encoder() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

bool Encode(Encoder& e, const Bitmap24& bitmap, FILE* file) {
  if (setjmp(e.err.jump)) return false;
  jpeg_create_compress(&e.cinfo);
  e.created = true;
  jpeg_stdio_dest(&e.cinfo, file);
  e.cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
  e.cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
  e.cinfo.input_components = 3;
  e.cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&e.cinfo);
  jpeg_set_quality(&e.cinfo, 90, TRUE);
  jpeg_start_compress(&e.cinfo, TRUE);
  while (e.cinfo.next_scanline < e.cinfo.image_height) {
    JSAMPROW rows[1] = {const_cast<uint8_t*>(bitmap.Row(static_cast<int32_t>(e.cinfo.next_scanline)))};
    jpeg_write_scanlines(&e.cinfo, rows, 1);
  }
  jpeg_finish_compress(&e.cinfo);
  return true;
}

}  // namespace

Result<ClaimedSize> JpegHeaderSize(const FileHead& file) {
  // Walks the marker segments (ITU T.81, B.1.1) up to the first start of frame,
  // reading each segment's marker and length only, so metadata of any size before the
  // frame header costs no more than a few reads.
  uint8_t b[5];
  if (!file.ReadAt(0, {b, 2}) || b[0] != 0xFF || b[1] != 0xD8) return Error::Invalid("no SOI");
  int64_t pos = 2;
  for (int segment = 0; segment < kMaxJpegSegments; ++segment) {
    if (!file.ReadAt(pos, {b, 2})) return Error::Truncated();
    if (b[0] != 0xFF) return Error::Invalid("no marker");
    pos += 2;
    uint8_t marker = b[1];
    for (int fill = 0; marker == 0xFF; ++fill, ++pos) {  // fill bytes
      if (fill == kMaxJpegFillBytes || !file.ReadAt(pos, {&marker, 1})) return Error::Invalid("no marker");
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (!file.ReadAt(pos, {b, 2})) return Error::Truncated();
    const uint16_t length = static_cast<uint16_t>(b[0] << 8 | b[1]);
    if (length < 2) return Error::Invalid("bad segment length");
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC): precision, height, width.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (!file.ReadAt(pos + 2, {b, 5})) return Error::Truncated();
      return ClaimedSize{int64_t{b[3]} << 8 | b[4], int64_t{b[1]} << 8 | b[2]};
    }
    if (marker == 0xDA || marker == 0xD9) return Error::Invalid("no frame header before the scan");
    pos += length;
  }
  return Error::Invalid("too many segments before the frame header");
}

bool SniffJpeg(ByteSpan data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

int ExifOrientation(ByteSpan app1) {
  if (!StartsWith(app1, "Exif") || app1.size() < 6) return 1;
  return TiffOrientation(app1.subspan(6));  // after "Exif\0\0"
}

int TiffOrientation(ByteSpan tiff) {
  ByteReader r(tiff);
  const uint16_t order = r.U16LE();
  const bool big = order == 0x4D4D;
  if (order != 0x4949 && !big) return 1;
  auto u16 = [&] { return big ? r.U16BE() : r.U16LE(); };
  auto u32 = [&] { return big ? r.U32BE() : r.U32LE(); };
  if (u16() != 42) return 1;
  const uint32_t ifd = u32();
  if (r.Failed() || ifd > r.Size() || !r.Seek(ifd)) return 1;
  const uint16_t entries = u16();
  for (uint16_t i = 0; i < entries && !r.Failed(); ++i) {
    const uint16_t tag = u16();
    const uint16_t type = u16();
    u32();  // count
    const uint16_t value = u16();
    u16();
    if (tag == 0x0112 && type == 3 && !r.Failed()) return value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

Result<Bitmap24> ApplyOrientation(const Bitmap24& src, int orientation) {
  const bool swap = orientation >= 5 && orientation <= 8;
  const int32_t w = swap ? src.Height() : src.Width();
  const int32_t h = swap ? src.Width() : src.Height();
  auto out = Bitmap24::Create(w, h, PixelLimits{INT32_MAX, INT64_MAX});
  if (!out) return out.error();
  const int32_t sw = src.Width();
  const int32_t sh = src.Height();
  // For each destination pixel, the source pixel that lands there. The orientation
  // value says where the stored picture's first row and column belong (TIFF 6.0, tag
  // 274): 2 mirrored, 3 turned 180°, 4 flipped, 5 transposed, 6 turned 90° clockwise
  // to view, 7 transversed, 8 turned 90° counter-clockwise to view.
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = out->Row(y);
    for (int32_t x = 0; x < w; ++x) {
      int32_t sx = x, sy = y;
      switch (orientation) {
        case 2: sx = sw - 1 - x; sy = y; break;
        case 3: sx = sw - 1 - x; sy = sh - 1 - y; break;
        case 4: sx = x; sy = sh - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = sh - 1 - x; break;
        case 7: sx = sw - 1 - y; sy = sh - 1 - x; break;
        case 8: sx = sw - 1 - y; sy = x; break;
        default: break;
      }
      std::memcpy(row + 3 * static_cast<size_t>(x), src.Row(sy) + 3 * static_cast<size_t>(sx), 3);
    }
  }
  return out;
}

Result<Bitmap24> ReadJpeg(ByteSpan data, const PixelLimits& limits) {
  // Only the start-of-image marker is required: libjpeg passes over stray bytes
  // before the next marker, as other decoders do. The signature that picks the
  // family by content also wants the next marker's 0xFF.
  if (data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8) return Error::Invalid("not a JPEG file");
  Decoder d;
  InitErrors(d.err);
  d.cinfo.err = &d.err.pub;
  if (!StartDecoder(d, data.data(), data.size())) return LibError(d.err);
  if (Status s = CheckPixelSize(d.cinfo.image_width, d.cinfo.image_height, limits); !s) return s.error();
  auto bitmap = Bitmap24::Create(static_cast<int32_t>(d.cinfo.image_width),
                                 static_cast<int32_t>(d.cinfo.image_height), limits);
  if (!bitmap) return bitmap.error();
  // Room for one grayscale or CMYK scan line.
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[static_cast<size_t>(d.cinfo.image_width) * 4 + 16]);
  if (!scratch) return Error::NoMemory("not enough memory");
  if (!Decode(d, bitmap.value(), scratch.get())) return LibError(d.err);
  if (d.err.truncated) return Error::Truncated();
  if (d.err.corrupt) return Error::Invalid(std::string("the picture data is damaged (") + d.err.warning + ")");
  if (d.orientation != 1) return ApplyOrientation(bitmap.value(), d.orientation);
  return bitmap;
}

Status WriteJpegFile(const std::string& path, const Bitmap24& bitmap) {
  if (bitmap.Empty()) return Error::Invalid("the picture is empty");
  if (bitmap.Width() > kMaxJpegSide || bitmap.Height() > kMaxJpegSide) {
    return Error::OverLimit("JPEG files hold at most " + std::to_string(kMaxJpegSide) + " pixels a side");
  }
  OutputFile out;
  if (Status s = out.Open(path); !s) return s;
  Encoder e;
  InitErrors(e.err);
  e.cinfo.err = &e.err.pub;
  if (!Encode(e, bitmap, out.Stream())) {
    out.Abandon();
    return Error::Invalid(std::string("the JPEG encoder failed: ") + e.err.message);
  }
  return out.Commit();
}

}  // namespace kestal
