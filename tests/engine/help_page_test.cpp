// The Help command's page: beside the executable for an uninstalled build, under
// share/kestal for an installed one, the designed place when neither exists.
#include <fstream>

#include "support/test_support.h"
#include "text/help_page.h"

namespace kestal {
namespace {

TEST(HelpPage, FirstExistingPlaceWins) {
  struct Case {
    const char* name;
    bool beside, shared;
    const char* expected;  // relative to the prefix
  };
  const Case cases[] = {
      {"uninstalled build", true, false, "bin/kestal.htm"},
      {"installed", false, true, "share/kestal/kestal.htm"},
      {"both: the one beside the executable", true, true, "bin/kestal.htm"},
      {"neither: the designed place for the notice", false, false, "bin/kestal.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir prefix;
    std::filesystem::create_directories(prefix.path() / "bin");
    std::filesystem::create_directories(prefix.path() / "share/kestal");
    if (c.beside) std::ofstream(prefix / "bin/kestal.htm") << "<html>";
    if (c.shared) std::ofstream(prefix / "share/kestal/kestal.htm") << "<html>";
    EXPECT_EQ(FindHelpPage(prefix / "bin/kestal"), prefix / c.expected);
  }
}

TEST(HelpPage, BesidePageBearsTheExecutablesNameAndAFolderDoesNotCount) {
  test::TempDir prefix;
  std::filesystem::create_directories(prefix.path() / "bin/viewer.htm");  // a folder, not a page
  std::filesystem::create_directories(prefix.path() / "share/kestal");
  EXPECT_EQ(HelpPageCandidates(prefix / "bin/viewer").front(), prefix / "bin/viewer.htm");
  EXPECT_EQ(FindHelpPage(prefix / "bin/viewer"), prefix / "bin/viewer.htm");
  std::ofstream(prefix / "share/kestal/kestal.htm") << "<html>";
  EXPECT_EQ(FindHelpPage(prefix / "bin/viewer"), prefix / "share/kestal/kestal.htm");
}

}  // namespace
}  // namespace kestal
