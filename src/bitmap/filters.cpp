#include "bitmap/filters.h"

#include <algorithm>
#include <cstring>

#include "bitmap/color_math.h"
#include "bitmap/buffers.h"

namespace kestal {

void Blur3x3(Bitmap24& b, const Rect& rect) {
  Rect r = rect;
  ClipRectToBitmap(r, b);
  if (IsRectEmpty(r)) return;
  const size_t n = static_cast<size_t>(b.Width()) * 3;
  EnsureRowBuffers(n);
  uint8_t* prev = PrevRowBuf();
  uint8_t* cur = CurRowBuf();
  std::memcpy(cur, b.Row(r.Top), n);
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    // prev: the unfiltered row above (the row itself on the first row); cur: this
    // row before filtering; next: the row below, which is still unfiltered.
    std::memcpy(prev, cur, n);
    uint8_t* row = b.Row(y);
    std::memcpy(cur, row, n);
    const uint8_t* next = (y == r.Bottom - 1) ? cur : b.Row(y + 1);
    for (int32_t x = r.Left; x < r.Right; ++x) {
      const size_t i = 3 * static_cast<size_t>(x);
      const size_t il = (x == r.Left) ? i : i - 3;
      const size_t ir = (x == r.Right - 1) ? i : i + 3;
      for (size_t k = 0; k < 3; ++k) {
        const int sum = prev[il + k] + prev[i + k] + prev[ir + k] + cur[il + k] + cur[i + k] +
                        cur[ir + k] + next[il + k] + next[i + k] + next[ir + k];
        row[i + k] = static_cast<uint8_t>(sum / 9);
      }
    }
  }
}

ChannelTable TintTable(uint8_t target, int32_t percent) {
  ChannelTable table{};
  for (int i = 0; i < 256; ++i) {
    // In 64 bits: a direct caller's percent is not bounded here.
    const int64_t v = i + (static_cast<int64_t>(target - i) * percent) / 100;
    table[i] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
  }
  return table;
}

void TintRect(Bitmap24& b, Color color, int32_t percent, const Rect& rect) {
  if (percent == 0 || percent < -100 || percent > 100) return;
  Rect r = rect;
  ClipRectToBitmap(r, b);
  if (IsRectEmpty(r)) return;
  const Color c = ResolveColor(color);
  const ChannelTable lb = TintTable(BlueOf(c), percent);
  const ChannelTable lg = TintTable(GreenOf(c), percent);
  const ChannelTable lr = TintTable(RedOf(c), percent);
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    uint8_t* p = b.Row(y) + 3 * static_cast<size_t>(r.Left);
    for (int32_t x = r.Left; x < r.Right; ++x, p += 3) {
      p[0] = lb[p[0]];
      p[1] = lg[p[1]];
      p[2] = lr[p[2]];
    }
  }
}

void GrayTint(Bitmap24& b, Color key, Color color, int32_t percent) {
  if (percent <= 0) return;
  percent = std::min(percent, 100);
  const Color c = ResolveColor(color);
  const ColorTriple fill = ColorToTriple(c);
  const ChannelTable lb = TintTable(BlueOf(c), percent);
  const ChannelTable lg = TintTable(GreenOf(c), percent);
  const ChannelTable lr = TintTable(RedOf(c), percent);
  const Color k = ResolveColor(key);
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* p = b.Row(y);
    for (int32_t x = 0; x < b.Width(); ++x, p += 3) {
      if (ColorsNear(Rgb(p[2], p[1], p[0]), k, 7)) {
        p[0] = fill.blue;
        p[1] = fill.green;
        p[2] = fill.red;
      } else {
        const int g = (p[0] + p[1] + p[2]) / 3;
        p[0] = lb[g];
        p[1] = lg[g];
        p[2] = lr[g];
      }
    }
  }
}

}  // namespace kestal
