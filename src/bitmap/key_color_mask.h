#pragma once
// Mask24: the key-colour mask: which pixels of a glyph drawn over a key colour belong to
// the glyph.

#include <cstdint>

#include "bitmap/bitmap24.h"
#include "bitmap/colors.h"
#include "bitmap/rect_utils.h"

namespace kestal {

// For every pixel of `r` (clipped to `src`), read from `src` and written at the same
// place in `dst`: a pixel farther than `tol` from `key` in some channel becomes black;
// a pixel near the key becomes white when `setWhite`, otherwise stays as `dst` had it.
// `dst` takes `src`'s size first (keeping what it held where the two overlap); the two
// may be the same bitmap. A negative tolerance does nothing. Fails only when `dst`
// must grow and the memory cannot be had.
Status KeyColorMask(const Bitmap24& src, Bitmap24& dst, Color key, int32_t tol, bool setWhite,
                    const Rect& r);

}  // namespace kestal
