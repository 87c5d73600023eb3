#pragma once
// Reading and writing image files by extension, the dialog filters, and the messages
// that name a file when it cannot be read or written.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_input.h"
#include "bitmap/bitmap24.h"
#include "imageio/image_registry.h"

namespace kestal {

// The formats that saving knows, in this order: ".bmp" BMP, ".jpg" JPEG, ".gif" GIF,
// ".tga" Targa.
struct SaveFormat {
  const char* extension;
  const char* description;
};
inline constexpr std::array<SaveFormat, 4> SaveFormats = {{
    {".bmp", "BMP"},
    {".jpg", "JPEG"},
    {".gif", "GIF"},
    {".tga", "Targa"},
}};

// The formats of the load and save failure messages, each with one %s for the path.
// The desktop program replaces the French defaults at start-up.
std::string& LoadErrorFormat();
std::string& SaveErrorFormat();
void ResetImageFileTexts();
void ApplyStartupImageFileTexts();

// Decodes the file at `path` through the registry. On failure the error's message is
// LoadErrorFormat filled with the path and its cause says why.
Result<Bitmap24> LoadImageFile(const std::string& path, const PixelLimits& limits = kDefaultPixelLimits);
// The same for bytes already in memory; `name` picks the family by its extension.
Result<Bitmap24> DecodeImage(ByteSpan data, std::string_view name,
                             const PixelLimits& limits = kDefaultPixelLimits);

// Writes `bitmap` in the format of the path's extension (any case): ".bmp" a 24-bit
// bottom-up BMP, ".jpg" a baseline colour JPEG of quality 90, ".gif" a single-image GIF,
// ".tga" a Targa file. Any other extension fails and writes nothing. On failure the
// error's message is SaveErrorFormat filled with the path.
Status SaveBitmapFile(const std::string& path, const Bitmap24& bitmap);

// The open dialog's filter: common images, all images, then every family.
std::string BuildOpenFilter();
// "BMP (*.bmp)|*.bmp|JPEG (*.jpg)|*.jpg|GIF (*.gif)|*.gif|Targa (*.tga)|*.tga".
std::string BuildSaveFilter();
// The index in SaveFormats of the name's extension, or -1.
int SaveFormatIndex(std::string_view name);

}  // namespace kestal
