#include "app/bmp_image.h"

#include <QPaintEvent>
#include <QPainter>

#include "app/bitmap_qt.h"

namespace kestal {

TBmpImage::TBmpImage(QWidget* parent) : QWidget(parent) {
  // Every pixel of the control is painted from the bitmap: no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TBmpImage::SetBitmap(const Bitmap24* bitmap) {
  bitmap_ = bitmap;
  update();
}

void TBmpImage::Paint(QPainter& painter, const QRect& area) const {
  if (!bitmap_ || bitmap_->Empty()) return;
  const QRect r = area & QRect(0, 0, bitmap_->Width(), bitmap_->Height());
  if (r.isEmpty()) return;
  painter.drawImage(r.topLeft(), BitmapView(*bitmap_), r);
}

void TBmpImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  Paint(painter, event->rect());
}

}  // namespace kestal
