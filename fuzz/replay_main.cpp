// Without libFuzzer, a harness runs every file named on its command line, and every file
// inside the folders named there, once. Used by `make test` to replay the corpus of
// malformed files; a crash or a sanitizer report fails the test.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p, ec)) {
        if (e.is_regular_file()) count += RunFile(e.path());
      }
    } else if (std::filesystem::is_regular_file(p, ec)) {
      count += RunFile(p);
    }
  }
  std::printf("replayed %d files\n", count);
  return 0;
}
