// The Help command's page: beside the executable for an uninstalled build, under
// share/kestal for an installed one, the designed place when neither exists.
#include <fstream>
#include <sstream>
#include <vector>

#include "support/test_support.h"
#include "export/output_formats.h"
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

// The page in the window's language, wherever it lies, before the English one; English
// when there is none, and for locales that are English or name no language.
TEST(HelpPage, PageInTheWindowsLanguageThenEnglish) {
  struct Case {
    const char* name;
    const char* locale;
    std::vector<const char*> pages;  // present, relative to the prefix
    const char* expected;
  };
  const Case cases[] = {
      {"Russian beside the executable", "ru_RU", {"bin/kestal.htm", "bin/kestal.ru.htm"}, "bin/kestal.ru.htm"},
      {"Russian installed, English beside", "ru", {"bin/kestal.htm", "share/kestal/kestal.ru.htm"},
       "share/kestal/kestal.ru.htm"},
      {"encoding and case in the name", "RU_ru.UTF-8", {"share/kestal/kestal.ru.htm"}, "share/kestal/kestal.ru.htm"},
      {"BCP 47 name", "ru-RU", {"bin/kestal.ru.htm"}, "bin/kestal.ru.htm"},
      {"no Russian page: English", "ru_RU", {"share/kestal/kestal.htm"}, "share/kestal/kestal.htm"},
      {"no page at all: the designed English place", "ru_RU", {}, "bin/kestal.htm"},
      {"English ignores other languages", "en_GB", {"bin/kestal.ru.htm", "bin/kestal.htm"}, "bin/kestal.htm"},
      {"C locale", "C", {"bin/kestal.c.htm", "bin/kestal.htm"}, "bin/kestal.htm"},
      {"not a language", "../ru", {"bin/kestal.htm"}, "bin/kestal.htm"},
      {"empty", "", {"bin/kestal.htm"}, "bin/kestal.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir prefix;
    std::filesystem::create_directories(prefix.path() / "bin");
    std::filesystem::create_directories(prefix.path() / "share/kestal");
    for (const char* page : c.pages) std::ofstream(prefix / page) << "<html>";
    EXPECT_EQ(FindHelpPage(prefix / "bin/kestal", c.locale), prefix / c.expected);
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

// Both pages name every export format, so that a format added to the table cannot be
// left out of the help.
TEST(HelpPage, BothLanguagesNameEveryExportFormat) {
  for (const char* page : {"kestal.htm", "kestal.ru.htm"}) {
    SCOPED_TRACE(page);
    std::ifstream in(std::filesystem::path(KESTAL_SOURCE_DIR) / "data" / page);
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    for (const OutputFormatInfo& f : OutputFormats())
      EXPECT_NE(text.str().find(f.title), std::string::npos) << f.title;
  }
}

}  // namespace
}  // namespace kestal
