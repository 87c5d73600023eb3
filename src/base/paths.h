#pragma once
// File paths as text: the name part, the base name, the extension. Paths use '/'.

#include <string>
#include <string_view>

namespace kestal {

// The file-name part of a path (after the last '/'), and that name without its last
// extension ("/p/sea.view.jpg" gives "sea.view.jpg" and "sea.view").
std::string FileNameOf(std::string_view path);
std::string BaseNameOf(std::string_view path);
// The last extension with its dot, lower-cased (ASCII), or "" when there is none.
std::string LowerExtensionOf(std::string_view path);
// The path with its last extension replaced by `ext` (which includes the dot).
std::string ChangeExtension(std::string_view path, std::string_view ext);

}  // namespace kestal
