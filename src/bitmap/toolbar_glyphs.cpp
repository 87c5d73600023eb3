#include "bitmap/toolbar_glyphs.h"

#include <new>

#include "bitmap/filters.h"
#include "bitmap/key_color_mask.h"
#include "bitmap/shadow.h"

namespace kestal {

std::optional<ImageList> BuildDisabledImages(const ImageList& src, Color back, int32_t amount) {
  auto work = Bitmap24::Create(src.Width(), src.Height());
  if (!work) return std::nullopt;
  Bitmap24& w = work.value();
  ImageList list(src.Width(), src.Height());
  for (int i = 0; i < src.Count(); ++i) {
    TintRect(w, KeyColor, 100, AllRect);
    src.Draw(i, w, 0, 0);
    GrayTint(w, KeyColor, back, amount);
    if (!list.AddMasked(w, back)) return std::nullopt;
  }
  return list;
}

std::optional<ImageList> BuildShadowedImages(const ImageList& src, Color back, int32_t amount) {
  if (amount < 0 || amount > 100) return std::nullopt;
  const int32_t w = src.Width(), h = src.Height();
  auto image = Bitmap24::Create(w, h);
  auto mask = Bitmap24::Create(w + 2, h + 2);
  if (!image || !mask) return std::nullopt;
  Bitmap24& img = image.value();
  Bitmap24& m = mask.value();
  ImageList list(w, h);
  try {
    for (int i = 0; i < src.Count(); ++i) {
      TintRect(m, KeyColor, 100, AllRect);
      src.Draw(i, m, 1, 1);
      if (!KeyColorMask(m, m, KeyColor, 7, true, AllRect)) return std::nullopt;
      Blur3x3(m, AllRect);
      TintRect(img, back, 100, AllRect);
      DrawShadow(m, AllRect, img, 0, 0, AllRect, Rgb(0, 0, 0), amount);
      src.Draw(i, img, 0, 0);
      if (!list.AddMasked(img, back)) return std::nullopt;
    }
  } catch (const std::bad_alloc&) {
    // The blur's row buffers could not grow.
    return std::nullopt;
  }
  return list;
}

}  // namespace kestal
