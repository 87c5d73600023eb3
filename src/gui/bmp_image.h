#pragma once
// TBmpImage: a paint-only control that shows a 24-bit bitmap one to one. It views
// the bitmap in place (the animation model owns it), so a frame is on screen with a
// single block copy and no conversion step of its own.

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

  // Paints the part `area` of the bitmap at the same place on `painter`.
  void Paint(QPainter& painter, const QRect& area) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const Bitmap24* bitmap_ = nullptr;
};

}  // namespace kestal
