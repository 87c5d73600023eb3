#pragma once
// The image-format registry: every family of photo files Kestal reads, with its
// description, its extensions and its reader. Loading picks the family by the file
// name's extension (without regard to case); since extensions are ambiguous, a file
// whose bytes plainly carry another family's signature is read as what it is.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "bitmap/bitmap24.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"

namespace kestal {

// Decodes a whole file held in memory. Alpha is flattened over white. The limits are
// checked from the header before any pixel memory is allocated.
using ImageReader = Result<Bitmap24> (*)(ByteSpan data, const PixelLimits& limits);
// True when the bytes start with this family's unmistakable signature. Families whose
// files carry no reliable signature have none.
using ImageSniffer = bool (*)(ByteSpan data);
// Decodes a file whose picture also depends on files beside it (a separate palette).
using ImageFileReader = Result<Bitmap24> (*)(const std::string& path, ByteSpan data, const PixelLimits& limits);

using ImageHeaderSize = Result<ClaimedSize> (*)(const FileHead& file);

struct ImageFamily {
  std::string description;
  std::vector<std::string> extensions;  // lower case, without the dot, sorted
  ImageReader reader = nullptr;         // none: reading this family is not available
  ImageSniffer sniff = nullptr;
  // When set, loading a file from disk uses this instead of `reader`.
  ImageFileReader file_reader = nullptr;
  // When set, the size a file's header claims, from the reader's own header parse.
  ImageHeaderSize header_size = nullptr;
  // Further extensions of this family's files, read like the others but not listed in
  // the open dialog (lower case, without the dot).
  std::vector<std::string> unlisted_extensions = {};
};

class ImageRegistry {
 public:
  // The process-wide registry, holding the built-in families.
  static ImageRegistry& Instance();

  // Adds a family, or replaces the one with the same description.
  void Register(ImageFamily family);
  // Removes the family that holds this extension.
  void Unregister(std::string_view extension);

  // The family of an extension (listed or not) given with or without its dot, in any
  // case.
  const ImageFamily* FindByExtension(std::string_view extension) const;
  // The first family other than `except` whose signature the bytes carry.
  const ImageFamily* FindBySignature(ByteSpan data, const ImageFamily* except) const;
  // Families sorted by description without regard to case.
  std::vector<const ImageFamily*> SortedFamilies() const;

  // The compact filter: per family "Description (*.a;*.b)|*.a;*.b", joined by "|".
  std::string CompactFilter() const;

 private:
  std::vector<ImageFamily> families_;
};

// The built-in families (defined with the readers in image_formats.cpp).
std::vector<ImageFamily> BuiltInImageFamilies();

}  // namespace kestal
