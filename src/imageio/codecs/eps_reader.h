#pragma once
// Encapsulated PostScript: the picture comes from the file's preview when it has one:
// a TIFF or a bitmap metafile behind a DOS EPS binary header, or an EPSI hexadecimal
// bitmap in the PostScript comments. Without a preview, the PostScript is rendered by Ghostscript, run as a
// separate program with -dSAFER and a time limit, when it is installed.

#include <string>

#include "base/bytes.h"
#include "bitmap/bitmap24.h"

namespace kestal {

bool SniffEps(ByteSpan data);
// The preview, else the rendering by Ghostscript.
Result<Bitmap24> ReadEps(ByteSpan data, const PixelLimits& limits);
// The preview only; never starts another program.
Result<Bitmap24> ReadEpsPreview(ByteSpan data, const PixelLimits& limits);

// Ghostscript's rendering of `postscript` at 72 dots per inch, cropped to its bounding
// box; `program` is the interpreter to run (found on the PATH when it has no slash).
Result<Bitmap24> RenderPostScript(ByteSpan postscript, const PixelLimits& limits,
                                  const std::string& program = "gs", int timeLimitSeconds = 30);

}  // namespace kestal
