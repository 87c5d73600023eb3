#pragma once
// The wave reflection renderer. Each call makes one frame: every destination row is a
// whole-row copy of one source row, chosen by a sinusoidal vertical displacement that
// depends on the row, the frame and the mode. Rows whose displaced source falls at or
// beyond the end of the mirror are copied from the background row.
//
// Source: the mirrored photo (row 0 is the photo's bottom row), W × Hs with Hs >= 1.
// Destination: the reflection, W × Hd with 0 <= Hd <= Hs. The frame number satisfies
// 0 <= frame < frameCount.

#include <cstdint>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"

namespace kestal {

// The regular mode's wave length. The value is the factor of the wave's spatial period:
// a row's phase advances by y / (3 × value / π).
enum class WaveLength { Short = 1, Medium = 2, Long = 3 };
inline constexpr WaveLength kDefaultWaveLength = WaveLength::Medium;

// The one shared background row. It grows to the widest destination seen (it is never
// shrunk), so wide photos work and nothing is ever written past its end. Growing is
// the only allocation the renderer does; EnsureBackgroundRow lets the caller do it
// before the first frame.
void EnsureBackgroundRow(int32_t width);
// Writes `count` pixels of `color` (blue, green, red bytes) at the start of the
// background row; a count <= 0 writes nothing.
void FillBackgroundRow(Color color, int32_t count);
const uint8_t* BackgroundRow();

// `strengthPercent` scales the displacement (0 gives the still mirror; 100, the
// default, the usual waves).
void RenderPerspectiveWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                           Color color, int strengthPercent = 100);
void RenderRegularWave(const Bitmap24& src, Bitmap24& dst, int frame, int frameCount,
                       WaveLength waveLength, Color color, int strengthPercent = 100);

// The displacement d(y) of each mode, exposed for tests and for documentation of the
// numeric rules.
int PerspectiveDisplacement(int y, int sourceHeight, int frame, int frameCount, int strengthPercent = 100);
int RegularDisplacement(int y, int frame, int frameCount, WaveLength waveLength, int strengthPercent = 100);

}  // namespace kestal
