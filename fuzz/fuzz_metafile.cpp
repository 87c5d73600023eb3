#include "imageio/codecs/metafile/reader.h"
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kestal::fuzz::Run(kestal::ReadMetafile, data, size, kestal::MetafileHeaderSize);
}
