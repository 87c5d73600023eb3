// Playing an enhanced metafile (EMF): the picture's size from the header's frame, the
// reference device's pixels mapped onto it, then each record's parameters read and
// handed to the player. EMF+ records live in comment records, and the GDI records that
// follow them draw the same picture; the comments are passed over.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/metafile/player.h"
#include "imageio/codecs/metafile/records.h"
#include "imageio/codecs/metafile/text.h"

namespace kestal::metafile {
namespace {

constexpr double kScreenDpi = 96.0;
// Handles an EMF may use; the header's count is a 16-bit field.
constexpr size_t kMaxEmfObjects = 65535;
constexpr uint32_t kStockObjectFlag = 0x80000000;

enum EmfType : uint32_t {
  kPolyBezier = 2, kPolygon = 3, kPolyline = 4, kPolyBezierTo = 5, kPolylineTo = 6, kPolyPolyline = 7,
  kPolyPolygon = 8, kSetWindowExtEx = 9, kSetWindowOrgEx = 10, kSetViewportExtEx = 11, kSetViewportOrgEx = 12,
  kSetBrushOrgEx = 13, kSetPixelV = 15, kSetMapperFlags = 16, kSetMapMode = 17, kSetBkMode = 18,
  kSetPolyFillMode = 19, kSetRop2 = 20, kSetStretchBltMode = 21, kSetTextAlign = 22, kSetColorAdjustment = 23,
  kSetTextColor = 24, kSetBkColor = 25, kOffsetClipRgn = 26, kMoveToEx = 27, kSetMetaRgn = 28,
  kExcludeClipRect = 29, kIntersectClipRect = 30, kScaleViewportExtEx = 31, kScaleWindowExtEx = 32, kSaveDc = 33,
  kRestoreDc = 34, kSetWorldTransform = 35, kModifyWorldTransform = 36, kSelectObject = 37, kCreatePen = 38,
  kCreateBrushIndirect = 39, kDeleteObject = 40, kAngleArc = 41, kEllipse = 42, kRectangle = 43, kRoundRect = 44,
  kArc = 45, kChord = 46, kPie = 47, kSelectPalette = 48, kCreatePalette = 49, kSetPaletteEntries = 50,
  kResizePalette = 51, kRealizePalette = 52, kExtFloodFill = 53, kLineTo = 54, kArcTo = 55, kPolyDraw = 56,
  kSetArcDirection = 57, kSetMiterLimit = 58, kBeginPath = 59, kEndPath = 60, kCloseFigure = 61, kFillPath = 62,
  kStrokeAndFillPath = 63, kStrokePath = 64, kFlattenPath = 65, kWidenPath = 66, kSelectClipPath = 67,
  kAbortPath = 68, kGdiComment = 70, kFillRgn = 71, kFrameRgn = 72, kInvertRgn = 73, kPaintRgn = 74,
  kExtSelectClipRgn = 75, kBitBlt = 76, kStretchBlt = 77, kMaskBlt = 78, kPlgBlt = 79, kSetDibitsToDevice = 80,
  kStretchDibits = 81, kExtCreateFontIndirectW = 82, kExtTextOutA = 83,
  kExtTextOutW = 84, kPolyBezier16 = 85, kPolygon16 = 86, kPolyline16 = 87, kPolyBezierTo16 = 88,
  kPolylineTo16 = 89, kPolyPolyline16 = 90, kPolyPolygon16 = 91, kPolyDraw16 = 92, kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94, kExtCreatePen = 95, kPolyTextOutA = 96, kPolyTextOutW = 97, kSetIcmMode = 98,
  kCreateColorSpace = 99, kSetColorSpace = 100, kDeleteColorSpace = 101, kSmallTextOut = 108,
  kColorCorrectPalette = 111, kSetIcmProfileA = 112, kSetIcmProfileW = 113, kAlphaBlend = 114, kSetLayout = 115,
  kTransparentBlt = 116, kGradientFill = 118, kSetTextJustification = 120,
  kCreateColorSpaceW = 122,
};

// An EMRTEXT: reference point, count, string offset, options, rectangle, advances
// offset.
constexpr size_t kEmrTextSize = 40;

Error Short() { return Error::Truncated("a metafile record is shorter than its parameters"); }

// The part of a record at an offset measured from the record's start (8 bytes before
// its parameters).
bool RecordPart(ByteSpan params, uint32_t offset, uint32_t size, ByteSpan& part) {
  if (offset < 8 || offset - 8 > params.size() || size > params.size() - (offset - 8)) return false;
  part = params.subspan(offset - 8, size);
  return true;
}

// Points of 32-bit (or 16-bit) coordinates, checked against the bytes left.
Result<std::vector<Point>> ReadPoints(ByteReader& p, uint64_t count, bool small) {
  const size_t each = small ? 4 : 8;
  if (count > p.Remaining() / each) return Short();
  std::vector<Point> points(static_cast<size_t>(count));
  for (Point& pt : points) {
    if (small) pt.x = p.S16LE(), pt.y = p.S16LE();
    else pt.x = p.S32LE(), pt.y = p.S32LE();
  }
  return points;
}

float ReadFloat(ByteReader& p) {
  const uint32_t bits = p.U32LE();
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

class EmfPlayer {
 public:
  EmfPlayer(Player& player, const PixelLimits& limits) : player_(player), dc_(player.dc()), limits_(limits) {}
  Status Play(const Record& r);

 private:
  void Create(uint32_t index, Object object) {
    if (!dc_.objects.Put(index, std::move(object))) player_.Skip(kSelectObject);
  }
  Status Poly(uint32_t type, ByteReader& p, bool small);
  Status PolyPoly(uint32_t type, ByteReader& p, bool small);
  Status PolyDraw(const Record& r, ByteReader& p);
  Status Text(const Record& r, ByteReader& p, bool wide);
  Status OneText(const Record& r, ByteReader& p, bool wide);
  Status PolyText(const Record& r, ByteReader& p, bool wide);
  Status SmallText(ByteReader& p);
  Status Bitmap(const Record& r, ByteReader& p);
  // The DIB a bitmap record holds where its offsets say: an error when they point
  // outside the record; none (the record skipped) when its colours are palette indexes
  // or it cannot be decoded.
  struct DibPlace {
    uint32_t offBmi, cbBmi, offBits, cbBits;
  };
  Status RecordDib(const Record& r, uint32_t usage, const DibPlace& at, std::optional<Bitmap24>& dib);
  Status MaskedBitmap(const Record& r, ByteReader& p);
  Status Gradient(ByteReader& p);
  Status PatternBrush(const Record& r, ByteReader& p);
  Status Pen(const Record& r, ByteReader& p, bool extended);
  Status Font(ByteReader& p);
  Status ClipRegion(ByteReader& p);
  Status FillRegion(uint32_t type, ByteReader& p);
  Status WorldTransform(ByteReader& p, bool modify);

  Player& player_;
  DeviceContext& dc_;
  PixelLimits limits_;
};

Status EmfPlayer::Poly(uint32_t type, ByteReader& p, bool small) {
  p.Skip(16);  // bounds
  auto points = ReadPoints(p, p.U32LE(), small);
  if (p.Failed() || !points) return Short();
  switch (type) {
    case kPolyBezier: case kPolyBezier16: player_.PolyBezier(*points); break;
    case kPolygon: case kPolygon16: player_.Polygon(*points); break;
    case kPolyline: case kPolyline16: player_.Polyline(*points); break;
    case kPolyBezierTo: case kPolyBezierTo16: player_.PolyBezierTo(*points); break;
    default: player_.PolylineTo(*points); break;
  }
  return Status::Ok();
}

Status EmfPlayer::PolyPoly(uint32_t type, ByteReader& p, bool small) {
  p.Skip(16);
  const uint32_t n = p.U32LE(), total = p.U32LE();
  if (p.Failed() || n > p.Remaining() / 4) return Short();
  std::vector<uint32_t> counts(n);
  uint64_t sum = 0;
  for (uint32_t& c : counts) sum += (c = p.U32LE());
  if (sum != total) return Error::Invalid("a metafile record's point counts do not add up");
  std::vector<std::vector<Point>> polys;
  for (uint32_t c : counts) {
    auto points = ReadPoints(p, c, small);
    if (!points) return points.error();
    polys.push_back(std::move(points.value()));
  }
  if (type == kPolyPolygon || type == kPolyPolygon16) player_.PolyPolygon(polys);
  else player_.PolyPolyline(polys);
  return Status::Ok();
}

Status EmfPlayer::PolyDraw(const Record& r, ByteReader& p) {
  const bool small = r.type == kPolyDraw16;
  p.Skip(16);  // bounds
  const uint32_t count = p.U32LE();
  auto points = ReadPoints(p, count, small);
  if (p.Failed() || !points || count > p.Remaining()) return Short();
  if (!player_.PolyDraw(*points, p.Take(count))) player_.Skip(r.type);
  return Status::Ok();
}

// ExtTextOut's fixed part, then one text (an EMRTEXT and what it points to).
Status EmfPlayer::Text(const Record& r, ByteReader& p, bool wide) {
  p.Skip(16 + 4 + 4 + 4);  // bounds, graphics mode, x and y scales
  return OneText(r, p, wide);
}

// PolyTextOut: the same fixed part, then a count of texts.
Status EmfPlayer::PolyText(const Record& r, ByteReader& p, bool wide) {
  p.Skip(16 + 4 + 4 + 4);
  const uint32_t count = p.U32LE();
  if (p.Failed() || count > p.Remaining() / kEmrTextSize) return Short();
  for (uint32_t i = 0; i < count; ++i) {
    if (Status s = OneText(r, p, wide); !s) return s;
  }
  return Status::Ok();
}

// SmallTextOut: a text without advances, its characters in the record: one byte each
// (the low byte of a UTF-16 code) with ETO_SMALL_CHARS, UTF-16 otherwise. Its bounds
// (device pixels, absent with ETO_NO_RECT) only say where it lands.
Status EmfPlayer::SmallText(ByteReader& p) {
  constexpr uint32_t kEtoNoRect = 0x100, kEtoSmallChars = 0x200;
  Point at;
  at.x = p.S32LE(), at.y = p.S32LE();
  const uint32_t count = p.U32LE();
  TextRun run;
  run.options = p.U32LE();
  p.Skip(4 + 4 + 4);  // graphics mode, x and y scales
  if (!(run.options & kEtoNoRect)) p.Skip(16);
  const bool small = run.options & kEtoSmallChars;
  const uint64_t bytes = uint64_t(count) * (small ? 1 : 2);
  if (p.Failed() || bytes > p.Remaining()) return Short();
  const ByteSpan text = p.Take(size_t(bytes));
  if (small) run.text.assign(text.begin(), text.end());
  else run.text = DecodeUtf16(text);
  player_.Text(at, run);
  return Status::Ok();
}

Status EmfPlayer::OneText(const Record& r, ByteReader& p, bool wide) {
  TextRun run;
  Point at;
  at.x = p.S32LE(), at.y = p.S32LE();
  const uint32_t count = p.U32LE(), offString = p.U32LE();
  run.options = p.U32LE();
  run.rectLeft = p.S32LE(), run.rectTop = p.S32LE(), run.rectRight = p.S32LE(), run.rectBottom = p.S32LE();
  const uint32_t offDx = p.U32LE();
  if (p.Failed()) return Short();
  run.hasRect = run.rectRight > run.rectLeft && run.rectBottom > run.rectTop;
  ByteSpan bytes;
  const uint64_t byteCount = uint64_t(count) * (wide ? 2 : 1);
  if (byteCount > UINT32_MAX || !RecordPart(r.params, offString, uint32_t(byteCount), bytes)) {
    return Error::Invalid("a text record of the metafile points outside itself");
  }
  run.text = wide ? DecodeUtf16(bytes) : DecodeCharset(bytes, dc_.state.font.charset);
  // The advances: one per character, or an x and y pair with ETO_PDY.
  const bool pairs = run.options & 0x2000;
  ByteSpan dx;
  const uint64_t dxBytes = uint64_t(count) * (pairs ? 8 : 4);
  if (offDx != 0 && dxBytes <= UINT32_MAX && RecordPart(r.params, offDx, uint32_t(dxBytes), dx) &&
      run.text.size() == count) {
    ByteReader d(dx);
    for (uint32_t i = 0; i < count; ++i) {
      run.dx.push_back(d.S32LE());
      if (pairs) d.Skip(4);
    }
  }
  player_.Text(at, run);
  return Status::Ok();
}

Status EmfPlayer::Bitmap(const Record& r, ByteReader& p) {
  p.Skip(16);  // bounds
  int32_t dstX = 0, dstY = 0, dstW = 0, dstH = 0, srcX = 0, srcY = 0, srcW = 0, srcH = 0;
  uint32_t rop = kSrcCopy, usage = 0, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
  bool bottomUpSource = false;
  if (r.type == kStretchDibits || r.type == kSetDibitsToDevice) {
    dstX = p.S32LE(), dstY = p.S32LE(), srcX = p.S32LE(), srcY = p.S32LE(), srcW = p.S32LE(), srcH = p.S32LE();
    offBmi = p.U32LE(), cbBmi = p.U32LE(), offBits = p.U32LE(), cbBits = p.U32LE(), usage = p.U32LE();
    if (r.type == kStretchDibits) {
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
    if (r.type == kBitBlt) {
      srcW = dstW, srcH = dstH;
    } else {
      srcW = p.S32LE(), srcH = p.S32LE();
    }
    // ALPHABLEND and TRANSPARENTBLT carry a blend function or a colour in the
    // operation's place; both draw the source.
    if (r.type == kAlphaBlend || r.type == kTransparentBlt) rop = kSrcCopy;
  }
  if (p.Failed()) return Short();
  if (cbBmi == 0 || !RopUsesSource(rop)) {
    player_.PatBlt(dstX, dstY, dstW, dstH, rop);  // a fill without a bitmap
    return Status::Ok();
  }
  std::optional<Bitmap24> dib;
  if (Status st = RecordDib(r, usage, {offBmi, cbBmi, offBits, cbBits}, dib); !st || !dib) return st;
  const int64_t top = bottomUpSource ? int64_t{dib->Height()} - srcY - srcH : srcY;
  player_.DrawBitmap(*dib, srcX, top, srcW, srcH, dstX, dstY, dstW, dstH, rop);
  return Status::Ok();
}

Status EmfPlayer::RecordDib(const Record& r, uint32_t usage, const DibPlace& at, std::optional<Bitmap24>& dib) {
  ByteSpan info, bits;
  if (!RecordPart(r.params, at.offBmi, at.cbBmi, info) || !RecordPart(r.params, at.offBits, at.cbBits, bits)) {
    return Error::Invalid("a bitmap record of the metafile points outside itself");
  }
  if (usage != 0) {
    player_.Skip(r.type);  // colours given as palette indexes: no palette to look them up in
    return Status::Ok();
  }
  auto decoded = DecodeDib(info, bits, limits_);
  if (!decoded) return player_.BadBitmap(decoded.error(), r.type);
  dib = std::move(decoded.value());
  return Status::Ok();
}

// MaskBlt and PlgBlt: a source bitmap and an optional monochrome mask, onto a rectangle
// through a quaternary raster operation (MaskBlt) or onto a parallelogram (PlgBlt,
// which copies the source where the mask is light).
Status EmfPlayer::MaskedBitmap(const Record& r, ByteReader& p) {
  p.Skip(16);  // bounds
  const auto point = [&p]() { Point pt; pt.x = p.S32LE(), pt.y = p.S32LE(); return pt; };
  Point corners[3];
  int32_t srcX = 0, srcY = 0, srcW = 0, srcH = 0;
  uint32_t rop4 = 0xAA000000u | kSrcCopy;  // the source where the mask is light, nothing elsewhere
  if (r.type == kMaskBlt) {
    const int32_t x = p.S32LE(), y = p.S32LE();
    srcW = p.S32LE(), srcH = p.S32LE();
    rop4 = p.U32LE();
    srcX = p.S32LE(), srcY = p.S32LE();
    corners[0] = {double(x), double(y)}, corners[1] = {double(x) + srcW, double(y)};
    corners[2] = {double(x), double(y) + srcH};
  } else {
    for (Point& c : corners) c = point();
    srcX = p.S32LE(), srcY = p.S32LE(), srcW = p.S32LE(), srcH = p.S32LE();
  }
  p.Skip(24 + 4);  // source transform, background colour
  const uint32_t usage = p.U32LE(), offBmi = p.U32LE(), cbBmi = p.U32LE(), offBits = p.U32LE(), cbBits = p.U32LE();
  const int32_t maskX = p.S32LE(), maskY = p.S32LE();
  p.Skip(4);  // the mask's colour usage: a monochrome mask's two colours are read as they are
  const uint32_t offBmiMask = p.U32LE(), cbBmiMask = p.U32LE(), offBitsMask = p.U32LE(), cbBitsMask = p.U32LE();
  if (p.Failed()) return Short();
  if (cbBmi == 0) {
    if (r.type == kMaskBlt && !RopUsesSource(rop4 & 0xFFFFFF)) {
      player_.PatBlt(corners[0].x, corners[0].y, srcW, srcH, rop4 & 0xFFFFFF);
    }
    return Status::Ok();
  }
  std::optional<Bitmap24> dib, mask;
  if (Status st = RecordDib(r, usage, {offBmi, cbBmi, offBits, cbBits}, dib); !st || !dib) return st;
  if (cbBmiMask != 0) {
    if (Status st = RecordDib(r, 0, {offBmiMask, cbBmiMask, offBitsMask, cbBitsMask}, mask); !st || !mask) return st;
  }
  player_.MaskedBitmap(*dib, srcX, srcY, srcW, srcH, corners, rop4, mask ? &*mask : nullptr, maskX, maskY);
  return Status::Ok();
}

// GradientFill: TRIVERTEX corners (a point and 16-bit colour channels), then
// rectangles (two corner indexes) or triangles (three).
Status EmfPlayer::Gradient(ByteReader& p) {
  enum : uint32_t { kRectH = 0, kRectV = 1, kTriangle = 2 };
  p.Skip(16);  // bounds
  const uint32_t vertexCount = p.U32LE(), shapeCount = p.U32LE(), mode = p.U32LE();
  if (p.Failed() || vertexCount > p.Remaining() / 16) return Short();
  std::vector<ShadedVertex> vertices(vertexCount);
  for (ShadedVertex& v : vertices) {
    v.at.x = p.S32LE(), v.at.y = p.S32LE();
    const uint32_t red = p.U16LE() >> 8, green = p.U16LE() >> 8, blue = p.U16LE() >> 8;
    p.Skip(2);  // alpha: GradientFill draws opaque
    v.color = red | (green << 8) | (blue << 16);
  }
  const size_t corners = mode == kTriangle ? 3 : 2;
  if (p.Failed() || shapeCount > p.Remaining() / (4 * corners)) return Short();
  if (mode > kTriangle) {
    player_.Skip(kGradientFill);
    return Status::Ok();
  }
  for (uint32_t i = 0; i < shapeCount; ++i) {
    uint32_t at[3] = {};
    for (size_t k = 0; k < corners; ++k) at[k] = p.U32LE();
    if (std::any_of(at, at + corners, [&](uint32_t n) { return n >= vertexCount; })) {
      player_.Skip(kGradientFill);  // a corner the record does not have: that shape is left out
      continue;
    }
    if (mode == kTriangle) player_.GradientTriangle(vertices[at[0]], vertices[at[1]], vertices[at[2]]);
    else player_.GradientBox(vertices[at[0]], vertices[at[1]], mode == kRectV);
  }
  return Status::Ok();
}

Status EmfPlayer::PatternBrush(const Record& r, ByteReader& p) {
  const uint32_t index = p.U32LE(), usage = p.U32LE();
  const uint32_t offBmi = p.U32LE(), cbBmi = p.U32LE(), offBits = p.U32LE(), cbBits = p.U32LE();
  if (p.Failed()) return Short();
  Brush b{kBsSolid, 0x808080};  // a pattern that cannot be read shows grey
  ByteSpan info, bits;
  if (usage == 0 && RecordPart(r.params, offBmi, cbBmi, info) && RecordPart(r.params, offBits, cbBits, bits)) {
    auto dib = DecodeDib(info, bits, limits_);
    if (dib) {
      b.style = kBsDibPattern;
      b.pattern = std::make_shared<Bitmap24>(std::move(dib.value()));
    } else if (Status s = player_.BadBitmap(dib.error(), r.type); !s) {
      return s;
    }
  }
  Create(index, std::move(b));
  return Status::Ok();
}

Status EmfPlayer::Pen(const Record& r, ByteReader& p, bool extended) {
  const uint32_t index = p.U32LE();
  metafile::Pen pen;
  if (extended) {
    p.Skip(16);  // the brush bitmap of a patterned pen: drawn in the pen's colour
    pen.style = p.U32LE();
    pen.width = p.U32LE();
    const uint32_t brushStyle = p.U32LE();
    pen.color = p.U32LE() & 0xFFFFFF;
    p.Skip(4);  // hatch
    const uint32_t entries = p.U32LE();
    if (p.Failed() || entries > p.Remaining() / 4) return Short();
    for (uint32_t i = 0; i < entries && i < 16; ++i) pen.dashes.push_back(p.U32LE());
    pen.cosmetic = !(pen.style & kPsGeometric);
    pen.extended = true;
    if (brushStyle == kBsNull) pen.style = (pen.style & ~uint32_t{kPsStyleMask}) | kPsNull;
  } else {
    pen.style = p.U32LE();
    pen.width = std::abs(double(p.S32LE()));
    p.Skip(4);
    pen.color = p.U32LE() & 0xFFFFFF;
    if (p.Failed()) return Short();
    pen.cosmetic = pen.width == 0;
  }
  (void)r;
  Create(index, std::move(pen));
  return Status::Ok();
}

Status EmfPlayer::Font(ByteReader& p) {
  const uint32_t index = p.U32LE();
  metafile::Font f;
  f.height = p.S32LE(), f.width = p.S32LE(), f.escapement = p.S32LE(), f.orientation = p.S32LE();
  f.weight = p.S32LE();
  f.italic = p.U8() != 0, f.underline = p.U8() != 0, f.strikeOut = p.U8() != 0, f.charset = p.U8();
  p.Skip(4);
  ByteSpan face = p.Take(64);
  if (p.Failed()) return Short();
  std::u32string name = DecodeUtf16(face);
  name.resize(std::find(name.begin(), name.end(), U'\0') - name.begin());
  f.face = ToUtf8(name);
  Create(index, std::move(f));
  return Status::Ok();
}

// RGNDATA: a 32-byte header (size, type, count, bytes, bounds), then rectangles in
// device pixels.
Result<Region> ReadRegion(ByteReader& p, uint32_t size) {
  Region region;
  if (size < 32) return region;
  p.Skip(8);
  const uint32_t count = p.U32LE();
  p.Skip(4 + 16);
  if (p.Failed() || count > p.Remaining() / 16) return Short();
  for (uint32_t i = 0; i < count; ++i) {
    Region::Box b;
    b.left = p.S32LE(), b.top = p.S32LE(), b.right = p.S32LE(), b.bottom = p.S32LE();
    region.boxes.push_back(b);
  }
  return region;
}

Status EmfPlayer::ClipRegion(ByteReader& p) {
  const uint32_t size = p.U32LE(), mode = p.U32LE();
  if (p.Failed()) return Short();
  auto region = ReadRegion(p, size);
  if (!region) return region.error();
  player_.ClipRegion(region.value(), int(mode), true);
  return Status::Ok();
}

Status EmfPlayer::FillRegion(uint32_t type, ByteReader& p) {
  p.Skip(16);  // bounds
  const uint32_t size = p.U32LE();
  const bool ownBrush = type == kFillRgn || type == kFrameRgn;
  const uint32_t brushIndex = ownBrush ? p.U32LE() : 0;
  const int32_t frameWidth = type == kFrameRgn ? p.S32LE() : 0, frameHeight = type == kFrameRgn ? p.S32LE() : 0;
  if (p.Failed()) return Short();
  auto region = ReadRegion(p, size);
  if (!region) return region.error();
  Brush brush = dc_.state.brush;
  if (ownBrush) {
    const std::optional<Object> stock =
        brushIndex & kStockObjectFlag ? StockObject(brushIndex & ~kStockObjectFlag) : std::nullopt;
    const Object* o = stock ? &*stock : dc_.objects.Find(brushIndex);
    const Brush* b = o ? std::get_if<Brush>(o) : nullptr;
    if (!b) return Status::Ok();
    brush = *b;
  }
  // Unlike a clipping region, a region painted is in logical units, as FillRgn takes it.
  if (type == kFrameRgn) player_.FrameRegion(region.value(), brush, frameWidth, frameHeight, false);
  else player_.FillRegion(region.value(), brush, false, type == kInvertRgn ? kDstInvert : kPatCopy);
  return Status::Ok();
}

Status EmfPlayer::WorldTransform(ByteReader& p, bool modify) {
  Affine x;
  x.xx = ReadFloat(p), x.yx = ReadFloat(p), x.xy = ReadFloat(p), x.yy = ReadFloat(p);
  x.x0 = ReadFloat(p), x.y0 = ReadFloat(p);
  const uint32_t mode = modify ? p.U32LE() : 4;
  if (p.Failed()) return Short();
  Affine& world = dc_.state.world;
  // A transform that cannot be inverted is refused by Windows; so it is here.
  if (mode != 1 && !x.Invertible()) return Status::Ok();
  switch (mode) {
    case 1: world = Affine{}; break;                 // MWT_IDENTITY
    case 2: world = world.After(x); break;           // MWT_LEFTMULTIPLY: the new one first
    case 3: world = x.After(world); break;           // MWT_RIGHTMULTIPLY
    case 4: world = x; break;                        // MWT_SET
    default: break;
  }
  if (!world.Invertible()) world = Affine{};
  return Status::Ok();
}

// One case per EMF record type, mostly in the order of their numbers: most are a
// line or two, and a record that needs more has a function of its own. The switch is
// kept whole (it runs past 80 lines) so that what each record does reads in one place.
Status EmfPlayer::Play(const Record& r) {
  ByteReader p(r.params);
  DcState& s = dc_.state;
  const auto point = [&p]() { Point pt; pt.x = p.S32LE(), pt.y = p.S32LE(); return pt; };
  switch (r.type) {
    case kEmfHeaderType: case kEmfEof: break;
    case kPolyBezier: case kPolygon: case kPolyline: case kPolyBezierTo: case kPolylineTo:
      return Poly(r.type, p, false);
    case kPolyBezier16: case kPolygon16: case kPolyline16: case kPolyBezierTo16: case kPolylineTo16:
      return Poly(r.type, p, true);
    case kPolyPolyline: case kPolyPolygon: return PolyPoly(r.type, p, false);
    case kPolyPolyline16: case kPolyPolygon16: return PolyPoly(r.type, p, true);
    case kSetWindowExtEx: { const Point e = point(); if (e.x != 0 && e.y != 0) s.windowExt = e; break; }
    case kSetWindowOrgEx: s.windowOrg = point(); break;
    case kSetViewportExtEx: { const Point e = point(); if (e.x != 0 && e.y != 0) s.viewportExt = e; break; }
    case kSetViewportOrgEx: s.viewportOrg = point(); break;
    case kScaleViewportExtEx: case kScaleWindowExtEx: {
      const double xn = p.S32LE(), xd = p.S32LE(), yn = p.S32LE(), yd = p.S32LE();
      Point& e = r.type == kScaleViewportExtEx ? s.viewportExt : s.windowExt;
      if (xn != 0 && xd != 0 && yn != 0 && yd != 0) e = {e.x * xn / xd, e.y * yn / yd};
      break;
    }
    case kSetPixelV: { const Point at = point(); player_.SetPixel(at, p.U32LE() & 0xFFFFFF); break; }
    case kSetMapMode: { const int32_t m = p.S32LE(); if (m >= kMmText && m <= kMmAnisotropic) s.mapMode = m; break; }
    case kSetBkMode: s.backgroundMode = p.S32LE(); break;
    case kSetPolyFillMode: s.fillMode = p.S32LE(); break;
    case kSetRop2: s.rop2 = p.S32LE(); break;
    case kSetTextAlign: s.textAlign = p.U32LE(); break;
    case kSetTextColor: s.textColor = p.U32LE() & 0xFFFFFF; break;
    case kSetBkColor: s.backgroundColor = p.U32LE() & 0xFFFFFF; break;
    case kMoveToEx: player_.MoveTo(point()); break;
    case kLineTo: player_.LineTo(point()); break;
    case kExcludeClipRect: case kIntersectClipRect: {
      const double l = p.S32LE(), t = p.S32LE(), rt = p.S32LE(), b = p.S32LE();
      if (p.Failed()) return Short();
      if (r.type == kExcludeClipRect) player_.ExcludeClip(l, t, rt, b);
      else player_.IntersectClip(l, t, rt, b);
      break;
    }
    case kSaveDc: player_.Save(); break;
    case kRestoreDc: player_.Restore(p.S32LE()); break;
    case kSetWorldTransform: return WorldTransform(p, false);
    case kModifyWorldTransform: return WorldTransform(p, true);
    case kSelectObject: {
      const uint32_t index = p.U32LE();
      if (index & kStockObjectFlag) {
        if (auto stock = StockObject(index & ~kStockObjectFlag)) dc_.Select(*stock);
      } else if (const Object* o = dc_.objects.Find(index)) {
        dc_.Select(*o);
      }
      break;
    }
    case kCreatePen: return Pen(r, p, false);
    case kExtCreatePen: return Pen(r, p, true);
    case kCreateBrushIndirect: {
      const uint32_t index = p.U32LE();
      Brush b;
      b.style = p.U32LE(), b.color = p.U32LE() & 0xFFFFFF, b.hatch = p.U32LE();
      if (p.Failed()) return Short();
      if (b.style != kBsSolid && b.style != kBsNull && b.style != kBsHatched) b.style = kBsSolid;
      Create(index, std::move(b));
      break;
    }
    case kCreateDibPatternBrushPt: case kCreateMonoBrush: return PatternBrush(r, p);
    case kExtCreateFontIndirectW: return Font(p);
    case kCreatePalette: case kCreateColorSpace: case kCreateColorSpaceW: Create(p.U32LE(), OtherObject{}); break;
    case kDeleteObject: dc_.objects.Remove(p.U32LE()); break;
    case kAngleArc: {
      const Point c = point();
      const double radius = p.U32LE();
      const double start = ReadFloat(p), sweep = ReadFloat(p);
      if (p.Failed()) return Short();
      player_.AngleArc(c, radius, start, sweep);
      break;
    }
    case kEllipse: case kRectangle: case kRoundRect: case kArc: case kChord: case kPie: case kArcTo: {
      const double l = p.S32LE(), t = p.S32LE(), rt = p.S32LE(), b = p.S32LE();
      if (r.type == kEllipse) player_.Ellipse(l, t, rt, b);
      else if (r.type == kRectangle) player_.Rectangle(l, t, rt, b);
      else if (r.type == kRoundRect) {
        const double w = p.S32LE(), h = p.S32LE();
        player_.RoundRect(l, t, rt, b, w, h);
      } else {
        const Point start = point(), end = point();
        const ArcKind kind = r.type == kArc ? ArcKind::Arc : r.type == kChord ? ArcKind::Chord
                             : r.type == kPie ? ArcKind::Pie : ArcKind::ArcTo;
        if (!p.Failed()) player_.Arc(kind, l, t, rt, b, start, end);
      }
      if (p.Failed()) return Short();
      break;
    }
    case kSetArcDirection: s.clockwiseArcs = p.U32LE() == 2; break;
    case kSetMiterLimit: {
      const uint32_t limit = p.U32LE();
      if (limit > 0) s.miterLimit = limit;
      break;
    }
    case kBeginPath: player_.BeginPath(); break;
    case kEndPath: player_.EndPath(); break;
    case kCloseFigure: player_.CloseFigure(); break;
    case kAbortPath: player_.AbortPath(); break;
    case kFillPath: player_.FillPath(true, false); break;
    case kStrokePath: player_.FillPath(false, true); break;
    case kStrokeAndFillPath: player_.FillPath(true, true); break;
    case kFlattenPath: case kWidenPath: break;  // the path stays as it is: curves are drawn as curves
    case kSelectClipPath: player_.SelectClipPath(p.S32LE()); break;
    case kExtSelectClipRgn: return ClipRegion(p);
    case kFillRgn: case kPaintRgn: case kFrameRgn: case kInvertRgn: return FillRegion(r.type, p);
    case kBitBlt: case kStretchBlt: case kSetDibitsToDevice: case kStretchDibits: case kAlphaBlend:
    case kTransparentBlt:
      return Bitmap(r, p);
    case kMaskBlt: case kPlgBlt: return MaskedBitmap(r, p);
    case kExtTextOutA: case kExtTextOutW: return Text(r, p, r.type == kExtTextOutW);
    case kPolyTextOutA: case kPolyTextOutW: return PolyText(r, p, r.type == kPolyTextOutW);
    case kSmallTextOut: return SmallText(p);
    case kPolyDraw: case kPolyDraw16: return PolyDraw(r, p);
    case kGradientFill: return Gradient(p);
    // State that changes nothing in a picture drawn once on a true-colour surface, and
    // comments (EMF+ among them).
    case kSetBrushOrgEx: case kSetMapperFlags: case kSetStretchBltMode: case kSetColorAdjustment:
    case kOffsetClipRgn: case kSetMetaRgn: case kSelectPalette: case kSetPaletteEntries: case kResizePalette:
    case kRealizePalette: case kGdiComment: case kSetIcmMode: case kSetColorSpace: case kDeleteColorSpace:
    case kSetLayout: case kSetTextJustification: case kColorCorrectPalette: case kSetIcmProfileA:
    case kSetIcmProfileW:
      break;
    default: player_.Skip(r.type); break;  // flood fills among them
  }
  return Status::Ok();
}

// Whether the drawing's bounds (device pixels) lie mostly outside the frame (left, top,
// right, bottom in device pixels): diagram tools write a frame at the origin for a
// drawing made above or beside it.
bool BoundsMostlyOutside(const EmfHeader& h, double left, double top, double right, double bottom) {
  if (h.boundsRight < h.boundsLeft || h.boundsBottom < h.boundsTop) return false;
  const double bl = h.boundsLeft, bt = h.boundsTop, br = double(h.boundsRight) + 1, bb = double(h.boundsBottom) + 1;
  const double inside = std::max(0.0, std::min(br, right) - std::max(bl, left)) *
                        std::max(0.0, std::min(bb, bottom) - std::max(bt, top));
  return inside < 0.5 * (br - bl) * (bb - bt);
}

// The picture's size and the reference device's pixels onto it: the frame (in
// hundredths of a millimetre) at 96 dots per inch, or the bounds when the frame is
// unusable. When the frame would cut most of the drawing away, the picture shows the
// bounds instead, as common viewers do, at the frame's scale.
Result<Affine> FrameMapping(const EmfHeader& h, DeviceContext& dc, double& width, double& height) {
  if (h.devicePixelsX > 0 && h.devicePixelsY > 0 && h.deviceMillimetresX > 0 && h.deviceMillimetresY > 0 &&
      h.frameRight > h.frameLeft && h.frameBottom > h.frameTop) {
    dc.pixelsPerMillimetreX = double(h.devicePixelsX) / h.deviceMillimetresX;
    dc.pixelsPerMillimetreY = double(h.devicePixelsY) / h.deviceMillimetresY;
    const double sx = (kScreenDpi / 25.4) / dc.pixelsPerMillimetreX, sy = (kScreenDpi / 25.4) / dc.pixelsPerMillimetreY;
    double left = h.frameLeft / 100.0 * dc.pixelsPerMillimetreX, top = h.frameTop / 100.0 * dc.pixelsPerMillimetreY;
    const double right = h.frameRight / 100.0 * dc.pixelsPerMillimetreX;
    const double bottom = h.frameBottom / 100.0 * dc.pixelsPerMillimetreY;
    if (BoundsMostlyOutside(h, left, top, right, bottom)) {
      left = h.boundsLeft, top = h.boundsTop;
      width = (double(h.boundsRight) - h.boundsLeft + 1) * sx;
      height = (double(h.boundsBottom) - h.boundsTop + 1) * sy;
    } else {
      width = (double(h.frameRight) - h.frameLeft) * kScreenDpi / 2540.0;
      height = (double(h.frameBottom) - h.frameTop) * kScreenDpi / 2540.0;
    }
    return Affine{sx, 0, 0, sy, -left * sx, -top * sy};
  }
  if (h.boundsRight >= h.boundsLeft && h.boundsBottom >= h.boundsTop) {
    width = double(h.boundsRight) - h.boundsLeft + 1, height = double(h.boundsBottom) - h.boundsTop + 1;
    return Affine::Translate(-double(h.boundsLeft), -double(h.boundsTop));
  }
  return Error::Invalid("the metafile gives no usable frame size");
}

}  // namespace

Result<ClaimedSize> EmfHeaderSize(const FileHead& file) {
  auto header = ParseEmfHeader(file.Head());
  if (!header) return header.error();
  DeviceContext dc(0);
  double width = 0, height = 0;
  if (auto mapping = FrameMapping(header.value(), dc, width, height); !mapping) return mapping.error();
  // The size it is drawn at with the usual limits: a vector picture is never too large.
  FitToLimits(width, height, kDefaultPixelLimits);
  return ClaimedSize{std::llround(width), std::llround(height)};
}

Result<Bitmap24> PlayEmf(ByteSpan data, const PixelLimits& limits, const PlayOptions& options, PlayStats& stats) {
  auto header = ParseEmfHeader(data);
  if (!header) return header.error();
  DeviceContext dc(kMaxEmfObjects);
  double width = 0, height = 0;
  auto mapping = FrameMapping(header.value(), dc, width, height);
  if (!mapping) return mapping.error();
  dc.deviceToPicture = mapping.value();
  auto records = SplitEmfRecords(data, options.maxRecords);
  if (!records) return records.error();

  return PlayOnto(width, height, limits, dc, records.value(), stats, [&](Player& player, const Record& r) {
    return EmfPlayer(player, limits).Play(r);
  });
}

}  // namespace kestal::metafile
