#pragma once
// Bitmap24: 24-bit pixels, three bytes per pixel in the order blue, green, red, rows
// addressed from the top of the picture as displayed. Every row starts on a 4-byte
// boundary (stride = width × 3 rounded up to a multiple of 4), which is the layout of
// a device-independent bitmap row and of a QImage Format_BGR888 scan line, so both can
// view the memory without a copy. Bytes past width × 3 in a row are padding: the
// pixel operations never read or write them, and they stay zero.
//
// All pixel memory comes from one allocation (Bitmap24::Create or CreateUninitialized),
// which checks the size against the pixel limits before it allocates and reports
// failure as a value.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/result.h"

namespace kestal {

struct ColorTriple {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  bool operator==(const ColorTriple&) const = default;
};

// The largest pictures Kestal accepts. A decoded photo, a reflection and an export
// frame must each fit. 30 000 pixels a side and 100 megapixels (300 MB of pixels)
// cover every camera; larger sizes in a file header are refused before anything is
// allocated. Tests and fuzzers pass smaller limits.
struct PixelLimits {
  int32_t max_side = 30000;
  int64_t max_pixels = 100'000'000;
};

inline constexpr PixelLimits kDefaultPixelLimits{};

// Checks a width and height against the limits without allocating anything. Zero
// sizes are valid (an empty reflection is 0 rows high).
Status CheckPixelSize(int64_t width, int64_t height, const PixelLimits& limits = kDefaultPixelLimits);

// Bytes of one stored row: width × 3 rounded up to a multiple of 4.
constexpr size_t Bitmap24Stride(int32_t width) {
  return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

// Gives a bitmap's pixel memory back the way Bitmap24 obtained it.
struct PixelMemoryFree {
  size_t mapped = 0;  // the length of an own memory mapping, else 0 (from malloc)
  void operator()(uint8_t* p) const;
};

class Bitmap24 {
 public:
  Bitmap24() = default;
  Bitmap24(Bitmap24&&) noexcept = default;
  Bitmap24& operator=(Bitmap24&&) noexcept = default;
  Bitmap24(const Bitmap24&) = delete;
  Bitmap24& operator=(const Bitmap24&) = delete;

  // The one allocation point for pixels. The new bitmap is black (all bytes zero).
  static Result<Bitmap24> Create(int32_t width, int32_t height,
                                 const PixelLimits& limits = kDefaultPixelLimits);
  // The same, but the pixels are left as the memory holds them (the padding is zero):
  // only for a caller that then writes every pixel of every row. A large picture's
  // zero fill costs about as much as writing it.
  static Result<Bitmap24> CreateUninitialized(int32_t width, int32_t height,
                                              const PixelLimits& limits = kDefaultPixelLimits);

  // A copy with its own memory.
  Result<Bitmap24> Clone() const;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  size_t Stride() const { return stride_; }
  // Holds no pixels (no width or no height).
  bool Empty() const { return width_ == 0 || height_ == 0; }
  size_t SizeBytes() const { return stride_ * static_cast<size_t>(height_); }

  uint8_t* Row(int32_t y) { return data_.get() + stride_ * static_cast<size_t>(y); }
  const uint8_t* Row(int32_t y) const { return data_.get() + stride_ * static_cast<size_t>(y); }
  uint8_t* Data() { return data_.get(); }
  const uint8_t* Data() const { return data_.get(); }

  ColorTriple Pixel(int32_t x, int32_t y) const {
    const uint8_t* p = Row(y) + 3 * static_cast<size_t>(x);
    return ColorTriple{p[0], p[1], p[2]};
  }
  void SetPixel(int32_t x, int32_t y, ColorTriple c) {
    uint8_t* p = Row(y) + 3 * static_cast<size_t>(x);
    p[0] = c.blue;
    p[1] = c.green;
    p[2] = c.red;
  }

  // Copies `src` unscaled with its top-left corner at (x, y); what falls outside this
  // bitmap is left out.
  void Draw(const Bitmap24& src, int32_t x, int32_t y);
  // Fills every pixel with one colour.
  void Fill(ColorTriple c);

  // Same size and the same pixels (padding is not compared).
  bool SamePixels(const Bitmap24& other) const;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  std::unique_ptr<uint8_t[], PixelMemoryFree> data_;

  static Result<Bitmap24> Allocate(int32_t width, int32_t height, const PixelLimits& limits, bool zero);
};

}  // namespace kestal
