#include "imageio/gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace kestal {
namespace {

// GIF colour tables hold 2^n entries, 2 to 256.
int ColorTableBits(size_t entries) {
  int bits = 1;
  while ((size_t{1} << bits) < entries) ++bits;
  return bits;
}

// Packs variable-width codes, least significant bit first, into data sub-blocks of at
// most 255 bytes, each preceded by its length (GIF89a section 15).
class CodePacker {
 public:
  explicit CodePacker(std::vector<uint8_t>& out) : out_(out) {}
  void Put(uint32_t code, int width) {
    acc_ |= code << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      Byte(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void Finish() {
    if (bits_ > 0) Byte(static_cast<uint8_t>(acc_));
    acc_ = 0;
    bits_ = 0;
    if (block_ != kNoBlock) out_[block_] = static_cast<uint8_t>(out_.size() - block_ - 1);
    block_ = kNoBlock;
  }

 private:
  static constexpr size_t kNoBlock = SIZE_MAX;
  void Byte(uint8_t b) {
    if (block_ == kNoBlock) {
      block_ = out_.size();
      out_.push_back(0);
    }
    out_.push_back(b);
    if (out_.size() - block_ - 1 == 255) {
      out_[block_] = 255;
      block_ = kNoBlock;
    }
  }
  std::vector<uint8_t>& out_;
  size_t block_ = kNoBlock;
  uint32_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

int GifMinCodeSize(size_t paletteEntries) { return std::max(2, ColorTableBits(paletteEntries)); }

// Variable-length-code LZW as GIF89a appendix F describes it: codes start one bit wider
// than the minimum code size and grow to 12 bits; the table is cleared when its last
// code (4095) has been given out. The string table is a hash of (prefix code, next
// index) pairs.
std::vector<uint8_t> EncodeGifImageData(const uint8_t* indices, size_t count, int minCodeSize) {
  constexpr int kMaxBits = 12;
  constexpr uint32_t kMaxCode = (1u << kMaxBits) - 1;
  constexpr size_t kSlots = 1u << 14;  // a power of two, well above 4096 entries
  std::vector<uint8_t> out;
  out.reserve(count / 2 + 64);
  CodePacker packer(out);
  const uint32_t clear = 1u << minCodeSize, end = clear + 1;
  // A slot holds generation << 32 | (key + 1) << 12 | code, where a key is
  // prefix << 8 | index; a slot of an older generation is free, so a clear costs no
  // sweep of the table.
  std::vector<uint64_t> table(kSlots, 0);
  uint64_t generation = uint64_t{1} << 32;
  int width = minCodeSize + 1;
  uint32_t last = end;  // the last code given out
  packer.Put(clear, width);
  if (count > 0) {
    uint32_t prefix = indices[0];
    for (size_t i = 1; i < count; ++i) {
      const uint32_t key = (prefix << 8) | indices[i];
      const uint64_t tag = generation | (uint64_t{key + 1} << kMaxBits);
      size_t slot = (key * 2654435761u) >> (32 - 14);
      while ((table[slot] & ~uint64_t{kMaxCode}) != tag && (table[slot] >> 32) == (generation >> 32)) {
        slot = (slot + 1) & (kSlots - 1);
      }
      if ((table[slot] & ~uint64_t{kMaxCode}) == tag) {
        prefix = static_cast<uint32_t>(table[slot] & kMaxCode);
        continue;
      }
      packer.Put(prefix, width);
      ++last;
      table[slot] = tag | last;
      if (last >= (1u << width) && width < kMaxBits) ++width;
      if (last == kMaxCode) {
        packer.Put(clear, width);
        generation += uint64_t{1} << 32;
        width = minCodeSize + 1;
        last = end;
      }
      prefix = indices[i];
    }
    packer.Put(prefix, width);
    // The decoder adds its entry for the code just read before it reads the next one,
    // and may widen its codes for it.
    if (last != end && last + 1 >= (1u << width) && width < kMaxBits) ++width;
  }
  packer.Put(end, width);
  packer.Finish();
  return out;
}

Status CheckGifSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1) return Error::Invalid("a GIF image needs at least one pixel");
  if (width > kMaxGifSide || height > kMaxGifSide) {
    return Error::OverLimit("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels; a GIF holds at most " + std::to_string(kMaxGifSide) + " pixels a side");
  }
  return Status::Ok();
}

GifWriter::~GifWriter() { Close(); }

int GifWriter::WriteBytes(GifFileType* gif, const uint8_t* data, int size) {
  auto* self = static_cast<GifWriter*>(gif->UserData);
  if (!self->write_error_.ok()) return 0;
  if (Status s = self->out_.Write(data, static_cast<size_t>(size)); !s) {
    self->write_error_ = s;
    return 0;
  }
  return size;
}

// The cause of a giflib failure: the file's own error when a write failed, else
// giflib's description.
Status GifWriter::Failed(int gifError) {
  broken_ = true;
  Status cause = write_error_.ok() ? Status(Error::Io(GifErrorString(gifError) ? GifErrorString(gifError)
                                                                               : "the GIF encoder failed"))
                                   : write_error_;
  Close();
  return cause;
}

void GifWriter::Close() {
  if (gif_) {
    // Closing writes the trailer; after a failure nothing more may reach the file.
    if (broken_ && write_error_.ok()) write_error_ = Error::Io("abandoned");
    int err = 0;
    EGifCloseFile(gif_, &err);
    gif_ = nullptr;
  }
  out_.Abandon();
}

Status GifWriter::Open(const std::string& path, int32_t width, int32_t height, const Palette& palette,
                       GifOptions options) {
  Close();
  broken_ = false;
  write_error_ = Status::Ok();
  if (Status s = CheckGifSize(width, height); !s) return s;
  if (palette.empty() || palette.size() > 256) return Error::Invalid("the palette must hold 1 to 256 colours");
  if (Status s = out_.Open(path); !s) return s;
  int err = 0;
  gif_ = EGifOpen(this, &GifWriter::WriteBytes, &err);
  if (!gif_) return Failed(err);
  options_ = options;
  width_ = width;
  height_ = height;
  // The version is fixed before the header is written.
  EGifSetGifVersion(gif_, true);
  if (Status s = WriteScreen(width, height, palette); !s) return s;
  if (options_.animated) return WriteLoopExtension();
  return Status::Ok();
}

// Header, logical screen descriptor and global colour table (GIF89a sections 17-19).
Status GifWriter::WriteScreen(int32_t width, int32_t height, const Palette& palette) {
  const int bits = ColorTableBits(palette.size());
  code_size_ = GifMinCodeSize(palette.size());
  std::vector<GifColorType> colors(size_t{1} << bits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i) {
    colors[i] = GifColorType{palette[i].red, palette[i].green, palette[i].blue};
  }
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  if (!map) return Failed(E_GIF_ERR_NOT_ENOUGH_MEM);
  const int ok = EGifPutScreenDesc(gif_, width, height, bits, 0, map);
  GifFreeMapObject(map);
  if (ok != GIF_OK) return Failed(gif_->Error);
  return Status::Ok();
}

// The NETSCAPE2.0 application extension: sub-block 1 carries the loop count, 0 meaning
// forever.
Status GifWriter::WriteLoopExtension() {
  static const uint8_t kIdentifier[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const uint8_t kLoopForever[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
      EGifPutExtensionBlock(gif_, sizeof kIdentifier, kIdentifier) != GIF_OK ||
      EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) != GIF_OK ||
      EGifPutExtensionTrailer(gif_) != GIF_OK) {
    return Failed(gif_->Error);
  }
  return Status::Ok();
}

// Graphic control extension (GIF89a section 23): the delay, disposal 0 (none
// specified), no user input, no transparent colour.
Status GifWriter::WriteGraphicControl(int delayCs) {
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
  gcb.UserInputFlag = false;
  gcb.DelayTime = std::clamp(delayCs, 0, 65535);
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType bytes[4];
  const size_t n = EGifGCBToExtension(&gcb, bytes);
  if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), bytes) != GIF_OK) {
    return Failed(gif_->Error);
  }
  return Status::Ok();
}

// Image descriptor without a local colour table, not interlaced, then the LZW data
// (GIF89a sections 20 and 22). giflib writes the minimum code size, the data goes out
// as it is, and giflib ends it with the block terminator.
Status GifWriter::WriteImage(const EncodedGifFrame& frame) {
  if (EGifPutImageDesc(gif_, frame.left, frame.top, frame.width, frame.height, false, nullptr) != GIF_OK) {
    return Failed(gif_->Error);
  }
  const std::vector<uint8_t>& data = frame.data;
  for (size_t at = 0; at < data.size(); at += size_t{data[at]} + 1) {
    const int ok = at == 0 ? EGifPutCode(gif_, code_size_, &data[at]) : EGifPutCodeNext(gif_, &data[at]);
    if (ok != GIF_OK) return Failed(gif_->Error);
  }
  if (EGifPutCodeNext(gif_, nullptr) != GIF_OK) return Failed(gif_->Error);
  return Status::Ok();
}

Status GifWriter::AddFrame(const GifFrame& frame) {
  EncodedGifFrame encoded{frame.left, frame.top, frame.width, frame.height, frame.delayCs, {}};
  if (gif_ && !broken_ && frame.indices && FrameFits(encoded)) {
    encoded.data = EncodeGifImageData(frame.indices, size_t(frame.width) * size_t(frame.height), code_size_);
  }
  return AddEncodedFrame(encoded);
}

bool GifWriter::FrameFits(const EncodedGifFrame& frame) const {
  return CheckGifSize(frame.width, frame.height) && frame.left >= 0 && frame.top >= 0 &&
         int64_t{frame.left} + frame.width <= width_ && int64_t{frame.top} + frame.height <= height_;
}

Status GifWriter::AddEncodedFrame(const EncodedGifFrame& frame) {
  if (broken_ || !gif_) return Error::Invalid("the GIF file is not open");
  if (Status s = CheckGifSize(frame.width, frame.height); !s) return s;
  if (!FrameFits(frame) || frame.data.empty()) {
    broken_ = true;
    Close();
    return Error::Invalid(frame.data.empty() ? "a frame has no pixels" : "a frame lies outside the GIF's screen");
  }
  if (options_.animated) {
    if (Status s = WriteGraphicControl(frame.delayCs); !s) return s;
  }
  return WriteImage(frame);
}

Status GifWriter::Finish() {
  if (broken_ || !gif_) return Error::Invalid("the GIF file is not open");
  int err = 0;
  const int ok = EGifCloseFile(gif_, &err);
  gif_ = nullptr;
  if (ok != GIF_OK) return Failed(err);
  // giflib does not check the write of the trailer; the stored cause tells.
  if (!write_error_.ok()) return Failed(E_GIF_ERR_WRITE_FAILED);
  return out_.Commit();
}

Status WriteGifFile(const std::string& path, const Bitmap24& bitmap) {
  if (Status s = CheckGifSize(bitmap.Width(), bitmap.Height()); !s) return s;
  auto reduced = ReduceColors(bitmap, 256, kReduceDither | kReduceIndexed | kReduceReturnPalette);
  if (!reduced) return Error::Invalid("the picture could not be reduced to 256 colours");
  GifWriter writer;
  if (Status s = writer.Open(path, bitmap.Width(), bitmap.Height(), reduced->palette, GifOptions{false}); !s) {
    return s;
  }
  if (Status s = writer.AddFrame(GifFrame{reduced->indices.data(), 0, 0, bitmap.Width(), bitmap.Height(), 0}); !s) {
    return s;
  }
  return writer.Finish();
}

}  // namespace kestal
