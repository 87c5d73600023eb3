#include "render/wave_render.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace kestal {
namespace {

// The two constants of the wave formulas, to the digits the renderer is defined with.
constexpr double kTwoPi = 6.283185307179586477;
constexpr double kPi = 3.1415926535897932385;

// Room for this many pixels is kept from the start, so photos of ordinary width never
// cause an allocation.
constexpr int32_t kInitialBackgroundPixels = 5001;

std::unique_ptr<uint8_t[]> g_background;
int32_t g_background_pixels = 0;

double Phase(int frame, int frameCount) {
  if (frameCount < 1) frameCount = 1;
  return static_cast<double>(frame) * kTwoPi / static_cast<double>(frameCount);
}

// Per-call constants and the displacement of each mode. The evaluation order follows
// the formulas as written (each step rounded to double): changing it changes which
// rows sit exactly on a truncation boundary.
//
// The strength multiplies the displacement last, just before the truncation; at 100 %
// it is a multiplication by exactly 1, which leaves every value as it was.
double StrengthFactor(int strengthPercent) { return static_cast<double>(strengthPercent) / 100.0; }

struct PerspectiveWave {
  double phase;
  double amplitude;  // Hs / 16
  double hs;
  int hs_int;
  double factor;

  PerspectiveWave(int sourceHeight, int frame, int frameCount, int strengthPercent)
      : phase(Phase(frame, frameCount)),
        amplitude(static_cast<double>(sourceHeight) / 16.0),
        hs(sourceHeight),
        hs_int(sourceHeight),
        factor(StrengthFactor(strengthPercent)) {}

  int operator()(int y) const {
    const double theta =
        static_cast<double>(static_cast<int64_t>(hs_int - y) * 16) / static_cast<double>(y + 1) +
        phase;
    const double strength = static_cast<double>(y + 24) * amplitude;
    // Converting a double to int truncates toward zero.
    return static_cast<int>(std::sin(theta) * strength / hs * factor);
  }
};

struct RegularWave {
  double phase;
  double lambda;  // (3 × wave length) / π
  double factor;

  RegularWave(int frame, int frameCount, WaveLength waveLength, int strengthPercent)
      : phase(Phase(frame, frameCount)),
        lambda(static_cast<double>(3 * static_cast<int>(waveLength)) / kPi),
        factor(StrengthFactor(strengthPercent)) {}

  int operator()(int y) const {
    const double k = y < 32 ? static_cast<double>(y) / 2.0 : 16.0;
    return static_cast<int>(std::sin(static_cast<double>(y) / lambda - phase) * k * factor);
  }
};

template <class Wave>
void RenderRows(const Bitmap24& src, Bitmap24& dst, Color color, const Wave& wave) {
  const int32_t width = dst.Width();
  FillBackgroundRow(color, width);
  // Every source row index below is < Hs only when the reflection is no taller than
  // the mirror and as wide; anything else is a caller's mistake that must not turn
  // into a read past the mirror.
  if (src.Width() != width || dst.Height() > src.Height()) return;
  const int hs = src.Height();
  const size_t bytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < dst.Height(); ++y) {
    const int r = y + wave(y);
    const uint8_t* from;
    if (r < 0) {
      from = src.Row(y);  // not clamped to row 0: the row keeps its own place
    } else if (r < hs) {
      from = src.Row(r);
    } else {
      from = g_background.get();
    }
    std::memcpy(dst.Row(y), from, bytes);
  }
}

}  // namespace

void EnsureBackgroundRow(int32_t width) {
  const int32_t want = width > kInitialBackgroundPixels ? width : kInitialBackgroundPixels;
  if (want <= g_background_pixels) return;
  // Bitmap widths are limited far below the point where this could overflow.
  g_background.reset(new uint8_t[static_cast<size_t>(want) * 3]());
  g_background_pixels = want;
}

void FillBackgroundRow(Color color, int32_t count) {
  if (count <= 0) return;
  EnsureBackgroundRow(count);
  const ColorTriple t = ColorToTriple(color);
  uint8_t* p = g_background.get();
  for (int32_t i = 0; i < count; ++i, p += 3) {
    p[0] = t.blue;
    p[1] = t.green;
    p[2] = t.red;
  }
}

const uint8_t* BackgroundRow() {
  EnsureBackgroundRow(0);
  return g_background.get();
}

int PerspectiveDisplacement(int y, int sourceHeight, int frame, int frameCount, int strengthPercent) {
  return PerspectiveWave(sourceHeight, frame, frameCount, strengthPercent)(y);
}

int RegularDisplacement(int y, int frame, int frameCount, WaveLength waveLength, int strengthPercent) {
  return RegularWave(frame, frameCount, waveLength, strengthPercent)(y);
}

void RenderPerspectiveWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                           Color color, int strengthPercent) {
  RenderRows(src, dst, color, PerspectiveWave(src.Height(), frame, frameCount, strengthPercent));
}

void RenderRegularWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       WaveLength waveLength, Color color, int strengthPercent) {
  RenderRows(src, dst, color, RegularWave(frame, frameCount, waveLength, strengthPercent));
}

}  // namespace kestal
