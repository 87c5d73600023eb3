#pragma once
// The export's encoded clips: MP4 (H.264), WebM (VP9), APNG, animated WebP and animated
// AVIF, each encoded by the encoders' module (clip_encoder.h) and written by one writer.
//
// MP4 and WebM hold yuv420p pictures, whose chroma covers 2 × 2 pixels, so their sides
// must be even: an odd width or height gains one column or row, a copy of the last,
// rather than a stretch. The quality is a constant rate factor (EncodeOptions.quality
// or the format's default). MP4 puts its index first (faststart) so a page can start
// playing before the whole file has arrived. APNG is full-colour RGB, loops forever,
// and stores the picture exactly. WebP and AVIF: see webp_export.h and avif_export.h.
//
// The frame rate is the clip frame rate of the animation speed (5, 8 or 20), and the
// clip holds whole cycles (ClipCycles), so a player that loops it loops seamlessly.
// Memory: the composed frame, its padded copy and the encoder's picture.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "export/export_driver.h"

namespace kestal {

// The first line of a failed clip, naming the file.
std::string ClipErrorMessage(const std::string& path);

class FrameWriter;
class OutputFile;

// Opens `file`, the temporary file of a clip at `path`; a failure is an Io error.
Status OpenClipFile(OutputFile& file, const std::string& path);

// The format table's writer of MP4, WebM, APNG, WebP and AVIF. The file is written
// under a temporary name that takes its own name only once complete; without a path
// the writer only measures the encoder's bytes.
std::unique_ptr<FrameWriter> MakeEncodedClipWriter(const std::string& path, const ExportSettings& settings);

// Encodes the first `frames` frames of the animation without writing a file and
// returns the bytes the encoder produced for each frame, in display order: the size
// estimate's trial of MP4, WebM and APNG.
Result<std::vector<uint64_t>> TrialVideoFrameBytes(AnimationModel& model, const ExportSettings& settings, int frames);

}  // namespace kestal
