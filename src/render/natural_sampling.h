#pragma once
// The inner loop of natural water (natural_water.cpp): one pane row sampled bilinearly
// from the mirror at the places the displacement field gives. A scalar kernel and an
// AVX2 one; both do the same integer arithmetic, so a frame has the same bytes on every
// machine whichever kernel the CPU runs.
//
// The arithmetic, per channel, with the sample's fraction fx, fy in 1/256 pixel and the
// four neighbours a (upper left), a1 (upper right), b, b1 (lower row):
//   top    = a × (256 − fx) + a1 × fx            (0 … 65280, exact in 16 bits)
//   bottom = b × (256 − fx) + b1 × fx
//   value  = ((top >> 1) × (256 − fy) + (bottom >> 1) × fy + 16384) >> 15
// Halving the horizontal sums keeps them within a signed 16-bit lane for the vertical
// step's pairwise multiply-add.

#include <cstddef>
#include <cstdint>

namespace kestal::natural {

// The field is given every kStep pixels along a row and interpolated between.
inline constexpr int32_t kStepBits = 2;
inline constexpr int32_t kStep = 1 << kStepBits;
inline constexpr int32_t kSubpixel = 256;
// Field arrays are read this many entries past their last point by the vector kernel.
inline constexpr int32_t kFieldPadding = 8;

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
enum class Kernel { Scalar, Avx2 };
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
