#pragma once
// The export's animated WebP: libwebp's animation encoder, lossy at a quality of 0..100
// or lossless (the pixels exactly), looping forever, each frame lasting the animation
// timer's interval. The clip holds whole cycles (ClipCycles), so the loop is seamless.
// The encoder keeps the file in memory until it is assembled; it is then written under
// a temporary name that takes its own name only once complete. The clip driver
// (ExportClip) feeds it through the encoded clips' writer (video_export.h); the encoder
// is in the encoders' module (encoders/webp_encoder.cpp).

#include "export/video_export.h"
