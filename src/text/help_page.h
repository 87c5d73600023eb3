// Where the Help command finds the help page.
#pragma once

#include <string>
#include <vector>

namespace kestal {

// The places the help page may lie for the executable at `exePath`, in the order they
// are tried: beside the executable with its name and ".htm" (an uninstalled build),
// then share/kestal/kestal.htm under the installation prefix (../share from bin/).
std::vector<std::string> HelpPageCandidates(const std::string& exePath);

// The first candidate that is a regular file; the one beside the executable when none
// is, so that the "not found" notice concerns the designed place.
std::string FindHelpPage(const std::string& exePath);

}  // namespace kestal
