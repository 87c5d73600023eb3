#pragma once
// Reads a GIF back with giflib for the tests: the screen, the global palette, and per
// image its place, size, delay, disposal, transparency and decoded colours.

#include <gif_lib.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/bitmap24.h"

namespace kestal::test {

struct ReadGifImage {
  int left = 0, top = 0, width = 0, height = 0;
  bool localPalette = false;
  bool hasControl = false;
  int delay = -1, disposal = -1, transparent = -2;
  std::vector<uint8_t> indices;
};

struct ReadGif {
  std::string version;  // "GIF89a"
  int width = 0, height = 0;
  std::vector<ColorTriple> palette;
  std::optional<int> loopCount;  // from the NETSCAPE2.0 extension
  std::vector<ReadGifImage> images;

  ColorTriple Color(const ReadGifImage& img, int x, int y) const {
    return palette.at(img.indices.at(static_cast<size_t>(y) * img.width + x));
  }
};

inline std::optional<ReadGif> ReadGifFile(const std::string& path) {
  int err = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
  if (!gif) return std::nullopt;
  ReadGif out;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &err);
    return std::nullopt;
  }
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char sig[7] = {};
    if (std::fread(sig, 1, 6, f) == 6) out.version = sig;
    std::fclose(f);
  }
  out.width = gif->SWidth;
  out.height = gif->SHeight;
  if (gif->SColorMap) {
    for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
      const GifColorType& c = gif->SColorMap->Colors[i];
      out.palette.push_back(ColorTriple{c.Blue, c.Green, c.Red});
    }
  }
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& s = gif->SavedImages[i];
    ReadGifImage img;
    img.left = s.ImageDesc.Left;
    img.top = s.ImageDesc.Top;
    img.width = s.ImageDesc.Width;
    img.height = s.ImageDesc.Height;
    img.localPalette = s.ImageDesc.ColorMap != nullptr;
    img.indices.assign(s.RasterBits, s.RasterBits + static_cast<size_t>(img.width) * img.height);
    GraphicsControlBlock gcb;
    if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
      img.hasControl = false;
      for (int e = 0; e < s.ExtensionBlockCount; ++e)
        if (s.ExtensionBlocks[e].Function == GRAPHICS_EXT_FUNC_CODE) img.hasControl = true;
      img.delay = gcb.DelayTime;
      img.disposal = gcb.DisposalMode;
      img.transparent = gcb.TransparentColor;
    }
    for (int e = 0; e + 1 < s.ExtensionBlockCount; ++e) {
      const ExtensionBlock& b = s.ExtensionBlocks[e];
      const ExtensionBlock& next = s.ExtensionBlocks[e + 1];
      if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
          std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3 && next.Bytes[0] == 1) {
        out.loopCount = next.Bytes[1] | (next.Bytes[2] << 8);
      }
    }
    out.images.push_back(std::move(img));
  }
  DGifCloseFile(gif, &err);
  return out;
}

}  // namespace kestal::test
