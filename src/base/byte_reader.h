#pragma once
// A bounds-checked cursor over a file held in memory. Every read says whether the
// bytes were there; a short read leaves the cursor at the end and sets the failed
// flag, so a reader can run a sequence of reads and check once.

#include <cstdint>
#include <cstring>
#include <span>

namespace kestal {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t Size() const { return data_.size(); }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  bool Failed() const { return failed_; }
  std::span<const uint8_t> Data() const { return data_; }

  bool Seek(size_t pos) {
    if (pos > data_.size()) return Fail();
    pos_ = pos;
    return true;
  }
  bool Skip(size_t n) {
    if (n > Remaining()) return Fail();
    pos_ += n;
    return true;
  }

  uint8_t U8() {
    if (Remaining() < 1) return Fail(), 0;
    return data_[pos_++];
  }
  uint16_t U16LE() { return static_cast<uint16_t>(Bytes<2>(false)); }
  uint32_t U32LE() { return static_cast<uint32_t>(Bytes<4>(false)); }
  uint16_t U16BE() { return static_cast<uint16_t>(Bytes<2>(true)); }
  uint32_t U32BE() { return static_cast<uint32_t>(Bytes<4>(true)); }
  int16_t S16LE() { return static_cast<int16_t>(U16LE()); }
  int32_t S32LE() { return static_cast<int32_t>(U32LE()); }
  int16_t S16BE() { return static_cast<int16_t>(U16BE()); }
  int32_t S32BE() { return static_cast<int32_t>(U32BE()); }

  // The next n bytes without copying, or an empty span (and the failed flag) when
  // fewer are left.
  std::span<const uint8_t> Take(size_t n) {
    if (n > Remaining()) return Fail(), std::span<const uint8_t>();
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  bool Read(void* out, size_t n) {
    auto s = Take(n);
    if (s.size() != n) return false;
    if (n) std::memcpy(out, s.data(), n);
    return true;
  }

 private:
  bool Fail() {
    failed_ = true;
    pos_ = data_.size();
    return false;
  }
  template <int N>
  uint64_t Bytes(bool bigEndian) {
    if (Remaining() < N) return Fail(), 0;
    uint64_t v = 0;
    for (int i = 0; i < N; ++i) {
      const uint64_t b = data_[pos_ + i];
      v |= bigEndian ? b << (8 * (N - 1 - i)) : b << (8 * i);
    }
    pos_ += N;
    return v;
  }

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// True when `data` begins with `magic`.
inline bool StartsWith(std::span<const uint8_t> data, std::span<const uint8_t> magic) {
  return data.size() >= magic.size() && std::memcmp(data.data(), magic.data(), magic.size()) == 0;
}
inline bool StartsWith(std::span<const uint8_t> data, const char* magic) {
  const size_t n = std::strlen(magic);
  return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
}

}  // namespace kestal
