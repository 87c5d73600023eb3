#include "base/file_output.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace kestal {
namespace {

// The temporary files open now, where a signal handler can reach them: fixed slots of
// fixed size, since a handler may neither allocate nor lock. A slot is free (0), being
// filled (1) or holds a path (2).
struct TempSlot {
  std::atomic<int> state{0};
  char path[4096];
};
constexpr int kTempSlots = 64;
TempSlot g_temp_slots[kTempSlots];

int RegisterTemporary(const std::string& path) {
  if (path.size() >= sizeof g_temp_slots[0].path) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = 0;
    if (!g_temp_slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_temp_slots[i].path, path.c_str(), path.size() + 1);
    g_temp_slots[i].state.store(2);
    return i;
  }
  return -1;  // more files open at once than slots: such a file is not cleaned on a signal
}

void ReleaseSlot(int& slot) {
  if (slot >= 0) g_temp_slots[slot].state.store(0);
  slot = -1;
}

// What the handler writes after it removed something.
const char* g_signal_note = nullptr;

extern "C" void RemoveTemporariesAndDie(int sig) {
  bool removed = false;
  for (TempSlot& slot : g_temp_slots) {
    if (slot.state.load() == 2) removed = ::unlink(slot.path) == 0 || removed;
  }
  if (removed && g_signal_note) {
    const ssize_t ignored = ::write(STDERR_FILENO, g_signal_note, std::strlen(g_signal_note));
    (void)ignored;
  }
  // End as the signal would have: the default action, delivered when the handler returns.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

std::string KindOfNode(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a plain file";
}

}  // namespace

std::string ErrnoText(int err) { return std::strerror(err); }

std::string TemporaryFileError(int err, bool replacing) {
  if (err != EACCES && err != EPERM) return ErrnoText(err);
  if (!replacing) return "the folder is not writable";
  return "the folder is not writable, so the file cannot be replaced (a new file is written beside it, "
         "then takes its name)";
}

Result<std::string> PlainOutputTarget(const std::string& path) {
  std::string current = path;
  // The system's own limit on links followed in one lookup (SYMLOOP_MAX) is 40.
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno == ENOENT) return current;  // a new file (or a missing folder, said by the create)
      return Error::Io(ErrnoText(errno));
    }
    if (S_ISREG(st.st_mode)) return current;
    if (!S_ISLNK(st.st_mode)) {
      const std::string what = KindOfNode(st.st_mode);
      return Error::Io("it is " + what + ", not a plain file; it was left untouched");
    }
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) return Error::Io(ErrnoText(errno));
    target.resize(static_cast<size_t>(n));
    current = target.front() == '/' ? target : Folder(current) + target;
  }
  return Error::Io(ErrnoText(ELOOP));
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

Status RefuseToReplacePhoto(const std::string& photo, const std::vector<std::string>& outputs) {
  for (const std::string& output : outputs) {
    if (!IsSameFile(photo, output)) continue;
    Error e = Error::Invalid("it is the photo " + photo + " itself, which would be lost; choose another name");
    return e.WithMessage(output);
  }
  return Status::Ok();
}

RemovedOnSignal::RemovedOnSignal(const std::string& path) : slot_(RegisterTemporary(path)) {}
RemovedOnSignal::~RemovedOnSignal() { ReleaseSlot(slot_); }

void RemoveTemporaryFilesOnSignals(const char* note) {
  g_signal_note = note;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;  // nohup
    struct sigaction act {};
    act.sa_handler = RemoveTemporariesAndDie;
    sigemptyset(&act.sa_mask);
    ::sigaction(sig, &act, nullptr);
  }
}

OutputFile::~OutputFile() { Abandon(); }

Status OutputFile::Open(const std::string& path) {
  Abandon();
  path_ = path;
  position_ = 0;
  if (path == kStandardOutputName) {
    const int fd = ::dup(STDOUT_FILENO);
    file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file_) {
      const int err = errno;
      if (fd >= 0) ::close(fd);
      return Error::Io(ErrnoText(err));
    }
    to_stdout_ = true;
    return Status::Ok();
  }
  auto target = PlainOutputTarget(path);
  if (!target) return target.error();
  target_ = std::move(target.value());
  temp_path_ = target_ + ".partXXXXXX";
  // The signals that remove temporary files wait until this one is listed, so that
  // none arrives between its creation and its listing.
  sigset_t cleaning, previous;
  sigemptyset(&cleaning);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&cleaning, sig);
  ::pthread_sigmask(SIG_BLOCK, &cleaning, &previous);
  int fd = ::mkstemp(temp_path_.data());
  const int mkstemp_err = errno;
  if (fd >= 0) temp_slot_ = RegisterTemporary(temp_path_);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0) {
    temp_path_.clear();
    struct stat st {};
    return Error::Io(TemporaryFileError(mkstemp_err, ::stat(target_.c_str(), &st) == 0));
  }
  // mkstemp creates the file readable by its owner only; give it the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    const int err = errno;
    ::close(fd);
    Abandon();
    return Error::Io(ErrnoText(err));
  }
  return Status::Ok();
}

int OutputFile::Descriptor() const { return file_ ? ::fileno(file_) : -1; }

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

Status OutputFile::WritePieces(std::span<const iovec> pieces) {
  if (!file_) return Error::Io("the file is not open");
  if (std::fflush(file_) != 0) return Fail(errno);
  const int fd = ::fileno(file_);
  std::vector<iovec> rest(pieces.begin(), pieces.end());
  size_t first = 0;
  while (first < rest.size()) {
    const size_t count = std::min<size_t>(rest.size() - first, IOV_MAX);
    const ssize_t written = ::writev(fd, rest.data() + first, static_cast<int>(count));
    if (written < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (written == 0) return Fail(EIO);
    position_ += static_cast<uint64_t>(written);
    // Skip what went out; a piece written in part is resumed where it stopped.
    size_t left = static_cast<size_t>(written);
    while (first < rest.size() && left >= rest[first].iov_len) left -= rest[first++].iov_len;
    if (left > 0) {
      rest[first].iov_base = static_cast<uint8_t*>(rest[first].iov_base) + left;
      rest[first].iov_len -= left;
    }
  }
  return Status::Ok();
}

Status OutputFile::CopyWithin(uint64_t from, uint64_t size) {
  if (!file_) return Error::Io("the file is not open");
  if (from > position_ || size > position_ - from) return Error::Invalid("the bytes to copy are not in the file yet");
  if (std::fflush(file_) != 0) return Fail(errno);
  const int fd = ::fileno(file_);
  off_t in = static_cast<off_t>(from);
  uint64_t left = size;
  while (left > 0) {
    // Without an output offset the copy goes to the descriptor's own offset, the end,
    // and moves it on, as a write does.
    const ssize_t copied = ::copy_file_range(fd, &in, fd, nullptr, static_cast<size_t>(std::min<uint64_t>(left, 1u << 30)), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
      return CopyThroughBuffer(static_cast<uint64_t>(in), left);
    }
    if (copied < 0) return Fail(errno);
    if (copied == 0) return Fail(EIO);
    position_ += static_cast<uint64_t>(copied);
    left -= static_cast<uint64_t>(copied);
  }
  return Status::Ok();
}

// CopyWithin's way on file systems without copy_file_range: read back, write again.
Status OutputFile::CopyThroughBuffer(uint64_t from, uint64_t size) {
  const int fd = ::fileno(file_);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, 1u << 20)));
  while (size > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(from));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail(errno);
    if (got == 0) return Fail(EIO);
    const iovec piece{buffer.data(), static_cast<size_t>(got)};
    if (Status s = WritePieces({&piece, 1}); !s) return s;
    from += static_cast<uint64_t>(got);
    size -= static_cast<uint64_t>(got);
  }
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
    Abandon();
    return Error::Io(ErrnoText(err ? err : EIO));
  }
  if (to_stdout_) {
    to_stdout_ = false;
    return Status::Ok();
  }
  if (::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    Abandon();
    return Error::Io(ErrnoText(err));
  }
  temp_path_.clear();
  ReleaseSlot(temp_slot_);
  return Status::Ok();
}

void OutputFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  to_stdout_ = false;
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  ReleaseSlot(temp_slot_);
}

}  // namespace kestal
