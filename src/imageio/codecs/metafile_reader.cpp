#include "imageio/codecs/metafile_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "imageio/codecs/bmp_reader.h"
#include "base/byte_reader.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr double kScreenDpi = 96.0;
constexpr uint32_t kDibPalColors = 1;

// ---- Drawing a DIB into the picture ----

// Logical coordinates to picture pixels: x' = (x − origin) × scale + offset.
struct Mapping {
  double originX = 0, originY = 0, scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;
  double X(double x) const { return (x - originX) * scaleX + offsetX; }
  double Y(double y) const { return (y - originY) * scaleY + offsetY; }
};

struct Rect {
  int64_t x, y, w, h;
};

enum RasterOp : uint32_t {
  kSrcCopy = 0x00CC0020,
  kSrcPaint = 0x00EE0086,
  kSrcAnd = 0x008800C6,
  kSrcInvert = 0x00660046,
  kNotSrcCopy = 0x00330008,
};

uint8_t Combine(uint32_t rop, uint8_t dst, uint8_t src) {
  switch (rop) {
    case kSrcPaint: return dst | src;
    case kSrcAnd: return dst & src;
    case kSrcInvert: return dst ^ src;
    case kNotSrcCopy: return static_cast<uint8_t>(~src);
    default: return src;  // SRCCOPY and the operations a bitmap-only picture rarely uses
  }
}

// Draws the part `src` of `bitmap` into the destination rectangle given in picture
// pixels (negative sizes mirror), nearest neighbour. Work is bounded by the picture:
// only destination pixels inside it are visited.
void Blit(Bitmap24& picture, const Bitmap24& bitmap, Rect src, double dx, double dy, double dw, double dh,
          uint32_t rop) {
  if (src.w <= 0 || src.h <= 0 || dw == 0 || dh == 0) return;
  const double x0 = std::min(dx, dx + dw), x1 = std::max(dx, dx + dw);
  const double y0 = std::min(dy, dy + dh), y1 = std::max(dy, dy + dh);
  const int64_t left = std::max<int64_t>(0, std::llround(x0));
  const int64_t right = std::min<int64_t>(picture.Width(), std::llround(x1));
  const int64_t top = std::max<int64_t>(0, std::llround(y0));
  const int64_t bottom = std::min<int64_t>(picture.Height(), std::llround(y1));
  for (int64_t y = top; y < bottom; ++y) {
    const double v = (y + 0.5 - dy) / dh;  // 0..1 along the source, mirrored when dh < 0
    const int64_t sy = src.y + static_cast<int64_t>(std::floor(v * src.h));
    if (sy < 0 || sy >= bitmap.Height()) continue;
    uint8_t* out = picture.Row(static_cast<int32_t>(y));
    const uint8_t* in = bitmap.Row(static_cast<int32_t>(sy));
    for (int64_t x = left; x < right; ++x) {
      const double u = (x + 0.5 - dx) / dw;
      const int64_t sx = src.x + static_cast<int64_t>(std::floor(u * src.w));
      if (sx < 0 || sx >= bitmap.Width()) continue;
      for (int c = 0; c < 3; ++c) out[3 * x + c] = Combine(rop, out[3 * x + c], in[3 * sx + c]);
    }
  }
}

// A packed DIB from a header-and-colours block and a separate bits block.
Result<Bitmap24> DecodeDib(ByteSpan info, ByteSpan bits, uint32_t usage, const PixelLimits& limits) {
  if (usage == kDibPalColors) return MakeError("the metafile's bitmap refers to palette entries, which are not supported");
  std::vector<uint8_t> packed(info.begin(), info.end());
  packed.insert(packed.end(), bits.begin(), bits.end());
  auto dib = ReadBmp(ByteSpan(packed), limits);
  if (!dib) return MakeError("a bitmap in the metafile is unreadable: " + dib.error().cause);
  return dib;
}

Error VectorRecord(const char* kind, unsigned type) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", type);
  return MakeError(std::string("the metafile draws vector graphics or text (") + kind + " record " + hex +
                   "), and drawing those is not available: only metafiles made of bitmaps can be read");
}

Result<Bitmap24> WhitePicture(double width, double height, const PixelLimits& limits) {
  const int64_t w = std::llround(width), h = std::llround(height);
  auto picture = CreateFromHeader(w, h, limits);
  if (!picture) return MakeError("the metafile's frame size is unusable: " + picture.error().cause);
  picture->Fill(ColorTriple{255, 255, 255});
  return picture;
}

// ---- WMF ----

enum WmfRecord : uint16_t {
  kWmfEof = 0x0000,
  kWmfSetWindowOrg = 0x020B,
  kWmfSetWindowExt = 0x020C,
  kWmfDibBitBlt = 0x0940,
  kWmfDibStretchBlt = 0x0B41,
  kWmfStretchDib = 0x0F43,
  kWmfSetDibToDev = 0x0D33,
  kWmfBitBlt = 0x0922,
  kWmfStretchBlt = 0x0B23,
};

// Records that only set state (modes, colours, objects, clipping, palettes) and draw
// nothing themselves.
bool IsWmfStateRecord(uint16_t f) {
  switch (f) {
    case 0x001E: case 0x0127: case 0x0102: case 0x0103: case 0x0104: case 0x0105: case 0x0106:
    case 0x0107: case 0x0108: case 0x012E: case 0x012D: case 0x01F0: case 0x02FA: case 0x02FC:
    case 0x02FB: case 0x0201: case 0x0209: case 0x020A: case 0x020D: case 0x020E: case 0x0626:
    case 0x0416: case 0x0415: case 0x00F7: case 0x0234: case 0x0035: case 0x06FF: case 0x012C:
    case 0x0231: case 0x0149: case 0x0142: case 0x020F: case 0x0211: case 0x0220: case 0x0412:
    case 0x0410: case 0x0400: case 0x0037: case 0x0139: case 0x0228: case 0x0436:
      return true;
    default:
      return false;
  }
}

bool IsWmfBitmapRecord(uint16_t f) {
  return f == kWmfDibBitBlt || f == kWmfDibStretchBlt || f == kWmfStretchDib || f == kWmfSetDibToDev ||
         f == kWmfBitBlt || f == kWmfStretchBlt;
}

struct WmfRecordView {
  uint16_t function;
  ByteSpan params;
};

// Splits the records after the header; sizes are in 16-bit words.
Result<std::vector<WmfRecordView>> WmfRecords(ByteReader& in) {
  std::vector<WmfRecordView> records;
  while (in.Remaining() >= 6) {
    const uint32_t words = in.U32LE();
    const uint16_t function = in.U16LE();
    if (words < 3 || (words - 3) > in.Remaining() / 2) return MakeError("a metafile record runs past the end of the file");
    records.push_back({function, in.Take((words - 3) * size_t{2})});
    if (function == kWmfEof) break;
  }
  return records;
}

Status DrawWmfBitmap(const WmfRecordView& r, Bitmap24& picture, const Mapping& m, const PixelLimits& limits) {
  ByteReader p(r.params);
  uint32_t rop = kSrcCopy, usage = 0;
  int16_t srcH = 0, srcW = 0, srcY = 0, srcX = 0, dstH = 0, dstW = 0, dstY = 0, dstX = 0;
  bool bottomUpSource = false;
  switch (r.function) {
    case kWmfStretchDib:
      rop = p.U32LE();
      usage = p.U16LE();
      srcH = p.S16LE(), srcW = p.S16LE(), srcY = p.S16LE(), srcX = p.S16LE();
      dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      bottomUpSource = true;
      break;
    case kWmfDibStretchBlt:
      rop = p.U32LE();
      if (r.params.size() <= 4 + 9 * 2) return Status::Ok();  // a fill without a bitmap
      srcH = p.S16LE(), srcW = p.S16LE(), srcY = p.S16LE(), srcX = p.S16LE();
      dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      break;
    case kWmfDibBitBlt:
      rop = p.U32LE();
      if (r.params.size() <= 4 + 7 * 2) return Status::Ok();  // a fill without a bitmap
      srcY = p.S16LE(), srcX = p.S16LE(), dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      srcH = dstH, srcW = dstW;
      break;
    case kWmfSetDibToDev:
      usage = p.U16LE();
      p.Skip(4);  // scan count and start scan: the whole DIB is given
      srcY = p.S16LE(), srcX = p.S16LE(), dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      srcH = dstH, srcW = dstW;
      bottomUpSource = true;
      break;
    default:
      return MakeError("the metafile holds a device-dependent bitmap, which cannot be read");
  }
  if (p.Failed()) return MakeError("a bitmap record of the metafile is truncated");
  auto dib = DecodeDib(p.Take(p.Remaining()), ByteSpan{}, usage, limits);
  if (!dib) return dib.error();
  // StretchDIBits and SetDIBitsToDevice count the source's y from the bottom row.
  const int64_t top = bottomUpSource ? int64_t{dib->Height()} - srcY - srcH : srcY;
  const double x0 = m.X(dstX), y0 = m.Y(dstY);
  Blit(picture, dib.value(), Rect{srcX, top, srcW, srcH}, x0, y0, m.X(dstX + dstW) - x0, m.Y(dstY + dstH) - y0, rop);
  return Status::Ok();
}

Result<Bitmap24> ReadWmf(ByteSpan data, const PixelLimits& limits) {
  ByteReader in(data);
  std::optional<double> placeWidth, placeHeight;
  Mapping m;
  double bboxW = 0, bboxH = 0;
  if (in.U32LE() == kPlaceableKey) {
    in.Skip(2);
    const int16_t left = in.S16LE(), top = in.S16LE(), right = in.S16LE(), bottom = in.S16LE();
    const uint16_t inch = in.U16LE();
    in.Skip(6);
    if (in.Failed()) return MakeError("the metafile header is truncated");
    if (inch == 0) return MakeError("the metafile's placeable header gives no units per inch");
    bboxW = right - left, bboxH = bottom - top;
    placeWidth = std::abs(bboxW) * kScreenDpi / inch;
    placeHeight = std::abs(bboxH) * kScreenDpi / inch;
    m.originX = left, m.originY = top;
  } else {
    in.Seek(0);
  }
  const uint16_t type = in.U16LE();
  const uint16_t headerWords = in.U16LE();
  if (in.Failed() || (type != 1 && type != 2) || headerWords != 9) {
    return in.Failed() ? Error::Truncated("the metafile header is cut off") : MakeError("not a Windows metafile");
  }
  // The rest of the 18-byte header: version, size, object count, largest record and
  // an unused word. A file cut inside it holds no records at all.
  if (!in.Skip(14)) return Error::Truncated("the metafile header is cut off");
  auto records = WmfRecords(in);
  if (!records) return records.error();

  // The first pass finds the window (the logical size without a placeable header) and
  // refuses drawing that is not a bitmap. A metafile that draws nothing is a white frame.
  std::optional<double> windowW, windowH;
  double windowX = 0, windowY = 0;
  for (const WmfRecordView& r : records.value()) {
    ByteReader p(r.params);
    if (r.function == kWmfSetWindowExt) {
      if (!windowW) windowH = p.S16LE(), windowW = p.S16LE();
    } else if (r.function == kWmfSetWindowOrg) {
      windowY = p.S16LE(), windowX = p.S16LE();
    } else if (r.function != kWmfEof && !IsWmfStateRecord(r.function) && !IsWmfBitmapRecord(r.function)) {
      return VectorRecord("WMF", r.function);
    }
  }

  double width = 0, height = 0;
  if (placeWidth) {
    width = *placeWidth, height = *placeHeight;
    m.scaleX = bboxW != 0 ? width / bboxW : 1;
    m.scaleY = bboxH != 0 ? height / bboxH : 1;
    if (bboxW < 0) m.offsetX = width;
    if (bboxH < 0) m.offsetY = height;
  } else if (windowW && *windowW != 0 && *windowH != 0) {
    width = std::abs(*windowW), height = std::abs(*windowH);
    m.originX = windowX, m.originY = windowY;
    m.scaleX = *windowW > 0 ? 1 : -1, m.scaleY = *windowH > 0 ? 1 : -1;
    if (*windowW < 0) m.offsetX = width;
    if (*windowH < 0) m.offsetY = height;
  } else {
    return MakeError("the metafile gives no size (no placeable header and no window extent)");
  }
  auto picture = WhitePicture(width, height, limits);
  if (!picture) return picture;
  for (const WmfRecordView& r : records.value()) {
    if (r.function == kWmfEof || r.function == kWmfSetWindowExt || r.function == kWmfSetWindowOrg ||
        IsWmfStateRecord(r.function)) {
      continue;
    }
    if (Status s = DrawWmfBitmap(r, picture.value(), m, limits); !s) return s.error();
  }
  return picture;
}

// ---- EMF ----

enum EmfRecord : uint32_t {
  kEmfHeader = 1,
  kEmfSetWindowExt = 9,
  kEmfSetWindowOrg = 10,
  kEmfSetViewportExt = 11,
  kEmfSetViewportOrg = 12,
  kEmfEof = 14,
  kEmfSetMapMode = 17,
  kEmfBitBlt = 76,
  kEmfStretchBlt = 77,
  kEmfSetDibitsToDevice = 80,
  kEmfStretchDibits = 81,
  kEmfAlphaBlend = 114,
};

bool IsEmfStateRecord(uint32_t t) {
  switch (t) {
    case 9: case 10: case 11: case 12: case 13: case 16: case 17: case 18: case 19: case 20:
    case 21: case 22: case 23: case 24: case 25: case 26: case 28: case 29: case 30: case 31:
    case 32: case 33: case 34: case 35: case 36: case 37: case 38: case 39: case 40: case 48:
    case 49: case 58: case 67: case 70: case 75: case 82: case 95: case 96: case 97: case 98:
    case 99: case 100: case 101: case 102: case 110: case 115: case 116: case 117: case 120:
      return true;
    default:
      return false;
  }
}

bool IsEmfBitmapRecord(uint32_t t) {
  return t == kEmfBitBlt || t == kEmfStretchBlt || t == kEmfStretchDibits || t == kEmfSetDibitsToDevice ||
         t == kEmfAlphaBlend;
}

struct EmfState {
  int32_t mapMode = 1;  // MM_TEXT
  double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
  double viewOrgX = 0, viewOrgY = 0, viewExtX = 1, viewExtY = 1;
  // Reference-device pixels to picture pixels.
  double frameLeft = 0, frameTop = 0, scaleX = 1, scaleY = 1;

  double DeviceX(double x) const {
    const double d = mapMode >= 7 && windowExtX != 0 ? (x - windowOrgX) * viewExtX / windowExtX + viewOrgX
                                                     : x - windowOrgX + viewOrgX;
    return (d - frameLeft) * scaleX;
  }
  double DeviceY(double y) const {
    const double d = mapMode >= 7 && windowExtY != 0 ? (y - windowOrgY) * viewExtY / windowExtY + viewOrgY
                                                     : y - windowOrgY + viewOrgY;
    return (d - frameTop) * scaleY;
  }
};

// The parts of a record at (offset, size) pairs measured from the record's start.
std::optional<ByteSpan> RecordPart(ByteSpan record, uint32_t offset, uint32_t size) {
  if (offset > record.size() || size > record.size() - offset) return std::nullopt;
  return record.subspan(offset, size);
}

Status DrawEmfBitmap(uint32_t type, ByteSpan record, Bitmap24& picture, const EmfState& s, const PixelLimits& limits) {
  ByteReader p(record);
  p.Skip(8 + 16);  // type, size, bounds
  int32_t dstX = 0, dstY = 0, dstW = 0, dstH = 0, srcX = 0, srcY = 0, srcW = 0, srcH = 0;
  uint32_t rop = kSrcCopy, usage = 0, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
  bool bottomUpSource = false;
  if (type == kEmfStretchDibits || type == kEmfSetDibitsToDevice) {
    dstX = p.S32LE(), dstY = p.S32LE(), srcX = p.S32LE(), srcY = p.S32LE(), srcW = p.S32LE(), srcH = p.S32LE();
    offBmi = p.U32LE(), cbBmi = p.U32LE(), offBits = p.U32LE(), cbBits = p.U32LE(), usage = p.U32LE();
    if (type == kEmfStretchDibits) {
      rop = p.U32LE(), dstW = p.S32LE(), dstH = p.S32LE();
    } else {
      dstW = srcW, dstH = srcH;
    }
    bottomUpSource = true;
  } else {
    dstX = p.S32LE(), dstY = p.S32LE(), dstW = p.S32LE(), dstH = p.S32LE();
    rop = p.U32LE();
    srcX = p.S32LE(), srcY = p.S32LE();
    p.Skip(24 + 4);  // source transform, background colour
    usage = p.U32LE(), offBmi = p.U32LE(), cbBmi = p.U32LE(), offBits = p.U32LE(), cbBits = p.U32LE();
    if (type == kEmfBitBlt) {
      srcW = dstW, srcH = dstH;
    } else {
      srcW = p.S32LE(), srcH = p.S32LE();
    }
  }
  if (p.Failed()) return MakeError("a bitmap record of the metafile is truncated");
  if (cbBmi == 0) return Status::Ok();  // a fill without a bitmap
  auto info = RecordPart(record, offBmi, cbBmi);
  auto bits = RecordPart(record, offBits, cbBits);
  if (!info || !bits) return MakeError("a bitmap record of the metafile points outside itself");
  auto dib = DecodeDib(*info, *bits, usage, limits);
  if (!dib) return dib.error();
  const int64_t top = bottomUpSource ? int64_t{dib->Height()} - srcY - srcH : srcY;
  const double x0 = s.DeviceX(dstX), y0 = s.DeviceY(dstY);
  Blit(picture, dib.value(), Rect{srcX, top, srcW, srcH}, x0, y0, s.DeviceX(double(dstX) + dstW) - x0,
       s.DeviceY(double(dstY) + dstH) - y0, rop);
  return Status::Ok();
}

Result<Bitmap24> ReadEmf(ByteSpan data, const PixelLimits& limits) {
  ByteReader h(data);
  h.Skip(8);
  const int32_t bLeft = h.S32LE(), bTop = h.S32LE(), bRight = h.S32LE(), bBottom = h.S32LE();
  const int32_t fLeft = h.S32LE(), fTop = h.S32LE(), fRight = h.S32LE(), fBottom = h.S32LE();
  h.Skip(4 + 4 + 4 + 4 + 2 + 2 + 4 + 4 + 4);
  const int32_t devW = h.S32LE(), devH = h.S32LE(), mmW = h.S32LE(), mmH = h.S32LE();
  if (h.Failed()) return MakeError("the metafile header is truncated");

  // The frame (in hundredths of a millimetre) measured in reference-device pixels,
  // then shown at 96 dots per inch; the bounds in device pixels when the frame is unusable.
  EmfState s;
  double width = 0, height = 0;
  if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0 && fRight > fLeft && fBottom > fTop) {
    const double pxX = double(devW) / (mmW * 100.0), pxY = double(devH) / (mmH * 100.0);
    s.frameLeft = fLeft * pxX, s.frameTop = fTop * pxY;
    width = (double(fRight) - fLeft) * kScreenDpi / 2540.0;
    height = (double(fBottom) - fTop) * kScreenDpi / 2540.0;
    s.scaleX = width / ((double(fRight) - fLeft) * pxX);
    s.scaleY = height / ((double(fBottom) - fTop) * pxY);
  } else if (bRight >= bLeft && bBottom >= bTop) {
    s.frameLeft = bLeft, s.frameTop = bTop;
    width = double(bRight) - bLeft + 1, height = double(bBottom) - bTop + 1;
  } else {
    return MakeError("the metafile gives no usable frame size");
  }

  // Records: type and size (a multiple of 4), the first being the header.
  std::vector<std::pair<uint32_t, ByteSpan>> records;
  ByteReader in(data);
  while (in.Remaining() >= 8) {
    const size_t start = in.Position();
    const uint32_t type = in.U32LE();
    const uint32_t size = in.U32LE();
    if (size < 8 || size > in.Remaining() + 8) return MakeError("a metafile record runs past the end of the file");
    in.Seek(start + size);
    if (type == kEmfEof) break;
    if (type != kEmfHeader && !IsEmfStateRecord(type) && !IsEmfBitmapRecord(type)) {
      return VectorRecord("EMF", type);
    }
    records.emplace_back(type, data.subspan(start, size));
  }
  auto picture = WhitePicture(width, height, limits);
  if (!picture) return picture;
  for (const auto& [type, record] : records) {
    ByteReader p(record);
    p.Skip(8);
    switch (type) {
      case kEmfSetMapMode: s.mapMode = p.S32LE(); break;
      case kEmfSetWindowExt: s.windowExtX = p.S32LE(), s.windowExtY = p.S32LE(); break;
      case kEmfSetWindowOrg: s.windowOrgX = p.S32LE(), s.windowOrgY = p.S32LE(); break;
      case kEmfSetViewportExt: s.viewExtX = p.S32LE(), s.viewExtY = p.S32LE(); break;
      case kEmfSetViewportOrg: s.viewOrgX = p.S32LE(), s.viewOrgY = p.S32LE(); break;
      default:
        if (!IsEmfBitmapRecord(type)) break;
        if (Status st = DrawEmfBitmap(type, record, picture.value(), s, limits); !st) return st.error();
        break;
    }
  }
  return picture;
}

}  // namespace

bool SniffMetafile(ByteSpan data) {
  ByteReader in(data);
  const uint32_t first = in.U32LE();
  if (first == kPlaceableKey) return true;
  in.Seek(40);
  return first == kEmfHeader && in.U32LE() == kEmfSignature;
}

Result<Bitmap24> ReadMetafile(ByteSpan data, const PixelLimits& limits) {
  ByteReader in(data);
  const uint32_t first = in.U32LE();
  in.Seek(40);
  if (first == kEmfHeader && in.U32LE() == kEmfSignature) return ReadEmf(data, limits);
  return ReadWmf(data, limits);
}

}  // namespace kestal
