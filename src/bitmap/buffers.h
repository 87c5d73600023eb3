#pragma once
// The two row buffers of the 3 x 3 blur. They start at 30 000 bytes (a row of
// 10 000 pixels) and grow to the widest row asked for, so any bitmap that
// Bitmap24::Create accepts can be blurred. They are shared by every call and so
// are not reentrant: the blur runs on the user-interface thread only.

#include <cstddef>
#include <cstdint>

namespace kestal {

inline constexpr size_t kInitialRowBufferBytes = 30000;

// Makes both buffers hold at least `bytes` bytes. Throws std::bad_alloc when the
// memory cannot be had.
void EnsureRowBuffers(size_t bytes);
size_t RowBufferBytes();
uint8_t* PrevRowBuf();
uint8_t* CurRowBuf();

}  // namespace kestal
