#include "gui/view_zoom.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kestal {
namespace {

constexpr double kSteps[] = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3,
                             1.0,      3.0 / 2,  2.0,     3.0,     4.0,     6.0,     8.0};
// Zooms closer than this to a step count as that step (fit values land anywhere).
constexpr double kSame = 1e-6;

}  // namespace

double ZoomInStep(double zoom) {
  for (double step : kSteps)
    if (step > zoom + kSame) return step;
  return kMaxZoom;
}

double ZoomOutStep(double zoom) {
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
    if (*it < zoom - kSame) return *it;
  return kMinZoom;
}

double FitZoom(QSize content, QSize viewport) {
  if (content.isEmpty() || viewport.isEmpty()) return 1.0;
  const double fit = std::min(double(viewport.width()) / content.width(),
                              double(viewport.height()) / content.height());
  return std::clamp(fit, kMinZoom, 1.0);
}

QPoint ScrollKeepingPoint(QPoint scroll, QPointF pointer, double from, double to) {
  const QPointF picture = (QPointF(scroll) + pointer) / from;
  const QPointF after = picture * to - pointer;
  return QPoint(int(std::lround(std::max(0.0, after.x()))), int(std::lround(std::max(0.0, after.y()))));
}

}  // namespace kestal
