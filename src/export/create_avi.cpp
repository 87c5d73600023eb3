#include "export/create_avi.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "base/bytes.h"

namespace kestal {
namespace {

constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr uint8_t kAviIndexOfIndexes = 0x00;
constexpr uint8_t kAviIndexOfChunks = 0x01;
constexpr uint32_t kDmlhSize = 248;           // dwTotalFrames and 61 reserved DWORDs
constexpr uint32_t kStandardIndexHeaderSize = 24;

// A byte writer that also writes RIFF chunks: Begin writes a chunk's fourcc and a size
// placeholder; End fills the size in.
class ChunkBuilder : public ByteWriter {
 public:
  explicit ChunkBuilder(std::vector<uint8_t>& out) : ByteWriter(out) { out.clear(); }

  size_t Begin(const char (&id)[5]) {
    PutFourCC(id);
    const size_t at = Size();
    Put32LE(0);
    return at;
  }
  size_t BeginList(const char (&type)[5]) {
    const size_t at = Begin("LIST");
    PutFourCC(type);
    return at;
  }
  void End(size_t at) { Patch32LE(at, static_cast<uint32_t>(Size() - at - 4)); }
};

size_t StandardIndexSize(size_t entries) { return 8 + kStandardIndexHeaderSize + 8 * entries; }
size_t OldIndexSize(size_t entries) { return 8 + 16 * entries; }

}  // namespace

std::string AviErrorMessage(const std::string& path) {
  return "Unable to write the AVI clip \"" + path + "\"";
}

TCreateAvi::TCreateAvi(std::string fileName, AviWriterOptions options)
    : file_name_(std::move(fileName)), options_(std::move(options)) {
  // Every RIFF size must fit its 32-bit field; a single frame (at most 2 GiB) plus the
  // headers always does, so only the limit needs a bound.
  options_.riffLimit = std::min<uint64_t>(options_.riffLimit, 0xF0000000u);
  options_.superIndexCapacity = std::max<uint32_t>(options_.superIndexCapacity, 1);
}

TCreateAvi::~TCreateAvi() {
  // Destroyed by an exception passing through (an export that was stopped), the clip is
  // unfinished: remove it rather than complete it under the name asked for.
  if (std::uncaught_exceptions() > 0 && state_ == State::Open) {
    avi_file_.Abandon();
    ReleaseBuffers();
    state_ = State::Closed;
    return;
  }
  (void)Close();
}

void TCreateAvi::SetRate(int32_t scale, int32_t rate) {
  if (state_ != State::Idle) return;
  if (scale > 0) scale_ = scale;
  if (rate > 0) rate_ = rate;
}

int TCreateAvi::AddFrame(const Bitmap24& frame) {
  if (state_ == State::Failed) return failure_code_;
  if (state_ == State::Closed) {
    error_ = Error::Invalid("the clip is already closed").WithMessage(AviErrorMessage(file_name_));
    return kAviWriteFailed;
  }
  if (state_ == State::Idle) {
    if (const int code = Open(frame); code != kAviOk) return code;
  }
  if (frame.Width() != width_ || frame.Height() != height_) {
    return Fail(kAviWriteFailed, Error::Invalid("a frame of " + std::to_string(frame.Width()) + " x " +
                                     std::to_string(frame.Height()) + " pixels differs from the clip's " +
                                     std::to_string(width_) + " x " + std::to_string(height_)));
  }
  if (Status s = WriteFrame(&frame, 0); !s) return Fail(kAviWriteFailed, s.error());
  ++frames_written_;
  return kAviOk;
}

void TCreateAvi::KeepFrames(int32_t frames, uint64_t maxBytes) {
  if (state_ != State::Idle) return;
  keep_frames_ = std::max(frames, 0);
  keep_limit_ = maxBytes;
}

int TCreateAvi::AddFrameAgain(int32_t index) {
  if (state_ == State::Failed) return failure_code_;
  if (state_ == State::Open && index >= 0 && index < frames_written_) {
    if (Status s = WriteFrame(nullptr, index); !s) return Fail(kAviWriteFailed, s.error());
    ++frames_written_;
    return kAviOk;
  }
  const Error missing = Error::Invalid("there is no frame " + std::to_string(index) + " to write again");
  if (state_ != State::Closed) return Fail(kAviWriteFailed, missing);
  error_ = missing.WithMessage(AviErrorMessage(file_name_));
  return kAviWriteFailed;
}

Status TCreateAvi::Close() {
  switch (state_) {
    case State::Failed:
      return error_;
    case State::Closed:
      return Status::Ok();
    case State::Idle:
      ReleaseBuffers();
      state_ = State::Closed;
      return Status::Ok();
    case State::Open:
      break;
  }
  Status s = FinishRiff();
  if (s) {
    // The header again, now with the counts, sizes and the super index filled in.
    BuildHeader(scratch_);
    s = WriteAt(0, scratch_.data(), scratch_.size());
  }
  if (s) s = avi_file_.Commit();
  if (!s) {
    Fail(kAviWriteFailed, s.error());
    return error_;
  }
  ReleaseBuffers();
  state_ = State::Closed;
  return Status::Ok();
}

int TCreateAvi::Open(const Bitmap24& frame) {
  if (Status s = avi_file_.Open(file_name_); !s) return Fail(kAviOpenFailed, s.error());

  if (frame.Empty()) return Fail(kAviStreamFailed, Error::Invalid("the frame has no pixels"));
  if (frame.Width() > kMaxAviSide || frame.Height() > kMaxAviSide) {
    return Fail(kAviStreamFailed,
                Error::OverLimit("AVI frames are at most " + std::to_string(kMaxAviSide) + " pixels a side"));
  }
  const uint64_t image = uint64_t{Bitmap24Stride(frame.Width())} * static_cast<uint64_t>(frame.Height());
  if (image > uint64_t{INT32_MAX} - 8) {
    return Fail(kAviStreamFailed, Error::OverLimit("the frame is too large for an AVI clip"));
  }

  width_ = frame.Width();
  height_ = frame.Height();
  info_size_ = kBitmapInfoHeaderSize;
  image_size_ = static_cast<int32_t>(image);
  format_.reset(new (std::nothrow) uint8_t[kBitmapInfoHeaderSize]());
  stream_info_.reset(new (std::nothrow) AviStreamInfo());
  if (!format_ || !stream_info_) {
    return Fail(kAviStreamFailed,
                Error::NoMemory("not enough memory for a frame of " + std::to_string(image) + " bytes"));
  }

  // BITMAPINFOHEADER: a positive height means rows stored bottom-up; BI_RGB (0).
  std::vector<uint8_t> info;
  info.reserve(kBitmapInfoHeaderSize);
  ByteWriter f(info);
  f.Put32LE(kBitmapInfoHeaderSize);
  f.Put32LE(static_cast<uint32_t>(width_));
  f.Put32LE(static_cast<uint32_t>(height_));
  f.Put16LE(1);   // planes
  f.Put16LE(24);  // bits per pixel
  f.Put32LE(0);   // BI_RGB
  f.Put32LE(static_cast<uint32_t>(image_size_));
  f.PutZeros(kBitmapInfoHeaderSize - f.Size());  // resolution and colour counts: none given
  std::memcpy(format_.get(), info.data(), info.size());

  AviStreamInfo& si = *stream_info_;
  si.fccType = FourCC("vids");
  si.fccHandler = 0;
  si.dwScale = static_cast<uint32_t>(scale_);
  si.dwRate = static_cast<uint32_t>(rate_);
  si.dwSuggestedBufferSize = static_cast<uint32_t>(image_size_);
  si.rcRight = width_;
  si.rcBottom = height_;

  // Reserve the index memory now, so that writing frames allocates nothing more in
  // any clip of a realistic length.
  const uint64_t per_riff = options_.riffLimit / (8 + image) + 1;
  chunk_offsets_.reserve(static_cast<size_t>(std::min<uint64_t>(per_riff, 65536)));
  super_index_.reserve(options_.superIndexCapacity);
  scratch_.reserve(std::max(OldIndexSize(chunk_offsets_.capacity()),
                            size_t{1024} + 16 * size_t{options_.superIndexCapacity}));

  state_ = State::Open;
  if (Status s = StartRiff(true); !s) return Fail(kAviFormatFailed, s.error());
  AllocateKeptChunks();
  return kAviOk;
}

// Anonymous memory that the kernel may back with 2 MB pages (MADV_HUGEPAGE): faulting
// in 50 MB of 4 KB pages one by one cost half as much again as writing them out. The
// chunks start at a 2 MB boundary, so that every whole 2 MB of them can be one page.
void TCreateAvi::AllocateKeptChunks() {
  constexpr uint64_t kHugePage = uint64_t{2} << 20;
  const uint64_t bytes = (8 + static_cast<uint64_t>(image_size_)) * static_cast<uint64_t>(keep_frames_);
  if (bytes == 0 || bytes > keep_limit_) return;
  const uint64_t pages = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  const size_t size = static_cast<size_t>(pages + kHugePage);
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  // Without the memory the repeated frames are copied within the file instead.
  if (memory == MAP_FAILED) return;
  kept_memory_ = memory;
  kept_size_ = size;
  const auto at = reinterpret_cast<uintptr_t>(memory);
  kept_base_ = reinterpret_cast<uint8_t*>((at + kHugePage - 1) / kHugePage * kHugePage);
  ::madvise(kept_base_, static_cast<size_t>(pages), MADV_HUGEPAGE);
  kept_frames_ = keep_frames_;
}

uint8_t* TCreateAvi::KeptChunk(int32_t index) const {
  return kept_base_ + static_cast<size_t>(index) * (8 + static_cast<size_t>(image_size_));
}

int TCreateAvi::Fail(int code, const Error& error) {
  avi_file_.Abandon();
  ReleaseBuffers();
  state_ = State::Failed;
  failure_code_ = code;
  error_ = error.WithMessage(AviErrorMessage(file_name_));
  return code;
}

void TCreateAvi::ReleaseBuffers() {
  format_.reset();
  stream_info_.reset();
  if (kept_memory_) ::munmap(kept_memory_, kept_size_);
  kept_memory_ = nullptr;
  kept_base_ = nullptr;
  kept_frames_ = kept_ = 0;
}

Status TCreateAvi::ChunkWriteHooks() {
  if (!options_.writeHook) return Status::Ok();
  if (Status s = options_.writeHook(avi_file_.Position(), 8); !s) return s;
  return options_.writeHook(avi_file_.Position() + 8, static_cast<size_t>(image_size_));
}

Status TCreateAvi::WriteChunk(const Bitmap24& frame) {
  if (Status s = ChunkWriteHooks(); !s) return s;
  // The chunk's fourcc and size, then the frame's rows.
  const auto id = LittleEndian32(FourCC("00db"));
  const auto size = LittleEndian32(static_cast<uint32_t>(image_size_));
  uint8_t header[8];
  std::copy(id.begin(), id.end(), header);
  std::copy(size.begin(), size.end(), header + 4);
  // A Bitmap24 row is already a DIB row: the same stride, its padding bytes zero.
  const size_t stride = Bitmap24Stride(width_);
  if (frames_written_ < kept_frames_) {
    // A frame to keep is laid out in its kept chunk as in the file, last row first,
    // and written from there in one piece.
    uint8_t* chunk = KeptChunk(frames_written_);
    std::copy(header, header + sizeof header, chunk);
    for (int32_t r = 0; r < height_; ++r)
      std::memcpy(chunk + 8 + static_cast<size_t>(height_ - 1 - r) * stride, frame.Row(r), stride);
    kept_ = frames_written_ + 1;
    const iovec piece{chunk, 8 + static_cast<size_t>(image_size_)};
    return avi_file_.WritePieces({&piece, 1});
  }
  // Otherwise the chunk header and the rows, last row first, go out in one gathered
  // write without a copy of the frame (which for a large photo is hundreds of
  // megabytes).
  pieces_.clear();
  pieces_.push_back(iovec{header, sizeof header});
  for (int32_t r = height_ - 1; r >= 0; --r)
    pieces_.push_back(iovec{const_cast<uint8_t*>(frame.Row(r)), stride});
  return avi_file_.WritePieces(pieces_);
}

Status TCreateAvi::WriteChunkAgain(int32_t index) {
  if (Status s = ChunkWriteHooks(); !s) return s;
  const size_t chunk = 8 + static_cast<size_t>(image_size_);
  if (index < kept_) {
    const iovec piece{KeptChunk(index), chunk};
    return avi_file_.WritePieces({&piece, 1});
  }
  return avi_file_.CopyWithin(frame_chunks_[static_cast<size_t>(index)], chunk);
}

Status TCreateAvi::WriteFrame(const Bitmap24* frame, int32_t again) {
  const size_t n = chunk_offsets_.size();
  const uint64_t chunk = 8 + static_cast<uint64_t>(image_size_);
  // The RIFF's size once this frame and the indexes that end the RIFF are written.
  const uint64_t riff_size = avi_file_.Position() + chunk + StandardIndexSize(n + 1) +
                             (first_riff_ ? OldIndexSize(n + 1) : 0) - (riff_start_ + 8);
  if (n > 0 && riff_size > options_.riffLimit) {
    // The finished RIFF and the new one each take a super-index entry.
    if (super_index_.size() + 2 > options_.superIndexCapacity) {
      return Error::OverLimit("the clip is larger than its index can describe (" +
                       std::to_string(options_.superIndexCapacity) + " RIFF chunks)");
    }
    if (Status s = FinishRiff(); !s) return s;
    if (Status s = StartRiff(false); !s) return s;
  }
  const uint64_t at = avi_file_.Position();
  if (Status s = frame ? WriteChunk(*frame) : WriteChunkAgain(again); !s) return s;
  // image_size_ is a multiple of 4, so no pad byte follows the chunk.
  chunk_offsets_.push_back(static_cast<uint32_t>(at - movi_start_));
  frame_chunks_.push_back(at);
  return Status::Ok();
}

Status TCreateAvi::StartRiff(bool first) {
  first_riff_ = first;
  chunk_offsets_.clear();
  if (first) {
    BuildHeader(scratch_);
    riff_start_ = 0;
    movi_start_ = scratch_.size() - 4;
    return Write(scratch_.data(), scratch_.size());
  }
  riff_start_ = avi_file_.Position();
  ChunkBuilder b(scratch_);
  b.Begin("RIFF");
  b.PutFourCC("AVIX");
  b.BeginList("movi");
  movi_start_ = riff_start_ + scratch_.size() - 4;
  return Write(scratch_.data(), scratch_.size());
}

// Ends the RIFF being written: its standard index inside 'movi', the AVI 1.0 index
// after 'movi' in the first RIFF, then the sizes of the 'movi' list and of the RIFF.
Status TCreateAvi::FinishRiff() {
  const size_t n = chunk_offsets_.size();
  const uint64_t index_at = avi_file_.Position();
  {
    ChunkBuilder b(scratch_);
    const size_t at = b.Begin("ix00");
    b.Put16LE(2);  // longs per entry
    b.Put8(0);
    b.Put8(kAviIndexOfChunks);
    b.Put32LE(static_cast<uint32_t>(n));
    b.PutFourCC("00db");
    b.Put64LE(movi_start_);  // base offset; entries point at each chunk's data
    b.Put32LE(0);
    for (uint32_t off : chunk_offsets_) {
      b.Put32LE(off + 8);
      b.Put32LE(static_cast<uint32_t>(image_size_));  // bit 31 clear: a key frame
    }
    b.End(at);
  }
  if (Status s = Write(scratch_.data(), scratch_.size()); !s) return s;
  super_index_.push_back(
      SuperIndexEntry{index_at, static_cast<uint32_t>(scratch_.size()), static_cast<uint32_t>(n)});
  const uint32_t movi_size = static_cast<uint32_t>(avi_file_.Position() - movi_start_);

  if (first_riff_) {
    ChunkBuilder b(scratch_);
    const size_t at = b.Begin("idx1");
    for (uint32_t off : chunk_offsets_) {
      b.PutFourCC("00db");
      b.Put32LE(kAviifKeyframe);
      b.Put32LE(off);
      b.Put32LE(static_cast<uint32_t>(image_size_));
    }
    b.End(at);
    if (Status s = Write(scratch_.data(), scratch_.size()); !s) return s;
  }
  const uint32_t riff_size = static_cast<uint32_t>(avi_file_.Position() - riff_start_ - 8);
  if (first_riff_) {
    first_riff_size_ = riff_size;
    first_movi_size_ = movi_size;
    first_riff_frames_ = static_cast<uint32_t>(n);
  }
  if (Status s = WriteAt(riff_start_ + 4, LittleEndian32(riff_size).data(), 4); !s) return s;
  return WriteAt(movi_start_ - 4, LittleEndian32(movi_size).data(), 4);
}

Status TCreateAvi::Write(const void* data, size_t size) {
  if (options_.writeHook) {
    if (Status s = options_.writeHook(avi_file_.Position(), size); !s) return s;
  }
  return avi_file_.Write(data, size);
}

Status TCreateAvi::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (options_.writeHook) {
    if (Status s = options_.writeHook(offset, size); !s) return s;
  }
  return avi_file_.WriteAt(offset, data, size);
}

// The file's header up to the 'movi' fourcc. Its size depends only on the super
// index's capacity, so it is written with zero counts at the first frame and written
// again, complete, by Close.
void TCreateAvi::BuildHeader(std::vector<uint8_t>& out) const {
  const AviStreamInfo& si = *stream_info_;
  const uint32_t total = static_cast<uint32_t>(frames_written_);
  ChunkBuilder b(out);

  const size_t riff = b.Begin("RIFF");
  b.PutFourCC("AVI ");
  const size_t hdrl = b.BeginList("hdrl");

  const size_t avih = b.Begin("avih");
  b.Put32LE(static_cast<uint32_t>((uint64_t{1000000} * si.dwScale + si.dwRate / 2) / si.dwRate));
  b.Put32LE(static_cast<uint32_t>(
      std::min<uint64_t>(0xFFFFFFFFu, (8 + uint64_t{si.dwSuggestedBufferSize}) * si.dwRate / si.dwScale)));
  b.Put32LE(0);  // padding granularity
  b.Put32LE(kAvifHasIndex | kAvifIsInterleaved);
  b.Put32LE(first_riff_frames_);  // AVI 1.0 readers see the first RIFF only
  b.Put32LE(0);                   // initial frames
  b.Put32LE(1);                   // streams
  b.Put32LE(si.dwSuggestedBufferSize);
  b.Put32LE(static_cast<uint32_t>(width_));
  b.Put32LE(static_cast<uint32_t>(height_));
  b.PutZeros(16);
  b.End(avih);

  const size_t strl = b.BeginList("strl");
  const size_t strh = b.Begin("strh");
  b.Put32LE(si.fccType);
  b.Put32LE(si.fccHandler);
  b.Put32LE(0);  // flags
  b.Put16LE(0);  // priority
  b.Put16LE(0);  // language
  b.Put32LE(0);  // initial frames
  b.Put32LE(si.dwScale);
  b.Put32LE(si.dwRate);
  b.Put32LE(0);  // start
  b.Put32LE(total);
  b.Put32LE(si.dwSuggestedBufferSize);
  b.Put32LE(0);  // quality
  b.Put32LE(0);  // sample size
  b.Put16LE(static_cast<uint16_t>(si.rcLeft));
  b.Put16LE(static_cast<uint16_t>(si.rcTop));
  b.Put16LE(static_cast<uint16_t>(si.rcRight));
  b.Put16LE(static_cast<uint16_t>(si.rcBottom));
  b.End(strh);

  const size_t strf = b.Begin("strf");
  b.PutBytes(format_.get(), static_cast<size_t>(info_size_));
  b.End(strf);

  const size_t indx = b.Begin("indx");
  b.Put16LE(4);  // longs per entry
  b.Put8(0);
  b.Put8(kAviIndexOfIndexes);
  b.Put32LE(static_cast<uint32_t>(super_index_.size()));
  b.PutFourCC("00db");
  b.PutZeros(12);
  for (const SuperIndexEntry& e : super_index_) {
    b.Put64LE(e.offset);
    b.Put32LE(e.size);
    b.Put32LE(e.duration);
  }
  b.PutZeros(16 * (options_.superIndexCapacity - super_index_.size()));
  b.End(indx);
  b.End(strl);

  const size_t odml = b.BeginList("odml");
  const size_t dmlh = b.Begin("dmlh");
  b.Put32LE(total);
  b.PutZeros(kDmlhSize - 4);
  b.End(dmlh);
  b.End(odml);
  b.End(hdrl);

  b.PutFourCC("LIST");
  b.Put32LE(first_movi_size_);
  b.PutFourCC("movi");
  b.Patch32LE(riff, first_riff_size_);
}

}  // namespace kestal
