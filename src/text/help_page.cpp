#include "text/help_page.h"

#include <filesystem>
#include <system_error>

#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {

std::vector<std::string> HelpPageCandidates(const std::string& exePath) {
  const std::filesystem::path bin = std::filesystem::path(exePath).parent_path();
  return {ChangeExtension(exePath, ".htm"),
          (bin.parent_path() / "share" / "kestal" / "kestal.htm").string()};
}

std::string FindHelpPage(const std::string& exePath) {
  const std::vector<std::string> candidates = HelpPageCandidates(exePath);
  for (const std::string& path : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return path;
  }
  return candidates.front();
}

}  // namespace kestal
