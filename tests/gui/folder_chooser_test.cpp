// The folder chooser: its title, the folder selected in advance, and cancel.

#include <QFileDialog>

#include "support/gui_support.h"
#include "support/test_support.h"
#include "gui/folder_chooser.h"

namespace kestal {
namespace {

struct Seen {
  QString title;
  QString directory;
};

// Opens the chooser and answers it with `accept`; records what it showed.
std::string Choose(const std::string& initial, bool accept, Seen& seen) {
  test::AnswerNextModal([&, accept](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    seen.title = dialog->windowTitle();
    seen.directory = dialog->directory().absolutePath();
    if (accept) static_cast<QDialog*>(dialog)->accept();
    else dialog->reject();
  });
  return SelectFolder("Saving folder :", initial);
}

TEST(SelectFolder, StartsAtTheInitialFolderAndReturnsTheChoice) {
  test::TempDir dir;
  Seen seen;
  const std::string chosen = Choose(dir.path().string(), true, seen);
  EXPECT_EQ(seen.title, QStringLiteral("Saving folder :"));
  EXPECT_EQ(seen.directory, QString::fromStdString(dir.path().string()));
  EXPECT_EQ(chosen, dir.path().string());
}

TEST(SelectFolder, CancelGivesNothing) {
  test::TempDir dir;
  Seen seen;
  EXPECT_EQ(Choose(dir.path().string(), false, seen), "");
}

TEST(SelectFolder, MissingInitialFolderLeavesTheDefault) {
  test::TempDir dir;
  const std::string missing = (dir.path() / "gone").string();
  Seen seen;
  const std::string chosen = Choose(missing, false, seen);
  EXPECT_EQ(chosen, "");
  EXPECT_NE(seen.directory, QString::fromStdString(missing));
  EXPECT_FALSE(seen.directory.isEmpty());
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
