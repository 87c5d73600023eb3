// The encoder of animated AVIF, through libavif (the encoders' module).

#include <avif/avif.h>

#include <cstring>

#include "export/avif_export.h"
#include "export/encoders/encoders.h"

namespace kestal {

static_assert(kAvifBestQuantizer == AVIF_QUANTIZER_BEST_QUALITY && kAvifWorstQuantizer == AVIF_QUANTIZER_WORST_QUALITY);

namespace {

// AOM's speed runs 0 (slowest, smallest) to 10; 8 encodes a 1920-pixel frame in a
// fraction of a second and costs a few percent in size.
constexpr int kEncoderSpeed = 8;
// The frames' durations are counted in milliseconds.
constexpr uint64_t kTimescale = 1000;

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// libavif stamps the sequence's movie, track and media headers (ISO/IEC 14496-12
// mvhd, tkhd, mdhd) with the time of writing. The same animation and settings must
// give the same bytes, so those times become 0 ("unknown"). Walks the boxes of
// data[begin, end), descending into the containers that lead to the headers.
void ClearWritingTimes(uint8_t* data, size_t begin, size_t end) {
  size_t at = begin;
  while (end - at >= 8) {
    uint64_t size = BigEndian32(data + at);
    const uint8_t* type = data + at + 4;
    size_t header = 8;
    if (size == 1) {
      if (end - at < 16) return;
      size = uint64_t{BigEndian32(data + at + 8)} << 32 | BigEndian32(data + at + 12);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) return;
    const auto is = [type](const char* name) { return std::memcmp(type, name, 4) == 0; };
    const size_t box_end = at + static_cast<size_t>(size);
    if (is("moov") || is("trak") || is("mdia")) {
      ClearWritingTimes(data, at + header, box_end);
    } else if (is("mvhd") || is("tkhd") || is("mdhd")) {
      // A full box: version and flags, then the creation and modification times, of
      // 8 bytes each in version 1 and 4 in version 0.
      const size_t times = at + header + 4;
      if (box_end >= times + 8) {
        const size_t length = data[at + header] == 1 && box_end >= times + 16 ? 16 : 8;
        std::memset(data + times, 0, length);
      }
    }
    at = box_end;
  }
}

Error AvifError(avifResult result, const std::string& what) {
  const ErrorKind kind = result == AVIF_RESULT_OUT_OF_MEMORY ? ErrorKind::NoMemory : ErrorKind::Io;
  return Error::Make(kind, what + ": " + avifResultToString(result));
}

// libavif's encoder, its picture and its output. Each frame lasts the animation
// timer's interval.
class AvifEncoder : public ClipEncoder {
 public:
  AvifEncoder() = default;
  ~AvifEncoder() override {
    if (encoder_) avifEncoderDestroy(encoder_);
    if (image_) avifImageDestroy(image_);
    avifRWDataFree(&output_);
  }
  AvifEncoder(const AvifEncoder&) = delete;
  AvifEncoder& operator=(const AvifEncoder&) = delete;

  Status Open(int32_t width, int32_t height, int quantizer, int intervalMs) {
    if (intervalMs <= 0) return Error::Invalid("the frames have no duration");
    duration_ = static_cast<uint64_t>(intervalMs);
    if (!avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE)) {
      return Error::Unsupported("this system's libavif has no AV1 encoder (AOM)");
    }
    encoder_ = avifEncoderCreate();
    image_ = avifImageCreate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 8, AVIF_PIXEL_FORMAT_YUV420);
    if (!encoder_ || !image_) return Error::NoMemory("not enough memory for the AVIF encoder");
    encoder_->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder_->speed = kEncoderSpeed;
    encoder_->maxThreads = 2;
    encoder_->timescale = kTimescale;
    encoder_->minQuantizer = encoder_->maxQuantizer = quantizer;
    // The sRGB pixels as BT.601 YUV in limited range, as the videos have them, said so
    // in the file. Browsers' YUV paths take limited range as they should; Chromium
    // shows full-range 4:2:0 with its contrast stretched.
    image_->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image_->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image_->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image_->yuvRange = AVIF_RANGE_LIMITED;
    return Status::Ok();
  }

  Status Add(const Bitmap24& frame) override {
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image_);
    rgb.format = AVIF_RGB_FORMAT_BGR;
    rgb.depth = 8;
    // libavif only reads the pixels it is given here.
    rgb.pixels = const_cast<uint8_t*>(frame.Data());
    rgb.rowBytes = static_cast<uint32_t>(frame.Stride());
    if (avifResult r = avifImageRGBToYUV(image_, &rgb); r != AVIF_RESULT_OK) return AvifError(r, "a frame's colours");
    if (avifResult r = avifEncoderAddImage(encoder_, image_, duration_, AVIF_ADD_IMAGE_FLAG_NONE); r != AVIF_RESULT_OK) {
      return AvifError(r, "the AV1 encoder failed");
    }
    return Status::Ok();
  }

  Status Finish(const std::function<void()>&) override {
    if (avifResult r = avifEncoderFinish(encoder_, &output_); r != AVIF_RESULT_OK) {
      return AvifError(r, "the AV1 encoder failed");
    }
    ClearWritingTimes(output_.data, 0, output_.size);
    return Status::Ok();
  }

  std::span<const uint8_t> File() const override { return {output_.data, output_.size}; }
  std::vector<uint64_t> FrameBytes() const override { return {}; }

 private:
  uint64_t duration_ = 0;
  avifEncoder* encoder_ = nullptr;
  avifImage* image_ = nullptr;
  avifRWData output_ = AVIF_DATA_EMPTY;
};

}  // namespace

Result<std::unique_ptr<ClipEncoder>> OpenAvifEncoder(const EncoderSettings& settings) {
  auto encoder = std::make_unique<AvifEncoder>();
  if (Status s = encoder->Open(settings.width, settings.height, settings.quality, settings.pace.intervalMs); !s) {
    return s.error();
  }
  return std::unique_ptr<ClipEncoder>(std::move(encoder));
}

}  // namespace kestal
