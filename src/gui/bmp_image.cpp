#include "gui/bmp_image.h"

#include <QPaintEvent>
#include <QPainter>

#include "gui/bitmap_qt.h"

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
  // A view of just the rows and columns to paint: Qt converts the pixels it draws to
  // the screen's format, and a view of the whole bitmap would have it convert all of
  // a large pane for a small exposed strip.
  const uint8_t* first = bitmap_->Row(r.top()) + 3 * static_cast<size_t>(r.left());
  const QImage part(first, r.width(), r.height(), static_cast<qsizetype>(bitmap_->Stride()),
                    QImage::Format_BGR888);
  painter.drawImage(r.topLeft(), part);
}

void TBmpImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  Paint(painter, event->rect());
}

}  // namespace kestal
