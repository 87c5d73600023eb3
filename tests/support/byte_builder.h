#pragma once
// Builds file contents byte by byte, for tests that write image files by hand.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "imageio/image_registry.h"

namespace kestal::test {

class Bytes {
 public:
  Bytes& U8(unsigned v) { return Put(v, 1, false); }
  Bytes& U16LE(unsigned v) { return Put(v, 2, false); }
  Bytes& U32LE(uint32_t v) { return Put(v, 4, false); }
  Bytes& U16BE(unsigned v) { return Put(v, 2, true); }
  Bytes& U32BE(uint32_t v) { return Put(v, 4, true); }
  Bytes& Str(std::string_view s) {
    v_.insert(v_.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& Raw(std::initializer_list<uint8_t> bytes) {
    v_.insert(v_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Bytes& Raw(const std::vector<uint8_t>& bytes) {
    v_.insert(v_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Bytes& Fill(size_t n, uint8_t value = 0) {
    v_.insert(v_.end(), n, value);
    return *this;
  }
  // Overwrites a little-endian 32-bit value at `at` (to patch sizes and offsets).
  Bytes& PatchU32LE(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) v_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  size_t Size() const { return v_.size(); }
  const std::vector<uint8_t>& Vec() const { return v_; }
  ByteSpan Span() const { return ByteSpan(v_); }

 private:
  Bytes& Put(uint32_t v, int n, bool big) {
    for (int i = 0; i < n; ++i) v_.push_back(static_cast<uint8_t>(v >> (8 * (big ? n - 1 - i : i))));
    return *this;
  }
  std::vector<uint8_t> v_;
};

}  // namespace kestal::test
