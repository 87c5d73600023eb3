#include "render/natural_sampling.h"

#include <algorithm>
#include <climits>

#if defined(__x86_64__) || defined(__i386__)
// GCC 12 takes the deliberately undefined vectors inside its AVX-512 intrinsics for
// uninitialised ones; the warning is about its header's code, not this file's.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#define KESTAL_NATURAL_X86 1
#endif

namespace kestal::natural {
namespace {

// The horizontal weights' whole: a pixel's weight and its neighbour's add up to it.
constexpr int32_t kWeightOne = 64;

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
  return {std::clamp(x * kSubpixel + dx, 0, LastX(src.width)),
          std::clamp(y * kSubpixel + dy, 0, src.height * kSubpixel)};
}

// One channel mixed from its four neighbours with the weights natural_sampling.h gives.
uint8_t Mix(int32_t a, int32_t a1, int32_t b, int32_t b1, int32_t wx, int32_t fy) {
  const int32_t top = a * (kWeightOne - wx) + a1 * wx;
  const int32_t bottom = b * (kWeightOne - wx) + b1 * wx;
  const int32_t mixed = top + (((bottom - top) * (fy << 7) + 16384) >> 15);
  return static_cast<uint8_t>((mixed + kWeightOne / 2) >> 6);
}

void SamplePixels(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY, int32_t from,
                  int32_t to, uint8_t* out) {
  const int32_t right = src.width > 1 ? 3 : 0;
  for (int32_t x = from; x < to; ++x) {
    const Place p = SamplePlace(src, y, fieldX, fieldY, x);
    const int32_t wx = (p.x & (kSubpixel - 1)) >> 2, fy = p.y & (kSubpixel - 1);
    const int32_t row = p.y >> 8;
    const uint8_t* a = src.rows[row] + 3 * static_cast<size_t>(p.x >> 8);
    const uint8_t* b = src.rows[row + 1] + 3 * static_cast<size_t>(p.x >> 8);
    uint8_t* o = out + 3 * static_cast<size_t>(x);
    for (int ch = 0; ch < 3; ++ch) o[ch] = Mix(a[ch], a[ch + right], b[ch], b[ch + right], wx, fy);
  }
}

#ifdef KESTAL_NATURAL_X86

// The vector kernels work in runs of groups of kGroup pixels. A first pass finds every
// pixel's place for the run; a second fetches and mixes the pixels, whose addresses are
// then ready in memory rather than at the end of a long chain of arithmetic, so the
// fetches of many groups overlap.
constexpr int32_t kGroup = 16;
constexpr int32_t kRun = 256;

// A run's places (PlaceAvx2 says what they hold), and which groups lie wholly above the
// mirror's last row.
struct Places {
  alignas(64) int32_t offset[kRun];
  alignas(64) int32_t weight[kRun];
  bool inside[kRun / kGroup];
};

// The mixing, with a fetched pixel held as a 64-bit word (the pixel and its right
// neighbour, two bytes unused). A register of words holds pixels 4L and 4L + 1 in its
// 128-bit lane L, its partner 4L + 2 and 4L + 3, so that packing the two results lane
// by lane brings the pixels out in order. Across each word: the pixel's and its
// neighbour's blue, green and red side by side for the byte multiply-add, and the
// weights' bytes to match; then the vertical weight in every 16-bit lane.
constexpr int8_t kPairBytes[16] = {0, 3, 1, 4, 2, 5, -1, -1, 8, 11, 9, 12, 10, 13, -1, -1};
constexpr int8_t kAcrossBytes[16] = {0, 1, 0, 1, 0, 1, -1, -1, 8, 9, 8, 9, 8, 9, -1, -1};
constexpr int8_t kDownBytes[16] = {2, 3, 2, 3, 2, 3, 2, 3, 10, 11, 10, 11, 10, 11, 10, 11};
// Pixels of four bytes back to three.
constexpr int8_t kPackBytes[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};

#define KESTAL_AVX2 __attribute__((target("avx2"), always_inline)) inline

KESTAL_AVX2 __m256i Lanes16(const int8_t (&bytes)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

// The field at 8 pixels from pixel x, interpolated as SamplePlace interpolates it: lane
// i lies in the cell i / kStep from the first point, at step i % kStep.
KESTAL_AVX2 __m256i Along8(const int32_t* field, int32_t x) {
  const __m256i from = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i points = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(field + (x >> kStepBits)));
  const __m256i a = _mm256_permutevar8x32_epi32(points, from);
  const __m256i b = _mm256_permutevar8x32_epi32(points, _mm256_add_epi32(from, _mm256_set1_epi32(1)));
  return _mm256_add_epi32(
      a, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(b, a), _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3)),
                           kStepBits));
}

// The places of 8 pixels from pixel x of row y as SamplePlace finds them, lanes side by
// side: each pixel's byte offset in the mirror (of its upper-left neighbour; the lower
// row's is `stride` further) and its weights as one 32-bit word, bytes 64 − wx, wx and
// the 16-bit 128 fy, stored to `offset` and `weight`. False where a pixel reaches the
// mirror's last row or past it, where reading 8 bytes at its offset in both rows would
// leave the mirror.
KESTAL_AVX2 bool PlaceAvx2(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY, int32_t x,
                           int32_t* offset, int32_t* weight) {
  const __m256i zero = _mm256_setzero_si256(), fraction = _mm256_set1_epi32(kSubpixel - 1);
  const __m256i xs =
      _mm256_slli_epi32(_mm256_add_epi32(_mm256_set1_epi32(x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)), 8);
  const __m256i sx = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(xs, Along8(fieldX, x)), zero),
                                      _mm256_set1_epi32(LastX(src.width)));
  const __m256i sy =
      _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(_mm256_set1_epi32(y * kSubpixel), Along8(fieldY, x)), zero),
                       _mm256_set1_epi32(src.height * kSubpixel));
  const __m256i row = _mm256_srai_epi32(sy, 8), col = _mm256_srai_epi32(sx, 8);
  const __m256i wx = _mm256_srli_epi32(_mm256_and_si256(sx, fraction), 2);
  _mm256_store_si256(reinterpret_cast<__m256i*>(offset),
                     _mm256_add_epi32(_mm256_mullo_epi32(row, _mm256_set1_epi32(static_cast<int32_t>(src.stride))),
                                      _mm256_add_epi32(col, _mm256_add_epi32(col, col))));
  _mm256_store_si256(
      reinterpret_cast<__m256i*>(weight),
      _mm256_or_si256(_mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(kWeightOne), wx), _mm256_slli_epi32(wx, 8)),
                      _mm256_slli_epi32(_mm256_and_si256(sy, fraction), 23)));
  return _mm256_movemask_epi8(_mm256_cmpgt_epi32(row, _mm256_set1_epi32(src.height - 3))) == 0;
}

// A group's places, as two halves of eight.
KESTAL_AVX2 bool PlaceGroupAvx2(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY,
                                int32_t x, int32_t* offset, int32_t* weight) {
  const bool low = PlaceAvx2(src, y, fieldX, fieldY, x, offset, weight);
  return PlaceAvx2(src, y, fieldX, fieldY, x + 8, offset + 8, weight + 8) && low;
}

// Two 64-bit words, from base + at[first] and base + at[second].
KESTAL_AVX2 __m128i Pair(const uint8_t* base, const int32_t* at, int first, int second) {
  const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + at[first]));
  return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(base + at[second])));
}

// Four pixels' words in the lanes' order: pixels `first` and first + 1 in the low lane,
// first + 4 and first + 5 in the high one.
KESTAL_AVX2 __m256i Fetch4(const uint8_t* base, const int32_t* at, int first) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(Pair(base, at, first, first + 1)),
                                 Pair(base, at, first + 4, first + 5), 1);
}

// The mix of the pixels whose words are `top` and `bottom`, each weighted by the 32-bit
// word repeated over its 64 bits in `weights`: blue, green, red, 0 in 16 bits each.
KESTAL_AVX2 __m256i Mix4(__m256i top, __m256i bottom, __m256i weights) {
  const __m256i pairs = Lanes16(kPairBytes);
  const __m256i across = _mm256_shuffle_epi8(weights, Lanes16(kAcrossBytes));
  const __m256i t = _mm256_maddubs_epi16(_mm256_shuffle_epi8(top, pairs), across);
  const __m256i b = _mm256_maddubs_epi16(_mm256_shuffle_epi8(bottom, pairs), across);
  const __m256i mixed = _mm256_add_epi16(
      t, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, t), _mm256_shuffle_epi8(weights, Lanes16(kDownBytes))));
  return _mm256_mulhrs_epi16(mixed, _mm256_set1_epi16(512));
}

// A run's places, group by group.
__attribute__((target("avx2"))) void PlaceRunAvx2(const RowSource& src, int32_t y, const int32_t* fieldX,
                                                  const int32_t* fieldY, int32_t x0, int32_t groups, Places& places) {
  for (int32_t g = 0; g < groups; ++g)
    places.inside[g] =
        PlaceGroupAvx2(src, y, fieldX, fieldY, x0 + kGroup * g, places.offset + kGroup * g, places.weight + kGroup * g);
}

// The groups of a run that lie inside the mirror, eight pixels at a time, into `out`
// (the run's first pixel).
__attribute__((target("avx2"))) void MixRunAvx2(const RowSource& src, const Places& places, int32_t groups,
                                                uint8_t* out) {
  const __m256i pickFirst = _mm256_setr_epi32(0, 0, 1, 1, 4, 4, 5, 5);
  const __m256i pickSecond = _mm256_setr_epi32(2, 2, 3, 3, 6, 6, 7, 7);
  const __m256i packBytes = Lanes16(kPackBytes);
  const uint8_t* upper = src.base;
  const uint8_t* lower = src.base + src.stride;
  for (int32_t i = 0; i < kGroup / 8 * groups; ++i) {
    if (!places.inside[i * 8 / kGroup]) continue;
    const int32_t* at = places.offset + 8 * i;
    const __m256i weights = _mm256_load_si256(reinterpret_cast<const __m256i*>(places.weight + 8 * i));
    const __m256i first =
        Mix4(Fetch4(upper, at, 0), Fetch4(lower, at, 0), _mm256_permutevar8x32_epi32(weights, pickFirst));
    const __m256i second =
        Mix4(Fetch4(upper, at, 2), Fetch4(lower, at, 2), _mm256_permutevar8x32_epi32(weights, pickSecond));
    // Each lane holds four pixels' 12 bytes: the low lane's last 4 bytes are written
    // over by the high lane's, which is stored exactly.
    const __m256i packed = _mm256_shuffle_epi8(_mm256_packus_epi16(first, second), packBytes);
    const __m128i high = _mm256_extracti128_si256(packed, 1);
    uint8_t* o = out + 24 * static_cast<size_t>(i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 12), high);
    _mm_storeu_si32(o + 20, _mm_srli_si128(high, 8));
  }
}

#define KESTAL_AVX512_TARGET target("avx2,avx512f,avx512bw,avx512vbmi")
#define KESTAL_AVX512 __attribute__((KESTAL_AVX512_TARGET, always_inline)) inline

// The byte tables of the 512-bit kernel: the weights' words repeated over the 64 bits
// of the pixels in the first and the second register of words, and the 16 pixels of
// four bytes back to 48 bytes.
struct Tables512 {
  uint8_t first[64], second[64], pack[64];
};
constexpr Tables512 MakeTables512() {
  Tables512 t{};
  for (int word = 0; word < 8; ++word) {
    // Word j of a register holds pixel 4 (j / 2) + j % 2, or two further in the second.
    const int pixel = 4 * (word / 2) + word % 2;
    for (int b = 0; b < 8; ++b) {
      t.first[8 * word + b] = static_cast<uint8_t>(4 * pixel + b % 4);
      t.second[8 * word + b] = static_cast<uint8_t>(4 * (pixel + 2) + b % 4);
    }
  }
  for (int i = 0; i < 64; ++i) t.pack[i] = static_cast<uint8_t>(i < 48 ? 4 * (i / 3) + i % 3 : 0);
  return t;
}
constexpr Tables512 kTables512 = MakeTables512();

// The field at 16 pixels from pixel x, interpolated between its points.
KESTAL_AVX512 __m512i Along16(const int32_t* field, int32_t x) {
  const __m512i from = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  const __m512i steps = _mm512_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3);
  const __m512i points =
      _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(field + (x >> kStepBits))));
  const __m512i a = _mm512_permutexvar_epi32(from, points);
  const __m512i b = _mm512_permutexvar_epi32(_mm512_add_epi32(from, _mm512_set1_epi32(1)), points);
  return _mm512_add_epi32(a, _mm512_srai_epi32(_mm512_mullo_epi32(_mm512_sub_epi32(b, a), steps), kStepBits));
}

// PlaceAvx2 for 16 pixels: the 512-bit kernel runs faster without 256-bit work between.
KESTAL_AVX512 bool PlaceAvx512(const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY, int32_t x,
                               int32_t* offset, int32_t* weight) {
  const __m512i zero = _mm512_setzero_si512(), fraction = _mm512_set1_epi32(kSubpixel - 1);
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i xs = _mm512_slli_epi32(_mm512_add_epi32(_mm512_set1_epi32(x), lanes), 8);
  const __m512i sx = _mm512_min_epi32(_mm512_max_epi32(_mm512_add_epi32(xs, Along16(fieldX, x)), zero),
                                      _mm512_set1_epi32(LastX(src.width)));
  const __m512i sy =
      _mm512_min_epi32(_mm512_max_epi32(_mm512_add_epi32(_mm512_set1_epi32(y * kSubpixel), Along16(fieldY, x)), zero),
                       _mm512_set1_epi32(src.height * kSubpixel));
  const __m512i row = _mm512_srai_epi32(sy, 8), col = _mm512_srai_epi32(sx, 8);
  const __m512i wx = _mm512_srli_epi32(_mm512_and_si512(sx, fraction), 2);
  _mm512_store_si512(offset,
                     _mm512_add_epi32(_mm512_mullo_epi32(row, _mm512_set1_epi32(static_cast<int32_t>(src.stride))),
                                      _mm512_add_epi32(col, _mm512_add_epi32(col, col))));
  _mm512_store_si512(weight, _mm512_or_si512(_mm512_or_si512(_mm512_sub_epi32(_mm512_set1_epi32(kWeightOne), wx),
                                                             _mm512_slli_epi32(wx, 8)),
                                             _mm512_slli_epi32(_mm512_and_si512(sy, fraction), 23)));
  return _mm512_cmpgt_epi32_mask(row, _mm512_set1_epi32(src.height - 3)) == 0;
}

KESTAL_AVX512 __m512i Broadcast512(const int8_t (&bytes)[16]) {
  return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

// Eight pixels' words in the lanes' order, from `first` (0 or 2): pixels first,
// first + 1, first + 4, first + 5, … first + 13.
KESTAL_AVX512 __m512i Fetch8(const uint8_t* base, const int32_t* at, int first) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(Fetch4(base, at, first)), Fetch4(base, at, first + 8), 1);
}

// Mix4 for eight pixels, with `weights` holding each pixel's word over its 64 bits.
KESTAL_AVX512 __m512i Mix8(__m512i top, __m512i bottom, __m512i weights) {
  const __m512i pairs = Broadcast512(kPairBytes);
  const __m512i across = _mm512_shuffle_epi8(weights, Broadcast512(kAcrossBytes));
  const __m512i t = _mm512_maddubs_epi16(_mm512_shuffle_epi8(top, pairs), across);
  const __m512i b = _mm512_maddubs_epi16(_mm512_shuffle_epi8(bottom, pairs), across);
  const __m512i mixed = _mm512_add_epi16(
      t, _mm512_mulhrs_epi16(_mm512_sub_epi16(b, t), _mm512_shuffle_epi8(weights, Broadcast512(kDownBytes))));
  return _mm512_mulhrs_epi16(mixed, _mm512_set1_epi16(512));
}

// MixRunAvx2 sixteen pixels at a time; a masked store writes a group's 48 bytes.
__attribute__((KESTAL_AVX512_TARGET)) void MixRunAvx512(const RowSource& src, const Places& places, int32_t groups,
                                                        uint8_t* out) {
  const __m512i pickFirst = _mm512_loadu_si512(kTables512.first);
  const __m512i pickSecond = _mm512_loadu_si512(kTables512.second);
  const __m512i pack = _mm512_loadu_si512(kTables512.pack);
  const uint8_t* upper = src.base;
  const uint8_t* lower = src.base + src.stride;
  for (int32_t g = 0; g < groups; ++g) {
    if (!places.inside[g]) continue;
    const int32_t* at = places.offset + kGroup * g;
    const __m512i weights = _mm512_load_si512(places.weight + kGroup * g);
    const __m512i first = Mix8(Fetch8(upper, at, 0), Fetch8(lower, at, 0), _mm512_permutexvar_epi8(pickFirst, weights));
    const __m512i second =
        Mix8(Fetch8(upper, at, 2), Fetch8(lower, at, 2), _mm512_permutexvar_epi8(pickSecond, weights));
    const __m512i packed = _mm512_permutexvar_epi8(pack, _mm512_packus_epi16(first, second));
    _mm512_mask_storeu_epi8(out + 3 * kGroup * static_cast<size_t>(g), (__mmask64{1} << 48) - 1, packed);
  }
}

// PlaceRunAvx2 sixteen pixels at a time.
__attribute__((KESTAL_AVX512_TARGET)) void PlaceRunAvx512(const RowSource& src, int32_t y, const int32_t* fieldX,
                                                          const int32_t* fieldY, int32_t x0, int32_t groups,
                                                          Places& places) {
  for (int32_t g = 0; g < groups; ++g)
    places.inside[g] =
        PlaceAvx512(src, y, fieldX, fieldY, x0 + kGroup * g, places.offset + kGroup * g, places.weight + kGroup * g);
}

// A row with a vector kernel, run by run: the groups below the mirror's last row and the
// row's last pixels (fewer than a group) go to the scalar loop.
void SampleRowVector(Kernel kernel, const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY,
                     uint8_t* out) {
  int32_t x0 = 0;
  // The offsets are 32-bit, and each sample needs a right neighbour and a lower row.
  if (src.width >= 2 && src.height >= 3 &&
      static_cast<uint64_t>(src.height) * src.stride <= static_cast<uint64_t>(INT32_MAX)) {
    Places places;
    while (x0 + kGroup <= src.width) {
      const int32_t groups = std::min(kRun, src.width - x0) / kGroup;
      uint8_t* run = out + 3 * static_cast<size_t>(x0);
      if (kernel == Kernel::Avx512) {
        PlaceRunAvx512(src, y, fieldX, fieldY, x0, groups, places);
        MixRunAvx512(src, places, groups, run);
      } else {
        PlaceRunAvx2(src, y, fieldX, fieldY, x0, groups, places);
        MixRunAvx2(src, places, groups, run);
      }
      for (int32_t g = 0; g < groups; ++g)
        if (!places.inside[g]) SamplePixels(src, y, fieldX, fieldY, x0 + kGroup * g, x0 + kGroup * (g + 1), out);
      x0 += kGroup * groups;
    }
  }
  SamplePixels(src, y, fieldX, fieldY, x0, src.width, out);
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
    case Kernel::Avx512:
#ifdef KESTAL_NATURAL_X86
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi");
#else
      return false;
#endif
  }
  return false;
}

Kernel BestKernel() {
  static const Kernel best = KernelAvailable(Kernel::Avx512) ? Kernel::Avx512
                             : KernelAvailable(Kernel::Avx2) ? Kernel::Avx2
                                                             : Kernel::Scalar;
  return best;
}

void SampleRow(Kernel kernel, const RowSource& src, int32_t y, const int32_t* fieldX, const int32_t* fieldY,
               uint8_t* out) {
#ifdef KESTAL_NATURAL_X86
  if (kernel != Kernel::Scalar && KernelAvailable(kernel)) {
    SampleRowVector(kernel, src, y, fieldX, fieldY, out);
    return;
  }
#endif
  (void)kernel;
  SamplePixels(src, y, fieldX, fieldY, 0, src.width, out);
}

}  // namespace kestal::natural

#ifdef KESTAL_NATURAL_X86
#pragma GCC diagnostic pop
#endif
