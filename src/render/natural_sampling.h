#pragma once
// The inner loop of natural water (natural_water.cpp): one pane row sampled bilinearly
// from the mirror at the places the displacement field gives. A scalar kernel, an AVX2
// and an AVX-512 one; all do the same integer arithmetic, so a frame has the same bytes
// on every machine whichever kernel the CPU runs.
//
// The arithmetic, per channel, with the sample's fraction in 1/256 pixel across and
// along (fx, fy), the weight wx = fx >> 2 (0 … 63) and the four neighbours a (upper
// left), a1 (upper right), b, b1 (lower row):
//   top    = a × (64 − wx) + a1 × wx               (0 … 16320)
//   bottom = b × (64 − wx) + b1 × wx
//   mixed  = top + ((bottom − top) × 128 fy + 16384) >> 15    (shifted arithmetically)
//   value  = (mixed + 32) >> 6
// The horizontal step is one unsigned-by-signed byte multiply-add, the vertical one a
// rounding high multiply, so a vector lane holds every intermediate in 16 bits.

#include <cstddef>
#include <cstdint>

namespace kestal::natural {

// The field is given every kStep pixels along a row and interpolated between.
inline constexpr int32_t kStepBits = 2;
inline constexpr int32_t kStep = 1 << kStepBits;
inline constexpr int32_t kSubpixel = 256;
// Field arrays are read this many entries past their last point by the vector kernel.
inline constexpr int32_t kFieldPadding = 16;

struct RowSource {
  // The mirror's rows 0 … height − 1, then two rows of the background colour (a
  // sample's lower neighbour row is always there).
  const uint8_t* const* rows = nullptr;
  // The mirror's pixels: rows[i] == base + i × stride for i < height.
  const uint8_t* base = nullptr;
  size_t stride = 0;
  int32_t width = 0;   // of the mirror and the pane
  int32_t height = 0;  // of the mirror
};

// The sampling kernels. Each gives the same bytes; Best is the fastest this CPU runs.
enum class Kernel { Scalar, Avx2, Avx512 };
bool KernelAvailable(Kernel kernel);
Kernel BestKernel();

// Samples pixels [0, width) of pane row `y` into `out` (3 × width bytes, blue, green,
// red): pixel x takes the mirror at (x, y) moved by the field, which holds one point
// per kStep pixels in 1/256 pixel (fieldX across, fieldY along the rows) and is
// interpolated linearly between points. Each field array has at least
// (width − 1) / kStep + 2 + kFieldPadding entries. Samples are clamped to the mirror
// (one above the water line takes its first row; one below its last row the
// background).
void SampleRow(Kernel kernel, const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY,
               uint8_t* out);

}  // namespace kestal::natural
