#include "bitmap/buffers.h"

#include <vector>

namespace kestal {
namespace {

struct RowBuffers {
  std::vector<uint8_t> prev = std::vector<uint8_t>(kInitialRowBufferBytes);
  std::vector<uint8_t> cur = std::vector<uint8_t>(kInitialRowBufferBytes);
};

RowBuffers& Buffers() {
  static RowBuffers buffers;
  return buffers;
}

}  // namespace

void EnsureRowBuffers(size_t bytes) {
  RowBuffers& b = Buffers();
  if (b.prev.size() >= bytes) return;
  b.prev.resize(bytes);
  b.cur.resize(bytes);
}

size_t RowBufferBytes() { return Buffers().prev.size(); }
uint8_t* PrevRowBuf() { return Buffers().prev.data(); }
uint8_t* CurRowBuf() { return Buffers().cur.data(); }

}  // namespace kestal
