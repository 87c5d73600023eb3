#include "base/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestal {

std::string ErrnoText(int err) { return std::strerror(err); }

OutputFile::~OutputFile() { Abandon(); }

Status OutputFile::Open(const std::string& path) {
  Abandon();
  path_ = path;
  temp_path_ = path + ".partXXXXXX";
  int fd = ::mkstemp(temp_path_.data());
  if (fd < 0) {
    const int err = errno;
    temp_path_.clear();
    return Error::Io(ErrnoText(err));
  }
  // mkstemp creates the file readable by its owner only; give it the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
    return Error::Io(ErrnoText(err));
  }
  position_ = 0;
  return Status::Ok();
}

Status OutputFile::Fail(int err) {
  Abandon();
  return Error::Io(ErrnoText(err ? err : EIO));
}

Status OutputFile::Write(const void* data, size_t size) {
  if (!file_) return Error::Io("the file is not open");
  if (size == 0) return Status::Ok();
  if (std::fwrite(data, 1, size, file_) != size) return Fail(errno);
  position_ += size;
  return Status::Ok();
}

Status OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!file_) return Error::Io("the file is not open");
  if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return Fail(errno);
  if (std::fwrite(data, 1, size, file_) != size) return Fail(errno);
  if (::fseeko(file_, 0, SEEK_END) != 0) return Fail(errno);
  return Status::Ok();
}

Status OutputFile::Commit() {
  if (!file_) return Error::Io("the file is not open");
  if (std::fflush(file_) != 0 || std::ferror(file_)) return Fail(errno);
  FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) {
    const int err = errno;
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
    return Error::Io(ErrnoText(err ? err : EIO));
  }
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
    return Error::Io(ErrnoText(err));
  }
  temp_path_.clear();
  return Status::Ok();
}

void OutputFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

}  // namespace kestal
