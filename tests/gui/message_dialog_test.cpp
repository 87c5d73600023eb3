// The message dialog: layout, headings, buttons, keys and the close box.

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "support/gui_support.h"
#include "gui/form_utils.h"
#include "gui/message_dialog.h"
#include "text/string_table.h"

namespace kestal {
namespace {

using test::AnswerNextModal;
using test::PressKey;

constexpr const char* kQuestion = "Вам создать HTML страницу для теста ?     ";

class MsgDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLangDefaults();
    ApplyStartupTexts();
  }
};

QPushButton* Button(QWidget* dlg, const char* name) { return dlg->findChild<QPushButton*>(name); }

struct Shown {
  int width = 0, height = 0, buttonsTop = 0;
  QString heading;
  std::vector<std::pair<QString, QPoint>> buttons;  // visible ones, left to right
  int result = 0;
};

// Shows a dialog, records its layout, then answers with `answer`.
Shown ShowAndRecord(const std::string& message, MsgDlgKind kind, MsgButtons buttons,
                    const std::string& caption, std::function<void(QWidget*)> answer) {
  Shown s;
  AnswerNextModal([&](QWidget* w) {
    auto* dlg = qobject_cast<TMsgDlgForm*>(w);
    ASSERT_NE(dlg, nullptr);
    s.width = dlg->width();
    s.height = dlg->height();
    s.buttonsTop = dlg->ButtonsTop();
    s.heading = dlg->findChild<QLabel*>("LblCaption")->text();
    for (const char* name : {"BtnYes", "BtnNo", "BtnOk", "BtnCancel"}) {
      QPushButton* b = Button(dlg, name);
      if (!b->isHidden()) s.buttons.push_back({b->text(), b->pos()});
    }
    answer(dlg);
  });
  s.result = ShowMsgDlg(message, kind, buttons, caption);
  return s;
}

TEST_F(MsgDlgTest, OneLineLayout) {
  const Shown s = ShowAndRecord("Fichier ?", MsgConfirmation, MsgBtnYes | MsgBtnNo, "",
                                [](QWidget* d) { d->close(); });
  EXPECT_EQ(s.width, 300) << "a short message keeps the minimum width";
  EXPECT_EQ(s.buttonsTop, 100) << "the icon decides the row's top for one line";
  EXPECT_EQ(s.height, 137);
  // Two buttons right-aligned: 300 - (75 + 6 + 75) - 12 + 1 = 133, then 81 further.
  ASSERT_EQ(s.buttons.size(), 2u);
  EXPECT_EQ(s.buttons[0].second, QPoint(133, 100));
  EXPECT_EQ(s.buttons[1].second, QPoint(214, 100));
  EXPECT_EQ(s.result, kMsgResultCancel) << "the close box answers 2";
}

TEST_F(MsgDlgTest, HtmlPageQuestion) {
  const Shown s = ShowAndRecord(kQuestion, MsgConfirmation, MsgBtnYes | MsgBtnNo, "",
                                [](QWidget* d) { d->close(); });
  EXPECT_GE(s.width, 300);
  EXPECT_EQ(s.height, 137);
  EXPECT_EQ(s.heading, QStringLiteral("Confirm"));
  ASSERT_EQ(s.buttons.size(), 2u);
  EXPECT_EQ(s.buttons[0].first, QStringLiteral("&Да "));
  EXPECT_EQ(s.buttons[1].first, QStringLiteral("&No"));
  EXPECT_EQ(s.buttons[1].second.x() + 75, s.width - 12 + 1) << "right-aligned";
  EXPECT_EQ(s.buttons[1].second.x() - s.buttons[0].second.x(), 81) << "6 pixels apart";
}

TEST_F(MsgDlgTest, MessageDecidesWidthAndHeight) {
  const std::string wide(120, 'W');
  int label_right = 0;
  const Shown w = ShowAndRecord(wide, MsgWarning, MsgBtnOk, "", [&](QWidget* d) {
    const QLabel* msg = d->findChild<QLabel*>("LblMsg");
    label_right = msg->x() + msg->width();
    d->close();
  });
  EXPECT_EQ(w.width, label_right + 12) << "the label's right edge plus the icon's margin";
  EXPECT_GT(w.width, 300);
  ASSERT_EQ(w.buttons.size(), 1u);
  EXPECT_EQ(w.buttons[0].second.x(), w.width - 75 - 12 + 1) << "one button at the right";

  const Shown tall = ShowAndRecord("one\r\ntwo\rthree\nfour\nfive", MsgWarning, MsgBtnOk, "",
                                   [](QWidget* d) { d->close(); });
  EXPECT_EQ(tall.width, 300);
  EXPECT_GT(tall.buttonsTop, 100) << "five lines push the buttons below the icon's rule";
  EXPECT_EQ(tall.height, 25 + tall.buttonsTop + 12);
}

TEST_F(MsgDlgTest, HeadingsAndCaptions) {
  struct Row {
    const char* what;
    MsgDlgKind kind;
    std::string caption;
    QString heading;
  } rows[] = {
      {"warning", MsgWarning, "", QStringLiteral("Avertissement")},
      {"error", MsgError, "", QStringLiteral("Erreur")},
      {"information after start-up", MsgInformation, "", QStringLiteral("Информация ")},
      {"confirmation after start-up", MsgConfirmation, "", QStringLiteral("Confirm")},
      {"custom: the executable's name", MsgCustom, "",
       QFileInfo(QCoreApplication::applicationFilePath()).fileName()},
      {"a caption replaces the heading", MsgError, "Ma légende", QStringLiteral("Ma légende")},
  };
  for (const Row& row : rows) {
    const Shown s = ShowAndRecord("x", row.kind, MsgBtnOk, row.caption, [](QWidget* d) { d->close(); });
    EXPECT_EQ(s.heading, row.heading) << row.what;
  }
}

TEST_F(MsgDlgTest, KeysAndClicks) {
  struct Row {
    const char* what;
    MsgButtons buttons;
    int key;
    QString text;
    int expected;
  } rows[] = {
      {"Enter presses Yes when Ok is hidden", MsgBtnYes | MsgBtnNo, Qt::Key_Return, "\r", kMsgResultYes},
      {"Esc presses No when Cancel is hidden", MsgBtnYes | MsgBtnNo, Qt::Key_Escape, "", kMsgResultNo},
      {"N answers No", MsgBtnYes | MsgBtnNo, Qt::Key_N, "n", kMsgResultNo},
      {"Enter presses Ok", MsgBtnOk, Qt::Key_Return, "\r", kMsgResultOk},
      {"Esc presses Cancel", MsgBtnOk | MsgBtnCancel, Qt::Key_Escape, "", kMsgResultCancel},
      {"Enter prefers Ok to Yes", MsgBtnYes | MsgBtnOk, Qt::Key_Return, "\r", kMsgResultOk},
  };
  for (const Row& row : rows) {
    const Shown s = ShowAndRecord("Question", MsgConfirmation, row.buttons, "",
                                  [&](QWidget* d) { PressKey(d, row.key, row.text); });
    EXPECT_EQ(s.result, row.expected) << row.what;
  }
  const Shown click = ShowAndRecord("Question", MsgInformation, MsgBtnOk, "",
                                    [](QWidget* d) { Button(d, "BtnOk")->click(); });
  EXPECT_EQ(click.result, kMsgResultOk);
}

TEST_F(MsgDlgTest, KeysOfHiddenButtonsDoNothing) {
  // The missing-help notice: Esc and N find no visible button; the close box still answers 2.
  bool stayed_open = false;
  const Shown s = ShowAndRecord("Файл не найден !", MsgInformation, MsgBtnOk, "", [&](QWidget* d) {
    PressKey(d, Qt::Key_Escape);
    PressKey(d, Qt::Key_N, "n");
    stayed_open = d->isVisible();
    d->close();
  });
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(s.result, kMsgResultCancel);
}

TEST_F(MsgDlgTest, AcceleratorLetters) {
  struct Row {
    const char* caption;
    const char* accel;
  } rows[] = {{"&No", "N"}, {"&Да ", "Д"}, {"A&&B", ""}, {"A&&&B", "B"}, {"Ok", ""}, {"Ok&", ""}};
  for (const Row& row : rows)
    EXPECT_EQ(AcceleratorOf(QString::fromUtf8(row.caption)), QString::fromUtf8(row.accel)) << row.caption;
}

TEST_F(MsgDlgTest, DialogIsGoneAfterEachShowing) {
  ShowAndRecord("x", MsgWarning, MsgBtnOk, "", [](QWidget* d) { d->close(); });
  ShowAndRecord("y", MsgWarning, MsgBtnOk, "", [](QWidget* d) { d->close(); });
  int dialogs = 0;
  for (QWidget* w : QApplication::allWidgets()) dialogs += qobject_cast<TMsgDlgForm*>(w) ? 1 : 0;
  EXPECT_EQ(dialogs, 0);
}

TEST(CreateFormOnce, CreatesOneFormAndForgetsItWhenDestroyed) {
  QWidget owner;
  QPointer<TMsgDlgForm> ref;
  CreateFormOnce(ref, &owner);
  TMsgDlgForm* first = ref.data();
  ASSERT_NE(first, nullptr);
  CreateFormOnce(ref, &owner);
  EXPECT_EQ(ref.data(), first);
  EXPECT_EQ(first->parentWidget(), &owner);
  delete first;
  EXPECT_TRUE(ref.isNull());
  CreateFormOnce(ref, &owner);
  EXPECT_NE(ref.data(), nullptr);
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
