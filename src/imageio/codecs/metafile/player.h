#pragma once
// What WMF and EMF records have in common once their parameters are read: drawing
// operations in logical units on a device context and a canvas. Shapes go into the
// open path bracket when there is one, and are filled and outlined otherwise.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "imageio/codecs/metafile/canvas.h"
#include "imageio/codecs/metafile/dc.h"
#include "imageio/codecs/metafile/records.h"
#include "imageio/codecs/decode_util.h"
#include "base/file_input.h"
#include "base/bytes.h"

namespace kestal::metafile {

// What a play did: records seen, and records skipped because the player does not
// draw them (their types, the first few).
struct PlayStats {
  size_t records = 0;
  size_t skipped = 0;
  std::vector<uint32_t> skippedTypes;
};

enum class ArcKind { Arc, Chord, Pie, ArcTo };

// Ternary raster operations of bitmap records; EMF fills without a bitmap use them too.
bool RopUsesSource(uint32_t rop);

class Player {
 public:
  Player(DeviceContext& dc, Canvas& canvas, const PixelLimits& limits) : dc_(dc), canvas_(canvas), limits_(limits) {}

  DeviceContext& dc() { return dc_; }
  PlayStats& stats() { return stats_; }
  const PixelLimits& limits() const { return limits_; }
  void Skip(uint32_t type);
  // An embedded bitmap that cannot be decoded: Windows skips the record that holds it,
  // and so does the player, unless the bitmap is over the limits.
  Status BadBitmap(const Error& error, uint32_t type);

  void MoveTo(Point p);
  void LineTo(Point p);
  // Polyline, Polygon, PolylineTo (from the current position, which moves to the end).
  void Polyline(const std::vector<Point>& points);
  void Polygon(const std::vector<Point>& points);
  void PolylineTo(const std::vector<Point>& points);
  void PolyPolygon(const std::vector<std::vector<Point>>& polygons);
  void PolyPolyline(const std::vector<std::vector<Point>>& lines);
  // Cubic Béziers: a start point and three points per curve, or (To) three per curve
  // from the current position.
  void PolyBezier(const std::vector<Point>& points);
  void PolyBezierTo(const std::vector<Point>& points);
  // PolyDraw: from the current position, each point with its PT_ type (move, line or
  // one of three Bézier points, optionally closing the figure). A list whose types do
  // not make whole curves is not drawn (false), as Windows refuses it.
  bool PolyDraw(const std::vector<Point>& points, ByteSpan types);
  void Rectangle(double left, double top, double right, double bottom);
  void Ellipse(double left, double top, double right, double bottom);
  void RoundRect(double left, double top, double right, double bottom, double cornerWidth, double cornerHeight);
  void Arc(ArcKind kind, double left, double top, double right, double bottom, Point start, Point end);
  // AngleArc: degrees, anticlockwise.
  void AngleArc(Point centre, double radius, double startDegrees, double sweepDegrees);
  void Text(Point reference, const TextRun& run);
  void SetPixel(Point p, ColorRef color);
  void PatBlt(double left, double top, double width, double height, uint32_t rop);
  void DrawBitmap(const Bitmap24& bitmap, int64_t srcX, int64_t srcY, int64_t srcW, int64_t srcH, double left,
                  double top, double width, double height, uint32_t rop);

  // MaskBlt and PlgBlt: part of a bitmap onto the parallelogram of three logical points
  // (where the source's top-left, top-right and bottom-left corners go), through a
  // mask: a quaternary raster operation's low three bytes apply where the mask is
  // light, its top byte's operation where it is dark. Without a mask the first applies
  // everywhere.
  void MaskedBitmap(const Bitmap24& bitmap, int64_t srcX, int64_t srcY, int64_t srcW, int64_t srcH,
                    const Point (&corners)[3], uint32_t rop4, const Bitmap24* mask, int64_t maskX, int64_t maskY);
  // GradientFill: a rectangle between two corners shaded from the first's colour to the
  // second's across (or down), and a triangle shaded between its three; logical units.
  void GradientBox(const ShadedVertex& from, const ShadedVertex& to, bool vertical);
  void GradientTriangle(const ShadedVertex& a, const ShadedVertex& b, const ShadedVertex& c);

  void IntersectClip(double left, double top, double right, double bottom);
  void ExcludeClip(double left, double top, double right, double bottom);
  // Region boxes in logical units (WMF) or device pixels (EMF), combined as a
  // RegionMode says; an empty kRgnCopy removes the clip.
  void ClipRegion(const Region& region, int mode, bool deviceUnits);
  // FillRgn and PaintRgn: the region's boxes filled with a brush (InvertRgn: inverted).
  void FillRegion(const Region& region, const Brush& brush, bool deviceUnits, uint32_t rop = kPatCopy);
  // FrameRgn: a border inside each of the region's boxes, `width` and `height` logical
  // units thick on the sides and on the top and bottom.
  void FrameRegion(const Region& region, const Brush& brush, double width, double height, bool deviceUnits);
  void Save();
  void Restore(int32_t which);

  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  void FillPath(bool fill, bool stroke);
  void SelectClipPath(int mode);

 private:
  Affine Map() const { return dc_.LogicalToPicture(); }
  double PenScale() const;
  // Fills and/or strokes what was just added, unless a path bracket is open.
  void Finish(bool fill, bool stroke);
  void AddPoints(const std::vector<Point>& points, bool startNew);
  // The unit square onto the box's picture pixels, with Windows' rule that a box
  // covers its left and top edges but not its right and bottom ones.
  Affine BoxMap(double left, double top, double right, double bottom) const;
  void AddArcSegment(const Affine& unit, double from, double sweep, bool connect);

  DeviceContext& dc_;
  Canvas& canvas_;
  PixelLimits limits_;
  PlayStats stats_;
  bool inPath_ = false;
};

// A device-independent bitmap from its header-and-colours block and its bits.
Result<Bitmap24> DecodeDib(ByteSpan info, ByteSpan bits, const PixelLimits& limits);

}  // namespace kestal::metafile

namespace kestal::metafile {

// Limits of a play beyond the picture's: the records read at most.
struct PlayOptions {
  size_t maxRecords = 1'000'000;
};

// A vector picture is drawn at its frame's size when that is within the limits, and
// otherwise at the largest scale within them (a frame of several metres becomes the
// largest picture allowed rather than a refusal). Returns the scale, at most 1, and
// shrinks `width` and `height` by it.
double FitToLimits(double& width, double& height, const PixelLimits& limits);

// Makes the white picture of the frame's size (fitted to the limits) and its canvas,
// plays every record through `play` (a callable taking the player and a record and
// returning a Status), and copies the canvas into the picture.
template <class PlayRecord>
Result<Bitmap24> PlayOnto(double width, double height, const PixelLimits& limits, DeviceContext& dc,
                          const std::vector<Record>& records, PlayStats& stats, PlayRecord play);

// The picture size of a file of each kind, from its header (and for a WMF without a
// placeable header, its first window extent), before the file is read whole.
Result<ClaimedSize> WmfHeaderSize(const FileHead& file);
Result<ClaimedSize> EmfHeaderSize(const FileHead& file);

// Plays a whole file of each kind onto a new white picture.
Result<Bitmap24> PlayWmf(ByteSpan data, const PixelLimits& limits, const PlayOptions& options, PlayStats& stats);
Result<Bitmap24> PlayEmf(ByteSpan data, const PixelLimits& limits, const PlayOptions& options, PlayStats& stats);

template <class PlayRecord>
Result<Bitmap24> PlayOnto(double width, double height, const PixelLimits& limits, DeviceContext& dc,
                          const std::vector<Record>& records, PlayStats& stats, PlayRecord play) {
  const double scale = FitToLimits(width, height, limits);
  dc.deviceToPicture = Affine::Scale(scale, scale).After(dc.deviceToPicture);
  auto picture = CreateFromHeader(std::llround(width), std::llround(height), limits);
  if (!picture) {
    Error e = picture.error();
    e.cause = "the metafile's frame size is unusable: " + e.cause;
    return e;
  }
  auto canvas = Canvas::Create(picture->Width(), picture->Height());
  if (!canvas) return canvas.error();
  Player player(dc, **canvas, limits);
  for (const Record& r : records) {
    ++player.stats().records;
    if (Status s = play(player, r); !s) return InRecord(s.error(), player.stats().records, r.type);
    if ((*canvas)->TooComplex()) {
      return InRecord(Error::OverLimit("the metafile is too complex to draw"), player.stats().records, r.type);
    }
  }
  (*canvas)->CopyTo(picture.value());
  stats = player.stats();
  stats.skipped += (*canvas)->dropped;
  return picture;
}

}  // namespace kestal::metafile
