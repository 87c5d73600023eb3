#pragma once
// TBmpImage: a paint-only control that shows a 24-bit bitmap one to one, or scaled by
// the window's zoom. It views the bitmap in place (the animation model owns it), so a
// frame is on screen with a single block copy and no conversion step of its own.

#include <QWidget>

#include "bitmap/bitmap24.h"

class QPainter;

namespace kestal {

class TBmpImage : public QWidget {
  Q_OBJECT

 public:
  explicit TBmpImage(QWidget* parent = nullptr);

  // The bitmap shown; it must outlive the control or be replaced first. The control
  // reads its size and pixels at every paint, so the owner may re-create its pixels.
  void SetBitmap(const Bitmap24* bitmap);
  const Bitmap24* Bitmap() const { return bitmap_; }
  // Screen pixels per bitmap pixel; the owner sizes the control to match.
  void SetScale(double scale);
  double Scale() const { return scale_; }

  // Paints the part `area` of the control (the bitmap at the scale) on `painter`.
  void Paint(QPainter& painter, const QRect& area) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintScaled(QPainter& painter, const QRect& area) const;

  const Bitmap24* bitmap_ = nullptr;
  double scale_ = 1.0;
};

}  // namespace kestal
