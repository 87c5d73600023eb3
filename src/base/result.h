#pragma once
// Errors as values. Expected failures (an unreadable file, a full disk) travel as an
// Error; exceptions are kept for the unexpected.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace kestal {

// What kind of failure an error is, for callers that decide by it (the command line's
// exit code, tests): a file that breaks its format's rules, one that ends too soon, one
// over the caller's limits, a valid feature this program does not handle, a failed
// read or write of the system, and memory that could not be had.
enum class ErrorKind { Invalid, Truncated, OverLimit, Unsupported, Io, NoMemory };

// What went wrong, for a person: `message` is the sentence shown first (for a file,
// it names the file), `cause` says why ("the file is truncated"). Either may be empty.
//
// Who names the file: functions that work on bytes, on an open stream or on a file
// they were handed (the codecs, OutputFile, GifWriter, ReadWholeFile) give the kind
// and the cause only. The operation a caller asked for by file name (LoadImageFile,
// SaveBitmapFile, the exports, the HTML page) sets `message` to name that file, once,
// with WithMessage.
struct Error {
  std::string message;
  std::string cause;
  ErrorKind kind = ErrorKind::Invalid;

  // Errors of each kind, with the cause; the message (naming the file) is added by
  // whoever knows the file.
  static Error Invalid(std::string cause) { return Make(ErrorKind::Invalid, std::move(cause)); }
  static Error Truncated(std::string cause = "the file is truncated") {
    return Make(ErrorKind::Truncated, std::move(cause));
  }
  static Error OverLimit(std::string cause) { return Make(ErrorKind::OverLimit, std::move(cause)); }
  static Error Unsupported(std::string cause) {
    return Make(ErrorKind::Unsupported, std::move(cause));
  }
  static Error Io(std::string cause) { return Make(ErrorKind::Io, std::move(cause)); }
  static Error NoMemory(std::string cause) { return Make(ErrorKind::NoMemory, std::move(cause)); }
  static Error Make(ErrorKind kind, std::string cause) {
    Error e;
    e.cause = std::move(cause);
    e.kind = kind;
    return e;
  }

  // The same error with `message` set, for the caller that names the file: the kind
  // and the cause stay.
  Error WithMessage(std::string newMessage) const {
    Error e = *this;
    e.message = std::move(newMessage);
    return e;
  }

  // "message" alone, "cause" alone, or "message\ncause".
  std::string Text() const;
  // One line: "message: cause" (used on the terminal).
  std::string Line() const;
};

// An error of kind Invalid. New code says the kind with the factories above.
inline Error MakeError(std::string cause) { return Error::Invalid(std::move(cause)); }

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<0>(v_); }
  const T& value() const& { assert(ok()); return std::get<0>(v_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }

  const Error& error() const { assert(!ok()); return std::get<1>(v_); }
  Error& error() { assert(!ok()); return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// The result of an operation that yields nothing but success or an error.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : failed_(true), error_(std::move(error)) {}
  static Status Ok() { return Status(); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { assert(failed_); return error_; }

 private:
  bool failed_ = false;
  Error error_;
};

inline std::string Error::Text() const {
  if (message.empty()) return cause;
  if (cause.empty()) return message;
  return message + "\n" + cause;
}

inline std::string Error::Line() const {
  if (message.empty()) return cause;
  if (cause.empty()) return message;
  return message + ": " + cause;
}

}  // namespace kestal
