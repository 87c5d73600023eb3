#pragma once
// The device context a metafile plays into: the state its records set (mapping, world
// transform, selected pen, brush and font, colours and modes, current position), the
// stack of SaveDC, and the table of objects the records create, select and delete.
// Nothing here draws; the canvas does.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "bitmap/bitmap24.h"

namespace kestal::metafile {

struct Point {
  double x = 0, y = 0;
};

// An affine map: x' = xx·x + xy·y + x0, y' = yx·x + yy·y + y0 (Cairo's order of fields;
// an EMF XFORM's eM11, eM12, eM21, eM22 are xx, yx, xy, yy).
struct Affine {
  double xx = 1, yx = 0, xy = 0, yy = 1, x0 = 0, y0 = 0;
  Point Apply(Point p) const { return {xx * p.x + xy * p.y + x0, yx * p.x + yy * p.y + y0}; }
  // The map that applies `first`, then this.
  Affine After(const Affine& first) const;
  double Determinant() const { return xx * yy - xy * yx; }
  bool Invertible() const;
  Affine Inverse() const;
  static Affine Translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static Affine Scale(double x, double y) { return {x, 0, 0, y, 0, 0}; }
};

// A COLORREF: 0x00BBGGRR.
using ColorRef = uint32_t;
inline uint8_t RedOf(ColorRef c) { return uint8_t(c); }
inline uint8_t GreenOf(ColorRef c) { return uint8_t(c >> 8); }
inline uint8_t BlueOf(ColorRef c) { return uint8_t(c >> 16); }

enum MapMode : int {
  kMmText = 1, kMmLoMetric, kMmHiMetric, kMmLoEnglish, kMmHiEnglish, kMmTwips, kMmIsotropic, kMmAnisotropic
};
enum PenStyle : uint32_t {
  kPsSolid = 0, kPsDash, kPsDot, kPsDashDot, kPsDashDotDot, kPsNull, kPsInsideFrame, kPsUserStyle, kPsAlternate,
  kPsStyleMask = 0xF, kPsEndCapMask = 0xF00, kPsEndCapSquare = 0x100, kPsEndCapFlat = 0x200,
  kPsJoinMask = 0xF000, kPsJoinBevel = 0x1000, kPsJoinMiter = 0x2000, kPsGeometric = 0x10000
};
enum BrushStyle : uint32_t { kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3, kBsDibPattern = 5, kBsDibPatternPt = 6 };
enum TextAlign : uint32_t {
  kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaHorizontalMask = 6, kTaBottom = 8, kTaBaseline = 24,
  kTaVerticalMask = 24
};
enum BackgroundMode : int { kTransparent = 1, kOpaque = 2 };
enum FillMode : int { kAlternate = 1, kWinding = 2 };
// How a new clipping region or path combines with the clip (RGN_AND to RGN_COPY).
enum RegionMode : int { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };
// The stock objects a metafile selects by index (GetStockObject's; index 9 is unused).
enum StockObjectIndex : uint32_t {
  kWhiteBrush = 0, kLtGrayBrush = 1, kGrayBrush = 2, kDkGrayBrush = 3, kBlackBrush = 4, kNullBrush = 5,
  kWhitePen = 6, kBlackPen = 7, kNullPen = 8, kOemFixedFont = 10, kAnsiFixedFont = 11, kAnsiVarFont = 12,
  kSystemFont = 13, kDeviceDefaultFont = 14, kDefaultPalette = 15, kSystemFixedFont = 16, kDefaultGuiFont = 17,
  kDcBrush = 18, kDcPen = 19
};
enum Rop2 : int { kR2Black = 1, kR2Not = 6, kR2XorPen = 7, kR2MaskPen = 9, kR2Nop = 11, kR2CopyPen = 13, kR2White = 16 };

struct Pen {
  uint32_t style = kPsSolid;
  double width = 0;       // logical units for a geometric pen
  bool cosmetic = true;   // one device pixel wide whatever the mapping
  bool extended = false;  // made by ExtCreatePen: dashes scale with a geometric width
  ColorRef color = 0;
  std::vector<double> dashes;  // PS_USERSTYLE lengths
  bool IsNull() const { return (style & kPsStyleMask) == kPsNull; }
};

struct Brush {
  uint32_t style = kBsSolid;
  ColorRef color = 0xFFFFFF;
  uint32_t hatch = 0;
  std::shared_ptr<const Bitmap24> pattern;  // BS_DIBPATTERN
  bool IsNull() const { return style == kBsNull || ((style == kBsDibPattern || style == kBsPattern) && !pattern); }
};

struct Font {
  int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  uint8_t charset = 0;
  std::string face;  // UTF-8
};

// A clipping region as rectangles; WMF regions are kept as their bounding box, in
// logical units, EMF regions as their rectangles in device units.
struct Region {
  struct Box {
    double left, top, right, bottom;
  };
  std::vector<Box> boxes;
};

// Objects the player keeps but does not use (palettes, colour spaces) still take their
// slot in the table.
struct OtherObject {};

using Object = std::variant<std::monostate, Pen, Brush, Font, Region, OtherObject>;

// Everything SaveDC saves.
struct DcState {
  int mapMode = kMmText;
  Point windowOrg, windowExt{1, 1}, viewportOrg, viewportExt{1, 1};
  Affine world;
  Pen pen;
  Brush brush;
  Font font;
  ColorRef textColor = 0, backgroundColor = 0xFFFFFF;
  int backgroundMode = kOpaque;
  uint32_t textAlign = 0;
  int fillMode = kAlternate;
  int rop2 = kR2CopyPen;
  Point position;  // the current position, in logical units
  double miterLimit = 10;
  bool clockwiseArcs = false;
};

// The object table. WMF records create into the lowest free slot and refer to objects
// by slot; EMF records name the slot they create into, and refer to stock objects by
// indexes with the top bit set.
class ObjectTable {
 public:
  explicit ObjectTable(size_t capacity) : capacity_(capacity) {}
  // Puts the object in the lowest free slot; false when the table is full.
  bool AddLowest(Object object);
  // Puts the object in slot `index` (replacing what was there); false out of range.
  bool Put(uint32_t index, Object object);
  const Object* Find(uint32_t index) const;
  void Remove(uint32_t index);

 private:
  size_t capacity_;
  std::vector<Object> slots_;
  std::set<uint32_t> free_;  // empty slots below slots_.size()
};

// The EMF stock objects (index & 0x7FFFFFFF when the top bit is set).
std::optional<Object> StockObject(uint32_t index);

class DeviceContext {
 public:
  explicit DeviceContext(size_t objectCapacity) : objects(objectCapacity) {}

  DcState state;
  ObjectTable objects;
  // Millimetre size of a device pixel, for the metric and English mapping modes.
  double pixelsPerMillimetreX = 96 / 25.4, pixelsPerMillimetreY = 96 / 25.4;
  // Device pixels to picture pixels.
  Affine deviceToPicture;

  // Logical units to picture pixels: the world transform, the window-to-viewport
  // mapping of the mapping mode, then the device-to-picture map.
  Affine LogicalToPicture() const;
  // Page space (after the world transform) to device pixels.
  Affine PageToDevice() const;

  // Makes a selected object current; other kinds (regions, palettes) are ignored here.
  void Select(const Object& object);

  // SaveDC; false (and nothing saved) when the stack is full.
  bool Save();
  // RestoreDC: a negative count is relative to the top of the stack, a positive one
  // names a saved level (1 is the first save). Returns how many levels were popped,
  // 0 when the request is out of range.
  int Restore(int32_t which);

 private:
  std::vector<DcState> saved_;
};

}  // namespace kestal::metafile
