#include "bitmap/image_list.h"

#include <algorithm>
#include <string>
#include <utility>

namespace kestal {

Status ImageList::AddMasked(const Bitmap24& bitmap, Color transparent) {
  if (bitmap.Width() != width_ || bitmap.Height() != height_) {
    return Error::Invalid("the image is " + std::to_string(bitmap.Width()) + "x" +
                     std::to_string(bitmap.Height()) + " but the list holds images of " +
                     std::to_string(width_) + "x" + std::to_string(height_));
  }
  auto copy = bitmap.Clone();
  if (!copy) return copy.error();
  const ColorTriple key = ColorToTriple(transparent);
  std::vector<uint8_t> mask(static_cast<size_t>(width_) * static_cast<size_t>(height_));
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x)
      mask[static_cast<size_t>(y) * width_ + x] = bitmap.Pixel(x, y) == key ? 1 : 0;
  images_.push_back(std::move(copy.value()));
  masks_.push_back(std::move(mask));
  return Status::Ok();
}

void ImageList::Draw(int index, Bitmap24& dest, int32_t x, int32_t y) const {
  if (index < 0 || index >= Count()) return;
  const Bitmap24& image = images_[static_cast<size_t>(index)];
  const std::vector<uint8_t>& mask = masks_[static_cast<size_t>(index)];
  // The overlap of the image placed at (x, y) with `dest`, in 64 bits so that a
  // far-off position cannot overflow.
  const int64_t left = std::max<int64_t>(0, x), top = std::max<int64_t>(0, y);
  const int64_t right = std::min<int64_t>(dest.Width(), int64_t{x} + width_);
  const int64_t bottom = std::min<int64_t>(dest.Height(), int64_t{y} + height_);
  for (int64_t dy = top; dy < bottom; ++dy) {
    const int32_t sy = static_cast<int32_t>(dy - y);
    for (int64_t dx = left; dx < right; ++dx) {
      const int32_t sx = static_cast<int32_t>(dx - x);
      if (mask[static_cast<size_t>(sy) * width_ + sx] == 0)
        dest.SetPixel(static_cast<int32_t>(dx), static_cast<int32_t>(dy), image.Pixel(sx, sy));
    }
  }
}

}  // namespace kestal
