#pragma once
// ImgUtils: the two image lists the main window derives from its tool-bar glyphs: the normal
// glyphs with a soft drop shadow, and the disabled glyphs turned grey and washed out
// towards the button face.

#include <cstdint>
#include <optional>

#include "bitmap/colors.h"
#include "bitmap/image_list.h"

namespace kestal {

// The colour the glyphs are first drawn over; pixels within 7 of it in every
// channel count as background (red 206, green 237, blue 220).
inline constexpr Color KeyColor = Rgb(206, 237, 220);

// Each glyph greyed over `back` by `amount` percent (GrayTint), with `back` as its
// transparent colour. None when a bitmap cannot be made.
std::optional<ImageList> BuildDisabledImages(const ImageList& src, Color back, int32_t amount);

// Each glyph over `back` with a black shadow one pixel right and down, blurred over
// one more pixel and `amount` percent strong; `back` is the transparent colour.
// None for an amount outside 0..100 or when a bitmap cannot be made.
std::optional<ImageList> BuildShadowedImages(const ImageList& src, Color back, int32_t amount);

}  // namespace kestal
