// kestal-decode PICTURE OUTPUT.ppm: loads PICTURE the way the desktop program and
// kestal-export do (LoadImageFile) and writes the decoded picture as a binary PPM, so
// that scripts can compare it with other decoders. Exit status 0 written; 1 usage;
// 3 the picture was refused (the error on stderr, one line); 4 the output failed.

#include <cstdio>
#include <string>
#include <vector>

#include "imageio/image_files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestal-decode PICTURE OUTPUT.ppm\n");
    return 1;
  }
  auto picture = kestal::LoadImageFile(argv[1]);
  if (!picture) {
    std::fprintf(stderr, "%s\n", picture.error().Line().c_str());
    return 3;
  }
  const kestal::Bitmap24& b = picture.value();
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::perror(argv[2]);
    return 4;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", int(b.Width()), int(b.Height()));
  std::vector<unsigned char> row(size_t(b.Width()) * 3);
  bool ok = true;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* in = b.Row(y);
    for (size_t x = 0; x < row.size(); x += 3) row[x] = in[x + 2], row[x + 1] = in[x + 1], row[x + 2] = in[x];
    ok = ok && std::fwrite(row.data(), 1, row.size(), out) == row.size();
  }
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: could not be written\n", argv[2]);
    return 4;
  }
  return 0;
}
