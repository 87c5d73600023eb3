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

void TBmpImage::SetScale(double scale) {
  if (scale == scale_) return;
  scale_ = scale;
  update();
}

void TBmpImage::Paint(QPainter& painter, const QRect& area) const {
  if (!bitmap_ || bitmap_->Empty()) return;
  if (scale_ != 1.0) {
    PaintScaled(painter, area);
    return;
  }
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

// Only the bitmap's pixels under `area` are handed to the painter, so a tick at any
// zoom costs in proportion to what is on screen, not to the size of the photo.
// Nearest-neighbour sampling keeps that cost low enough for the fastest animation
// speed on a 24-megapixel photo.
void TBmpImage::PaintScaled(QPainter& painter, const QRect& area) const {
  const QRectF wanted(area.x() / scale_, area.y() / scale_, area.width() / scale_, area.height() / scale_);
  const QRect source = wanted.toAlignedRect() & QRect(0, 0, bitmap_->Width(), bitmap_->Height());
  if (source.isEmpty()) return;
  const uint8_t* first = bitmap_->Row(source.top()) + 3 * static_cast<size_t>(source.left());
  const QImage part(first, source.width(), source.height(), static_cast<qsizetype>(bitmap_->Stride()),
                    QImage::Format_BGR888);
  const QRectF target(source.x() * scale_, source.y() * scale_, source.width() * scale_, source.height() * scale_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setClipRect(area);
  painter.drawImage(target, part);
}

void TBmpImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  Paint(painter, event->rect());
}

}  // namespace kestal
