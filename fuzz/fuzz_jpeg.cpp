#include "imageio/codecs/jpeg_codec.h"
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kestal::fuzz::Run(kestal::ReadJpeg, data, size, kestal::JpegHeaderSize);
}
