#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "base/file_input.h"
#include "base/paths.h"
#include "text/text_utils.h"
#include "text/string_table.h"
#include "text/shortcut_text.h"

namespace kestal {
namespace {

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLangDefaults(); }
  void TearDown() override { ResetLangDefaults(); }
};

TEST_F(TextTest, StringLibraryDefaultsAndStartupReplacements) {
  EXPECT_EQ(Lang(StrAllImages), "Toutes les images");
  EXPECT_EQ(Lang(StrCannotOpen), "Impossible d'ouvrir l'image dans le fichier \"%s\" !");
  EXPECT_EQ(Lang(StrKeyEnter), "Entrée");
  EXPECT_EQ(Lang(StrGB), "Go");
  ApplyStartupTexts();
  EXPECT_EQ(Lang(StrYes), "&Да ");
  EXPECT_EQ(Lang(StrNo), "&No");
  EXPECT_EQ(Lang(StrConfirmation), "Confirm");
  EXPECT_EQ(Lang(StrInformation), "Информация ");
  EXPECT_EQ(Lang(StrKeyEnter), "Enter");
  EXPECT_EQ(Lang(StrAllImages), "All images");
  EXPECT_EQ(Lang(StrCommonImages), "Common images");
  EXPECT_EQ(Lang(StrOk), "Ok") << "entries not replaced keep their defaults";
  EXPECT_EQ(Lang(StrCancel), "Annuler");
}

TEST_F(TextTest, FileSizeText) {
  struct Row {
    int64_t size;
    const char* text;
  } rows[] = {
      {-1, "-1 octet"},        {0, "0 octet"},          {1, "1 octet"},
      {2, "2 octets"},         {1023, "1023 octets"},   {1024, "1.00 Ko"},
      {1152, "1.13 Ko"},       {1048575, "1024.00 Ko"}, {1048576, "1.00 Mo"},
      {1073741824, "1.00 Go"}, {int64_t{5} << 30 | (1 << 29), "5.50 Go"} /* past 2 GiB */,
      {1029, "1.00 Ko"} /* 1.0048 */, {1034, "1.01 Ko"} /* 1.00977 */,
  };
  for (const Row& r : rows) EXPECT_EQ(FileSizeText(r.size), r.text) << r.size;
  SetLang(StrKB, "KB");
  EXPECT_EQ(FileSizeText(2048), "2.00 KB") << "the unit is read at each call";
}

TEST_F(TextTest, FileSizeTextUsesTheLocalesDecimalSeparator) {
  const std::string old = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  EXPECT_EQ(FileSizeText(1024), "1,00 Ko");
  std::setlocale(LC_NUMERIC, old.c_str());
}

TEST_F(TextTest, MenuCaptionToHint) {
  struct Row {
    const char* description;
    const char* caption;
    const char* hint;
  } rows[] = {
      {"empty", "", ""},
      {"trailing spaces trimmed", "Экспорт  ", "Экспорт"},
      {"first ampersand removed", "&Open", "Open"},
      {"only the first of two ampersands", "&&Save", "&Save"},
      {"ellipsis removed", "Export...", "Export"},
      {"the ellipsis test runs first, so only the colon goes", "Folder...:", "Folder..."},
      {"only an ellipsis gives nothing", "...", ""},
      {"colon removed", "Name:", "Name"},
      {"leading and trailing blanks", "  \tWord \r", "Word"},
  };
  for (const Row& r : rows) EXPECT_EQ(MenuCaptionToHint(r.caption), r.hint) << r.description;
}

TEST_F(TextTest, ShortCutToText) {
  ApplyStartupTexts();
  struct Row {
    ShortCut value;
    const char* text;
  } rows[] = {
      {16463, "Ctrl+O"}, {16467, "Ctrl+S"}, {16465, "Ctrl+Q"}, {13, "Enter"},
      {112, "F1"},       {kShiftBit | kCtrlBit | kAltBit | 'A', "Maj+Ctrl+Alt+A"},
      {101, "5"} /* numeric pad 5 */, {124, "F13"}, {27, "Echap"}, {'7', "7"},
      {kShiftBit | 46, "Maj+Suppr"},
  };
  for (const Row& r : rows) EXPECT_EQ(ShortCutToText(r.value), r.text) << r.value;

  SetSystemKeyNameFunction(nullptr);
  EXPECT_EQ(ShortCutToText(kCtrlBit | 186), "") << "no name, no text: modifiers are not shown alone";
  SetSystemKeyNameFunction([](int vk) { return vk == 186 ? std::string(";") : std::string(); });
  EXPECT_EQ(ShortCutToText(kCtrlBit | 186), "Ctrl+;");
  SetSystemKeyNameFunction(nullptr);
}

TEST(FoncUtils, PathsAndFormats) {
  EXPECT_EQ(BaseNameOf("/Photos/sea.view.jpg"), "sea.view");
  EXPECT_EQ(BaseNameOf("/a.b/noext"), "noext");
  EXPECT_EQ(LowerExtensionOf("/x/PHOTO.JPG"), ".jpg");
  EXPECT_EQ(LowerExtensionOf("/x.y/file"), "");
  EXPECT_EQ(ChangeExtension("/p/lake.png", ".gif"), "/p/lake.gif");
  EXPECT_EQ(ChangeExtension("/p.q/lake", ".gif"), "/p.q/lake.gif");
  EXPECT_EQ(FormatWithString("Unable to load image in file \"%s\" !", "/a/%d.png"),
            "Unable to load image in file \"/a/%d.png\" !")
      << "the value is inserted literally";
  EXPECT_EQ(FormatWithString("100% %s", "x"), "100% x");
}

TEST(FoncUtils, GetFileSizeBytes) {
  test::TempDir dir;
  const std::string small = dir / "small.bin";
  std::ofstream(small) << "12345";
  EXPECT_EQ(GetFileSizeBytes(small), 5);
  EXPECT_EQ(GetFileSizeBytes(dir / "missing"), -1);
  EXPECT_EQ(GetFileSizeBytes(dir.path().string()), -1) << "a folder has no size";
  // A sparse file past 2 GiB gets its true size instead of a wrapped number.
  const std::string big = dir / "big.bin";
  std::ofstream(big).close();
  std::filesystem::resize_file(big, (int64_t{3} << 30) + 7);
  EXPECT_EQ(GetFileSizeBytes(big), (int64_t{3} << 30) + 7);
}

}  // namespace
}  // namespace kestal
