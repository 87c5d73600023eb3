// Playing a Windows metafile (WMF): the picture's size from the placeable header or
// the window extent, then each record's parameters read and handed to the player.

#include <algorithm>
#include <cmath>
#include <optional>

#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/metafile/player.h"
#include "imageio/codecs/metafile/records.h"
#include "imageio/codecs/metafile/text.h"

namespace kestal::metafile {
namespace {

constexpr double kScreenDpi = 96.0;
// A WMF object table has 16-bit indexes.
constexpr size_t kMaxWmfObjects = 65535;

enum WmfFunction : uint16_t {
  kSaveDc = 0x001E, kRealizePalette = 0x0035, kSetPalEntries = 0x0037, kCreatePalette = 0x00F7,
  kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSetRop2 = 0x0104, kSetRelAbs = 0x0105, kSetPolyFillMode = 0x0106,
  kSetStretchBltMode = 0x0107, kSetTextCharExtra = 0x0108, kRestoreDc = 0x0127, kInvertRegion = 0x012A,
  kPaintRegion = 0x012B, kSelectClipRegion = 0x012C, kSelectObject = 0x012D, kSetTextAlign = 0x012E,
  kResizePalette = 0x0139, kDibCreatePatternBrush = 0x0142, kSetLayout = 0x0149, kDeleteObject = 0x01F0,
  kCreatePatternBrush = 0x01F9, kSetBkColor = 0x0201, kSetTextColor = 0x0209, kSetTextJustification = 0x020A,
  kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C, kSetViewportOrg = 0x020D, kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F, kOffsetViewportOrg = 0x0211, kLineTo = 0x0213, kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220, kFillRegion = 0x0228, kSetMapperFlags = 0x0231, kSelectPalette = 0x0234,
  kCreatePenIndirect = 0x02FA, kCreateFontIndirect = 0x02FB, kCreateBrushIndirect = 0x02FC, kPolygon = 0x0324,
  kPolyline = 0x0325, kScaleWindowExt = 0x0410, kScaleViewportExt = 0x0412, kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416, kEllipse = 0x0418, kFloodFill = 0x0419, kRectangle = 0x041B, kSetPixel = 0x041F,
  kFrameRegion = 0x0429, kAnimatePalette = 0x0436, kTextOut = 0x0521, kPolyPolygon = 0x0538,
  kExtFloodFill = 0x0548, kRoundRect = 0x061C, kPatBlt = 0x061D, kEscape = 0x0626, kCreateBitmapIndirect = 0x06FE,
  kCreateRegion = 0x06FF, kArc = 0x0817, kPie = 0x081A, kChord = 0x0830, kBitBlt = 0x0922, kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32, kStretchBlt = 0x0B23, kDibStretchBlt = 0x0B41, kSetDibToDev = 0x0D33, kStretchDib = 0x0F43,
  kCreateBitmap = 0x06FD,
};

Error Short() { return Error::Truncated("a metafile record is shorter than its parameters"); }

// The picture's size in pixels and the window it shows.
struct WmfFrame {
  double width = 0, height = 0;
  Point windowOrg, windowExt;
};

// Phase two: the picture's size. A placeable header gives the box and its units per
// inch; without one, the first window extent gives the size in pixels.
Result<WmfFrame> FindFrame(const WmfHeader& h, const std::vector<Record>& records) {
  WmfFrame f;
  if (h.placeable) {
    f.windowOrg = {double(h.left), double(h.top)};
    f.windowExt = {double(h.right) - h.left, double(h.bottom) - h.top};
    f.width = std::fabs(f.windowExt.x) * kScreenDpi / h.unitsPerInch;
    f.height = std::fabs(f.windowExt.y) * kScreenDpi / h.unitsPerInch;
    return f;
  }
  for (const Record& r : records) {
    ByteReader p(r.params);
    if (r.type == kSetWindowOrg) f.windowOrg.y = p.S16LE(), f.windowOrg.x = p.S16LE();
    if (r.type == kSetWindowExt) {
      f.windowExt.y = p.S16LE(), f.windowExt.x = p.S16LE();
      if (p.Failed()) return Short();
      f.width = std::fabs(f.windowExt.x), f.height = std::fabs(f.windowExt.y);
      return f;
    }
  }
  return Error::Invalid("the metafile gives no size (no placeable header and no window extent)");
}

// Points (x, y pairs of 16-bit values), checked against the bytes left.
Result<std::vector<Point>> ReadPoints(ByteReader& p, int64_t count) {
  if (count < 0 || uint64_t(count) > p.Remaining() / 4) return Short();
  std::vector<Point> points(static_cast<size_t>(count));
  for (Point& pt : points) pt.x = p.S16LE(), pt.y = p.S16LE();
  return points;
}

// A 16-bit RECT stored bottom, right, top, left (the reverse order of WMF parameters).
struct Box {
  double left, top, right, bottom;
};
Box ReadReversedBox(ByteReader& p) {
  Box b;
  b.bottom = p.S16LE(), b.right = p.S16LE(), b.top = p.S16LE(), b.left = p.S16LE();
  return b;
}

// A device-dependent bitmap (Bitmap16) of one plane; only monochrome ones are read,
// as black and white.
std::optional<Bitmap24> ReadBitmap16(ByteReader& p, const PixelLimits& limits) {
  p.Skip(2);  // type
  const int16_t width = p.S16LE(), height = p.S16LE(), widthBytes = p.S16LE();
  const uint8_t planes = p.U8(), bits = p.U8();
  if (p.Failed() || planes != 1 || bits != 1 || width <= 0 || height <= 0 || widthBytes * 8 < width) return std::nullopt;
  if (uint64_t(widthBytes) * uint64_t(height) > p.Remaining()) return std::nullopt;
  auto b = CreateFromHeader(width, height, limits);
  if (!b) return std::nullopt;
  for (int y = 0; y < height; ++y) {
    ByteSpan row = p.Take(size_t(widthBytes));
    for (int x = 0; x < width; ++x) {
      const uint8_t v = (row[size_t(x / 8)] >> (7 - x % 8)) & 1 ? 255 : 0;
      b->SetPixel(x, y, ColorTriple{v, v, v});
    }
  }
  return std::move(b.value());
}

class WmfPlayer {
 public:
  WmfPlayer(Player& player, const PixelLimits& limits) : player_(player), dc_(player.dc()), limits_(limits) {}
  Status Play(const Record& r);

 private:
  void Create(Object object) {
    // The lowest free slot, as Windows fills it; a full table leaves the object out.
    if (!dc_.objects.AddLowest(std::move(object))) player_.Skip(kSelectObject);
  }
  Status Text(ByteReader& p, bool extended);
  Status Bitmap(const Record& r, ByteReader& p);
  Status PatternBrush(ByteReader& p, bool dib);

  Player& player_;
  DeviceContext& dc_;
  PixelLimits limits_;
};

Status WmfPlayer::Text(ByteReader& p, bool extended) {
  TextRun run;
  Point at;
  ByteSpan bytes;
  if (extended) {
    at.y = p.S16LE(), at.x = p.S16LE();
    const int16_t count = p.S16LE();
    run.options = p.U16LE();
    if (run.options & (kEtoOpaque | kEtoClipped)) {
      run.hasRect = true;
      run.rectLeft = p.S16LE(), run.rectTop = p.S16LE(), run.rectRight = p.S16LE(), run.rectBottom = p.S16LE();
    }
    if (p.Failed() || count < 0 || size_t(count) > p.Remaining()) return Short();
    bytes = p.Take(size_t(count));
    if (count % 2) p.Skip(1);
    // The advances, when present, follow the string.
    if (p.Remaining() >= size_t(count) * 2) {
      for (int i = 0; i < count; ++i) run.dx.push_back(p.S16LE());
    }
  } else {
    const int16_t count = p.S16LE();
    if (p.Failed() || count < 0 || size_t(count) > p.Remaining()) return Short();
    bytes = p.Take(size_t(count));
    if (count % 2) p.Skip(1);
    at.y = p.S16LE(), at.x = p.S16LE();
    if (p.Failed()) return Short();
  }
  run.text = DecodeCharset(bytes, dc_.state.font.charset);
  // A multi-byte code page gives fewer characters than bytes: the advances then
  // belong to bytes, and the font's own are used instead.
  if (run.text.size() != bytes.size()) run.dx.clear();
  player_.Text(at, run);
  return Status::Ok();
}

Status WmfPlayer::PatternBrush(ByteReader& p, bool dib) {
  Brush b;
  b.style = kBsDibPattern;
  if (dib) {
    const uint16_t style = p.U16LE();
    const uint16_t usage = p.U16LE();
    if (p.Failed()) return Short();
    if (style == kBsPattern) {
      // The pattern is a device-dependent bitmap; only its monochrome form is read.
      if (auto bitmap = ReadBitmap16(p, limits_)) b.pattern = std::make_shared<Bitmap24>(std::move(*bitmap));
    } else if (usage == 0) {
      auto bitmap = DecodeDib(p.Take(p.Remaining()), ByteSpan{}, limits_);
      if (bitmap) b.pattern = std::make_shared<Bitmap24>(std::move(bitmap.value()));
      else if (Status s = player_.BadBitmap(bitmap.error(), kDibCreatePatternBrush); !s) return s;
    }
  } else if (auto bitmap = ReadBitmap16(p, limits_)) {
    b.pattern = std::make_shared<Bitmap24>(std::move(*bitmap));
  }
  if (!b.pattern) b = Brush{kBsSolid, 0x808080};  // a pattern that cannot be read shows grey
  Create(std::move(b));
  return Status::Ok();
}

Status WmfPlayer::Bitmap(const Record& r, ByteReader& p) {
  uint32_t rop = kSrcCopy;
  int16_t srcH = 0, srcW = 0, srcY = 0, srcX = 0, dstH = 0, dstW = 0, dstY = 0, dstX = 0;
  bool bottomUpSource = false, dib = true;
  uint16_t usage = 0;
  const size_t size = r.params.size();
  switch (r.type) {
    case kStretchDib:
      rop = p.U32LE(), usage = p.U16LE();
      srcH = p.S16LE(), srcW = p.S16LE(), srcY = p.S16LE(), srcX = p.S16LE();
      dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      bottomUpSource = true;
      break;
    case kSetDibToDev:
      usage = p.U16LE();
      p.Skip(4);  // scan count and start scan: the whole DIB is given
      srcY = p.S16LE(), srcX = p.S16LE(), dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      srcH = dstH, srcW = dstW;
      bottomUpSource = true;
      break;
    case kDibStretchBlt:
    case kStretchBlt:
      rop = p.U32LE();
      // Without a bitmap the record is a fill: one reserved word before the destination.
      if (size <= 4 + 9 * 2) {
        p.Skip(5 * 2);
        dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
        if (p.Failed()) return Short();
        player_.PatBlt(dstX, dstY, dstW, dstH, rop);
        return Status::Ok();
      }
      srcH = p.S16LE(), srcW = p.S16LE(), srcY = p.S16LE(), srcX = p.S16LE();
      dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      dib = r.type == kDibStretchBlt;
      break;
    default:  // DIBBITBLT and BITBLT
      rop = p.U32LE();
      if (size <= 4 + 7 * 2) {
        p.Skip(3 * 2);
        dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
        if (p.Failed()) return Short();
        player_.PatBlt(dstX, dstY, dstW, dstH, rop);
        return Status::Ok();
      }
      srcY = p.S16LE(), srcX = p.S16LE(), dstH = p.S16LE(), dstW = p.S16LE(), dstY = p.S16LE(), dstX = p.S16LE();
      srcH = dstH, srcW = dstW;
      dib = r.type == kDibBitBlt;
      break;
  }
  if (p.Failed()) return Short();
  if (!RopUsesSource(rop)) {
    player_.PatBlt(dstX, dstY, dstW, dstH, rop);
    return Status::Ok();
  }
  Bitmap24 bitmap;
  if (!dib) {
    auto ddb = ReadBitmap16(p, limits_);
    if (!ddb) {
      player_.Skip(r.type);
      return Status::Ok();
    }
    bitmap = std::move(*ddb);
  } else if (usage != 0) {
    player_.Skip(r.type);  // colours given as palette indexes: no palette to look them up in
    return Status::Ok();
  } else {
    auto decoded = DecodeDib(p.Take(p.Remaining()), ByteSpan{}, limits_);
    if (!decoded) return player_.BadBitmap(decoded.error(), r.type);
    bitmap = std::move(decoded.value());
  }
  // StretchDIBits and SetDIBitsToDevice count the source's y from the bottom row.
  const int64_t top = bottomUpSource ? int64_t{bitmap.Height()} - srcY - srcH : srcY;
  player_.DrawBitmap(bitmap, srcX, top, srcW, srcH, dstX, dstY, dstW, dstH, rop);
  return Status::Ok();
}

// One case per WMF record type, grouped as state, drawing, clipping and objects: most are a
// line or two, and a record that needs more has a function of its own. The switch is
// kept whole (it runs past 80 lines) so that what each record does reads in one place.
Status WmfPlayer::Play(const Record& r) {
  ByteReader p(r.params);
  DcState& s = dc_.state;
  switch (r.type) {
    case kSaveDc: player_.Save(); break;
    case kRestoreDc: player_.Restore(p.S16LE()); break;
    case kSetBkMode: s.backgroundMode = p.U16LE(); break;
    case kSetMapMode: break;  // the picture is always the window's rectangle
    case kSetRop2: s.rop2 = p.U16LE(); break;
    case kSetPolyFillMode: s.fillMode = p.U16LE(); break;
    case kSetTextAlign: s.textAlign = p.U16LE(); break;
    case kSetBkColor: s.backgroundColor = p.U32LE() & 0xFFFFFF; break;
    case kSetTextColor: s.textColor = p.U32LE() & 0xFFFFFF; break;
    case kSetWindowOrg: s.windowOrg.y = p.S16LE(), s.windowOrg.x = p.S16LE(); break;
    case kSetWindowExt: {
      const double y = p.S16LE(), x = p.S16LE();
      if (x != 0 && y != 0) s.windowExt = {x, y};
      break;
    }
    case kOffsetWindowOrg: s.windowOrg.y += p.S16LE(), s.windowOrg.x += p.S16LE(); break;
    case kScaleWindowExt: {
      const double yd = p.S16LE(), yn = p.S16LE(), xd = p.S16LE(), xn = p.S16LE();
      if (xd != 0 && yd != 0 && xn != 0 && yn != 0) s.windowExt = {s.windowExt.x * xn / xd, s.windowExt.y * yn / yd};
      break;
    }
    // The viewport is the picture; a metafile's own viewport records would move it
    // within a device it cannot know.
    case kSetViewportOrg: case kSetViewportExt: case kOffsetViewportOrg: case kScaleViewportExt: break;
    case kMoveTo: { const double y = p.S16LE(), x = p.S16LE(); player_.MoveTo({x, y}); break; }
    case kLineTo: { const double y = p.S16LE(), x = p.S16LE(); player_.LineTo({x, y}); break; }
    case kPolygon:
    case kPolyline: {
      auto points = ReadPoints(p, p.S16LE());
      if (!points) return points.error();
      if (r.type == kPolygon) player_.Polygon(*points);
      else player_.Polyline(*points);
      break;
    }
    case kPolyPolygon: {
      const uint16_t n = p.U16LE();
      if (p.Failed() || n > p.Remaining() / 2) return Short();
      std::vector<uint16_t> counts(n);
      for (uint16_t& c : counts) c = p.U16LE();
      std::vector<std::vector<Point>> polygons;
      for (uint16_t c : counts) {
        auto points = ReadPoints(p, c);
        if (!points) return points.error();
        polygons.push_back(std::move(points.value()));
      }
      player_.PolyPolygon(polygons);
      break;
    }
    case kRectangle: case kEllipse: {
      const Box b = ReadReversedBox(p);
      if (p.Failed()) return Short();
      if (r.type == kRectangle) player_.Rectangle(b.left, b.top, b.right, b.bottom);
      else player_.Ellipse(b.left, b.top, b.right, b.bottom);
      break;
    }
    case kRoundRect: {
      const double h = p.S16LE(), w = p.S16LE();
      const Box b = ReadReversedBox(p);
      if (p.Failed()) return Short();
      player_.RoundRect(b.left, b.top, b.right, b.bottom, w, h);
      break;
    }
    case kArc: case kPie: case kChord: {
      Point end, start;
      end.y = p.S16LE(), end.x = p.S16LE(), start.y = p.S16LE(), start.x = p.S16LE();
      const Box b = ReadReversedBox(p);
      if (p.Failed()) return Short();
      const ArcKind kind = r.type == kArc ? ArcKind::Arc : r.type == kPie ? ArcKind::Pie : ArcKind::Chord;
      player_.Arc(kind, b.left, b.top, b.right, b.bottom, start, end);
      break;
    }
    case kSetPixel: {
      const ColorRef c = p.U32LE() & 0xFFFFFF;
      const double y = p.S16LE(), x = p.S16LE();
      if (p.Failed()) return Short();
      player_.SetPixel({x, y}, c);
      break;
    }
    case kTextOut: case kExtTextOut: return Text(p, r.type == kExtTextOut);
    case kPatBlt: {
      const uint32_t rop = p.U32LE();
      const double h = p.S16LE(), w = p.S16LE(), y = p.S16LE(), x = p.S16LE();
      if (p.Failed()) return Short();
      player_.PatBlt(x, y, w, h, rop);
      break;
    }
    case kBitBlt: case kDibBitBlt: case kStretchBlt: case kDibStretchBlt: case kSetDibToDev: case kStretchDib:
      return Bitmap(r, p);
    case kExcludeClipRect: case kIntersectClipRect: {
      const Box b = ReadReversedBox(p);
      if (p.Failed()) return Short();
      if (r.type == kExcludeClipRect) player_.ExcludeClip(b.left, b.top, b.right, b.bottom);
      else player_.IntersectClip(b.left, b.top, b.right, b.bottom);
      break;
    }
    case kSelectClipRegion: {
      const uint16_t index = p.U16LE();
      const Object* o = dc_.objects.Find(index);
      if (const auto* region = o ? std::get_if<Region>(o) : nullptr) player_.ClipRegion(*region, kRgnCopy, false);
      else player_.ClipRegion(Region{}, kRgnCopy, false);
      break;
    }
    case kCreatePenIndirect: {
      Pen pen;
      pen.style = p.U16LE();
      const int16_t width = p.S16LE();
      p.Skip(2);
      pen.color = p.U32LE() & 0xFFFFFF;
      if (p.Failed()) return Short();
      pen.width = std::abs(width);
      pen.cosmetic = width == 0;
      Create(pen);
      break;
    }
    case kCreateBrushIndirect: {
      Brush b;
      b.style = p.U16LE();
      b.color = p.U32LE() & 0xFFFFFF;
      b.hatch = p.U16LE();
      if (p.Failed()) return Short();
      if (b.style != kBsSolid && b.style != kBsNull && b.style != kBsHatched) b.style = kBsSolid;
      Create(b);
      break;
    }
    case kCreateFontIndirect: {
      Font f;
      f.height = p.S16LE(), f.width = p.S16LE(), f.escapement = p.S16LE(), f.orientation = p.S16LE();
      f.weight = p.S16LE();
      f.italic = p.U8() != 0, f.underline = p.U8() != 0, f.strikeOut = p.U8() != 0, f.charset = p.U8();
      p.Skip(4);  // precisions, quality, pitch and family
      if (p.Failed()) return Short();
      ByteSpan face = p.Take(std::min<size_t>(32, p.Remaining()));
      face = face.first(size_t(std::find(face.begin(), face.end(), 0) - face.begin()));
      f.face = ToUtf8(DecodeCharset(face, f.charset));
      Create(f);
      break;
    }
    case kDibCreatePatternBrush: return PatternBrush(p, true);
    case kCreatePatternBrush: return PatternBrush(p, false);
    case kCreateRegion: {
      // The region's bounding box stands for it.
      p.Skip(2 + 2 + 4 + 2 + 2 + 2);
      Region region;
      const double left = p.S16LE(), top = p.S16LE(), right = p.S16LE(), bottom = p.S16LE();
      // A record too short for a region still takes its slot, empty, so that the
      // objects after it keep the indexes the file gives them.
      if (!p.Failed() && right > left && bottom > top) region.boxes.push_back({left, top, right, bottom});
      Create(region);
      break;
    }
    case kFillRegion: case kPaintRegion: {
      const Object* region = dc_.objects.Find(p.U16LE());
      const Object* brush = r.type == kFillRegion ? dc_.objects.Find(p.U16LE()) : nullptr;
      const Region* boxes = region ? std::get_if<Region>(region) : nullptr;
      const Brush* fill = brush ? std::get_if<Brush>(brush) : &s.brush;
      if (boxes && fill) player_.FillRegion(*boxes, *fill, false);
      break;
    }
    case kInvertRegion: {
      const Object* region = dc_.objects.Find(p.U16LE());
      if (p.Failed()) return Short();
      if (const Region* boxes = region ? std::get_if<Region>(region) : nullptr) {
        player_.FillRegion(*boxes, s.brush, false, kDstInvert);
      }
      break;
    }
    case kFrameRegion: {
      const Object* region = dc_.objects.Find(p.U16LE());
      const Object* brush = dc_.objects.Find(p.U16LE());
      const double height = p.S16LE(), width = p.S16LE();
      if (p.Failed()) return Short();
      const Region* boxes = region ? std::get_if<Region>(region) : nullptr;
      const Brush* frame = brush ? std::get_if<Brush>(brush) : nullptr;
      if (boxes && frame) player_.FrameRegion(*boxes, *frame, width, height, false);
      break;
    }
    case kCreatePalette: case kCreateBitmap: case kCreateBitmapIndirect: Create(OtherObject{}); break;
    case kSelectObject: {
      if (const Object* o = dc_.objects.Find(p.U16LE())) dc_.Select(*o);
      break;
    }
    case kDeleteObject: dc_.objects.Remove(p.U16LE()); break;
    // State that changes nothing in a picture drawn once on a true-colour surface.
    case kRealizePalette: case kSetPalEntries: case kSetRelAbs: case kSetStretchBltMode: case kSetTextCharExtra:
    case kResizePalette: case kSetLayout: case kSetTextJustification: case kOffsetClipRgn: case kSetMapperFlags:
    case kSelectPalette: case kAnimatePalette: case kEscape: case kWmfEof:
      break;
    default: player_.Skip(r.type); break;  // flood fills among them
  }
  return Status::Ok();
}

}  // namespace

Result<ClaimedSize> WmfHeaderSize(const FileHead& file) {
  size_t recordsStart = 0;
  auto header = ParseWmfHeader(file.Head(), recordsStart);
  if (!header) return header.error();
  // Without a placeable header, the window records before the first extent, read
  // record by record wherever they lie; only their sizes and types are read.
  uint8_t org[4] = {}, ext[4] = {};
  std::vector<Record> window;
  int64_t pos = static_cast<int64_t>(recordsStart);
  for (size_t n = 0; !header->placeable && n < PlayOptions{}.maxRecords; ++n) {
    uint8_t head[6];
    if (!file.ReadAt(pos, head)) break;
    ByteReader r(head);
    const uint32_t words = r.U32LE();
    const uint16_t function = r.U16LE();
    if (words < 3 || function == kWmfEof) break;
    if (function == kSetWindowOrg || function == kSetWindowExt) {
      uint8_t* params = function == kSetWindowOrg ? org : ext;
      if (words < 5 || !file.ReadAt(pos + 6, {params, 4})) break;
      window.push_back({function, ByteSpan(params, 4)});
      if (function == kSetWindowExt) break;
    }
    pos += int64_t{words} * 2;
  }
  auto frame = FindFrame(header.value(), window);
  if (!frame) return frame.error();
  // The size it is drawn at with the usual limits: a vector picture is never too large.
  FitToLimits(frame->width, frame->height, kDefaultPixelLimits);
  return ClaimedSize{std::llround(frame->width), std::llround(frame->height)};
}

Result<Bitmap24> PlayWmf(ByteSpan data, const PixelLimits& limits, const PlayOptions& options, PlayStats& stats) {
  size_t recordsStart = 0;
  auto header = ParseWmfHeader(data, recordsStart);
  if (!header) return header.error();
  auto records = SplitWmfRecords(data, recordsStart, options.maxRecords);
  if (!records) return records.error();
  auto frame = FindFrame(header.value(), records.value());
  if (!frame) return frame.error();

  // The window maps onto the whole picture.
  // The header's object count is not trusted: a table as large as the indexes allow
  // gives the same slots to a correct file.
  DeviceContext dc(kMaxWmfObjects);
  dc.state.mapMode = kMmAnisotropic;
  dc.state.windowOrg = frame->windowOrg;
  if (frame->windowExt.x != 0 && frame->windowExt.y != 0) dc.state.windowExt = frame->windowExt;
  dc.state.viewportExt = {std::round(frame->width), std::round(frame->height)};
  return PlayOnto(frame->width, frame->height, limits, dc, records.value(), stats, [&](Player& player, const Record& r) {
    return WmfPlayer(player, limits).Play(r);
  });
}

}  // namespace kestal::metafile
