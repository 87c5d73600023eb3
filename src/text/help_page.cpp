#include "text/help_page.h"

#include <filesystem>
#include <system_error>

#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {

namespace {

// The language part of a locale name in lower case, or "" when it is English or not a
// language code: only letters may reach a file name.
std::string HelpLanguage(const std::string& locale) {
  std::string language = locale.substr(0, locale.find_first_of("_-.@"));
  if (language.size() < 2 || language.size() > 3) return {};
  for (char& c : language) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c < 'a' || c > 'z') return {};
  }
  return language == "en" ? std::string() : language;
}

// Beside the executable, then under the installation prefix, for the page whose name
// ends in `suffix` (".htm" or ".ru.htm").
void AddPlaces(const std::string& exePath, const std::string& suffix, std::vector<std::string>& places) {
  const std::filesystem::path bin = std::filesystem::path(exePath).parent_path();
  places.push_back(ChangeExtension(exePath, suffix));
  places.push_back((bin.parent_path() / "share" / "kestal" / ("kestal" + suffix)).string());
}

}  // namespace

std::vector<std::string> HelpPageCandidates(const std::string& exePath) { return HelpPageCandidates(exePath, ""); }

std::vector<std::string> HelpPageCandidates(const std::string& exePath, const std::string& locale) {
  std::vector<std::string> places;
  const std::string language = HelpLanguage(locale);
  if (!language.empty()) AddPlaces(exePath, "." + language + ".htm", places);
  AddPlaces(exePath, ".htm", places);
  return places;
}

std::string FindHelpPage(const std::string& exePath) { return FindHelpPage(exePath, ""); }

std::string FindHelpPage(const std::string& exePath, const std::string& locale) {
  const std::vector<std::string> candidates = HelpPageCandidates(exePath, locale);
  for (const std::string& path : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return path;
  }
  return candidates[candidates.size() - 2];  // the English page beside the executable
}

}  // namespace kestal
