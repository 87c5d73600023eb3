#pragma once
// The encoders of the shared clip formats, and how the engine reaches them.
//
// They call FFmpeg's libraries (MP4, WebM, APNG), libwebp (animated WebP) and libavif
// (animated AVIF), which together pull in some 160 shared libraries: loading them cost
// every start of either program about 30 ms, most of its start-up. So the encoders are
// built as a module of their own, kestal-encoders.so, which OpenClipEncoder loads the
// first time one of those formats is exported; the AVI, GIF and frame exports and the
// programs' start never load it.
//
// The module holds only the calls into those libraries. Of the engine it uses what its
// headers define inline (Bitmap24's accessors, Error, Status), so it carries no second
// copy of the engine's state (the temporary files a signal removes, the finishing
// check): the engine's writer (video_export.cpp) opens and names the file, checks the
// picture against the codec's levels and runs the finishing check.
//
// Where the module lies: in the folder KESTAL_ENCODERS_DIR (lib/kestal/modules) beside
// the program's bin folder, so found relative to the executable both where it is
// installed (/usr/bin/../lib/kestal/modules) and in the build tree, whose programs and
// tests lie one folder below its root, as the installed ones do below the prefix.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "bitmap/bitmap24.h"
#include "export/export_driver.h"
#include "export/frame_writer.h"

namespace kestal {

// What an encoder is opened for.
struct EncoderSettings {
  ExportFormat format = ExportFormat::Mp4;  // MP4, WebM, APNG, WebP or AVIF
  int32_t width = 0;
  int32_t height = 0;
  FramePace pace;
  int quality = 0;        // the format's effective quality (EffectiveQuality)
  bool lossless = false;  // WebP only
  // The descriptor FFmpeg's muxers write the clip through, at their own offsets; -1
  // when the encoder only measures. The encoders of WebP and AVIF assemble the file in
  // memory instead (File()).
  int file = -1;
};

// One clip's encoder. Everything it holds is released by its destructor, on every path.
class ClipEncoder {
 public:
  virtual ~ClipEncoder() = default;
  virtual Status Add(const Bitmap24& frame) = 0;
  // Ends the clip: flushes the encoder and, through the descriptor, completes the
  // file. `poll` runs between the steps that can take as long as all the frames.
  virtual Status Finish(const std::function<void()>& poll) = 0;
  // The finished file, when the encoder assembles it in memory; empty otherwise.
  virtual std::span<const uint8_t> File() const = 0;
  // When it only measures: the bytes the encoder made for each frame, in display
  // order (FFmpeg's encoders); empty otherwise.
  virtual std::vector<uint64_t> FrameBytes() const = 0;
};

// The module's one exported function, by name, returns its table.
inline constexpr const char* kEncoderModuleEntry = "kestal_clip_encoders";
using OpenEncoderFunction = Result<std::unique_ptr<ClipEncoder>> (*)(const EncoderSettings& settings);
struct EncoderModule {
  const char* version;  // the build's KESTAL_VERSION: a module of another build is refused
  OpenEncoderFunction open;
};

// The module's path for this program: beside its executable's folder.
std::string EncoderModulePath();

// Loads the module once per process (from any thread) and opens an encoder with it.
// A module that cannot be loaded is an Unsupported error naming the module and, when
// one of the libraries it needs is missing, that library.
Result<std::unique_ptr<ClipEncoder>> OpenClipEncoder(const EncoderSettings& settings);

}  // namespace kestal
