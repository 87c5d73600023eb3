// Where the Help command finds the help page.
#pragma once

#include <string>
#include <vector>

namespace kestal {

// The places the help page may lie for the executable at `exePath`, in the order they
// are tried: beside the executable with its name and ".htm" (an uninstalled build),
// then share/kestal/kestal.htm under the installation prefix (../share from bin/).
// These hold the English page.
std::vector<std::string> HelpPageCandidates(const std::string& exePath);

// The same places for the page in `locale`'s language ("ru", "ru_RU", "ru-RU": the
// letters before any "_" or "-"), named with the language before ".htm"
// ("kestal.ru.htm"), followed by the English page's places as the fallback. English,
// an empty name and a name that is not plain letters (the "C" locale included) give
// the English places only.
std::vector<std::string> HelpPageCandidates(const std::string& exePath, const std::string& locale);

// The first candidate that is a regular file; the English page beside the executable
// when none is, so that the "not found" notice concerns the designed place.
std::string FindHelpPage(const std::string& exePath);
std::string FindHelpPage(const std::string& exePath, const std::string& locale);

}  // namespace kestal
