#include "export/create_avi.h"

#include <algorithm>
#include <cstring>
#include <new>

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

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends little-endian values and RIFF chunks to a byte vector. Begin writes a
// chunk's fourcc and a size placeholder; End fills the size in.
class ChunkBuilder {
 public:
  explicit ChunkBuilder(std::vector<uint8_t>& out) : out_(out) { out_.clear(); }

  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Tag(const char (&s)[5]) { U32(FourCC(s)); }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  void Bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }

  size_t Begin(const char (&id)[5]) {
    Tag(id);
    const size_t at = out_.size();
    U32(0);
    return at;
  }
  size_t BeginList(const char (&type)[5]) {
    const size_t at = Begin("LIST");
    Tag(type);
    return at;
  }
  void End(size_t at) { Put32(out_.data() + at, static_cast<uint32_t>(out_.size() - at - 4)); }

 private:
  std::vector<uint8_t>& out_;
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

TCreateAvi::~TCreateAvi() { (void)Close(); }

void TCreateAvi::SetRate(int32_t scale, int32_t rate) {
  if (state_ != State::Idle) return;
  if (scale > 0) scale_ = scale;
  if (rate > 0) rate_ = rate;
}

int TCreateAvi::AddFrame(const Bitmap24& frame) {
  if (state_ == State::Failed) return failure_code_;
  if (state_ == State::Closed) {
    error_ = Error{AviErrorMessage(file_name_), "the clip is already closed"};
    return kAviWriteFailed;
  }
  if (state_ == State::Idle) {
    if (const int code = Open(frame); code != kAviOk) return code;
  }
  if (frame.Width() != width_ || frame.Height() != height_) {
    return Fail(kAviWriteFailed, "a frame of " + std::to_string(frame.Width()) + " x " +
                                     std::to_string(frame.Height()) + " pixels differs from the clip's " +
                                     std::to_string(width_) + " x " + std::to_string(height_));
  }
  if (Status s = WriteFrame(frame); !s) return Fail(kAviWriteFailed, s.error().cause);
  ++frames_written_;
  return kAviOk;
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
    Fail(kAviWriteFailed, s.error().cause);
    return error_;
  }
  ReleaseBuffers();
  state_ = State::Closed;
  return Status::Ok();
}

int TCreateAvi::Open(const Bitmap24& frame) {
  if (Status s = avi_file_.Open(file_name_); !s) return Fail(kAviOpenFailed, s.error().cause);

  if (frame.Empty()) return Fail(kAviStreamFailed, "the frame has no pixels");
  if (frame.Width() > kMaxAviSide || frame.Height() > kMaxAviSide) {
    return Fail(kAviStreamFailed, "AVI frames are at most " + std::to_string(kMaxAviSide) + " pixels a side");
  }
  const uint64_t image = uint64_t{Bitmap24Stride(frame.Width())} * static_cast<uint64_t>(frame.Height());
  if (image > uint64_t{INT32_MAX} - 8) return Fail(kAviStreamFailed, "the frame is too large for an AVI clip");

  width_ = frame.Width();
  height_ = frame.Height();
  info_size_ = kBitmapInfoHeaderSize;
  image_size_ = static_cast<int32_t>(image);
  format_.reset(new (std::nothrow) uint8_t[kBitmapInfoHeaderSize]());
  stream_info_.reset(new (std::nothrow) AviStreamInfo());
  if (!format_ || !stream_info_) {
    return Fail(kAviStreamFailed, "not enough memory for a frame of " + std::to_string(image) + " bytes");
  }

  // BITMAPINFOHEADER: a positive height means rows stored bottom-up; BI_RGB (0).
  uint8_t* f = format_.get();
  Put32(f + 0, kBitmapInfoHeaderSize);
  Put32(f + 4, static_cast<uint32_t>(width_));
  Put32(f + 8, static_cast<uint32_t>(height_));
  Put16(f + 12, 1);
  Put16(f + 14, 24);
  Put32(f + 16, 0);
  Put32(f + 20, static_cast<uint32_t>(image_size_));

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
  if (Status s = StartRiff(true); !s) return Fail(kAviFormatFailed, s.error().cause);
  return kAviOk;
}

int TCreateAvi::Fail(int code, std::string cause) {
  avi_file_.Abandon();
  ReleaseBuffers();
  state_ = State::Failed;
  failure_code_ = code;
  error_ = Error{AviErrorMessage(file_name_), std::move(cause)};
  return code;
}

void TCreateAvi::ReleaseBuffers() {
  format_.reset();
  stream_info_.reset();
}

Status TCreateAvi::WriteBottomUp(const Bitmap24& frame) {
  // A Bitmap24 row is already a DIB row: the same stride, its padding bytes zero. So
  // the rows go out as they are, last row first, without a copy of the frame (which
  // for a large photo is hundreds of megabytes).
  if (options_.writeHook) {
    if (Status s = options_.writeHook(avi_file_.Position(), static_cast<size_t>(image_size_)); !s) return s;
  }
  const size_t stride = Bitmap24Stride(width_);
  for (int32_t r = height_ - 1; r >= 0; --r) {
    if (Status s = avi_file_.Write(frame.Row(r), stride); !s) return s;
  }
  return Status::Ok();
}

Status TCreateAvi::WriteFrame(const Bitmap24& frame) {
  const size_t n = chunk_offsets_.size();
  const uint64_t chunk = 8 + static_cast<uint64_t>(image_size_);
  // The RIFF's size once this frame and the indexes that end the RIFF are written.
  const uint64_t riff_size = avi_file_.Position() + chunk + StandardIndexSize(n + 1) +
                             (first_riff_ ? OldIndexSize(n + 1) : 0) - (riff_start_ + 8);
  if (n > 0 && riff_size > options_.riffLimit) {
    // The finished RIFF and the new one each take a super-index entry.
    if (super_index_.size() + 2 > options_.superIndexCapacity) {
      return MakeError("the clip is larger than its index can describe (" +
                       std::to_string(options_.superIndexCapacity) + " RIFF chunks)");
    }
    if (Status s = FinishRiff(); !s) return s;
    if (Status s = StartRiff(false); !s) return s;
  }
  uint8_t header[8];
  Put32(header, FourCC("00db"));
  Put32(header + 4, static_cast<uint32_t>(image_size_));
  const uint64_t offset = avi_file_.Position() - movi_start_;
  if (Status s = Write(header, sizeof header); !s) return s;
  if (Status s = WriteBottomUp(frame); !s) return s;
  // image_size_ is a multiple of 4, so no pad byte follows the chunk.
  chunk_offsets_.push_back(static_cast<uint32_t>(offset));
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
  b.Tag("AVIX");
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
    b.U16(2);  // longs per entry
    b.U8(0);
    b.U8(kAviIndexOfChunks);
    b.U32(static_cast<uint32_t>(n));
    b.Tag("00db");
    b.U64(movi_start_);  // base offset; entries point at each chunk's data
    b.U32(0);
    for (uint32_t off : chunk_offsets_) {
      b.U32(off + 8);
      b.U32(static_cast<uint32_t>(image_size_));  // bit 31 clear: a key frame
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
      b.Tag("00db");
      b.U32(kAviifKeyframe);
      b.U32(off);
      b.U32(static_cast<uint32_t>(image_size_));
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
  uint8_t size[4];
  Put32(size, riff_size);
  if (Status s = WriteAt(riff_start_ + 4, size, 4); !s) return s;
  Put32(size, movi_size);
  return WriteAt(movi_start_ - 4, size, 4);
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
  b.Tag("AVI ");
  const size_t hdrl = b.BeginList("hdrl");

  const size_t avih = b.Begin("avih");
  b.U32(static_cast<uint32_t>((uint64_t{1000000} * si.dwScale + si.dwRate / 2) / si.dwRate));
  b.U32(static_cast<uint32_t>(
      std::min<uint64_t>(0xFFFFFFFFu, (8 + uint64_t{si.dwSuggestedBufferSize}) * si.dwRate / si.dwScale)));
  b.U32(0);  // padding granularity
  b.U32(kAvifHasIndex | kAvifIsInterleaved);
  b.U32(first_riff_frames_);  // AVI 1.0 readers see the first RIFF only
  b.U32(0);                   // initial frames
  b.U32(1);                   // streams
  b.U32(si.dwSuggestedBufferSize);
  b.U32(static_cast<uint32_t>(width_));
  b.U32(static_cast<uint32_t>(height_));
  b.Zeros(16);
  b.End(avih);

  const size_t strl = b.BeginList("strl");
  const size_t strh = b.Begin("strh");
  b.U32(si.fccType);
  b.U32(si.fccHandler);
  b.U32(0);  // flags
  b.U16(0);  // priority
  b.U16(0);  // language
  b.U32(0);  // initial frames
  b.U32(si.dwScale);
  b.U32(si.dwRate);
  b.U32(0);  // start
  b.U32(total);
  b.U32(si.dwSuggestedBufferSize);
  b.U32(0);  // quality
  b.U32(0);  // sample size
  b.U16(static_cast<uint16_t>(si.rcLeft));
  b.U16(static_cast<uint16_t>(si.rcTop));
  b.U16(static_cast<uint16_t>(si.rcRight));
  b.U16(static_cast<uint16_t>(si.rcBottom));
  b.End(strh);

  const size_t strf = b.Begin("strf");
  b.Bytes(format_.get(), static_cast<size_t>(info_size_));
  b.End(strf);

  const size_t indx = b.Begin("indx");
  b.U16(4);  // longs per entry
  b.U8(0);
  b.U8(kAviIndexOfIndexes);
  b.U32(static_cast<uint32_t>(super_index_.size()));
  b.Tag("00db");
  b.Zeros(12);
  for (const SuperIndexEntry& e : super_index_) {
    b.U64(e.offset);
    b.U32(e.size);
    b.U32(e.duration);
  }
  b.Zeros(16 * (options_.superIndexCapacity - super_index_.size()));
  b.End(indx);
  b.End(strl);

  const size_t odml = b.BeginList("odml");
  const size_t dmlh = b.Begin("dmlh");
  b.U32(total);
  b.Zeros(kDmlhSize - 4);
  b.End(dmlh);
  b.End(odml);
  b.End(hdrl);

  b.Tag("LIST");
  b.U32(first_movi_size_);
  b.Tag("movi");
  Put32(out.data() + riff, first_riff_size_);
}

}  // namespace kestal
