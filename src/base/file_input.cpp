#include "base/file_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>

#include "base/file_output.h"

namespace kestal {

Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path, int64_t maxBytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return Error::Io(ErrnoText(errno));
  struct stat st {};
  if (::fstat(::fileno(f.get()), &st) != 0) return Error::Io(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return Error::Io("it is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return Error::Io("it is not a regular file");
  if (st.st_size > maxBytes) {
    return Error::OverLimit("the file is larger than " + std::to_string(maxBytes >> 20) + " MB");
  }
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    return Error::NoMemory("not enough memory to read the file");
  }
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    return Error::Io(std::ferror(f.get()) ? ErrnoText(errno) : "the file changed while it was read");
  }
  return bytes;
}

int64_t GetFileSizeBytes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  // The file must also be readable, as opening it would require.
  std::ifstream f(path, std::ios::binary);
  if (!f) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FileHead::ReadAt(int64_t offset, std::span<uint8_t> out) const {
  if (offset < 0 || offset > size_ || static_cast<int64_t>(out.size()) > size_ - offset) return false;
  if (static_cast<uint64_t>(offset) + out.size() <= head_.size()) {
    std::copy_n(head_.data() + offset, out.size(), out.data());
    return true;
  }
  if (fd_ < 0) return false;
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace kestal
