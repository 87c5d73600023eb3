// The fuzz harness of every reader, built once per reader: KESTAL_FUZZ_EXTENSION names
// an extension of the family whose reader this build runs. The reader and its header
// parse are the registry's, so the fuzzer drives what loading a file drives: the size
// the header claims first, then the decode, under small pixel limits so that it
// explores the decoder rather than the allocator.

#include <cstddef>
#include <cstdint>

#include "imageio/codecs/eps_reader.h"
#include "imageio/image_registry.h"

namespace kestal::fuzz {
namespace {

constexpr PixelLimits kFuzzLimits{4096, 4 * 1024 * 1024};

struct Harness {
  ImageReader reader = nullptr;
  ImageHeaderSize header_size = nullptr;
};

Harness Chosen() {
  const ImageFamily* family = ImageRegistry::Instance().FindByExtension(KESTAL_FUZZ_EXTENSION);
  if (!family || !family->reader) __builtin_trap();  // a harness built for no reader
  Harness h{family->reader, family->header_size};
  // An EPS file without a preview is rendered by Ghostscript, which the fuzzer must
  // not start: the preview decoders only.
  if (h.reader == ReadEps) h.reader = ReadEpsPreview;
  return h;
}

}  // namespace

int Run(const uint8_t* data, size_t size) {
  static const Harness harness = Chosen();
  const ByteSpan bytes(data, size);
  if (harness.header_size) {
    volatile bool claimed = harness.header_size(FileHead(bytes)).ok();
    (void)claimed;
  }
  auto result = harness.reader(bytes, kFuzzLimits);
  if (result.ok()) {
    // Touch every pixel so that a bitmap the reader left inconsistent shows up.
    volatile unsigned sum = 0;
    const Bitmap24& b = result.value();
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width() * 3; ++x) sum = sum + b.Row(y)[x];
  }
  return 0;
}

}  // namespace kestal::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return kestal::fuzz::Run(data, size); }
