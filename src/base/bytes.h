#pragma once
// Bytes in memory: the read-only view every reader takes, and a writer that appends
// fixed-width little- and big-endian fields, so that a file header is built field by
// field in its documented order instead of by poking values at raw offsets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestal {

using ByteSpan = std::span<const uint8_t>;

// Four characters as the 32-bit little-endian value that stores them in order
// ("RIFF", "00db").
constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// Appends to a byte vector it does not own. Fields written later can be patched in
// place (a chunk size known only once the chunk is complete).
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  size_t Size() const { return out_.size(); }

  void Put8(uint8_t v) { out_.push_back(v); }
  void Put16LE(uint16_t v) { PutLE(v, 2); }
  void Put32LE(uint32_t v) { PutLE(v, 4); }
  void Put64LE(uint64_t v) { PutLE(v, 8); }
  void Put16BE(uint16_t v) { PutBE(v, 2); }
  void Put32BE(uint32_t v) { PutBE(v, 4); }
  void PutFourCC(const char (&s)[5]) { Put32LE(FourCC(s)); }
  void PutZeros(size_t n) { out_.insert(out_.end(), n, 0); }
  void PutBytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), p, p + n);
  }

  // Overwrites four bytes written earlier, at `at` from the vector's start.
  void Patch32LE(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }

 private:
  void PutLE(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void PutBE(uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }

  std::vector<uint8_t>& out_;
};

// A 32-bit little-endian value as its four bytes, for a single field patched into a
// file (a RIFF size).
inline std::array<uint8_t, 4> LittleEndian32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

}  // namespace kestal
