#pragma once
// A small image list: images of one fixed size, each with a mask of the pixels that
// are transparent. Glyphs are appended with a transparent colour and drawn through
// their mask.

#include <cstdint>
#include <vector>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"

namespace kestal {

class ImageList {
 public:
  ImageList(int32_t width, int32_t height) : width_(width), height_(height) {}

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }

  // Appends a copy of `bitmap`, which must have the list's size; every pixel of
  // exactly `transparent`'s RGB value becomes transparent.
  Status AddMasked(const Bitmap24& bitmap, Color transparent);
  // Draws image `index` with its top-left corner at (x, y) of `dest`, leaving
  // `dest` unchanged under transparent pixels and outside `dest`.
  void Draw(int index, Bitmap24& dest, int32_t x, int32_t y) const;

  const Bitmap24& Image(int index) const { return images_[static_cast<size_t>(index)]; }
  bool IsTransparent(int index, int32_t x, int32_t y) const {
    return masks_[static_cast<size_t>(index)][static_cast<size_t>(y) * width_ + x] != 0;
  }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<Bitmap24> images_;
  // One byte per pixel, row by row: 1 transparent, 0 opaque.
  std::vector<std::vector<uint8_t>> masks_;
};

}  // namespace kestal
