#include "bitmap/bitmap24.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kestal {

Status CheckPixelSize(int64_t width, int64_t height, const PixelLimits& limits) {
  if (width < 0 || height < 0) return Error::Invalid("the picture has a negative size");
  if (width > limits.max_side || height > limits.max_side) {
    return Error::OverLimit("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels; at most " + std::to_string(limits.max_side) +
                     " pixels a side are supported");
  }
  // Both factors are at most max_side (well below 2^31), so the product fits in 64 bits.
  if (width * height > limits.max_pixels) {
    return Error::OverLimit("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels; at most " + std::to_string(limits.max_pixels / 1'000'000) +
                     " megapixels are supported");
  }
  return Status::Ok();
}

namespace {

// From this size on, pixels get a mapping of their own, asked to be backed by huge
// pages where the system offers them on request: touching a fresh 8000 × 6000 picture
// page by page takes tens of thousands of page faults, each of them slow in a
// virtual machine; with 2 MB pages it is a few hundred. The mapping comes zeroed.
constexpr size_t kOwnMappingBytes = size_t{8} << 20;

uint8_t* MapPixels(size_t bytes) {
#if defined(__linux__)
  void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return nullptr;
  madvise(m, bytes, MADV_HUGEPAGE);  // a hint: without it the pages are ordinary
  return static_cast<uint8_t*>(m);
#else
  (void)bytes;
  return nullptr;
#endif
}

}  // namespace

void PixelMemoryFree::operator()(uint8_t* p) const {
#if defined(__linux__)
  if (mapped) {
    munmap(p, mapped);
    return;
  }
#endif
  std::free(p);
}

// Below the mapping size, calloc hands out fresh pages of a block without writing them
// (the system gives them zeroed), so a black bitmap costs no fill of its own.
Result<Bitmap24> Bitmap24::Allocate(int32_t width, int32_t height, const PixelLimits& limits, bool zero) {
  if (Status s = CheckPixelSize(width, height, limits); !s) return s.error();
  Bitmap24 b;
  b.width_ = width;
  b.height_ = height;
  b.stride_ = Bitmap24Stride(width);
  const size_t bytes = b.stride_ * static_cast<size_t>(height);
  if (bytes > 0) {
    uint8_t* mapped = bytes >= kOwnMappingBytes ? MapPixels(bytes) : nullptr;
    if (mapped) {
      b.data_ = std::unique_ptr<uint8_t[], PixelMemoryFree>(mapped, PixelMemoryFree{bytes});
    } else {
      b.data_.reset(static_cast<uint8_t*>(zero ? std::calloc(bytes, 1) : std::malloc(bytes)));
    }
    if (!b.data_) {
      return Error::NoMemory("not enough memory for a picture of " + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels");
    }
    const size_t pixels = static_cast<size_t>(width) * 3;
    if (!zero && pixels < b.stride_) {
      for (int32_t y = 0; y < height; ++y) std::memset(b.Row(y) + pixels, 0, b.stride_ - pixels);
    }
  }
  return b;
}

Result<Bitmap24> Bitmap24::Create(int32_t width, int32_t height, const PixelLimits& limits) {
  return Allocate(width, height, limits, true);
}

Result<Bitmap24> Bitmap24::CreateUninitialized(int32_t width, int32_t height, const PixelLimits& limits) {
  return Allocate(width, height, limits, false);
}

Result<Bitmap24> Bitmap24::Clone() const {
  // The size was accepted once already; copying it needs no limit of its own. The
  // copy writes every byte, padding included.
  auto copy = CreateUninitialized(width_, height_, PixelLimits{INT32_MAX, INT64_MAX});
  if (!copy) return copy.error();
  if (SizeBytes() > 0) std::memcpy(copy->Data(), Data(), SizeBytes());
  return copy;
}

void Bitmap24::Draw(const Bitmap24& src, int32_t x, int32_t y) {
  const int64_t x0 = std::max<int64_t>(x, 0);
  const int64_t y0 = std::max<int64_t>(y, 0);
  const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + src.Width(), width_);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + src.Height(), height_);
  if (x1 <= x0 || y1 <= y0) return;
  const size_t bytes = static_cast<size_t>(x1 - x0) * 3;
  for (int64_t row = y0; row < y1; ++row) {
    const uint8_t* from = src.Row(static_cast<int32_t>(row - y)) + 3 * static_cast<size_t>(x0 - x);
    std::memcpy(Row(static_cast<int32_t>(row)) + 3 * static_cast<size_t>(x0), from, bytes);
  }
}

void Bitmap24::Fill(ColorTriple c) {
  for (int32_t y = 0; y < height_; ++y) {
    uint8_t* p = Row(y);
    for (int32_t x = 0; x < width_; ++x, p += 3) {
      p[0] = c.blue;
      p[1] = c.green;
      p[2] = c.red;
    }
  }
}

bool Bitmap24::SamePixels(const Bitmap24& other) const {
  if (width_ != other.width_ || height_ != other.height_) return false;
  const size_t bytes = static_cast<size_t>(width_) * 3;
  for (int32_t y = 0; y < height_; ++y) {
    if (std::memcmp(Row(y), other.Row(y), bytes) != 0) return false;
  }
  return true;
}

}  // namespace kestal
