// The encoders of MP4, WebM and APNG, through FFmpeg's libraries (the encoders' module).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "export/encoders/encoders.h"

namespace kestal {
namespace {

struct CodecChoice {
  const char* encoder;
  const char* muxer;
  AVPixelFormat pixels;
  bool evenSides;  // 4:2:0 chroma needs even sides
};

CodecChoice ChoiceFor(ExportFormat format) {
  switch (format) {
    case ExportFormat::Mp4: return {"libx264", "mp4", AV_PIX_FMT_YUV420P, true};
    case ExportFormat::WebM: return {"libvpx-vp9", "webm", AV_PIX_FMT_YUV420P, true};
    default: return {"apng", "apng", AV_PIX_FMT_RGB24, false};
  }
}

std::string AvErrorText(int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return text;
}

Error AvError(int err, const std::string& what) {
  const ErrorKind kind = err == AVERROR(ENOMEM) ? ErrorKind::NoMemory : ErrorKind::Io;
  return Error::Make(kind, what + ": " + AvErrorText(err));
}

// FFmpeg's I/O over a descriptor we opened, so that no file name ever reaches FFmpeg,
// which would read "pipe:w.webm", "file:y.mp4" or "10:30.mp4" as a protocol and an
// address. Each context keeps its own offset and uses pread/pwrite, so the writer and
// the reader that MP4's faststart opens to move the index first share the file
// without sharing a position.
class DescriptorIo {
 public:
  // A context writing (`write`) or reading at offset 0 of `fd`; null without memory.
  static AVIOContext* Open(int fd, bool write) {
    constexpr int kBufferSize = 32768;  // as FFmpeg's own file I/O
    auto* io = new (std::nothrow) DescriptorIo(fd);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    AVIOContext* context =
        io && buffer ? avio_alloc_context(buffer, kBufferSize, write ? 1 : 0, io, write ? nullptr : Read,
                                          write ? Write : nullptr, Seek)
                     : nullptr;
    if (!context) {
      av_free(buffer);
      delete io;
    }
    return context;
  }

  // Flushes a writing context and frees it; the error of any write, or 0.
  static int Close(AVIOContext** context) {
    if (!*context) return 0;
    if ((*context)->write_flag) avio_flush(*context);
    const int err = (*context)->error;
    delete static_cast<DescriptorIo*>((*context)->opaque);
    av_freep(&(*context)->buffer);
    avio_context_free(context);
    return err;
  }

 private:
  explicit DescriptorIo(int file) : fd(file) {}

  static int Write(void* opaque, uint8_t* data, int size) {
    auto* io = static_cast<DescriptorIo*>(opaque);
    for (int done = 0; done < size;) {
      const ssize_t n = ::pwrite(io->fd, data + done, static_cast<size_t>(size - done), io->offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return AVERROR(n < 0 ? errno : EIO);
      done += static_cast<int>(n);
      io->offset += n;
    }
    return size;
  }

  static int Read(void* opaque, uint8_t* data, int size) {
    auto* io = static_cast<DescriptorIo*>(opaque);
    ssize_t n;
    do n = ::pread(io->fd, data, static_cast<size_t>(size), io->offset);
    while (n < 0 && errno == EINTR);
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    io->offset += n;
    return static_cast<int>(n);
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* io = static_cast<DescriptorIo*>(opaque);
    const int how = whence & ~AVSEEK_FORCE;
    struct stat st {};
    if ((how == AVSEEK_SIZE || how == SEEK_END) && ::fstat(io->fd, &st) != 0) return AVERROR(errno);
    switch (how) {
      case AVSEEK_SIZE: return st.st_size;
      case SEEK_SET: break;
      case SEEK_CUR: offset += io->offset; break;
      case SEEK_END: offset += st.st_size; break;
      default: return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    io->offset = offset;
    return offset;
  }

  int fd;
  int64_t offset = 0;
};

// The muxer opens files by name only to read back its own output (MP4's faststart);
// `opaque` is the descriptor, and any other name is refused.
int OpenOwnFile(AVFormatContext* format, AVIOContext** context, const char* url, int flags, AVDictionary**) {
  if (!url || !format->url || std::strcmp(url, format->url) != 0 || (flags & AVIO_FLAG_WRITE)) return AVERROR(EPERM);
  *context = DescriptorIo::Open(*static_cast<int*>(format->opaque), false);
  return *context ? 0 : AVERROR(ENOMEM);
}

int CloseOwnFile(AVFormatContext*, AVIOContext* context) { return DescriptorIo::Close(&context); }

// One clip's encoder and, unless it only measures, its muxer.
class FfmpegEncoder : public ClipEncoder {
 public:
  FfmpegEncoder() = default;
  ~FfmpegEncoder() override {
    if (format_) {
      DescriptorIo::Close(&format_->pb);
      avformat_free_context(format_);
    }
    avcodec_free_context(&codec_);
    sws_freeContext(sws_);
    av_frame_free(&padded_);
    av_frame_free(&picture_);
    av_packet_free(&packet_);
  }
  FfmpegEncoder(const FfmpegEncoder&) = delete;
  FfmpegEncoder& operator=(const FfmpegEncoder&) = delete;

  // `file` is the descriptor of the temporary file to write, or -1 to count the
  // encoded bytes only.
  Status Open(ExportFormat format, int32_t width, int32_t height, int fps, int quality, int file) {
    // The libraries would print their statistics and errors on standard error; their
    // failures reach the user through the errors returned here instead.
    av_log_set_level(AV_LOG_QUIET);
    const CodecChoice choice = ChoiceFor(format);
    const AVCodec* codec = avcodec_find_encoder_by_name(choice.encoder);
    if (!codec) return Error::Unsupported("this system's FFmpeg has no " + std::string(choice.encoder) + " encoder");
    width_ = width;
    height_ = height;
    const int32_t w = choice.evenSides ? width + (width & 1) : width;
    const int32_t h = choice.evenSides ? height + (height & 1) : height;
    if (Status s = OpenCodec(codec, format, choice, w, h, fps, quality, file >= 0); !s) return s;
    if (Status s = AllocatePictures(choice.pixels, w, h); !s) return s;
    return file >= 0 ? StartFile(format, file) : Status::Ok();
  }

  Status Add(const Bitmap24& frame) override {
    if (int err = av_frame_make_writable(picture_); err < 0) return AvError(err, "the encoder's picture");
    CopyPadded(frame);
    sws_scale(sws_, padded_->data, padded_->linesize, 0, padded_->height, picture_->data, picture_->linesize);
    picture_->pts = next_pts_++;
    if (int err = avcodec_send_frame(codec_, picture_); err < 0) return AvError(err, "the encoder failed");
    return Drain();
  }

  // Flushes the encoder, completes the file and closes it. `poll` runs before each
  // packet of the flush, which can take as long as all the frames' encoding.
  Status Finish(const std::function<void()>& poll) override {
    if (int err = avcodec_send_frame(codec_, nullptr); err < 0) return AvError(err, "the encoder failed");
    if (Status s = Drain(poll); !s) return s;
    if (!format_) return Status::Ok();
    if (int err = av_write_trailer(format_); err < 0) return AvError(err, "cannot complete the file");
    if (int err = DescriptorIo::Close(&format_->pb); err < 0) return AvError(err, "cannot complete the file");
    return Status::Ok();
  }

  std::span<const uint8_t> File() const override { return {}; }
  std::vector<uint64_t> FrameBytes() const override { return frame_bytes_; }

 private:
  // The encoder's context at `w` × `h`, opened with the format's quality settings; with
  // a file, also the container, which may want the codec's headers out of band.
  Status OpenCodec(const AVCodec* codec, ExportFormat format, const CodecChoice& choice, int32_t w, int32_t h,
                   int fps, int quality, bool toFile) {
    codec_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    if (!codec_ || !packet_) return Error::NoMemory("not enough memory for the encoder");
    codec_->width = w;
    codec_->height = h;
    codec_->pix_fmt = choice.pixels;
    codec_->time_base = AVRational{1, fps};
    codec_->framerate = AVRational{fps, 1};
    codec_->sample_aspect_ratio = AVRational{1, 1};
    codec_->thread_count = 0;  // as many threads as the encoder finds useful
    if (choice.pixels == AV_PIX_FMT_YUV420P) {
      // swscale's default RGB to YUV matrix is BT.601 in limited range; say so, so that
      // players convert back with the same matrix.
      codec_->colorspace = AVCOL_SPC_SMPTE170M;
      codec_->color_primaries = AVCOL_PRI_SMPTE170M;
      codec_->color_trc = AVCOL_TRC_SMPTE170M;
      codec_->color_range = AVCOL_RANGE_MPEG;
    }
    AVDictionary* options = nullptr;
    const std::string crf = std::to_string(quality);
    switch (format) {
      case ExportFormat::Mp4:
        av_dict_set(&options, "crf", crf.c_str(), 0);
        av_dict_set(&options, "preset", "medium", 0);
        // x264's AVX-512 code reads memory it has not written on some pictures (small
        // ones, with macroblock-tree rate control), so the same frames could give other
        // bytes from one run to the next. Its AVX2 code gives the bytes the AVX-512 code
        // gives on clean memory, always; every processor with AVX-512 has what x264's
        // AVX2 level needs.
        if (av_get_cpu_flags() & AV_CPU_FLAG_AVX512) av_dict_set(&options, "x264-params", "asm=AVX2", 0);
        break;
      case ExportFormat::WebM:
        // Constant quality needs the bit rate at 0; "good" with cpu-used 4 is the
        // usual speed for files made to be shared.
        codec_->bit_rate = 0;
        av_dict_set(&options, "crf", crf.c_str(), 0);
        av_dict_set(&options, "deadline", "good", 0);
        av_dict_set(&options, "cpu-used", "4", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        break;
      default:
        av_dict_set(&options, "pred", "mixed", 0);
        break;
    }
    if (toFile) {
      // The name is only the muxer's handle for reading its own output back (OpenOwnFile).
      if (int err = avformat_alloc_output_context2(&format_, nullptr, choice.muxer, "output"); err < 0) {
        av_dict_free(&options);
        return AvError(err, "the " + std::string(choice.muxer) + " container is not available");
      }
      if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      // The same animation and settings give the same bytes, from the window or the
      // command line: no random track identifiers, no time of writing.
      format_->flags |= AVFMT_FLAG_BITEXACT;
    }
    const int opened = avcodec_open2(codec_, codec, &options);
    av_dict_free(&options);
    if (opened < 0) return AvError(opened, "the " + std::string(choice.encoder) + " encoder refused the settings");
    return Status::Ok();
  }

  // The padded BGR frame, the encoder's picture and the conversion between them.
  Status AllocatePictures(AVPixelFormat pixels, int32_t w, int32_t h) {
    padded_ = av_frame_alloc();
    picture_ = av_frame_alloc();
    if (!padded_ || !picture_) return Error::NoMemory("not enough memory for the encoder");
    padded_->format = AV_PIX_FMT_BGR24;
    padded_->width = w;
    padded_->height = h;
    picture_->format = pixels;
    picture_->width = w;
    picture_->height = h;
    if (av_frame_get_buffer(padded_, 0) < 0 || av_frame_get_buffer(picture_, 0) < 0) {
      return Error::NoMemory("not enough memory for a frame of " + std::to_string(w) + " x " + std::to_string(h));
    }
    sws_ = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, pixels, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                          nullptr, nullptr, nullptr);
    if (!sws_) return Error::Unsupported("no colour conversion to the encoder's pixels");
    return Status::Ok();
  }

  // The stream, the opened file and the container's header.
  Status StartFile(ExportFormat format, int file) {
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_) return Error::NoMemory("not enough memory for the stream");
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    if (int err = avcodec_parameters_from_context(stream_->codecpar, codec_); err < 0) {
      return AvError(err, "the stream's parameters");
    }
    file_ = file;
    format_->pb = DescriptorIo::Open(file_, true);
    if (!format_->pb) return Error::NoMemory("not enough memory for the file's buffer");
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->opaque = &file_;
    format_->io_open = OpenOwnFile;
    format_->io_close2 = CloseOwnFile;
    AVDictionary* muxing = nullptr;
    if (format == ExportFormat::Mp4) av_dict_set(&muxing, "movflags", "+faststart", 0);
    if (format == ExportFormat::Apng) av_dict_set(&muxing, "plays", "0", 0);  // loop forever
    const int header = avformat_write_header(format_, &muxing);
    av_dict_free(&muxing);
    if (header < 0) return AvError(header, "cannot write the header");
    return Status::Ok();
  }

  // The frame into the encoder's size; an added column or row repeats the last one.
  void CopyPadded(const Bitmap24& frame) {
    const size_t row = static_cast<size_t>(width_) * 3;
    for (int32_t y = 0; y < padded_->height; ++y) {
      uint8_t* dst = padded_->data[0] + static_cast<ptrdiff_t>(y) * padded_->linesize[0];
      std::memcpy(dst, frame.Row(std::min(y, height_ - 1)), row);
      if (padded_->width > width_) std::memcpy(dst + row, dst + row - 3, 3);
    }
  }

  Status Drain(const std::function<void()>& poll = {}) {
    for (;;) {
      if (poll) poll();
      const int got = avcodec_receive_packet(codec_, packet_);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return Status::Ok();
      if (got < 0) return AvError(got, "the encoder failed");
      if (!format_) {
        const int64_t frame = packet_->pts;
        if (frame >= 0 && frame < next_pts_) {
          if (frame_bytes_.size() <= static_cast<size_t>(frame)) frame_bytes_.resize(static_cast<size_t>(frame) + 1);
          frame_bytes_[static_cast<size_t>(frame)] += static_cast<uint64_t>(packet_->size);
        }
        av_packet_unref(packet_);
        continue;
      }
      if (packet_->duration == 0) packet_->duration = 1;
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      if (int err = av_interleaved_write_frame(format_, packet_); err < 0) return AvError(err, "cannot write");
    }
  }

  AVCodecContext* codec_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVStream* stream_ = nullptr;
  SwsContext* sws_ = nullptr;
  AVFrame* padded_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  int file_ = -1;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int64_t next_pts_ = 0;
  std::vector<uint64_t> frame_bytes_;
};

}  // namespace

Result<std::unique_ptr<ClipEncoder>> OpenFfmpegEncoder(const EncoderSettings& settings) {
  auto encoder = std::make_unique<FfmpegEncoder>();
  if (Status s = encoder->Open(settings.format, settings.width, settings.height, settings.pace.framesPerSecond,
                               settings.quality, settings.file);
      !s) {
    return s.error();
  }
  return std::unique_ptr<ClipEncoder>(std::move(encoder));
}

}  // namespace kestal
