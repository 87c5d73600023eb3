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

}  // namespace

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
// row by row (GIF89a sections 20 and 22).
Status GifWriter::WriteImage(const GifFrame& frame) {
  if (EGifPutImageDesc(gif_, frame.left, frame.top, frame.width, frame.height, false, nullptr) != GIF_OK) {
    return Failed(gif_->Error);
  }
  // giflib masks the pixels of the row it is given in place; give it a copy.
  std::vector<GifPixelType> row(static_cast<size_t>(frame.width));
  const uint8_t* src = frame.indices;
  for (int32_t y = 0; y < frame.height; ++y, src += frame.width) {
    std::memcpy(row.data(), src, row.size());
    if (EGifPutLine(gif_, row.data(), frame.width) != GIF_OK) return Failed(gif_->Error);
  }
  return Status::Ok();
}

Status GifWriter::AddFrame(const GifFrame& frame) {
  if (broken_ || !gif_) return Error::Invalid("the GIF file is not open");
  if (Status s = CheckGifSize(frame.width, frame.height); !s) return s;
  if (frame.left < 0 || frame.top < 0 || int64_t{frame.left} + frame.width > width_ ||
      int64_t{frame.top} + frame.height > height_ || !frame.indices) {
    broken_ = true;
    Close();
    return Error::Invalid("a frame lies outside the GIF's screen");
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
  const Palette palette = ComputePalette(bitmap, 256);
  std::vector<uint8_t> indices;
  MapToPalette(bitmap, palette, true, indices);
  GifWriter writer;
  if (Status s = writer.Open(path, bitmap.Width(), bitmap.Height(), palette, GifOptions{false}); !s) return s;
  if (Status s = writer.AddFrame(GifFrame{indices.data(), 0, 0, bitmap.Width(), bitmap.Height(), 0}); !s) {
    return s;
  }
  return writer.Finish();
}

}  // namespace kestal
