#include "imageio/codecs/eps_reader.h"
#include "fuzz_harness.h"

// The preview decoders only: the fuzzer must not start Ghostscript.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kestal::fuzz::Run(kestal::ReadEpsPreview, data, size);
}
