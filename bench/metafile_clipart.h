#pragma once
// A made clip-art WMF for the benchmarks: polygons, rectangles, rounded rectangles,
// polylines and text in brushes of changing colours, the number of records chosen.

#include <cmath>
#include <cstdint>
#include <vector>

namespace kestal::bench {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, int v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void Record(Bytes& b, int function, const std::vector<int>& words) {
  const uint32_t size = uint32_t(3 + words.size());
  Put16(b, int(size & 0xFFFF)), Put16(b, int(size >> 16)), Put16(b, function);
  for (int w : words) Put16(b, w);
}

// A placeable WMF of 1000 × 1000 units at 96 units per inch: 1000 × 1000 pixels.
inline Bytes ClipArt(int drawingRecords) {
  Bytes b;
  Put16(b, 0xCDD7), Put16(b, 0x9AC6), Put16(b, 0);
  Put16(b, 0), Put16(b, 0), Put16(b, 1000), Put16(b, 1000), Put16(b, 96), Put16(b, 0), Put16(b, 0), Put16(b, 0);
  for (int w : {1, 9, 0x300, 0, 0, 4, 0, 0, 0}) Put16(b, w);
  Record(b, 0x02FA, {0, 2, 0, 0x40, 0x40});  // a pen two units wide, slot 0
  Record(b, 0x012D, {0});
  int records = 2;
  for (int i = 0; records < drawingRecords; ++i) {
    const int x = (i * 137) % 900, y = (i * 211) % 900;
    // A brush of a new colour in slot 1 every eight shapes.
    if (i % 8 == 0) {
      Record(b, 0x01F0, {1});
      Record(b, 0x02FC, {0, (i * 40) & 0xFFFF, (i * 7) & 0xFF, 0});
      Record(b, 0x012D, {1});
      records += 3;
    }
    switch (i % 5) {
      case 0: {
        std::vector<int> p{10};
        for (int k = 0; k < 10; ++k) {
          const double a = k * 0.628;
          p.push_back(x + 50 + int(45 * std::cos(a) * (k % 2 ? 0.5 : 1)));
          p.push_back(y + 50 + int(45 * std::sin(a) * (k % 2 ? 0.5 : 1)));
        }
        Record(b, 0x0324, p);
        break;
      }
      case 1: Record(b, 0x0418, {y + 80, x + 100, y, x}); break;
      case 2: Record(b, 0x061C, {20, 20, y + 60, x + 90, y, x}); break;
      case 3: Record(b, 0x0325, {4, x, y, x + 60, y + 20, x + 20, y + 70, x + 90, y + 90}); break;
      default: Record(b, 0x0521, {5, 'C' | ('l' << 8), 'i' | ('p' << 8), '!', y, x}); break;
    }
    ++records;
  }
  Record(b, 0, {});
  return b;
}

}  // namespace kestal::bench
