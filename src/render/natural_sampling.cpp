#include "render/natural_sampling.h"

#include <algorithm>
#include <climits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTAL_NATURAL_X86 1
#endif

namespace kestal::natural {
namespace {

// The place pixel x of row y samples, in 1/256 pixel, clamped to the mirror: across
// to the last place whose right neighbour is inside the row (a one-pixel row samples
// itself), along to the first background row.
struct Place {
  int32_t x, y;
};

int32_t LastX(int32_t width) { return std::max(0, (width - 1) * kSubpixel - 1); }

Place SamplePlace(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY, int32_t x) {
  const int32_t k = x >> kStepBits, j = x & (kStep - 1);
  const int32_t dx = fieldX[k] + ((fieldX[k + 1] - fieldX[k]) * j >> kStepBits);
  const int32_t dy = fieldY[k] + ((fieldY[k + 1] - fieldY[k]) * j >> kStepBits);
  return {std::clamp(x * kSubpixel + dx, 0, LastX(src.width)), std::clamp(y * kSubpixel + dy, 0, src.height * kSubpixel)};
}

void SamplePixels(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY, int32_t from,
                  int32_t to, uint8_t* out) {
  const int32_t right = src.width > 1 ? 3 : 0;
  for (int32_t x = from; x < to; ++x) {
    const Place p = SamplePlace(src, y, fieldX, fieldY, x);
    const int32_t fx = p.x & (kSubpixel - 1), fy = p.y & (kSubpixel - 1);
    const int32_t row = p.y >> 8;
    const uint8_t* a = src.rows[row] + 3 * static_cast<size_t>(p.x >> 8);
    const uint8_t* b = src.rows[row + 1] + 3 * static_cast<size_t>(p.x >> 8);
    uint8_t* o = out + 3 * static_cast<size_t>(x);
    for (int ch = 0; ch < 3; ++ch) {
      const int32_t top = a[ch] * (kSubpixel - fx) + a[ch + right] * fx;
      const int32_t bottom = b[ch] * (kSubpixel - fx) + b[ch + right] * fx;
      o[ch] = static_cast<uint8_t>(((top >> 1) * (kSubpixel - fy) + (bottom >> 1) * fy + 16384) >> 15);
    }
  }
}

#ifdef KESTAL_NATURAL_X86

#define KESTAL_AVX2 __attribute__((target("avx2"), always_inline)) inline

// The field interpolated for eight pixels: the points k, k + 1 and k + 2 of `points`
// run linearly over the two cells, as SamplePlace interpolates them.
KESTAL_AVX2 __m256i Interpolate(__m256i points) {
  const __m256i from = _mm256_permutevar8x32_epi32(points, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
  const __m256i to = _mm256_permutevar8x32_epi32(points, _mm256_setr_epi32(1, 1, 1, 1, 2, 2, 2, 2));
  const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3);
  return _mm256_add_epi32(from, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(to, from), steps), kStepBits));
}

// The horizontal step for four pixels: the 16-bit sums per blue, green, red (and a
// zero lane), halved. Each 128-bit lane of `bytes` holds two of the pixels, each with
// its right neighbour after it, from the byte `start` gives for it (replicated over
// the pixel's eight bytes in the result). `fx` holds the eight pixels' fractions;
// `pick` chooses these four.
KESTAL_AVX2 __m256i Across(__m256i bytes, __m256i start, __m256i fx, __m256i pick) {
  // -128 plus a start of at most 10 stays negative: a zero byte.
  const __m256i leftBytes = _mm256_setr_epi8(0, -128, 1, -128, 2, -128, -128, -128, 0, -128, 1, -128, 2, -128, -128, -128,  //
                                             0, -128, 1, -128, 2, -128, -128, -128, 0, -128, 1, -128, 2, -128, -128, -128);
  const __m256i rightBytes = _mm256_add_epi8(leftBytes, _mm256_set1_epi64x(0x0000000300030003));
  const __m256i w = _mm256_permutevar8x32_epi32(fx, pick);
  const __m256i weightRight = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
  const __m256i weightLeft = _mm256_sub_epi16(_mm256_set1_epi16(kSubpixel), weightRight);
  const __m256i left = _mm256_mullo_epi16(_mm256_shuffle_epi8(bytes, _mm256_add_epi8(leftBytes, start)), weightLeft);
  const __m256i right = _mm256_mullo_epi16(_mm256_shuffle_epi8(bytes, _mm256_add_epi8(rightBytes, start)), weightRight);
  return _mm256_srli_epi16(_mm256_add_epi16(left, right), 1);
}

// Where each of four pixels starts in the 16 bytes loaded for its pair, for Across:
// `relative` holds the eight pixels' byte offsets from their pair's first pixel.
KESTAL_AVX2 __m256i Starts(__m256i relative, __m256i pick) {
  const __m256i everyByte = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12,  //
                                             0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
  return _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(relative, pick), everyByte);
}

// The vertical step for four pixels: upper and lower sums side by side, multiplied by
// the pairs (256 − fy, fy) and added, rounded; the pixels come out in order as 16-bit
// blue, green, red, 0. `pickLow` chooses the pairs of the pixels in the lanes' low
// halves, `pickHigh` those of the high halves.
KESTAL_AVX2 __m256i Down(__m256i top, __m256i bottom, __m256i pairs, __m256i pickLow, __m256i pickHigh) {
  const __m256i half = _mm256_set1_epi32(16384);
  const __m256i low = _mm256_madd_epi16(_mm256_unpacklo_epi16(top, bottom), _mm256_permutevar8x32_epi32(pairs, pickLow));
  const __m256i high = _mm256_madd_epi16(_mm256_unpackhi_epi16(top, bottom), _mm256_permutevar8x32_epi32(pairs, pickHigh));
  return _mm256_packs_epi32(_mm256_srli_epi32(_mm256_add_epi32(low, half), 15),
                            _mm256_srli_epi32(_mm256_add_epi32(high, half), 15));
}

// Four 64-bit words from base + index, in order: separate loads, which outrun the
// gather instruction on the machines measured.
KESTAL_AVX2 __m256i Gather(const uint8_t* base, __m128i index) {
  const auto word = [base](int32_t at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + at)); };
  const __m128i low = _mm_unpacklo_epi64(word(_mm_cvtsi128_si32(index)), word(_mm_extract_epi32(index, 1)));
  const __m128i high = _mm_unpacklo_epi64(word(_mm_extract_epi32(index, 2)), word(_mm_extract_epi32(index, 3)));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Two 16-byte loads, the first into the low lane.
KESTAL_AVX2 __m256i LoadLanes(const uint8_t* low, const uint8_t* high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// The upper and lower row's sums for four pixels, whose byte offsets in the mirror
// are `index`. Where each pair lies within 16 bytes from its first pixel (the usual
// case: the field moves neighbours alike) one load per pair and row fetches it, else
// a 64-bit gather per pixel (the pixel and its right neighbour, two bytes unused).
struct Rows {
  __m256i top, bottom;
};
KESTAL_AVX2 Rows FetchAcross(const uint8_t* base, __m128i index, int32_t stride, bool near, __m256i relative,
                             __m256i fx, __m256i pick) {
  if (near) {
    const uint8_t* first = base + _mm_cvtsi128_si32(index);
    const uint8_t* third = base + _mm_extract_epi32(index, 2);
    const __m256i starts = Starts(relative, pick);
    return {Across(LoadLanes(first, third), starts, fx, pick),
            Across(LoadLanes(first + stride, third + stride), starts, fx, pick)};
  }
  // Gathered, the pixels of a lane start at its bytes 0 and 8.
  const __m256i starts = _mm256_setr_epi64x(0, 0x0808080808080808, 0, 0x0808080808080808);
  const __m256i top = Gather(base, index);
  const __m256i bottom = Gather(base, _mm_add_epi32(index, _mm_set1_epi32(stride)));
  return {Across(top, starts, fx, pick), Across(bottom, starts, fx, pick)};
}

// Eight pixels at a time, fetched as FetchAcross says. A group whose lower row could be the
// mirror's last (the 8-byte read would pass its end) or a background row is left to
// the scalar loop, as is the row's end, where the group's 28-byte store would pass
// the row.
__attribute__((target("avx2"))) void SampleRowAvx2(const RowSource& src, int32_t y, const int32_t* fieldX,
                                                   const int32_t* fieldY, uint8_t* out) {
  const int32_t width = src.width;
  int32_t x0 = 0;
  const bool gatherable = width >= 2 && src.height >= 3 &&
                          static_cast<uint64_t>(src.height) * src.stride <= static_cast<uint64_t>(INT32_MAX);
  if (gatherable) {
    const int32_t stride32 = static_cast<int32_t>(src.stride);
    const __m256i stride = _mm256_set1_epi32(stride32);
    const __m256i ten = _mm256_set1_epi32(10);
    const __m256i lastRow = _mm256_set1_epi32(src.height - 3);
    const __m256i lastX = _mm256_set1_epi32(LastX(width));
    const __m256i lastY = _mm256_set1_epi32(src.height * kSubpixel);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i fraction = _mm256_set1_epi32(kSubpixel - 1);
    const __m256i three = _mm256_set1_epi32(3);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i rowY = _mm256_set1_epi32(y * kSubpixel);
    // Four-byte pixels back to three, and the packed pixels' order back to 0 … 7.
    const __m256i packBytes = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                               0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i pixelOrder = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    const __m256i pick03 = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i pick47 = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    const __m256i pick0 = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2);
    const __m256i pick1 = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
    const __m256i pick4 = _mm256_setr_epi32(4, 4, 4, 4, 6, 6, 6, 6);
    const __m256i pick5 = _mm256_setr_epi32(5, 5, 5, 5, 7, 7, 7, 7);

    for (; x0 + 10 <= width; x0 += 8) {
      const int32_t k = x0 >> kStepBits;
      const __m256i dx = Interpolate(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(fieldX + k)));
      const __m256i dy = Interpolate(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(fieldY + k)));
      const __m256i xs = _mm256_slli_epi32(_mm256_add_epi32(_mm256_set1_epi32(x0), lanes), 8);
      const __m256i sx = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(xs, dx), zero), lastX);
      const __m256i sy = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(rowY, dy), zero), lastY);
      const __m256i row = _mm256_srai_epi32(sy, 8);
      if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(row, lastRow)) != 0) {
        SamplePixels(src, y, fieldX, fieldY, x0, x0 + 8, out);
        continue;
      }
      const __m256i index =
          _mm256_add_epi32(_mm256_mullo_epi32(row, stride), _mm256_mullo_epi32(_mm256_srai_epi32(sx, 8), three));
      // Each pixel's offset from the first of its pair, and which halves have both
      // pairs within 16 bytes (a pixel and its neighbour take 6).
      const __m256i relative =
          _mm256_sub_epi32(index, _mm256_permutevar8x32_epi32(index, _mm256_setr_epi32(0, 0, 2, 2, 4, 4, 6, 6)));
      const int far = _mm256_movemask_epi8(
          _mm256_or_si256(_mm256_cmpgt_epi32(relative, ten), _mm256_cmpgt_epi32(zero, relative)));
      const __m256i fx = _mm256_and_si256(sx, fraction);
      const __m256i fy = _mm256_and_si256(sy, fraction);
      const __m256i fyPairs =
          _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(kSubpixel), fy), _mm256_slli_epi32(fy, 16));

      const Rows rows03 = FetchAcross(src.base, _mm256_castsi256_si128(index), stride32, (far & 0xFFFF) == 0, relative,
                                      fx, pick03);
      const Rows rows47 = FetchAcross(src.base, _mm256_extracti128_si256(index, 1), stride32, (far >> 16) == 0,
                                      relative, fx, pick47);
      const __m256i pixels03 = Down(rows03.top, rows03.bottom, fyPairs, pick0, pick1);
      const __m256i pixels47 = Down(rows47.top, rows47.bottom, fyPairs, pick4, pick5);
      const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(pixels03, pixels47), pixelOrder);
      const __m256i packed = _mm256_shuffle_epi8(bytes, packBytes);
      uint8_t* o = out + 3 * static_cast<size_t>(x0);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm256_extracti128_si256(packed, 1));
    }
  }
  SamplePixels(src, y, fieldX, fieldY, x0, width, out);
}

#endif

}  // namespace

bool KernelAvailable(Kernel kernel) {
  switch (kernel) {
    case Kernel::Scalar: return true;
    case Kernel::Avx2:
#ifdef KESTAL_NATURAL_X86
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
  }
  return false;
}

Kernel BestKernel() {
  static const Kernel best = KernelAvailable(Kernel::Avx2) ? Kernel::Avx2 : Kernel::Scalar;
  return best;
}

void SampleRow(Kernel kernel, const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY,
               uint8_t* out) {
#ifdef KESTAL_NATURAL_X86
  if (kernel == Kernel::Avx2 && KernelAvailable(Kernel::Avx2)) {
    SampleRowAvx2(src, y, fieldX, fieldY, out);
    return;
  }
#endif
  (void)kernel;
  SamplePixels(src, y, fieldX, fieldY, 0, src.width, out);
}

}  // namespace kestal::natural
