#pragma once
// Output files that never look complete unless they are. Data goes to a temporary file
// beside the destination; Commit flushes and closes it and renames it over the
// destination in one step. A writer that fails, or is destroyed without Commit,
// removes the temporary file, so a failed export leaves no truncated file behind with
// the name the user asked for. Every write is checked.
//
// Only plain files are replaced. A symbolic link is followed: the temporary file is
// made beside the link's target and renamed over the target, so the link stays. A
// device, FIFO, socket or folder at the name is refused and left untouched. The name
// "-" is standard output, written as the data comes (WriteAt fails there).

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include <sys/uio.h>

#include "base/result.h"

namespace kestal {

inline constexpr const char* kStandardOutputName = "-";

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file. The error (ErrorKind::Io) says why ("Permission denied").
  Status Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }

  Status Write(const void* data, size_t size);
  // Writes `pieces` one after another with as few system calls as the kernel allows
  // (writev), for data that lies in many places, such as a frame's rows: the stream's
  // buffer is flushed first and then bypassed, so a frame costs a call or two instead
  // of one per buffer's worth.
  Status WritePieces(std::span<const iovec> pieces);
  // Appends a copy of `size` bytes of this file that lie from `from` on, before the
  // end: the kernel copies them from its page cache (copy_file_range), so data written
  // once and repeated costs no memory and no pass through the process. Where the file
  // system cannot copy so, the bytes go through a buffer.
  Status CopyWithin(uint64_t from, uint64_t size);
  // Writes at an earlier offset (to patch a header) and returns to the end.
  Status WriteAt(uint64_t offset, const void* data, size_t size);
  uint64_t Position() const { return position_; }
  // The stdio stream, for libraries that write through one (libjpeg). Its errors are
  // caught by Commit.
  FILE* Stream() { return file_; }
  // The open file's descriptor, for libraries with I/O of their own (FFmpeg's muxers,
  // which also read back what they wrote): they write and read at offsets of their own
  // (pwrite, pread) and leave the stream unused; Commit closes and renames as usual.
  // -1 when not open.
  int Descriptor() const;

  // Flushes, closes and renames the file into place.
  Status Commit();
  // Closes and removes the temporary file.
  void Abandon();

  const std::string& Path() const { return path_; }

 private:
  Status Fail(int err);
  Status CopyThroughBuffer(uint64_t from, uint64_t size);

  FILE* file_ = nullptr;
  std::string path_;
  std::string target_;     // the file that Commit replaces: path_, or a link's target
  std::string temp_path_;
  int temp_slot_ = -1;     // where the interrupt handler finds temp_path_
  bool to_stdout_ = false;
  uint64_t position_ = 0;
};

// The file a write to `path` replaces: `path` itself, or the end of its chain of
// symbolic links (which need not exist yet). Refuses a device, FIFO, socket or folder
// there, and a chain that loops.
Result<std::string> PlainOutputTarget(const std::string& path);

// Whether `a` and `b` are one file, by device and inode: also through a symbolic link
// or under a second (hard) link. A name that does not exist is no file's.
bool IsSameFile(const std::string& a, const std::string& b);

// Refuses (ErrorKind::Invalid, the message naming the output) when writing any of
// `outputs` would replace the photo itself; checked before anything is written.
Status RefuseToReplacePhoto(const std::string& photo, const std::vector<std::string>& outputs);

// From now on SIGINT, SIGTERM and SIGHUP first remove every temporary file an
// OutputFile has open (and every file held by a RemovedOnSignal), write `note` on
// standard error when there was one, then end the process as the signal would have.
// `note` must live until the process ends.
void RemoveTemporaryFilesOnSignals(const char* note = nullptr);

// A finished file that belongs to an export still running (a frame of a sequence): a
// signal removes it, as it removes the temporary files, until this is destroyed.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const std::string& path);
  ~RemovedOnSignal();
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
  int slot_ = -1;
};

// The system's text for an errno value ("No space left on device").
std::string ErrnoText(int err);

// Why the temporary file could not be made beside the file to write. A folder the user
// may not write refuses it even where the file itself is writable, since the file is
// replaced by renaming a new one over it: that is said in words, not as "Permission
// denied". `replacing`: a file of that name exists.
std::string TemporaryFileError(int err, bool replacing);

}  // namespace kestal
