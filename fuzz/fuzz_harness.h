#pragma once
// A harness decodes the input with one reader under small pixel limits, so that the
// fuzzer explores the decoder rather than the allocator.

#include <cstddef>
#include <cstdint>

#include "imageio/image_registry.h"

namespace kestal::fuzz {

inline constexpr PixelLimits kFuzzLimits{4096, 4 * 1024 * 1024};

// With `header_size`, the size the header claims is read first, as loading a file does.
inline int Run(ImageReader reader, const uint8_t* data, size_t size, ImageHeaderSize header_size = nullptr) {
  if (header_size) {
    volatile bool claimed = header_size(FileHead(ByteSpan(data, size))).ok();
    (void)claimed;
  }
  auto result = reader(ByteSpan(data, size), kFuzzLimits);
  if (result.ok()) {
    // Touch every pixel so that a bitmap the reader left inconsistent shows up.
    volatile unsigned sum = 0;
    const Bitmap24& b = result.value();
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width() * 3; ++x) sum = sum + b.Row(y)[x];
  }
  return 0;
}

}  // namespace kestal::fuzz
