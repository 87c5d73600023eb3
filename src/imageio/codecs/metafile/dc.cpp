#include "imageio/codecs/metafile/dc.h"

#include <cmath>

namespace kestal::metafile {
namespace {

// SaveDC levels kept at most; a metafile that saves more is broken or hostile, and the
// extra saves are ignored.
constexpr size_t kMaxSavedStates = 1024;

constexpr ColorRef kBlack = 0x000000, kWhite = 0xFFFFFF;

Brush SolidBrush(ColorRef c) {
  Brush b;
  b.color = c;
  return b;
}

Pen SolidPen(ColorRef c, uint32_t style = kPsSolid) {
  Pen p;
  p.style = style;
  p.color = c;
  return p;
}

}  // namespace

Affine Affine::After(const Affine& f) const {
  return {xx * f.xx + xy * f.yx, yx * f.xx + yy * f.yx, xx * f.xy + xy * f.yy,
          yx * f.xy + yy * f.yy, xx * f.x0 + xy * f.y0 + x0, yx * f.x0 + yy * f.y0 + y0};
}

bool Affine::Invertible() const {
  const double d = Determinant();
  return std::isfinite(d) && std::fabs(d) > 1e-12 && std::isfinite(x0) && std::isfinite(y0);
}

Affine Affine::Inverse() const {
  const double d = Determinant();
  const Affine linear{yy / d, -yx / d, -xy / d, xx / d, 0, 0};
  const Point t = linear.Apply({x0, y0});
  return {linear.xx, linear.yx, linear.xy, linear.yy, -t.x, -t.y};
}

bool ObjectTable::AddLowest(Object object) {
  if (!free_.empty()) {
    const uint32_t slot = *free_.begin();
    free_.erase(free_.begin());
    slots_[slot] = std::move(object);
    return true;
  }
  if (slots_.size() >= capacity_) return false;
  slots_.push_back(std::move(object));
  return true;
}

bool ObjectTable::Put(uint32_t index, Object object) {
  if (index >= capacity_) return false;
  if (index >= slots_.size()) {
    for (size_t i = slots_.size(); i < index; ++i) free_.insert(uint32_t(i));
    slots_.resize(size_t{index} + 1);
  }
  free_.erase(index);
  slots_[index] = std::move(object);
  return true;
}

const Object* ObjectTable::Find(uint32_t index) const {
  if (index >= slots_.size() || std::holds_alternative<std::monostate>(slots_[index])) return nullptr;
  return &slots_[index];
}

void ObjectTable::Remove(uint32_t index) {
  if (index >= slots_.size()) return;
  slots_[index] = std::monostate{};
  free_.insert(index);
}

std::optional<Object> StockObject(uint32_t index) {
  switch (index) {
    case kWhiteBrush: return SolidBrush(kWhite);
    case kLtGrayBrush: return SolidBrush(0xC0C0C0);
    case kGrayBrush: return SolidBrush(0x808080);
    case kDkGrayBrush: return SolidBrush(0x404040);
    case kBlackBrush: return SolidBrush(kBlack);
    case kNullBrush: { Brush b; b.style = kBsNull; return b; }
    case kWhitePen: return SolidPen(kWhite);
    case kBlackPen: return SolidPen(kBlack);
    case kNullPen: return SolidPen(kBlack, kPsNull);
    case kOemFixedFont: case kAnsiFixedFont: case kAnsiVarFont: case kSystemFont: case kDeviceDefaultFont:
    case kSystemFixedFont: case kDefaultGuiFont: {
      Font f;
      f.height = -12;
      const bool fixed = index == kOemFixedFont || index == kAnsiFixedFont || index == kSystemFixedFont;
      f.face = fixed ? "monospace" : "sans-serif";
      return f;
    }
    case kDcBrush: return SolidBrush(kWhite);
    case kDcPen: return SolidPen(kBlack);
    case kDefaultPalette: return OtherObject{};
    default: return std::nullopt;
  }
}

Affine DeviceContext::PageToDevice() const {
  const DcState& s = state;
  double sx = 1, sy = 1;
  // Units of the metric and English modes in millimetres; y grows upwards in them.
  const auto metric = [&](double mm) {
    sx = mm * pixelsPerMillimetreX;
    sy = -mm * pixelsPerMillimetreY;
  };
  switch (s.mapMode) {
    case kMmLoMetric: metric(0.1); break;
    case kMmHiMetric: metric(0.01); break;
    case kMmLoEnglish: metric(0.254); break;
    case kMmHiEnglish: metric(0.0254); break;
    case kMmTwips: metric(25.4 / 1440); break;
    case kMmIsotropic:
    case kMmAnisotropic:
      sx = s.windowExt.x != 0 ? s.viewportExt.x / s.windowExt.x : 1;
      sy = s.windowExt.y != 0 ? s.viewportExt.y / s.windowExt.y : 1;
      if (s.mapMode == kMmIsotropic) {
        // Both axes take the smaller scale; each keeps its sign.
        const double m = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default: break;  // MM_TEXT: one logical unit is one device pixel
  }
  // device = (page − window origin) × scale + viewport origin
  return {sx, 0, 0, sy, s.viewportOrg.x - s.windowOrg.x * sx, s.viewportOrg.y - s.windowOrg.y * sy};
}

Affine DeviceContext::LogicalToPicture() const {
  return deviceToPicture.After(PageToDevice()).After(state.world);
}

void DeviceContext::Select(const Object& object) {
  if (const auto* pen = std::get_if<Pen>(&object)) state.pen = *pen;
  else if (const auto* brush = std::get_if<Brush>(&object)) state.brush = *brush;
  else if (const auto* font = std::get_if<Font>(&object)) state.font = *font;
}

bool DeviceContext::Save() {
  if (saved_.size() >= kMaxSavedStates) return false;
  saved_.push_back(state);
  return true;
}

int DeviceContext::Restore(int32_t which) {
  const int64_t depth = int64_t(saved_.size());
  const int64_t target = which < 0 ? depth + which : int64_t{which} - 1;  // the level to return to
  if (which == 0 || target < 0 || target >= depth) return 0;
  state = saved_[size_t(target)];
  saved_.resize(size_t(target));
  return int(depth - target);
}

}  // namespace kestal::metafile
