#pragma once
// TCreateAvi: writes equally sized 24-bit frames as an uncompressed AVI clip with one
// video stream.
//
// The file follows the RIFF AVI layout with the OpenDML (AVI 2.0) extension, so that
// clips of any size stay valid:
//
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh, strf, indx), LIST 'odml' (dmlh)
//     LIST 'movi'  00db frame chunks..., ix00
//     idx1
//   RIFF 'AVIX'                          (only when the first RIFF is full)
//     LIST 'movi'  00db frame chunks..., ix00
//   ...
//
// AVI 1.0 sizes are 32-bit, so one RIFF chunk cannot describe more than 4 GiB and many
// readers give up past 1 or 2 GiB. Each RIFF is therefore kept under `riffLimit` (1 GiB
// by default). The first RIFF carries the AVI 1.0 index (idx1) for old readers; every
// RIFF carries a standard index (ix00) of its own frames, and the super index (indx) in
// the stream header points at all of them with 64-bit offsets. avih counts the frames of
// the first RIFF; strh and dmlh count them all.
//
// The frame is a bottom-up device-independent bitmap: the rows of the picture from the
// bottom up, three bytes per pixel (blue, green, red), each row padded with zeros to a
// multiple of 4 bytes. Every frame is a key frame.
//
// The file is written through OutputFile: it takes its name only when Close completes
// it, and a failure removes it, so a failed clip never looks complete.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/bitmap24.h"
#include "base/result.h"
#include "base/file_output.h"

namespace kestal {

// AddFrame's results.
inline constexpr int kAviOk = 0;
inline constexpr int kAviOpenFailed = -1;     // the file could not be created
inline constexpr int kAviStreamFailed = -2;   // the frame cannot make a stream (empty, too large, no memory)
inline constexpr int kAviFormatFailed = -3;   // the headers could not be written
inline constexpr int kAviWriteFailed = -4;    // a frame, or the clip's end, could not be written

inline constexpr uint64_t kDefaultAviRiffLimit = uint64_t{1} << 30;

struct AviWriterOptions {
  // The largest size of one RIFF chunk, headers and indexes included. A RIFF always
  // holds at least one frame, whatever the limit.
  uint64_t riffLimit = kDefaultAviRiffLimit;
  // Entries reserved in the super index, one per RIFF. 1024 RIFFs of 1 GiB cover the
  // largest clip the pixel limits allow (3000 frames of 300 MB); the header costs 16
  // bytes per entry.
  uint32_t superIndexCapacity = 1024;
  // Called before every write with its file offset and size. An error fails the write
  // as the device would; tests use it to simulate a full disk.
  std::function<Status(uint64_t offset, size_t size)> writeHook;
};

// The video stream's description, from which the stream header (strh) is written.
struct AviStreamInfo {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;
  uint32_t dwSuggestedBufferSize = 0;
  int32_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;
};

// The largest side of a frame: the stream header's frame rectangle holds 16-bit
// values, written unsigned (the bitmap header's own sizes are 32-bit).
inline constexpr int32_t kMaxAviSide = 65535;

// The first line of an AVI failure, naming the file.
std::string AviErrorMessage(const std::string& path);

class TCreateAvi {
 public:
  // Stores the name; opens nothing. Scale 1, rate 25.
  explicit TCreateAvi(std::string fileName, AviWriterOptions options = {});
  // Runs Close; its result is lost, so call Close first to learn it. While an exception
  // unwinds through it, the unfinished file is removed instead.
  ~TCreateAvi();
  TCreateAvi(const TCreateAvi&) = delete;
  TCreateAvi& operator=(const TCreateAvi&) = delete;

  // Frames per second is rate / scale. Each value is stored only when greater than 0,
  // and only before the first frame (the stream header is written with it).
  void SetRate(int32_t scale, int32_t rate);

  // Writes one frame; the first call creates the file. Returns kAviOk or a negative
  // code (see above); LastError then names the file and the cause. Every frame must
  // have the first frame's size. After a failure the writer is closed, the file is
  // gone, and later calls write nothing and return the same code.
  int AddFrame(const Bitmap24& frame);

  // For clips that repeat their first frames: keeps the chunks of the first `frames`
  // frames in memory, as they lie in the file, when they fit in `maxBytes`, so that
  // AddFrameAgain writes each from there in one piece. Only before the first frame.
  void KeepFrames(int32_t frames, uint64_t maxBytes);
  // Writes again the frame written `index`th (from 0): from the kept chunks, or when it
  // is not kept, as a copy the kernel makes within the file, so that a repeated frame
  // needs no pixels and no pass through the process. The same codes as AddFrame; an
  // index not yet written is kAviWriteFailed.
  int AddFrameAgain(int32_t index);

  // Completes the file (indexes, sizes) and gives it its name, then releases the
  // buffers. Safe to call again: a second call releases nothing and returns the first
  // outcome. A writer that never got a frame writes no file.
  Status Close();

  const std::string& FileName() const { return file_name_; }
  int32_t FramesWritten() const { return frames_written_; }
  int32_t Scale() const { return scale_; }
  int32_t Rate() const { return rate_; }
  int32_t InfoSize() const { return info_size_; }
  int32_t ImageSize() const { return image_size_; }
  const AviStreamInfo* StreamInfo() const { return stream_info_.get(); }
  // The error of the last failure; meaningful after a negative code or a failed Close.
  const Error& LastError() const { return error_; }

 private:
  enum class State { Idle, Open, Closed, Failed };
  struct SuperIndexEntry {
    uint64_t offset;    // of the ix00 chunk
    uint32_t size;      // of the ix00 chunk, its header included
    uint32_t duration;  // frames it indexes
  };

  int Open(const Bitmap24& frame);
  int Fail(int code, const Error& error);
  void ReleaseBuffers();
  // One frame chunk, in a new RIFF when this one is full, indexed: `frame`'s rows, or
  // without a frame the chunk of frame `again` once more.
  Status WriteFrame(const Bitmap24* frame, int32_t again);
  Status WriteChunk(const Bitmap24& frame);
  Status WriteChunkAgain(int32_t index);
  Status ChunkWriteHooks();
  void AllocateKeptChunks();
  uint8_t* KeptChunk(int32_t index) const;
  Status StartRiff(bool first);
  Status FinishRiff();
  Status Write(const void* data, size_t size);
  Status WriteAt(uint64_t offset, const void* data, size_t size);
  void BuildHeader(std::vector<uint8_t>& out) const;

  // The fields of the writer.
  OutputFile avi_file_;
  std::unique_ptr<AviStreamInfo> stream_info_;
  int32_t info_size_ = 0;
  int32_t image_size_ = 0;
  std::unique_ptr<uint8_t[]> format_;
  std::string file_name_;
  int32_t frames_written_ = 0;
  int32_t scale_ = 1;
  int32_t rate_ = 25;

  AviWriterOptions options_;
  State state_ = State::Idle;
  int failure_code_ = kAviOk;
  Error error_;

  int32_t width_ = 0;
  int32_t height_ = 0;
  // The RIFF being written: where it and its 'movi' list start, and its frames' chunk
  // offsets from the 'movi' fourcc (the idx1 convention; ix00 adds 8 for the data).
  uint64_t riff_start_ = 0;
  uint64_t movi_start_ = 0;
  bool first_riff_ = true;
  std::vector<uint32_t> chunk_offsets_;
  // Every frame's chunk by its file offset, for AddFrameAgain.
  std::vector<uint64_t> frame_chunks_;
  // The chunks of the first kept_frames_ frames (KeepFrames), one after another, in
  // memory of kept_size_ bytes at kept_memory_ (mapped, released with the buffers);
  // kept_ of them are filled.
  int32_t keep_frames_ = 0;
  uint64_t keep_limit_ = 0;
  void* kept_memory_ = nullptr;
  size_t kept_size_ = 0;
  uint8_t* kept_base_ = nullptr;
  int32_t kept_frames_ = 0;
  int32_t kept_ = 0;
  // Filled when the first RIFF is finished, for the header rewritten at Close.
  uint32_t first_riff_size_ = 0;
  uint32_t first_movi_size_ = 0;
  uint32_t first_riff_frames_ = 0;
  std::vector<SuperIndexEntry> super_index_;
  std::vector<uint8_t> scratch_;  // index chunks and the header, built before writing
  std::vector<iovec> pieces_;     // a frame chunk's header and rows, for one gathered write
};

}  // namespace kestal
