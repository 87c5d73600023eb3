#pragma once
// Bridges between engine bitmaps and Qt images.

#include <QImage>
#include <QPixmap>

#include "bitmap/bitmap24.h"
#include "bitmap/image_list.h"

namespace kestal {

// A read-only QImage over the bitmap's own memory (Format_BGR888 has the same
// layout: blue, green, red bytes, 4-byte aligned rows). No pixel is copied; the view
// is valid while the bitmap keeps its pixels.
QImage BitmapView(const Bitmap24& bitmap);

// A 24-bit copy of a Qt image; alpha is flattened over white.
Result<Bitmap24> BitmapFromImage(const QImage& image);

// Image `index` of the list with its transparent pixels as alpha 0.
QPixmap ImageListPixmap(const ImageList& list, int index);

}  // namespace kestal
