#include "export/html_test_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>

#include "support/test_support.h"
#include "text/string_table.h"

namespace kestal {
namespace {

using test::TempDir;

using test::ReadAll;

void WriteBytes(const std::string& path, size_t n) {
  std::ofstream(path, std::ios::binary) << std::string(n, 'x');
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

TEST(HtmlTestPage, EscapesNamesForTextAndUrls) {
  struct Row {
    const char* description;
    std::string in, text, tag;
  };
  const Row rows[] = {
      {"plain", "/home/a/x.gif", "/home/a/x.gif", "<img src=\"file:///home/a/x.gif\" width=\"1\" height=\"2\">"},
      {"a Windows path keeps its backslashes in text only", "C:\\My Pictures\\sea.gif", "C:\\My Pictures\\sea.gif",
       "<img src=\"file://C:/My Pictures/sea.gif\" width=\"1\" height=\"2\">"},
      {"markup characters", "/t/a&b<c>\"d\".gif", "/t/a&amp;b&lt;c&gt;&quot;d&quot;.gif",
       "<img src=\"file:///t/a&amp;b%3Cc%3E%22d%22.gif\" width=\"1\" height=\"2\">"},
      {"Cyrillic", "/t/Озеро.gif", "/t/&#1054;&#1079;&#1077;&#1088;&#1086;.gif",
       "<img src=\"file:///t/%D0%9E%D0%B7%D0%B5%D1%80%D0%BE.gif\" width=\"1\" height=\"2\">"},
      {"URL delimiters and a backslash", "/t/50%#1?\\x.gif", "/t/50%#1?\\x.gif",
       "<img src=\"file:///t/50%25%231%3F/x.gif\" width=\"1\" height=\"2\">"},
      {"broken UTF-8", "/t/\xD0.gif\xFF", "/t/&#65533;.gif&#65533;", "<img src=\"file:///t/%D0.gif%FF\" width=\"1\" height=\"2\">"},
      {"four-byte character", "/t/\xF0\x9F\x8C\x8A", "/t/&#127754;", "<img src=\"file:///t/%F0%9F%8C%8A\" width=\"1\" height=\"2\">"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(HtmlEscape(r.in), r.text) << r.description;
    EXPECT_EQ(HtmlImageTag(r.in, 1, 2), r.tag) << r.description;
  }
}

class HtmlPageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::setlocale(LC_NUMERIC, "C");
    ResetLangDefaults();
  }
  TempDir dir;
};

TEST_F(HtmlPageFiles, PhotoAndReflection) {
  const std::string gif = dir / "sea.gif";
  WriteBytes(gif, 1152);
  auto page = WriteHtmlTestPage(gif, 400, 570, true);
  ASSERT_TRUE(page) << page.error().Line();
  EXPECT_EQ(*page, dir / "sea.htm");
  EXPECT_EQ(ReadAll(*page),
            Lines({"<html>", "<head>", "<title>Test de sea.gif</title>", "</head>", "<body>", "<table border=\"0\">",
                   "<tr><td align=\"center\">",
                   "<img src=\"file://" + gif + "\" width=\"400\" height=\"570\">", "</td></tr>",
                   "<tr><td align=\"center\">", gif + " (400 x 570 pixels / 1.13 Ko)", "</td></tr>", "</table>",
                   "</body>", "</html>"}));
}

TEST_F(HtmlPageFiles, ReflectionOnlyWithSpecialName) {
  const std::string gif = dir / "Озеро & Co.gif";
  const std::string photo = dir / "lake.jpg";
  WriteBytes(gif, 2);
  WriteBytes(photo, 1);
  auto page = WriteHtmlTestPage(gif, 400, 270, false, HtmlPhoto{photo, 400, 300});
  ASSERT_TRUE(page);
  EXPECT_EQ(*page, dir / "Озеро & Co.htm");
  const std::string dirText = dir.path().string();
  const std::string name = "&#1054;&#1079;&#1077;&#1088;&#1086; &amp; Co.gif";
  EXPECT_EQ(ReadAll(*page),
            Lines({"<html>", "<head>", "<title>Test de " + name + "</title>", "</head>", "<body>",
                   "<table border=\"0\">", "<tr><td align=\"center\">",
                   "<img src=\"file://" + photo + "\" width=\"400\" height=\"300\"><br>",
                   "<img src=\"file://" + dirText + "/%D0%9E%D0%B7%D0%B5%D1%80%D0%BE &amp; Co.gif\" width=\"400\" height=\"270\">",
                   "</td></tr>", "<tr><td align=\"center\">",
                   photo + " (400 x 300 pixels / 1 octet)<br>" + dirText + "/" + name + " (400 x 270 pixels / 2 octets)",
                   "</td></tr>", "</table>", "</body>", "</html>"}));
}

TEST_F(HtmlPageFiles, MissingFileSizeAndUnwritableFolder) {
  const std::string gif = dir / "gone.gif";
  EXPECT_NE(HtmlTestPageText(gif, 1, 1, true, {}).find("(1 x 1 pixels / -1 octet)"), std::string::npos);
  auto page = WriteHtmlTestPage(dir / "no/such.gif", 1, 1, true);
  ASSERT_FALSE(page);
  EXPECT_NE(page.error().message.find("no/such.htm"), std::string::npos);
  EXPECT_EQ(page.error().cause, "No such file or directory");
}

}  // namespace
}  // namespace kestal
