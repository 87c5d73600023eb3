#pragma once
// Output files that never look complete unless they are. Data goes to a temporary file
// beside the destination; Commit flushes and closes it and renames it over the
// destination in one step. A writer that fails, or is destroyed without Commit,
// removes the temporary file, so a failed export leaves no truncated file behind with
// the name the user asked for. Every write is checked.

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/result.h"

namespace kestal {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file. The error's cause says why ("Permission denied").
  Status Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }

  Status Write(const void* data, size_t size);
  // Writes at an earlier offset (to patch a header) and returns to the end.
  Status WriteAt(uint64_t offset, const void* data, size_t size);
  uint64_t Position() const { return position_; }
  // The stdio stream, for libraries that write through one (libjpeg). Its errors are
  // caught by Commit.
  FILE* Stream() { return file_; }

  // Flushes, closes and renames the file into place.
  Status Commit();
  // Closes and removes the temporary file.
  void Abandon();

  const std::string& Path() const { return path_; }
  // The temporary file's name while it is open, for encoders that open the file
  // themselves by name; they must close it before Commit.
  const std::string& TempPath() const { return temp_path_; }

 private:
  Status Fail(int err);

  FILE* file_ = nullptr;
  std::string path_;
  std::string temp_path_;
  uint64_t position_ = 0;
};

// The system's text for an errno value ("No space left on device").
std::string ErrnoText(int err);

}  // namespace kestal
