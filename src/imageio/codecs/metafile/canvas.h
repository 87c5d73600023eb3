#pragma once
// The canvas a metafile draws on: a Cairo image surface the size of the picture, white
// at first. Shapes arrive in picture pixels, already through the device context's
// mapping; the canvas fills them with the brush, strokes them with the pen, draws text
// and bitmaps, and keeps the clipping region. Cairo stays behind this interface.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/bitmap24.h"
#include "imageio/codecs/metafile/dc.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct cairo_path cairo_path_t;

namespace kestal::metafile {

// A rectangle of picture pixels given by three corners, so that rotated and mirrored
// destinations keep their orientation: top-left, top-right, bottom-left.
struct Parallelogram {
  Point origin, xEnd, yEnd;
};

// How a bitmap or a pattern fill combines with the picture (the ternary raster
// operations metafiles use most).
enum RasterOp : uint32_t {
  kSrcCopy = 0x00CC0020,
  kSrcPaint = 0x00EE0086,
  kSrcAnd = 0x008800C6,
  kSrcInvert = 0x00660046,
  kNotSrcCopy = 0x00330008,
  kPatCopy = 0x00F00021,
  kPatInvert = 0x005A0049,
  kDstInvert = 0x00550009,
  kBlackness = 0x00000042,
  kWhiteness = 0x00FF0062,
  kDstCopy = 0x00AA0029,
};

// A monochrome mask laid over a bitmap's source pixels (MaskBlt, PlgBlt): mask pixel
// (x, y) covers source pixel (srcX, srcY), and the bitmap draws only where the mask is
// light (or, with `light` false, dark). With `solid` set, the masked pixels take that
// colour instead of the source's (a background operation that fills).
struct BitmapMask {
  const Bitmap24* bitmap = nullptr;
  int64_t x = 0, y = 0;
  bool light = true;
  std::optional<ColorRef> solid;
};

// A gradient's corner: a point in picture pixels and its colour.
struct ShadedVertex {
  Point at;
  ColorRef color = 0;
};

// Text to draw: the characters, the advances between them in logical units (empty:
// the font's own), the ExtTextOut options and their rectangle.
struct TextRun {
  std::u32string text;
  std::vector<double> dx;
  uint32_t options = 0;
  bool hasRect = false;
  double rectLeft = 0, rectTop = 0, rectRight = 0, rectBottom = 0;
  // The font is MathType's MT Extra: its embellishment arrows sit on the baseline.
  bool arrowsOnBaseline = false;
};
enum TextOptions : uint32_t { kEtoOpaque = 0x2, kEtoClipped = 0x4 };

class Canvas {
 public:
  // A white canvas; fails when Cairo cannot have the memory.
  static Result<std::unique_ptr<Canvas>> Create(int32_t width, int32_t height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Building the current path, in picture pixels. Points too far outside the picture
  // for Cairo's fixed-point coordinates mark the path unusable; it is then dropped.
  void MoveTo(Point p);
  void LineTo(Point p);
  void CurveTo(Point c1, Point c2, Point p);
  void ClosePath();
  void ClearPath();
  bool HasCurrentPoint() const;
  // A closed path bracket: the current path is put aside until a path record uses it,
  // so that drawing in between starts afresh. Taking it back makes it current again;
  // false when there is none.
  void KeepPath();
  bool TakeKeptPath();

  // Fills and/or strokes the current path with the state's brush and pen and clears
  // it (or keeps it, for a path bracket still open). `logicalScale` turns the pen's
  // logical width into picture pixels. A box shape's fill is the path as it is; its
  // outline runs through the pixel centres, as a one-pixel pen covers whole pixels.
  void FillAndStroke(const DcState& s, double logicalScale, bool fill, bool stroke);
  // Fills a parallelogram with a ternary raster operation that uses the brush only
  // (PatBlt and bitmap records without a bitmap).
  void PatternFill(const DcState& s, const Parallelogram& where, uint32_t rop);
  // Draws part of a bitmap (x, y, w, h in its pixels) onto a parallelogram.
  // With a mask, only the pixels it lets through are drawn.
  void DrawBitmap(const Bitmap24& bitmap, int64_t x, int64_t y, int64_t w, int64_t h, const Parallelogram& where,
                  uint32_t rop, const BitmapMask* mask = nullptr);
  // Gradient fills: a parallelogram shaded from its origin's colour to the far side's,
  // along its x side (or y side), and a triangle shaded between its corners' colours.
  void GradientBox(const Parallelogram& where, ColorRef from, ColorRef to, bool alongY);
  void GradientTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c);
  // One pixel, in picture coordinates.
  void SetPixel(Point p, ColorRef color);
  // Draws text at `reference` (logical units) and returns the position after it (for
  // TA_UPDATECP), in logical units. In a path bracket the glyphs join the path.
  Point DrawText(const DcState& s, const Affine& logicalToPicture, Point reference, const TextRun& run, bool toPath);

  // Clipping, in picture pixels.
  void IntersectClip(const Parallelogram& box);
  void ExcludeClip(const std::vector<Parallelogram>& boxes);
  void ClipToPath(bool replace);
  void ClipToBoxes(const std::vector<Parallelogram>& boxes, bool replace);
  void ResetClip();
  void Save();
  void Restore(int levels);

  // Copies the canvas into a picture of the same size.
  void CopyTo(Bitmap24& picture) const;

  // Shapes and texts dropped because Cairo could not take them.
  size_t dropped = 0;
  // True once the drawing asked for more work than a picture may take; the rest of
  // the drawing is skipped and the file is refused.
  bool TooComplex() const { return tooComplex_; }

 private:
  Canvas(cairo_surface_t* surface, cairo_t* cr, int32_t width, int32_t height);
  void AddParallelogram(const Parallelogram& p, bool reverse);
  void ClipBoxes(const std::vector<Parallelogram>& boxes, bool replace, bool exclude);
  // Counts the area of a drawing's bounding box (in picture pixels) against the
  // coverage budget; false (and the drawing dropped) once it is spent.
  bool Charge(double x1, double y1, double x2, double y2);
  bool SetPenSource(const DcState& s, ColorRef color);
  bool SetBrushSource(const DcState& s);
  void Stroke(const DcState& s, double logicalScale);
  // Strokes a path, a long one in runs (see kStrokeRun).
  void StrokeInRuns(const DcState& s, double logicalScale, const cairo_path_t* path);
  void ClipToCoveredPixels(const cairo_path_t* path);
  // Counts drawing work against the work budget; false once it is spent.
  bool ChargeWork(double units);
  // Paints the picture pixels within the corners' bounding box, each the ARGB value
  // `pixelAt` gives for its centre (0: left as it is), combined by a raster operation.
  template <class PixelAt>
  void PaintPixels(const Point (&corners)[4], PixelAt pixelAt, uint32_t rop);
  void PaintTextBackground(const DcState& s, const Affine& m, const TextRun& run,
                           const std::optional<Parallelogram>& cell);

  cairo_surface_t* surface_;
  cairo_t* cr_;
  int32_t width_, height_;
  int saveDepth_ = 0;
  bool pathTooFar_ = false;
  double covered_ = 0;
  double work_ = 0;
  bool tooComplex_ = false;
  cairo_path_t* kept_ = nullptr;
};

// Four corners of a rectangle in logical units, through a map, as a parallelogram.
Parallelogram MapBox(const Affine& m, double left, double top, double right, double bottom);

}  // namespace kestal::metafile
