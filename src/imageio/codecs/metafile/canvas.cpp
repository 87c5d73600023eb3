#include "imageio/codecs/metafile/canvas.h"

#include "imageio/codecs/metafile/text.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>

namespace kestal::metafile {
namespace {

// Cairo keeps coordinates in 24.8 fixed point; shapes reaching further than this from
// the picture are dropped rather than wrapped around. Pictures are at most 30 000
// pixels a side, so nothing visible lies out there.
constexpr double kFarthest = 4'000'000;
// The widest pen, in pixels: wider than any picture.
constexpr double kWidest = 100'000;
// Text larger than this (em, pixels) is filled as outlines, not through the glyph
// cache's bitmaps; text smaller than the smallest is invisible and skipped.
constexpr double kLargestCachedGlyph = 512, kSmallestGlyph = 0.05;
// How many times the picture's area the drawing may cover in all. Clip art covers it a
// few times; a file that asks for more (a tiny bitmap stretched over the picture a
// million times) has the rest of its drawing dropped rather than taking hours.
constexpr double kCoverageBudget = 256;
// Cairo strokes a path as one shape, and the work of joining its pieces grows with the
// square of the times they cross: a scribble of a hundred thousand points would take
// minutes. A longer path is stroked in runs of this many pieces, each run continuing
// where the last ended, so the work grows with the length. (Where runs cross, an
// antialiased edge pixel is blended twice; ordinary shapes are far shorter.)
constexpr int kStrokeRun = 256;
// The drawing work a metafile may ask for, in pixels of a one-pixel line: each piece of
// a path costs kPieceWork (a dash is a piece), each pixel of stroked length one. This
// is some ten seconds of drawing; a file that asks for more is refused as too complex
// rather than drawn in part.
constexpr double kWorkBudget = 48e6, kPieceWork = 8;

// Windows' dash patterns: cosmetic pens in pixels, geometric pens in pen widths.
const std::vector<double> kDashes[] = {{}, {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
const std::vector<double> kGeometricDashes[] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};

uint32_t ToArgb(ColorRef c) { return (uint32_t(RedOf(c)) << 16) | (uint32_t(GreenOf(c)) << 8) | BlueOf(c); }

void SetColor(cairo_t* cr, ColorRef c) { cairo_set_source_rgb(cr, RedOf(c) / 255.0, GreenOf(c) / 255.0, BlueOf(c) / 255.0); }

// An image surface holding part of a bitmap (clamped to it); inverted for NOTSRCCOPY.
cairo_surface_t* SurfaceFrom(const Bitmap24& b, int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool invert) {
  const int w = int(x1 - x0), h = int(y1 - y0);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return s;
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint32_t flip = invert ? 0xFFFFFF : 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = b.Row(int32_t(y0 + y)) + 3 * x0;
    auto* out = reinterpret_cast<uint32_t*>(data + size_t(stride) * y);
    for (int x = 0; x < w; ++x, in += 3) out[x] = ((uint32_t(in[2]) << 16) | (uint32_t(in[1]) << 8) | in[0]) ^ flip;
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// An 8 × 8 hatch tile: the lines in the brush colour over the background colour, or
// over nothing in transparent mode.
cairo_pattern_t* HatchPattern(uint32_t hatch, ColorRef color, ColorRef background, bool opaque) {
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_t* cr = cairo_create(tile);
  if (opaque) {
    SetColor(cr, background);
    cairo_paint(cr);
  }
  SetColor(cr, color);
  for (int i = 0; i < 8; ++i) {
    const bool horizontal = hatch == 0 || hatch == 4, vertical = hatch == 1 || hatch == 4;
    const bool forward = hatch == 2 || hatch == 5, backward = hatch == 3 || hatch == 5;
    if (horizontal) cairo_rectangle(cr, i, 7, 1, 1);
    if (vertical) cairo_rectangle(cr, 7, i, 1, 1);
    if (forward) cairo_rectangle(cr, i, i, 1, 1);
    if (backward) cairo_rectangle(cr, 7 - i, i, 1, 1);
  }
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
  cairo_surface_destroy(tile);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
  return p;
}

// Metafiles name Windows fonts. Each name is taken to one of fontconfig's generic
// families (serif, monospace, or else sans-serif), which it resolves to the closest
// installed face. The faces are made once per family and style and kept for the
// process: Cairo's toy faces leave a little memory behind each time one is made, so
// making one per name a file chooses would grow without end.
const char* GenericFamily(const std::string& face) {
  std::string name;
  for (char c : face) name += char(std::tolower(static_cast<unsigned char>(c)));
  for (const char* mono : {"courier", "mono", "console", "consolas", "fixed", "terminal", "typewriter"}) {
    if (name.find(mono) != std::string::npos) return "monospace";
  }
  for (const char* serif : {"times", "roman", "serif", "georgia", "garamond", "book", "century", "palatino",
                            "cambria", "minion", "batang", "mincho", "song"}) {
    if (name.find(serif) != std::string::npos && name.find("sans") == std::string::npos) return "serif";
  }
  return "sans-serif";
}

cairo_font_face_t* FaceFor(const Font& f) {
  static std::mutex mutex;
  static cairo_font_face_t* faces[3][2][2] = {};
  const char* family = GenericFamily(f.face);
  const int which = family[0] == 'm' ? 0 : family[1] == 'e' ? 1 : 2;
  const int italic = f.italic ? 1 : 0, bold = f.weight >= 600 ? 1 : 0;
  std::lock_guard<std::mutex> lock(mutex);
  cairo_font_face_t*& face = faces[which][italic][bold];
  if (!face) {
    face = cairo_toy_font_face_create(family, italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                      bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  return cairo_font_face_reference(face);
}

// A face that has the character, found through fontconfig, for text whose face lacks
// it (a missing glyph would show as a box), or null when no installed font has it.
// Faces are made once per font file and kept for the process, as FaceFor's are; the
// answer for each character is kept too, up to a bound.
cairo_font_face_t* FallbackFace(char32_t c) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, int>, cairo_font_face_t*> byFile;
  static std::map<char32_t, cairo_font_face_t*> byChar;
  constexpr size_t kRememberedChars = 4096;
  std::lock_guard<std::mutex> lock(mutex);
  if (auto known = byChar.find(c); known != byChar.end()) return known->second;
  FcPattern* wanted = FcPatternCreate();
  FcCharSet* chars = FcCharSetCreate();
  FcCharSetAddChar(chars, c);
  FcPatternAddCharSet(wanted, FC_CHARSET, chars);
  FcCharSetDestroy(chars);
  FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
  FcDefaultSubstitute(wanted);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, wanted, &result);
  FcPatternDestroy(wanted);
  cairo_font_face_t* face = nullptr;
  FcCharSet* has = nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  if (match && FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, c) &&
      FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    cairo_font_face_t*& kept = byFile[{reinterpret_cast<const char*>(file), index}];
    if (!kept) kept = cairo_ft_font_face_create_for_pattern(match);
    face = kept;
  }
  if (match) FcPatternDestroy(match);
  if (byChar.size() < kRememberedChars) byChar[c] = face;
  return face;
}

// A one-pixel line from x to x' covers the pixels x to x' − 1. Through pixel centres
// with flat ends it would cover half of x and half of x', so each open figure of
// straight segments starts half a pixel earlier and ends half a pixel sooner.
void CoverFirstPixelNotLast(cairo_path_t* path) {
  if (path->status != CAIRO_STATUS_SUCCESS) return;
  const auto shift = [](cairo_path_data_t& moved, const cairo_path_data_t& toward, double by) {
    const double dx = toward.point.x - moved.point.x, dy = toward.point.y - moved.point.y;
    const double length = std::hypot(dx, dy);
    if (length > 0) moved.point.x += by * dx / length, moved.point.y += by * dy / length;
  };
  int start = -1, previous = -1, last = -1;  // indexes of points: the figure's first, the one before the last, the last
  bool straight = true;
  const auto finish = [&](bool closed) {
    if (start >= 0 && last >= 0 && previous >= 0 && straight && !closed) {
      shift(path->data[last], path->data[previous], 0.5);
      shift(path->data[start], path->data[start + 2], -0.5);
    }
    start = previous = last = -1;
    straight = true;
  };
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    switch (path->data[i].header.type) {
      case CAIRO_PATH_MOVE_TO: finish(false), start = i + 1; break;
      case CAIRO_PATH_LINE_TO: previous = last >= 0 ? last : start, last = i + 1; break;
      case CAIRO_PATH_CURVE_TO: straight = false; break;
      case CAIRO_PATH_CLOSE_PATH: finish(true); break;
    }
  }
  finish(false);
}

}  // namespace

// Under LeakSanitizer (the sanitizer and fuzz builds), the few bytes Cairo loses when a
// toy face is made, once per kept face above, are not reported as leaks.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTAL_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KESTAL_LEAK_CHECKED)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

Parallelogram MapBox(const Affine& m, double left, double top, double right, double bottom) {
  return {m.Apply({left, top}), m.Apply({right, top}), m.Apply({left, bottom})};
}

Canvas::Canvas(cairo_surface_t* surface, cairo_t* cr, int32_t width, int32_t height)
    : surface_(surface), cr_(cr), width_(width), height_(height) {}

Canvas::~Canvas() {
  if (kept_) cairo_path_destroy(kept_);
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

Result<std::unique_ptr<Canvas>> Canvas::Create(int32_t width, int32_t height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return Error::NoMemory("no memory to draw the metafile");
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  return std::unique_ptr<Canvas>(new Canvas(surface, cr, width, height));
}

void Canvas::MoveTo(Point p) {
  if (!(std::fabs(p.x) < kFarthest && std::fabs(p.y) < kFarthest)) {
    pathTooFar_ = true;
    return;
  }
  cairo_move_to(cr_, p.x, p.y);
}

void Canvas::LineTo(Point p) {
  if (!(std::fabs(p.x) < kFarthest && std::fabs(p.y) < kFarthest)) {
    pathTooFar_ = true;
    return;
  }
  if (cairo_has_current_point(cr_)) cairo_line_to(cr_, p.x, p.y);
  else cairo_move_to(cr_, p.x, p.y);
}

void Canvas::CurveTo(Point c1, Point c2, Point p) {
  for (Point q : {c1, c2, p}) {
    if (!(std::fabs(q.x) < kFarthest && std::fabs(q.y) < kFarthest)) {
      pathTooFar_ = true;
      return;
    }
  }
  if (!cairo_has_current_point(cr_)) cairo_move_to(cr_, c1.x, c1.y);
  cairo_curve_to(cr_, c1.x, c1.y, c2.x, c2.y, p.x, p.y);
}

void Canvas::ClosePath() {
  if (cairo_has_current_point(cr_)) cairo_close_path(cr_);
}

void Canvas::ClearPath() {
  cairo_new_path(cr_);
  pathTooFar_ = false;
}

bool Canvas::HasCurrentPoint() const { return cairo_has_current_point(cr_); }

void Canvas::KeepPath() {
  if (kept_) cairo_path_destroy(kept_);
  kept_ = pathTooFar_ ? nullptr : cairo_copy_path(cr_);
  ClearPath();
}

bool Canvas::TakeKeptPath() {
  ClearPath();
  if (!kept_) return false;
  cairo_append_path(cr_, kept_);
  cairo_path_destroy(kept_);
  kept_ = nullptr;
  return true;
}

// Sets the source and operator for a colour drawn under the binary raster operation;
// false when nothing is to be drawn (R2_NOP).
bool Canvas::SetPenSource(const DcState& s, ColorRef color) {
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  switch (s.rop2) {
    case kR2Nop: return false;
    case kR2Black: SetColor(cr_, 0); break;
    case kR2White: SetColor(cr_, 0xFFFFFF); break;
    case 4: SetColor(cr_, ~color & 0xFFFFFF); break;  // R2_NOTCOPYPEN
    // XOR and AND with a colour are exact for black-and-white drawing through
    // difference and multiply; OR is taken as the lighter of the two.
    case kR2Not: SetColor(cr_, 0xFFFFFF), cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE); break;
    case kR2XorPen: SetColor(cr_, color), cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE); break;
    case kR2MaskPen: SetColor(cr_, color), cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY); break;
    case 15: SetColor(cr_, color), cairo_set_operator(cr_, CAIRO_OPERATOR_LIGHTEN); break;  // R2_MERGEPEN
    default: SetColor(cr_, color); break;
  }
  return true;
}

bool Canvas::SetBrushSource(const DcState& s) {
  const Brush& b = s.brush;
  if (b.IsNull()) return false;
  if (b.style == kBsHatched) {
    if (!SetPenSource(s, b.color)) return false;
    cairo_pattern_t* p = HatchPattern(b.hatch % 6, b.color, s.backgroundColor, s.backgroundMode == kOpaque);
    cairo_set_source(cr_, p);
    cairo_pattern_destroy(p);
    return true;
  }
  if (b.pattern && (b.style == kBsDibPattern || b.style == kBsDibPatternPt || b.style == kBsPattern)) {
    // Making the tile costs its area, each time.
    if (!Charge(0, 0, b.pattern->Width(), b.pattern->Height())) return false;
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_surface_t* tile = SurfaceFrom(*b.pattern, 0, 0, b.pattern->Width(), b.pattern->Height(), false);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
    cairo_surface_destroy(tile);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
    cairo_set_source(cr_, p);
    cairo_pattern_destroy(p);
    return true;
  }
  return SetPenSource(s, b.color);
}

namespace {

// The pen's width in picture pixels.
double PenWidth(const DcState& s, double logicalScale) {
  return s.pen.cosmetic ? 1.0 : std::clamp(s.pen.width * logicalScale, 1.0, kWidest);
}

// The pen's dash pattern in picture pixels; empty for a solid line. A geometric pen's
// own (user) dash lengths are in logical units, scaled as its width is; a cosmetic
// pen's are in pixels.
std::vector<double> PenDashes(const DcState& s, double width, double logicalScale) {
  const Pen& pen = s.pen;
  uint32_t style = pen.style & kPsStyleMask;
  // Pens of the old kind draw their dashes only while they are one pixel wide.
  if (!pen.cosmetic && !pen.extended && width > 1.5) style = kPsSolid;
  const bool inPixels = pen.cosmetic || !pen.extended;
  std::vector<double> dashes;
  if (style >= kPsDash && style <= kPsDashDotDot) {
    for (double d : inPixels ? kDashes[style] : kGeometricDashes[style]) dashes.push_back(inPixels ? d : d * width);
  } else if (style == kPsAlternate) {
    dashes = {1, 1};
  } else if (style == kPsUserStyle) {
    for (double d : pen.dashes) dashes.push_back(std::max(0.0, inPixels ? d : d * logicalScale));
  }
  return dashes;
}

// The length of a path's pieces (a curve's by its control points, which are at least
// as long), each counted up to `longest` (what can lie on the picture), and how many
// pieces there are.
void Measure(const cairo_path_t* path, double longest, double& length, double& pieces) {
  Point last{};
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t* d = &path->data[i];
    const int points = d->header.length - 1;
    for (int k = 1; k <= points; ++k) {
      const Point p{d[k].point.x, d[k].point.y};
      if (d->header.type != CAIRO_PATH_MOVE_TO) length += std::min(longest, std::hypot(p.x - last.x, p.y - last.y));
      last = p;
    }
    ++pieces;
  }
}

}  // namespace

void Canvas::Stroke(const DcState& s, double logicalScale) {
  const Pen& pen = s.pen;
  const double width = PenWidth(s, logicalScale);
  cairo_set_line_width(cr_, width);
  const uint32_t cap = pen.style & kPsEndCapMask, join = pen.style & kPsJoinMask;
  if (pen.cosmetic) {
    // A one-pixel line from x to x' covers the pixels x to x' − 1, as Windows draws it.
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
  } else {
    cairo_set_line_cap(cr_, cap == kPsEndCapFlat ? CAIRO_LINE_CAP_BUTT
                            : cap == kPsEndCapSquare ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, join == kPsJoinBevel ? CAIRO_LINE_JOIN_BEVEL
                             : join == kPsJoinMiter ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND);
  }
  cairo_set_miter_limit(cr_, std::clamp(s.miterLimit, 1.0, 100.0));
  std::vector<double> dashes = PenDashes(s, width, logicalScale);
  if (!dashes.empty() && s.backgroundMode == kOpaque && s.rop2 == kR2CopyPen) {
    // The gaps of a dashed line show the background colour in opaque mode.
    SetColor(cr_, s.backgroundColor);
    cairo_set_dash(cr_, nullptr, 0, 0);
    cairo_stroke_preserve(cr_);
  }
  // Cairo refuses a pattern of zero lengths (and would stop drawing altogether).
  double total = 0;
  for (double d : dashes) total += d;
  if (!(total > 0)) dashes.clear();
  cairo_set_dash(cr_, dashes.data(), int(dashes.size()), 0);
  if (SetPenSource(s, pen.color)) cairo_stroke_preserve(cr_);
  cairo_set_dash(cr_, nullptr, 0, 0);
}

bool Canvas::Charge(double x1, double y1, double x2, double y2) {
  const double w = std::clamp(x2, 0.0, double(width_)) - std::clamp(x1, 0.0, double(width_));
  const double h = std::clamp(y2, 0.0, double(height_)) - std::clamp(y1, 0.0, double(height_));
  if (w > 0 && h > 0) covered_ += w * h;
  if (covered_ <= kCoverageBudget * (double(width_) * height_ + 65536)) return true;
  ++dropped;
  return false;
}

void Canvas::FillAndStroke(const DcState& s, double logicalScale, bool fill, bool stroke) {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (!pathTooFar_) cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
  const double pad = stroke && !s.pen.cosmetic ? std::min(kWidest, s.pen.width * logicalScale) : 1;
  if (pathTooFar_ || !Charge(x1 - pad, y1 - pad, x2 + pad, y2 + pad)) {
    if (pathTooFar_) ++dropped;
    ClearPath();
    return;
  }
  if (fill && SetBrushSource(s)) {
    cairo_path_t* path = cairo_copy_path(cr_);
    const double pieces = path->num_data;
    cairo_path_destroy(path);
    cairo_set_fill_rule(cr_, s.fillMode == kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    if (ChargeWork(pieces * kPieceWork)) cairo_fill_preserve(cr_);
  }
  if (stroke && !s.pen.IsNull()) {
    // Through the pixel centres: a line from x to x' at one pixel covers whole pixels.
    cairo_path_t* path = cairo_copy_path(cr_);
    if (s.pen.cosmetic) CoverFirstPixelNotLast(path);
    cairo_new_path(cr_);
    cairo_translate(cr_, 0.5, 0.5);
    StrokeInRuns(s, logicalScale, path);
    cairo_path_destroy(path);
    cairo_identity_matrix(cr_);
  }
  ClearPath();
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

bool Canvas::ChargeWork(double units) {
  work_ += units;
  if (work_ > kWorkBudget) tooComplex_ = true;
  return !tooComplex_;
}

void Canvas::StrokeInRuns(const DcState& s, double logicalScale, const cairo_path_t* path) {
  double length = 0, pieces = 0, period = 0;
  Measure(path, std::hypot(double(width_), double(height_)), length, pieces);
  for (double d : PenDashes(s, PenWidth(s, logicalScale), logicalScale)) period += d;
  const double dashes = period > 0 ? length / period : 0;
  if (!ChargeWork(length + (pieces + dashes) * kPieceWork)) return;
  if (path->num_data <= kStrokeRun) {
    cairo_append_path(cr_, path);
    Stroke(s, logicalScale);
    return;
  }
  Point figureStart{}, last{};
  bool split = false;  // the current figure was cut between runs: its closing is a line
  int inRun = 0;
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t* d = &path->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        figureStart = last = {d[1].point.x, d[1].point.y};
        split = false;
        cairo_move_to(cr_, last.x, last.y);
        continue;
      case CAIRO_PATH_LINE_TO:
        last = {d[1].point.x, d[1].point.y};
        cairo_line_to(cr_, last.x, last.y);
        break;
      case CAIRO_PATH_CURVE_TO:
        last = {d[3].point.x, d[3].point.y};
        cairo_curve_to(cr_, d[1].point.x, d[1].point.y, d[2].point.x, d[2].point.y, last.x, last.y);
        break;
      case CAIRO_PATH_CLOSE_PATH:
        if (split) cairo_line_to(cr_, figureStart.x, figureStart.y);
        else cairo_close_path(cr_);
        last = figureStart;
        break;
    }
    if (++inRun == kStrokeRun) {
      Stroke(s, logicalScale);
      cairo_new_path(cr_);
      cairo_move_to(cr_, last.x, last.y);
      inRun = 0;
      split = true;
    }
  }
  Stroke(s, logicalScale);
}

void Canvas::AddParallelogram(const Parallelogram& p, bool reverse) {
  const Point far{p.xEnd.x + p.yEnd.x - p.origin.x, p.xEnd.y + p.yEnd.y - p.origin.y};
  const Point corners[4] = {p.origin, p.xEnd, far, p.yEnd};
  for (int i = 0; i < 4; ++i) {
    const Point c = corners[reverse ? (4 - i) % 4 : i];
    if (i == 0) MoveTo(c);
    else LineTo(c);
  }
  ClosePath();
}

void Canvas::PatternFill(const DcState& s, const Parallelogram& where, uint32_t rop) {
  cairo_path_t* kept = cairo_copy_path(cr_);
  cairo_new_path(cr_);
  AddParallelogram(where, false);
  bool draw = true;
  switch (rop) {
    case kBlackness: SetColor(cr_, 0); break;
    case kWhiteness: SetColor(cr_, 0xFFFFFF); break;
    case kDstInvert: SetColor(cr_, 0xFFFFFF), cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE); break;
    case kPatInvert:
      draw = !s.brush.IsNull();
      SetColor(cr_, s.brush.color), cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
      break;
    case kDstCopy: draw = false; break;
    default: draw = SetBrushSource(s); break;  // PATCOPY and the rest
  }
  if (draw && !pathTooFar_) {
    double x1, y1, x2, y2;
    cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
    if (Charge(x1, y1, x2, y2)) cairo_fill(cr_);
  }
  pathTooFar_ = false;
  cairo_new_path(cr_);
  cairo_append_path(cr_, kept);
  cairo_path_destroy(kept);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

template <class PixelAt>
void Canvas::PaintPixels(const Point (&corners)[4], PixelAt pixelAt, uint32_t rop) {
  double left = corners[0].x, right = left, top = corners[0].y, bottom = top;
  for (const Point& c : corners) {
    left = std::min(left, c.x), right = std::max(right, c.x), top = std::min(top, c.y), bottom = std::max(bottom, c.y);
  }
  if (!(right > 0 && bottom > 0 && left < width_ && top < height_)) return;
  const int bx0 = int(std::max(0.0, std::floor(left))), by0 = int(std::max(0.0, std::floor(top)));
  const int bx1 = int(std::min<double>(width_, std::ceil(right))), by1 = int(std::min<double>(height_, std::ceil(bottom)));
  if (bx0 >= bx1 || by0 >= by1 || !Charge(bx0, by0, bx1, by1)) return;
  cairo_surface_t* part = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bx1 - bx0, by1 - by0);
  if (cairo_surface_status(part) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(part);
    ++dropped;
    return;
  }
  unsigned char* data = cairo_image_surface_get_data(part);
  const int stride = cairo_image_surface_get_stride(part);
  for (int py = by0; py < by1; ++py) {
    auto* out = reinterpret_cast<uint32_t*>(data + size_t(stride) * (py - by0));
    for (int px = bx0; px < bx1; ++px) out[px - bx0] = pixelAt(px + 0.5, py + 0.5);
  }
  cairo_surface_mark_dirty(part);
  cairo_set_source_surface(cr_, part, bx0, by0);
  switch (rop) {
    case kSrcAnd: cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY); break;
    case kSrcInvert: cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE); break;
    case kSrcPaint: cairo_set_operator(cr_, CAIRO_OPERATOR_LIGHTEN); break;
    default: cairo_set_operator(cr_, CAIRO_OPERATOR_OVER); break;
  }
  cairo_paint(cr_);
  cairo_surface_destroy(part);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void Canvas::DrawBitmap(const Bitmap24& bitmap, int64_t x, int64_t y, int64_t w, int64_t h, const Parallelogram& where,
                        uint32_t rop, const BitmapMask* mask) {
  if (w == 0 || h == 0 || bitmap.Empty()) return;
  // The part of the source inside the bitmap; what lies outside is not drawn.
  const int64_t x0 = std::clamp<int64_t>(std::min(x, x + w), 0, bitmap.Width());
  const int64_t x1 = std::clamp<int64_t>(std::max(x, x + w), 0, bitmap.Width());
  const int64_t y0 = std::clamp<int64_t>(std::min(y, y + h), 0, bitmap.Height());
  const int64_t y1 = std::clamp<int64_t>(std::max(y, y + h), 0, bitmap.Height());
  if (x0 >= x1 || y0 >= y1) return;
  // Source pixels (relative to x0, y0) to picture pixels: (x, y) goes to the origin
  // corner, (x + w, y) to the end of the x side, (x, y + h) to the end of the y side.
  const double ax = (where.xEnd.x - where.origin.x) / double(w), ay = (where.xEnd.y - where.origin.y) / double(w);
  const double bx = (where.yEnd.x - where.origin.x) / double(h), by = (where.yEnd.y - where.origin.y) / double(h);
  const Affine toPicture{ax, ay, bx, by, where.origin.x + ax * double(x0 - x) + bx * double(y0 - y),
                         where.origin.y + ay * double(x0 - x) + by * double(y0 - y)};
  if (!toPicture.Invertible()) return;
  const Affine fromPicture = toPicture.Inverse();
  // The bitmap is resampled here, nearest pixel, over the destination's visible part
  // only: the work is bounded by the picture, and a huge stretch keeps its precision
  // (Cairo's pattern matrices would not).
  const double sw = double(x1 - x0), sh = double(y1 - y0);
  const uint32_t flip = rop == kNotSrcCopy ? 0xFFFFFF : 0;
  // Whether the mask lets source pixel (sx, sy) through; outside the mask is dark.
  const auto through = [&](int64_t sx, int64_t sy) {
    const int64_t mx = mask->x + (sx - x), my = mask->y + (sy - y);
    bool light = false;
    if (mx >= 0 && my >= 0 && mx < mask->bitmap->Width() && my < mask->bitmap->Height()) {
      const uint8_t* m = mask->bitmap->Row(int32_t(my)) + 3 * mx;
      light = int(m[0]) + m[1] + m[2] >= 384;
    }
    return light == mask->light;
  };
  const Point corners[4] = {toPicture.Apply({0, 0}), toPicture.Apply({sw, 0}), toPicture.Apply({0, sh}),
                            toPicture.Apply({sw, sh})};
  PaintPixels(corners, [&](double px, double py) -> uint32_t {
    const Point s = fromPicture.Apply({px, py});
    if (!(s.x >= 0 && s.y >= 0 && s.x < sw && s.y < sh)) return 0;  // transparent: outside the source
    const int64_t sx = x0 + int64_t(s.x), sy = y0 + int64_t(s.y);
    if (mask && mask->bitmap && !through(sx, sy)) return 0;
    if (mask && mask->solid) return 0xFF000000u | ToArgb(*mask->solid);
    const uint8_t* in = bitmap.Row(int32_t(sy)) + 3 * sx;
    return 0xFF000000u | (((uint32_t(in[2]) << 16) | (uint32_t(in[1]) << 8) | in[0]) ^ flip);
  }, rop);
}

void Canvas::GradientBox(const Parallelogram& where, ColorRef from, ColorRef to, bool alongY) {
  const Point end = alongY ? where.yEnd : where.xEnd;
  cairo_pattern_t* gradient = cairo_pattern_create_linear(where.origin.x, where.origin.y, end.x, end.y);
  for (const auto& [offset, c] : {std::pair{0.0, from}, std::pair{1.0, to}}) {
    cairo_pattern_add_color_stop_rgb(gradient, offset, RedOf(c) / 255.0, GreenOf(c) / 255.0, BlueOf(c) / 255.0);
  }
  cairo_path_t* kept = cairo_copy_path(cr_);
  cairo_new_path(cr_);
  AddParallelogram(where, false);
  if (!pathTooFar_) {
    double x1, y1, x2, y2;
    cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
    cairo_set_source(cr_, gradient);
    if (Charge(x1, y1, x2, y2)) cairo_fill(cr_);
  }
  pathTooFar_ = false;
  cairo_pattern_destroy(gradient);
  cairo_new_path(cr_);
  cairo_append_path(cr_, kept);
  cairo_path_destroy(kept);
}

void Canvas::GradientTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c) {
  // Barycentric weights of a pixel centre; the colour is the weighted sum of the
  // corners', as Windows shades a triangle.
  const double det = (b.at.x - a.at.x) * (c.at.y - a.at.y) - (c.at.x - a.at.x) * (b.at.y - a.at.y);
  if (!(std::fabs(det) > 1e-9) || !std::isfinite(det)) return;
  const Point corners[4] = {a.at, b.at, c.at, c.at};
  PaintPixels(corners, [&](double px, double py) -> uint32_t {
    const double wb = ((px - a.at.x) * (c.at.y - a.at.y) - (c.at.x - a.at.x) * (py - a.at.y)) / det;
    const double wc = ((b.at.x - a.at.x) * (py - a.at.y) - (px - a.at.x) * (b.at.y - a.at.y)) / det;
    const double wa = 1 - wb - wc;
    if (wa < 0 || wb < 0 || wc < 0) return 0;
    const auto mix = [&](uint8_t (*of)(ColorRef)) {
      return uint32_t(std::clamp(std::lround(wa * of(a.color) + wb * of(b.color) + wc * of(c.color)), 0L, 255L));
    };
    return 0xFF000000u | (mix(RedOf) << 16) | (mix(GreenOf) << 8) | mix(BlueOf);
  }, kSrcCopy);
}

void Canvas::SetPixel(Point p, ColorRef color) {
  const double x = std::floor(p.x), y = std::floor(p.y);
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  cairo_path_t* kept = cairo_copy_path(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, x, y, 1, 1);
  SetColor(cr_, color);
  cairo_fill(cr_);
  cairo_append_path(cr_, kept);
  cairo_path_destroy(kept);
}

namespace {

// The Cairo font objects of one text run, released together.
struct TextFont {
  explicit TextFont(const Font& f) : face(FaceFor(f)), options(cairo_font_options_create()) {
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  }
  ~TextFont() {
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(face);
  }
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

  cairo_font_face_t* face;
  cairo_font_options_t* options;
};

// The em size in picture pixels across (x) and along (y) the glyphs, for a map that
// scales logical units by sx and sy. A negative height is the em size; a positive one
// the cell height, ascent plus descent; zero asks for a default of 16 pixels.
Point EmSize(const TextFont& font, int32_t height, double sx, double sy) {
  cairo_matrix_t identity, unit;
  cairo_matrix_init_identity(&identity);
  cairo_matrix_init_scale(&unit, 1, 1);
  cairo_scaled_font_t* unitFont = cairo_scaled_font_create(font.face, &unit, &identity, font.options);
  cairo_font_extents_t unitExtents;
  cairo_scaled_font_extents(unitFont, &unitExtents);
  cairo_scaled_font_destroy(unitFont);
  const double cell = unitExtents.ascent + unitExtents.descent;
  const double em = height < 0 ? -double(height) : height > 0 && cell > 0 ? height / cell : 0;
  return {em > 0 ? std::min(em * sx, kFarthest) : 16, em > 0 ? std::min(em * sy, kFarthest) : 16};
}

// A run's glyphs at their offsets along the baseline, the face of each (the run's, or
// a fallback's for characters it lacks), its whole advance and the font's extents at
// the em size.
struct GlyphLine {
  std::vector<cairo_glyph_t> glyphs;
  std::vector<cairo_font_face_t*> faces;
  double advance = 0;
  cairo_font_extents_t extents{};
};

GlyphLine LayOutGlyphs(const TextFont& font, Point em, const TextRun& run, double sx) {
  // Unhinted metrics grow in proportion to the size, so a large em is laid out at the
  // largest cached size and scaled up: Cairo loses a scaled font that it cannot make
  // at an extreme size, one for each such size a file asks for.
  const double scale = std::max(1.0, std::max(em.x, em.y) / kLargestCachedGlyph);
  cairo_matrix_t identity, upright;
  cairo_matrix_init_identity(&identity);
  cairo_matrix_init_scale(&upright, em.x / scale, em.y / scale);
  cairo_scaled_font_t* metrics = cairo_scaled_font_create(font.face, &upright, &identity, font.options);
  GlyphLine line;
  cairo_scaled_font_extents(metrics, &line.extents);
  for (double* v : {&line.extents.ascent, &line.extents.descent, &line.extents.height, &line.extents.max_x_advance,
                    &line.extents.max_y_advance}) {
    *v *= scale;
  }
  // Scaled fonts of the fallback faces this run uses, made once each.
  std::map<cairo_font_face_t*, cairo_scaled_font_t*> fallbacks;
  const auto glyphsOf = [](cairo_scaled_font_t* sf, const std::string& utf8, cairo_glyph_t*& g, int& count) {
    g = nullptr, count = 0;
    return cairo_scaled_font_text_to_glyphs(sf, 0, 0, utf8.data(), int(utf8.size()), &g, &count, nullptr, nullptr,
                                            nullptr) == CAIRO_STATUS_SUCCESS;
  };
  // Each character's glyphs; the run's own spacing, when it has one, replaces the font's.
  for (size_t i = 0; i < run.text.size(); ++i) {
    const std::string utf8 = ToUtf8(std::u32string(1, run.text[i]));
    cairo_glyph_t* g = nullptr;
    int count = 0;
    if (!glyphsOf(metrics, utf8, g, count)) continue;
    cairo_scaled_font_t* used = metrics;
    cairo_font_face_t* face = font.face;
    // Glyph 0 is the missing glyph: another installed font draws the character.
    const bool missing = run.text[i] > U' ' && std::any_of(g, g + count, [](const cairo_glyph_t& x) { return x.index == 0; });
    if (cairo_font_face_t* other = missing ? FallbackFace(run.text[i]) : nullptr) {
      cairo_scaled_font_t*& sf = fallbacks[other];
      if (!sf) sf = cairo_scaled_font_create(other, &upright, &identity, font.options);
      cairo_glyph_t* g2 = nullptr;
      int count2 = 0;
      if (glyphsOf(sf, utf8, g2, count2)) {
        cairo_glyph_free(g);
        g = g2, count = count2, used = sf, face = other;
      }
    }
    cairo_text_extents_t te;
    cairo_scaled_font_glyph_extents(used, g, count, &te);
    // An arrow that MT Extra sets on the baseline moves there: its ink's bottom on it.
    const bool onBaseline = run.arrowsOnBaseline && IsMtExtraArrow(run.text[i]);
    const double rise = onBaseline ? -(te.y_bearing + te.height) * scale : 0;
    for (int k = 0; k < count; ++k) {
      line.glyphs.push_back({g[k].index, line.advance + g[k].x * scale, rise});
      line.faces.push_back(face);
    }
    line.advance += i < run.dx.size() ? run.dx[i] * sx : te.x_advance * scale;
    cairo_glyph_free(g);
  }
  for (auto& [face, sf] : fallbacks) cairo_scaled_font_destroy(sf);
  cairo_scaled_font_destroy(metrics);
  return line;
}

// Where a run's glyphs go: the reference point in picture pixels, the unit directions
// along the baseline and down the glyphs, and the alignment's shift.
struct TextPlacement {
  Point origin, along, down;
  double shiftX, shiftY;
  Point At(double u, double v) const {
    return Point{origin.x + along.x * (shiftX + u) + down.x * (shiftY + v),
                 origin.y + along.y * (shiftX + u) + down.y * (shiftY + v)};
  }
};

// Adds the glyphs' outlines to the current path.
void AddGlyphPath(cairo_t* cr, cairo_font_face_t* face, const TextFont& font, const cairo_matrix_t& fontMatrix,
                  double reach, const std::vector<cairo_glyph_t>& glyphs) {
  if (reach <= kLargestCachedGlyph) {
    cairo_glyph_path(cr, glyphs.data(), int(glyphs.size()));
    return;
  }
  // Outlined at the largest cached size on a scratch context and scaled up: Cairo
  // loses a scaled font that it cannot make at an extreme size.
  const double scale = reach / kLargestCachedGlyph;
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* small = cairo_create(scratch);
  cairo_matrix_t smallMatrix = fontMatrix;
  cairo_matrix_scale(&smallMatrix, 1 / scale, 1 / scale);
  cairo_set_font_face(small, face);
  cairo_set_font_matrix(small, &smallMatrix);
  cairo_set_font_options(small, font.options);
  std::vector<cairo_glyph_t> placed(glyphs);
  for (cairo_glyph_t& g : placed) g.x /= scale, g.y /= scale;
  cairo_glyph_path(small, placed.data(), int(placed.size()));
  cairo_path_t* path = cairo_copy_path(small);
  if (path->status == CAIRO_STATUS_SUCCESS) {
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
      for (int k = 1; k < path->data[i].header.length; ++k) {
        path->data[i + k].point.x *= scale;
        path->data[i + k].point.y *= scale;
      }
    }
    cairo_append_path(cr, path);
  }
  cairo_path_destroy(path);
  cairo_destroy(small);
  cairo_surface_destroy(scratch);
}

}  // namespace

Point Canvas::DrawText(const DcState& s, const Affine& m, Point reference, const TextRun& run, bool toPath) {
  const Font& f = s.font;
  // Directions in picture pixels: along the baseline and down the glyphs. Without a
  // world transform text stays upright whatever the mapping; a world transform turns
  // it with the drawing.
  const double sx = std::hypot(m.xx, m.yx), sy = std::hypot(m.xy, m.yy);
  if (!(sx > 0 && sy > 0 && std::isfinite(sx) && std::isfinite(sy))) return reference;
  const bool turned = s.world.xy != 0 || s.world.yx != 0;
  Point along = turned ? Point{m.xx / sx, m.yx / sx} : Point{1, 0};
  // Escapement: tenths of a degree, anticlockwise as seen.
  const double angle = -double(f.escapement) * std::numbers::pi / 1800;
  along = {along.x * std::cos(angle) - along.y * std::sin(angle), along.x * std::sin(angle) + along.y * std::cos(angle)};

  const TextFont font(f);
  const Point em = EmSize(font, f.height, sx, sy);
  if (em.x < kSmallestGlyph || em.y < kSmallestGlyph || run.text.empty()) return reference;
  GlyphLine line = LayOutGlyphs(font, em, run, sx);

  TextPlacement place{m.Apply(reference), along, {-along.y, along.x}, 0, 0};
  switch (s.textAlign & kTaHorizontalMask) {
    case kTaCenter: place.shiftX = -line.advance / 2; break;
    case kTaRight: place.shiftX = -line.advance; break;
    default: break;
  }
  switch (s.textAlign & kTaVerticalMask) {
    case kTaBaseline: break;
    case kTaBottom: place.shiftY = -line.extents.descent; break;
    default: place.shiftY = line.extents.ascent; break;  // TA_TOP
  }
  const Point start = place.At(0, 0), end = place.At(line.advance, 0);
  const double reach = std::max(em.x, em.y);
  if (!(std::fabs(start.x) < kFarthest && std::fabs(start.y) < kFarthest && std::fabs(line.advance) < kFarthest) ||
      !Charge(std::min(start.x, end.x) - reach, std::min(start.y, end.y) - reach, std::max(start.x, end.x) + reach,
              std::max(start.y, end.y) + reach)) {
    ++dropped;
    return reference;
  }
  cairo_path_t* kept = toPath ? nullptr : cairo_copy_path(cr_);
  if (!toPath) cairo_new_path(cr_);
  cairo_save(cr_);
  if (!toPath) {
    const double ascent = line.extents.ascent, descent = line.extents.descent;
    std::optional<Parallelogram> cell;
    if (!line.glyphs.empty())
      cell = Parallelogram{place.At(0, -ascent), place.At(line.advance, -ascent), place.At(0, descent)};
    PaintTextBackground(s, m, run, cell);
  }
  cairo_matrix_t turnedMatrix;
  cairo_matrix_init(&turnedMatrix, along.x * em.x, along.y * em.x, place.down.x * em.y, place.down.y * em.y, 0, 0);
  cairo_set_font_matrix(cr_, &turnedMatrix);
  cairo_set_font_options(cr_, font.options);
  for (cairo_glyph_t& g : line.glyphs) {
    const Point p = place.At(g.x, g.y);
    g.x = p.x, g.y = p.y;
  }
  SetColor(cr_, s.textColor);
  if (!toPath && reach > kLargestCachedGlyph) cairo_new_path(cr_);
  // The glyphs in runs of one face each.
  for (size_t from = 0; from < line.glyphs.size();) {
    size_t to = from + 1;
    while (to < line.glyphs.size() && line.faces[to] == line.faces[from]) ++to;
    const std::vector<cairo_glyph_t> part(line.glyphs.begin() + from, line.glyphs.begin() + to);
    cairo_set_font_face(cr_, line.faces[from]);
    if (toPath || reach > kLargestCachedGlyph) AddGlyphPath(cr_, line.faces[from], font, turnedMatrix, reach, part);
    else cairo_show_glyphs(cr_, part.data(), int(part.size()));
    from = to;
  }
  if (!toPath) {
    if (reach > kLargestCachedGlyph) cairo_fill(cr_);
    // Underline and strike-out: bars a fourteenth of the em thick.
    const double bar = std::max(1.0, em.y / 14);
    const cairo_font_extents_t& e = line.extents;
    for (double offset : {f.underline ? e.descent / 2 : NAN, f.strikeOut ? -e.ascent / 3 : NAN}) {
      if (std::isnan(offset)) continue;
      AddParallelogram(
          {place.At(0, offset - bar / 2), place.At(line.advance, offset - bar / 2), place.At(0, offset + bar / 2)},
          false);
      cairo_fill(cr_);
    }
  }
  cairo_restore(cr_);
  if (kept) {
    cairo_new_path(cr_);
    cairo_append_path(cr_, kept);
    cairo_path_destroy(kept);
  }
  // The current position moves to the far end of the text, in logical units.
  const Point after = place.At((s.textAlign & kTaHorizontalMask) == kTaRight ? 0 : line.advance, -place.shiftY);
  return m.Invertible() ? m.Inverse().Apply(after) : reference;
}

// What goes under a text run: the run's own opaque rectangle, its clipping rectangle,
// and in opaque background mode the glyphs' cell (none when the run has no glyphs).
void Canvas::PaintTextBackground(const DcState& s, const Affine& m, const TextRun& run,
                                 const std::optional<Parallelogram>& cell) {
  if ((run.options & kEtoOpaque) && run.hasRect) {
    AddParallelogram(MapBox(m, run.rectLeft, run.rectTop, run.rectRight, run.rectBottom), false);
    SetColor(cr_, s.backgroundColor);
    cairo_fill(cr_);
  }
  if ((run.options & kEtoClipped) && run.hasRect) {
    AddParallelogram(MapBox(m, run.rectLeft, run.rectTop, run.rectRight, run.rectBottom), false);
    cairo_clip(cr_);
  }
  if (s.backgroundMode == kOpaque && !(run.options & kEtoOpaque) && cell) {
    AddParallelogram(*cell, false);
    SetColor(cr_, s.backgroundColor);
    cairo_fill(cr_);
  }
}

void Canvas::IntersectClip(const Parallelogram& box) { ClipBoxes({box}, false, false); }

void Canvas::ExcludeClip(const std::vector<Parallelogram>& boxes) { ClipBoxes(boxes, false, true); }

void Canvas::ClipToBoxes(const std::vector<Parallelogram>& boxes, bool replace) { ClipBoxes(boxes, replace, false); }

void Canvas::ClipBoxes(const std::vector<Parallelogram>& boxes, bool replace, bool exclude) {
  // On a path of its own: an open path bracket stays as it is.
  cairo_path_t* kept = cairo_copy_path(cr_);
  cairo_new_path(cr_);
  if (replace) cairo_reset_clip(cr_);
  // To exclude: the whole picture one way round, the boxes the other; a winding fill
  // of that is everything but the boxes.
  if (exclude) cairo_rectangle(cr_, -1, -1, width_ + 2.0, height_ + 2.0);
  for (const Parallelogram& b : boxes) {
    const double cross = (b.xEnd.x - b.origin.x) * (b.yEnd.y - b.origin.y) - (b.xEnd.y - b.origin.y) * (b.yEnd.x - b.origin.x);
    AddParallelogram(b, exclude && cross > 0);
  }
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  if (!pathTooFar_) cairo_clip(cr_);
  pathTooFar_ = false;
  cairo_new_path(cr_);
  cairo_append_path(cr_, kept);
  cairo_path_destroy(kept);
}

void Canvas::ClipToPath(bool replace) {
  if (pathTooFar_) {
    ClearPath();
    return;
  }
  cairo_path_t* path = cairo_copy_path(cr_);
  if (replace) cairo_reset_clip(cr_);
  cairo_new_path(cr_);
  if (path->num_data > kStrokeRun) {
    ClipToCoveredPixels(path);
  } else {
    cairo_append_path(cr_, path);
    cairo_clip(cr_);
  }
  cairo_path_destroy(path);
  ClearPath();
}

void Canvas::ClipToCoveredPixels(const cairo_path_t* path) {
  // Cairo intersects a clipping path with every shape drawn under it, and the work
  // grows with the square of the times its edges cross. A long path is instead filled
  // once into a mask, and the clip becomes the mask's covered pixels, as rows of boxes,
  // which Cairo combines in time proportional to their number.
  double length = 0, pieces = 0;
  Measure(path, std::hypot(double(width_), double(height_)), length, pieces);
  if (!ChargeWork(pieces * kPieceWork)) return;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width_, height_);
  cairo_t* m = cairo_create(mask);
  cairo_set_fill_rule(m, cairo_get_fill_rule(cr_));
  cairo_append_path(m, path);
  cairo_fill(m);
  cairo_destroy(m);
  cairo_surface_flush(mask);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    ++dropped;
    return;
  }
  const unsigned char* data = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  // Each run of covered pixels in a row, counted first and charged, then added.
  const auto eachRun = [&](auto&& use) {
    for (int y = 0; y < height_; ++y) {
      const unsigned char* row = data + size_t(stride) * y;
      for (int x = 0; x < width_;) {
        if (row[x] < 128) {
          ++x;
          continue;
        }
        const int start = x;
        while (x < width_ && row[x] >= 128) ++x;
        use(start, y, x - start);
      }
    }
  };
  double boxes = 0;
  eachRun([&](int, int, int) { ++boxes; });
  if (ChargeWork(boxes * kPieceWork)) {
    eachRun([&](int x, int y, int w) { cairo_rectangle(cr_, x, y, w, 1); });
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
  }
  cairo_surface_destroy(mask);
}

void Canvas::ResetClip() { cairo_reset_clip(cr_); }

void Canvas::Save() {
  cairo_save(cr_);
  ++saveDepth_;
}

void Canvas::Restore(int levels) {
  for (; levels > 0 && saveDepth_ > 0; --levels, --saveDepth_) cairo_restore(cr_);
}

void Canvas::CopyTo(Bitmap24& picture) const {
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  const int32_t w = std::min(width_, picture.Width()), h = std::min(height_, picture.Height());
  for (int32_t y = 0; y < h; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(data + size_t(stride) * y);
    uint8_t* out = picture.Row(y);
    for (int32_t x = 0; x < w; ++x, out += 3) {
      out[0] = uint8_t(in[x]), out[1] = uint8_t(in[x] >> 8), out[2] = uint8_t(in[x] >> 16);
    }
  }
}

}  // namespace kestal::metafile
