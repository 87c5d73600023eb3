#pragma once
// The zoom of the picture on screen: the steps Zoom in and Zoom out move along, the
// scale that fits a picture into a viewport, and the scroll position that keeps one
// point of the picture under the pointer while the scale changes. Pure arithmetic:
// the zoom scales the display only, never the exported frames.

#include <QPoint>
#include <QPointF>
#include <QSize>

namespace kestal {

inline constexpr double kMinZoom = 1.0 / 16;
inline constexpr double kMaxZoom = 8.0;

// The next step above or below `zoom` on the ladder 1/16 ... 1/2, 2/3, 1, 3/2, 2 ... 8;
// a zoom between two steps moves to the nearer one in that direction.
double ZoomInStep(double zoom);
double ZoomOutStep(double zoom);

// The largest zoom at which `content` fits into `viewport`, at most 1 (a small picture
// is not blown up) and at least kMinZoom. An empty content or viewport gives 1.
double FitZoom(QSize content, QSize viewport);

// Scroll values that keep the picture point under `pointer` (viewport coordinates)
// in place when the zoom changes from `from` to `to`, given the scroll values before.
QPoint ScrollKeepingPoint(QPoint scroll, QPointF pointer, double from, double to);

}  // namespace kestal
