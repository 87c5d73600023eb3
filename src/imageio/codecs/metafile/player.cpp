#include "imageio/codecs/metafile/player.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "imageio/codecs/bmp_reader.h"
#include "imageio/codecs/metafile/text.h"

namespace kestal::metafile {

double FitToLimits(double& width, double& height, const PixelLimits& limits) {
  if (!(width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height))) return 1;
  // Rounded sides must stay within the limits too: the bounds are taken a little short.
  const double side = std::max(1.0, double(limits.max_side) - 0.5);
  const double area = std::max(1.0, double(limits.max_pixels) * 0.999);
  double scale = std::min({1.0, side / width, side / height, std::sqrt(area / (width * height))});
  if (!(scale > 0)) scale = 1;
  width *= scale, height *= scale;
  return scale;
}

namespace {

constexpr double kPi = std::numbers::pi;
constexpr size_t kSkippedTypesKept = 16;

// A Bézier approximation of the unit-square ellipse's arc, at most a quarter turn.
void QuarterArc(Canvas& canvas, const Affine& unit, double a0, double a1) {
  const auto at = [](double a) { return Point{0.5 + 0.5 * std::cos(a), 0.5 + 0.5 * std::sin(a)}; };
  const double k = 4.0 / 3.0 * std::tan((a1 - a0) / 4) * 0.5;
  const Point p0 = at(a0), p3 = at(a1);
  const Point c1{p0.x - k * std::sin(a0), p0.y + k * std::cos(a0)};
  const Point c2{p3.x + k * std::sin(a1), p3.y - k * std::cos(a1)};
  canvas.CurveTo(unit.Apply(c1), unit.Apply(c2), unit.Apply(p3));
}

// The angle of a point seen from the centre of the box, in the unit square.
double UnitAngle(double left, double top, double right, double bottom, Point p) {
  const double u = right != left ? (p.x - left) / (right - left) : 0.5;
  const double v = bottom != top ? (p.y - top) / (bottom - top) : 0.5;
  return std::atan2(v - 0.5, u - 0.5);
}

}  // namespace

bool RopUsesSource(uint32_t rop) {
  // A raster operation's index byte: bits that differ between source 0 and 1.
  const uint32_t index = (rop >> 16) & 0xFF;
  return ((index >> 2) & 0x33) != (index & 0x33);
}

Result<Bitmap24> DecodeDib(ByteSpan info, ByteSpan bits, const PixelLimits& limits) {
  std::vector<uint8_t> packed(info.begin(), info.end());
  packed.insert(packed.end(), bits.begin(), bits.end());
  auto dib = ReadBmp(ByteSpan(packed), limits);
  if (!dib) {
    Error e = dib.error();
    e.cause = "a bitmap in the metafile is unreadable: " + e.cause;
    return e;
  }
  return dib;
}

void Player::Skip(uint32_t type) {
  ++stats_.skipped;
  if (stats_.skippedTypes.size() < kSkippedTypesKept &&
      std::find(stats_.skippedTypes.begin(), stats_.skippedTypes.end(), type) == stats_.skippedTypes.end()) {
    stats_.skippedTypes.push_back(type);
  }
}

Status Player::BadBitmap(const Error& error, uint32_t type) {
  if (error.kind == ErrorKind::OverLimit || error.kind == ErrorKind::NoMemory) return error;
  Skip(type);
  return Status::Ok();
}

double Player::PenScale() const {
  // A geometric pen's width is measured along x, as Windows measures it.
  const Affine m = Map();
  return std::hypot(m.xx, m.yx);
}

void Player::Finish(bool fill, bool stroke) {
  if (inPath_) return;
  canvas_.FillAndStroke(dc_.state, PenScale(), fill, stroke);
}

void Player::AddPoints(const std::vector<Point>& points, bool startNew) {
  const Affine m = Map();
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0 && startNew) canvas_.MoveTo(m.Apply(points[i]));
    else canvas_.LineTo(m.Apply(points[i]));
  }
}

void Player::MoveTo(Point p) {
  dc_.state.position = p;
  if (inPath_) canvas_.MoveTo(Map().Apply(p));
}

void Player::LineTo(Point p) {
  if (!inPath_ || !canvas_.HasCurrentPoint()) canvas_.MoveTo(Map().Apply(dc_.state.position));
  canvas_.LineTo(Map().Apply(p));
  dc_.state.position = p;
  Finish(false, true);
}

void Player::Polyline(const std::vector<Point>& points) {
  if (points.size() < 2) return;
  AddPoints(points, true);
  Finish(false, true);
}

void Player::Polygon(const std::vector<Point>& points) {
  if (points.size() < 2) return;
  AddPoints(points, true);
  canvas_.ClosePath();
  Finish(true, true);
}

void Player::PolylineTo(const std::vector<Point>& points) {
  if (points.empty()) return;
  if (!inPath_ || !canvas_.HasCurrentPoint()) canvas_.MoveTo(Map().Apply(dc_.state.position));
  AddPoints(points, false);
  dc_.state.position = points.back();
  Finish(false, true);
}

void Player::PolyPolygon(const std::vector<std::vector<Point>>& polygons) {
  for (const auto& polygon : polygons) {
    if (polygon.size() < 2) continue;
    AddPoints(polygon, true);
    canvas_.ClosePath();
  }
  Finish(true, true);
}

void Player::PolyPolyline(const std::vector<std::vector<Point>>& lines) {
  for (const auto& line : lines) {
    if (line.size() >= 2) AddPoints(line, true);
  }
  Finish(false, true);
}

void Player::PolyBezier(const std::vector<Point>& points) {
  if (points.size() < 4) return;
  const Affine m = Map();
  canvas_.MoveTo(m.Apply(points[0]));
  for (size_t i = 1; i + 2 < points.size(); i += 3) {
    canvas_.CurveTo(m.Apply(points[i]), m.Apply(points[i + 1]), m.Apply(points[i + 2]));
  }
  Finish(false, true);
}

void Player::PolyBezierTo(const std::vector<Point>& points) {
  if (points.size() < 3) return;
  const Affine m = Map();
  if (!inPath_ || !canvas_.HasCurrentPoint()) canvas_.MoveTo(m.Apply(dc_.state.position));
  size_t i = 0;
  for (; i + 2 < points.size(); i += 3) {
    canvas_.CurveTo(m.Apply(points[i]), m.Apply(points[i + 1]), m.Apply(points[i + 2]));
  }
  dc_.state.position = points[i - 1];
  Finish(false, true);
}

bool Player::PolyDraw(const std::vector<Point>& points, ByteSpan types) {
  enum : uint8_t { kPtCloseFigure = 1, kPtLineTo = 2, kPtBezierTo = 4, kPtMoveTo = 6 };
  for (size_t i = 0; i < points.size(); ++i) {
    const uint8_t t = types[i] & ~kPtCloseFigure;
    if (t == kPtBezierTo) {
      if (i + 2 >= points.size() || (types[i + 1] & ~kPtCloseFigure) != kPtBezierTo ||
          (types[i + 2] & ~kPtCloseFigure) != kPtBezierTo) {
        return false;
      }
      i += 2;
    } else if (t != kPtLineTo && t != kPtMoveTo) {
      return false;
    }
  }
  if (points.empty()) return true;
  const Affine m = Map();
  if (!inPath_ || !canvas_.HasCurrentPoint()) canvas_.MoveTo(m.Apply(dc_.state.position));
  for (size_t i = 0; i < points.size(); ++i) {
    const uint8_t t = types[i] & ~kPtCloseFigure;
    if (t == kPtMoveTo) {
      canvas_.MoveTo(m.Apply(points[i]));
    } else if (t == kPtLineTo) {
      canvas_.LineTo(m.Apply(points[i]));
    } else {
      canvas_.CurveTo(m.Apply(points[i]), m.Apply(points[i + 1]), m.Apply(points[i + 2]));
      i += 2;
    }
    if (types[i] & kPtCloseFigure) canvas_.ClosePath();
  }
  dc_.state.position = points.back();
  Finish(false, true);
  return true;
}

Affine Player::BoxMap(double left, double top, double right, double bottom) const {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const Affine m = Map();
  Point o = m.Apply({left, top}), x = m.Apply({right, top}), y = m.Apply({left, bottom});
  if (m.xy == 0 && m.yx == 0) {
    // Axis-aligned: the right and bottom pixel edges are not part of the box.
    if (x.x - o.x >= 1) x.x -= 1;
    else if (o.x - x.x >= 1) o.x -= 1;
    if (y.y - o.y >= 1) y.y -= 1;
    else if (o.y - y.y >= 1) o.y -= 1;
    y.x = o.x, x.y = o.y;
  }
  return {x.x - o.x, x.y - o.y, y.x - o.x, y.y - o.y, o.x, o.y};
}

void Player::Rectangle(double left, double top, double right, double bottom) {
  const Affine unit = BoxMap(left, top, right, bottom);
  canvas_.MoveTo(unit.Apply({0, 0}));
  canvas_.LineTo(unit.Apply({1, 0}));
  canvas_.LineTo(unit.Apply({1, 1}));
  canvas_.LineTo(unit.Apply({0, 1}));
  canvas_.ClosePath();
  Finish(true, true);
}

void Player::AddArcSegment(const Affine& unit, double from, double sweep, bool connect) {
  const Point start{0.5 + 0.5 * std::cos(from), 0.5 + 0.5 * std::sin(from)};
  if (connect) canvas_.LineTo(unit.Apply(start));
  else canvas_.MoveTo(unit.Apply(start));
  const int pieces = std::max(1, int(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
  for (int i = 0; i < pieces; ++i) {
    QuarterArc(canvas_, unit, from + sweep * i / pieces, from + sweep * (i + 1) / pieces);
  }
}

void Player::Ellipse(double left, double top, double right, double bottom) {
  AddArcSegment(BoxMap(left, top, right, bottom), 0, 2 * kPi, false);
  canvas_.ClosePath();
  Finish(true, true);
}

void Player::RoundRect(double left, double top, double right, double bottom, double cornerWidth, double cornerHeight) {
  const Affine unit = BoxMap(left, top, right, bottom);
  const double rx = std::min(0.5, right != left ? std::fabs(cornerWidth / (right - left)) / 2 : 0);
  const double ry = std::min(0.5, bottom != top ? std::fabs(cornerHeight / (bottom - top)) / 2 : 0);
  // Each corner is a quarter of an ellipse 2rx × 2ry placed in that corner.
  const auto corner = [&](double cx, double cy, double a0) {
    const Affine c = unit.After(Affine{2 * rx, 0, 0, 2 * ry, cx - rx, cy - ry});
    const Point start{0.5 + 0.5 * std::cos(a0), 0.5 + 0.5 * std::sin(a0)};
    canvas_.LineTo(c.Apply(start));
    QuarterArc(canvas_, c, a0, a0 + kPi / 2);
  };
  canvas_.MoveTo(unit.Apply({rx, 0}));
  corner(1 - rx, ry, -kPi / 2);
  corner(1 - rx, 1 - ry, 0);
  corner(rx, 1 - ry, kPi / 2);
  corner(rx, ry, kPi);
  canvas_.ClosePath();
  Finish(true, true);
}

void Player::Arc(ArcKind kind, double left, double top, double right, double bottom, Point start, Point end) {
  const Affine unit = BoxMap(left, top, right, bottom);
  const double a0 = UnitAngle(left, top, right, bottom, start), a1 = UnitAngle(left, top, right, bottom, end);
  // Windows draws arcs anticlockwise as seen on a y-down page unless told otherwise:
  // the angle decreases from the start to the end. Equal angles make a whole ellipse.
  double sweep = dc_.state.clockwiseArcs ? a1 - a0 : a0 - a1;
  while (sweep <= 1e-12) sweep += 2 * kPi;
  if (sweep > 2 * kPi) sweep = 2 * kPi;
  if (!dc_.state.clockwiseArcs) sweep = -sweep;
  if (kind == ArcKind::Pie) canvas_.MoveTo(unit.Apply({0.5, 0.5}));
  if (kind == ArcKind::ArcTo && (!inPath_ || !canvas_.HasCurrentPoint())) canvas_.MoveTo(Map().Apply(dc_.state.position));
  AddArcSegment(unit, a0, sweep, kind == ArcKind::Pie || kind == ArcKind::ArcTo);
  if (kind == ArcKind::ArcTo) {
    const Point e{0.5 + 0.5 * std::cos(a0 + sweep), 0.5 + 0.5 * std::sin(a0 + sweep)};
    const Affine back = Map().Invertible() ? Map().Inverse() : Affine{};
    dc_.state.position = back.Apply(unit.Apply(e));
  }
  const bool closed = kind == ArcKind::Chord || kind == ArcKind::Pie;
  if (closed) canvas_.ClosePath();
  Finish(closed, true);
}

void Player::AngleArc(Point c, double radius, double startDegrees, double sweepDegrees) {
  if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees)) return;
  const double r = radius;
  const Affine m = Map();
  const Affine unit = m.After(Affine{2 * r, 0, 0, 2 * r, c.x - r, c.y - r});
  const double a0 = -startDegrees * kPi / 180;
  const double sweep = -std::clamp(sweepDegrees, -3600.0, 3600.0) * kPi / 180;
  if (!inPath_ || !canvas_.HasCurrentPoint()) canvas_.MoveTo(m.Apply(dc_.state.position));
  AddArcSegment(unit, a0, sweep, true);
  dc_.state.position = {c.x + r * std::cos(a0 + sweep), c.y + r * std::sin(a0 + sweep)};
  Finish(false, true);
}

void Player::Text(Point reference, const TextRun& run) {
  const bool updateCp = dc_.state.textAlign & kTaUpdateCp;
  const Point at = updateCp ? dc_.state.position : reference;
  Point after;
  if (const SymbolFace face = SymbolFaceOf(dc_.state.font.face); face != SymbolFace::kNone) {
    TextRun mapped = run;
    mapped.text = FromSymbolFont(run.text, face);
    mapped.arrowsOnBaseline = face == SymbolFace::kMtExtra;
    after = canvas_.DrawText(dc_.state, Map(), at, mapped, inPath_);
  } else {
    after = canvas_.DrawText(dc_.state, Map(), at, run, inPath_);
  }
  if (updateCp) dc_.state.position = after;
}

void Player::SetPixel(Point p, ColorRef color) { canvas_.SetPixel(Map().Apply(p), color); }

void Player::PatBlt(double left, double top, double width, double height, uint32_t rop) {
  canvas_.PatternFill(dc_.state, MapBox(Map(), left, top, left + width, top + height), rop);
}

void Player::DrawBitmap(const Bitmap24& bitmap, int64_t srcX, int64_t srcY, int64_t srcW, int64_t srcH, double left,
                        double top, double width, double height, uint32_t rop) {
  canvas_.DrawBitmap(bitmap, srcX, srcY, srcW, srcH, MapBox(Map(), left, top, left + width, top + height), rop);
}

namespace {

// The ternary raster operation of an index byte (the operation's middle byte).
uint32_t RopOfIndex(uint32_t index) {
  for (uint32_t rop : {kSrcCopy, kSrcPaint, kSrcAnd, kSrcInvert, kNotSrcCopy, kPatCopy, kPatInvert, kDstInvert,
                       kBlackness, kWhiteness, kDstCopy}) {
    if (((rop >> 16) & 0xFF) == index) return rop;
  }
  return index << 16;
}

}  // namespace

void Player::MaskedBitmap(const Bitmap24& bitmap, int64_t srcX, int64_t srcY, int64_t srcW, int64_t srcH,
                          const Point (&corners)[3], uint32_t rop4, const Bitmap24* mask, int64_t maskX,
                          int64_t maskY) {
  const Affine m = Map();
  const Parallelogram where{m.Apply(corners[0]), m.Apply(corners[1]), m.Apply(corners[2])};
  const uint32_t passes[2][2] = {{RopOfIndex(rop4 >> 24), 0}, {RopOfIndex((rop4 >> 16) & 0xFF), 1}};
  for (const auto& [passRop, light] : passes) {
    if ((!mask && !light) || passRop == kDstCopy) continue;
    BitmapMask through{mask, maskX, maskY, light != 0, std::nullopt};
    uint32_t rop = passRop;
    // An operation without the source fills the pixels the mask lets through.
    if (!RopUsesSource(rop)) {
      if (rop == kBlackness) through.solid = 0;
      else if (rop == kWhiteness) through.solid = 0xFFFFFF;
      else if (rop == kPatCopy && dc_.state.brush.style == kBsSolid) through.solid = dc_.state.brush.color;
      else continue;
      rop = kSrcCopy;
    }
    canvas_.DrawBitmap(bitmap, srcX, srcY, srcW, srcH, where, rop, &through);
  }
}

void Player::GradientBox(const ShadedVertex& from, const ShadedVertex& to, bool vertical) {
  const Affine m = Map();
  const Parallelogram where{m.Apply(from.at), m.Apply({to.at.x, from.at.y}), m.Apply({from.at.x, to.at.y})};
  canvas_.GradientBox(where, from.color, to.color, vertical);
}

void Player::GradientTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c) {
  const Affine m = Map();
  canvas_.GradientTriangle({m.Apply(a.at), a.color}, {m.Apply(b.at), b.color}, {m.Apply(c.at), c.color});
}

void Player::IntersectClip(double left, double top, double right, double bottom) {
  canvas_.IntersectClip(MapBox(Map(), left, top, right, bottom));
}

void Player::ExcludeClip(double left, double top, double right, double bottom) {
  canvas_.ExcludeClip({MapBox(Map(), left, top, right, bottom)});
}

void Player::ClipRegion(const Region& region, int mode, bool deviceUnits) {
  const Affine m = deviceUnits ? dc_.deviceToPicture : Map();
  std::vector<Parallelogram> boxes;
  for (const Region::Box& b : region.boxes) boxes.push_back(MapBox(m, b.left, b.top, b.right, b.bottom));
  switch (mode) {
    case kRgnCopy:
      if (boxes.empty()) canvas_.ResetClip();
      else canvas_.ClipToBoxes(boxes, true);
      break;
    case kRgnAnd: canvas_.ClipToBoxes(boxes, false); break;
    case kRgnDiff: canvas_.ExcludeClip(boxes); break;
    default: Skip(0x10000 + uint32_t(mode)); break;    // OR and XOR would widen the clip
  }
}

void Player::FillRegion(const Region& region, const Brush& brush, bool deviceUnits, uint32_t rop) {
  DcState s = dc_.state;
  s.brush = brush;
  const Affine m = deviceUnits ? dc_.deviceToPicture : Map();
  for (const Region::Box& b : region.boxes) canvas_.PatternFill(s, MapBox(m, b.left, b.top, b.right, b.bottom), rop);
}

void Player::FrameRegion(const Region& region, const Brush& brush, double width, double height, bool deviceUnits) {
  DcState s = dc_.state;
  s.brush = brush;
  const Affine logical = Map(), m = deviceUnits ? dc_.deviceToPicture : logical;
  const double w = std::fabs(width) * std::hypot(logical.xx, logical.yx);
  const double h = std::fabs(height) * std::hypot(logical.xy, logical.yy);
  for (const Region::Box& b : region.boxes) {
    const Point a = m.Apply({b.left, b.top}), z = m.Apply({b.right, b.bottom});
    const double l = std::min(a.x, z.x), r = std::max(a.x, z.x), t = std::min(a.y, z.y), d = std::max(a.y, z.y);
    const double sw = std::min(w, (r - l) / 2), sh = std::min(h, (d - t) / 2);
    const double strips[4][4] = {{l, t, r, t + sh}, {l, d - sh, r, d}, {l, t + sh, l + sw, d - sh}, {r - sw, t + sh, r, d - sh}};
    for (const auto& q : strips) canvas_.PatternFill(s, MapBox(Affine{}, q[0], q[1], q[2], q[3]), kPatCopy);
  }
}

void Player::Save() {
  // The canvas keeps a level for each one the device context keeps, so that a restore
  // takes both back to the same state.
  if (dc_.Save()) canvas_.Save();
}

void Player::Restore(int32_t which) { canvas_.Restore(dc_.Restore(which)); }

void Player::BeginPath() {
  canvas_.ClearPath();
  inPath_ = true;
}

void Player::EndPath() {
  if (!inPath_) return;
  inPath_ = false;
  canvas_.KeepPath();
}

void Player::AbortPath() {
  inPath_ = false;
  canvas_.ClearPath();
  canvas_.KeepPath();
}

void Player::CloseFigure() {
  if (inPath_) canvas_.ClosePath();
}

void Player::FillPath(bool fill, bool stroke) {
  if (inPath_) EndPath();
  if (canvas_.TakeKeptPath()) canvas_.FillAndStroke(dc_.state, PenScale(), fill, stroke);
}

void Player::SelectClipPath(int mode) {
  if (inPath_) EndPath();
  if (!canvas_.TakeKeptPath()) return;
  if (mode == kRgnCopy || mode == kRgnAnd) canvas_.ClipToPath(mode == kRgnCopy);
  else {
    canvas_.ClearPath();
    Skip(0x10000 + uint32_t(mode));
  }
}

}  // namespace kestal::metafile
