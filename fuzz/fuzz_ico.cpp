#include "imageio/codecs/ico_reader.h"
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kestal::fuzz::Run(kestal::ReadIco, data, size, kestal::IcoHeaderSize);
}
