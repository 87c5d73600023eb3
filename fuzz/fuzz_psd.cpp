#include "imageio/codecs/psd_reader.h"
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kestal::fuzz::Run(kestal::ReadPsd, data, size);
}
