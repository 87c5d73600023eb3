#pragma once
// The HTML test page written beside an exported GIF: a small table that shows the GIF
// (and, for the reflection-only composition, the photo above it) with a caption naming
// each file with its size in pixels and bytes.
//
// The page is plain ASCII with CR LF line ends. Names are escaped so that no file name
// can break the page or inject markup: & < > " become entities, other non-ASCII text
// numeric character references, and file URLs carry percent-encoded UTF-8.

#include <string>
#include <string_view>

#include "base/result.h"

namespace kestal {

// The photo shown above a reflection-only GIF.
struct HtmlPhoto {
  std::string path;
  int width = 0;
  int height = 0;
  // The photo's rows above the water line; when fewer than `height`, the page shows only
  // those, so the reflection below starts where the water does.
  int rowsAboveWater = -1;
};

// Text for an HTML element or attribute: & < > " as entities, every character outside
// ASCII as a numeric character reference (a byte that is not valid UTF-8 as U+FFFD).
std::string HtmlEscape(std::string_view utf8);

// The image tag "<img src="file://PATH" width="W" height="H">": the path's bytes
// outside printable ASCII and the characters that would end or redirect a URL
// (% # ? " < > and control characters) percent-encoded, & as &amp;, and every
// backslash turned into "/".
std::string HtmlImageTag(std::string_view path, int width, int height);

// The page's lines, each ended by CR LF.
std::string HtmlTestPageText(const std::string& gifPath, int width, int height, bool photoAndReflection,
                             const HtmlPhoto& photo);

// Writes the page to the GIF's path with the extension ".htm" and returns that path.
// The sizes in the captions are read from the files at the time of writing. On failure
// the error's message names the page and its cause says why.
Result<std::string> WriteHtmlTestPage(const std::string& gifPath, int width, int height, bool photoAndReflection,
                                      const HtmlPhoto& photo = {});

}  // namespace kestal
