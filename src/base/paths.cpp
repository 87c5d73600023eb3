#include "base/paths.h"

namespace kestal {

std::string FileNameOf(std::string_view path) {
  auto slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string BaseNameOf(std::string_view path) {
  std::string name = FileNameOf(path);
  if (auto dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

std::string LowerExtensionOf(std::string_view path) {
  std::string name = FileNameOf(path);
  auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

std::string ChangeExtension(std::string_view path, std::string_view ext) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  std::string out(path);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    out.resize(dot);
  }
  out += ext;
  return out;
}

}  // namespace kestal
