#include "gui/bitmap_qt.h"

#include <QPainter>
#include <cstring>

namespace kestal {

QImage BitmapView(const Bitmap24& bitmap) {
  if (bitmap.Empty()) return QImage();
  return QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(),
                static_cast<qsizetype>(bitmap.Stride()), QImage::Format_BGR888);
}

Result<Bitmap24> BitmapFromImage(const QImage& image) {
  QImage flat = image;
  if (image.hasAlphaChannel()) {
    flat = QImage(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
  }
  flat = flat.convertToFormat(QImage::Format_BGR888);
  auto bitmap = Bitmap24::Create(flat.width(), flat.height());
  if (!bitmap) return bitmap.error();
  const size_t bytes = static_cast<size_t>(flat.width()) * 3;
  for (int y = 0; y < flat.height(); ++y) std::memcpy(bitmap->Row(y), flat.constScanLine(y), bytes);
  return bitmap;
}

QPixmap ImageListPixmap(const ImageList& list, int index) {
  QImage image(list.Width(), list.Height(), QImage::Format_ARGB32);
  const Bitmap24& b = list.Image(index);
  for (int y = 0; y < list.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < list.Width(); ++x) {
      const ColorTriple c = b.Pixel(x, y);
      line[x] = list.IsTransparent(index, x, y) ? qRgba(0, 0, 0, 0) : qRgb(c.red, c.green, c.blue);
    }
  }
  return QPixmap::fromImage(image);
}

}  // namespace kestal
