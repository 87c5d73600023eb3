// The owner-drawn menus, forced on and rendered offscreen, checked pixel by pixel; and
// the shortcut texts every menu shows.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>

#include "bitmap/color_math.h"
#include "gui/main_window.h"
#include "support/gui_support.h"
#include "gui/menu_style.h"
#include "text/string_table.h"
#include "text/visual_styles.h"

namespace kestal {
namespace {

using test::PixelColor;

// Distinct, fully saturated system colours so every drawn part can be told apart.
constexpr Color kMenu = Rgb(240, 240, 240);
constexpr Color kHighlight = Rgb(0, 80, 200);
constexpr Color kHighlightText = Rgb(255, 255, 0);
constexpr Color kMenuText = Rgb(0, 0, 0);
constexpr Color kGrayText = Rgb(0, 160, 0);
constexpr Color kShadow = Rgb(100, 100, 160);
constexpr Color kBtnFace = Rgb(200, 190, 180);

class MenuStyleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLangDefaults();
    ApplyStartupTexts();
    SetSystemColorValue(kColorMenu, kMenu);
    SetSystemColorValue(kColorHighlight, kHighlight);
    SetSystemColorValue(kColorHighlightText, kHighlightText);
    SetSystemColorValue(kColorMenuText, kMenuText);
    SetSystemColorValue(kColorGrayText, kGrayText);
    SetSystemColorValue(kColorBtnShadow, kShadow);
    SetSystemColorValue(kColorBtnFace, kBtnFace);

    file_ = bar_.addMenu(QStringLiteral("&Файл"));
    open_ = file_->addAction(QString());
    SetActionShortCut(open_, QStringLiteral("&Открыть..."), kCtrlBit | 'O');
    separator_ = file_->addSeparator();
    save_ = file_->addAction(QString());
    SetActionShortCut(save_, QStringLiteral("Экспорт  "), kCtrlBit | 'S');
    save_->setEnabled(false);
    animate_ = file_->addAction(QString());
    SetActionShortCut(animate_, QStringLiteral("Анимация"), kVkReturn);
    animate_->setCheckable(true);
    animate_->setChecked(true);
    InstallOwnerDrawMenus(&bar_, true);
    style_ = static_cast<const MenuStyle*>(file_->style());
  }
  void TearDown() override { ResetSystemColors(); }

  QImage Render(QAction* active = nullptr) {
    file_->adjustSize();
    file_->setActiveAction(active);
    return file_->grab().toImage();
  }

  // The colour of the pixel in `r` farthest from `background`: the text's darkest stroke.
  static Color StrongestInk(const QImage& image, const QRect& r, Color background) {
    Color best = background;
    int best_distance = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) {
        const Color c = PixelColor(image, x, y);
        const int d = std::abs(RedOf(c) - RedOf(background)) + std::abs(GreenOf(c) - GreenOf(background)) +
                      std::abs(BlueOf(c) - BlueOf(background));
        if (d > best_distance) best_distance = d, best = c;
      }
    return best;
  }

  QMenuBar bar_;
  QMenu* file_ = nullptr;
  QAction* open_ = nullptr;
  QAction* separator_ = nullptr;
  QAction* save_ = nullptr;
  QAction* animate_ = nullptr;
  const MenuStyle* style_ = nullptr;
};

TEST_F(MenuStyleTest, BandOfAnItem) {
  const QImage img = Render();
  const QRect r = file_->actionGeometry(open_);
  const MenuPalette& p = style_->Palette();
  EXPECT_EQ(p.band, Rgb(240 + (51 - 240) * 12 / 100, 240 - 240 * 12 / 100, 240 + (17 - 240) * 12 / 100));
  EXPECT_EQ(PixelColor(img, r.left(), r.top()), p.band) << "the band starts at the left edge";
  EXPECT_EQ(PixelColor(img, r.left() + kMenuBandWidth - 1, r.top()), GradientColumnColor(p.band, kMenu, 76, 77))
      << "the band's last column stops one step short of the menu colour";
  EXPECT_NE(GradientColumnColor(p.band, kMenu, 76, 77), kMenu);
  EXPECT_EQ(PixelColor(img, r.left() + kMenuBandWidth, r.top()), kMenu);
}

TEST_F(MenuStyleTest, Separator) {
  const QImage img = Render();
  const QRect r = file_->actionGeometry(separator_);
  ASSERT_GT(r.height(), 5);
  const int w = r.width() - 2;
  EXPECT_EQ(PixelColor(img, r.left() + 1, r.top() + 4), kShadow) << "the line starts in the shadow colour";
  EXPECT_EQ(PixelColor(img, r.left() + 80, r.top() + 4), GradientColumnColor(kShadow, kMenu, 79, w));
  EXPECT_EQ(PixelColor(img, r.right() - 1, r.top() + 4), GradientColumnColor(kShadow, kMenu, w - 1, w))
      << "the line's last column is one step short of the menu colour";
  EXPECT_EQ(PixelColor(img, r.left() + 80, r.top() + 3), kMenu) << "one pixel high";
  EXPECT_EQ(PixelColor(img, r.left() + 80, r.top() + 5), kMenu);
  EXPECT_EQ(PixelColor(img, r.left(), r.top() + 3), style_->Palette().band) << "the band goes on";
}

TEST_F(MenuStyleTest, TextColours) {
  const QImage plain = Render();
  const MenuPalette& p = style_->Palette();
  // Caption and shortcut halves of each item's text area (right of the band's start).
  auto caption_area = [&](QAction* a) {
    const QRect r = file_->actionGeometry(a);
    return QRect(r.left() + 16, r.top() + 1, 40, r.height() - 3);
  };
  auto shortcut_area = [&](QAction* a) {
    const QRect r = file_->actionGeometry(a);
    return QRect(r.right() - 16 - 30, r.top() + 1, 30, r.height() - 3);
  };
  // Anti-aliased text reaches its colour within a few levels in the strokes' cores.
  auto near = [](Color a, Color b) { return ColorsNear(a, b, 8); };
  EXPECT_PRED2(near, StrongestInk(plain, shortcut_area(open_), kMenu), p.shortcut) << "shortcut in its own colour";
  EXPECT_PRED2(near, StrongestInk(plain, caption_area(open_), kMenu), kMenuText) << "caption in menu text";
  EXPECT_PRED2(near, StrongestInk(plain, shortcut_area(save_), kMenu), kGrayText) << "disabled shortcut in grey";
  EXPECT_PRED2(near, StrongestInk(plain, caption_area(save_), kMenu), kGrayText)
      << "disabled caption in grey";

  const QImage selected = Render(open_);
  const QRect r = file_->actionGeometry(open_);
  EXPECT_EQ(PixelColor(selected, r.left(), r.top()), kHighlight) << "one-pixel frame";
  EXPECT_EQ(PixelColor(selected, r.left() + 1, r.top() + 1), p.highlightStart);
  EXPECT_EQ(PixelColor(selected, r.right() - 1, r.top() + 1),
            GradientColumnColor(p.highlightStart, p.highlightEnd, r.width() - 3, r.width() - 2));
  const QRect sc = shortcut_area(open_);
  const Color under = PixelColor(selected, sc.left(), r.top() + 1);
  EXPECT_PRED2(near, StrongestInk(selected, sc, under), kHighlightText) << "selected shortcut in highlight text";
}

TEST_F(MenuStyleTest, CheckMarkInTheCheckColumn) {
  const QImage img = Render();
  auto ink_in_check_column = [&](QAction* a) {
    const QRect r = file_->actionGeometry(a);
    int ink = 0;
    for (int y = r.top(); y < r.bottom(); ++y)
      for (int x = r.left(); x < r.left() + kMenuCheckColumn; ++x) ink += PixelColor(img, x, y) == kMenuText;
    return ink;
  };
  EXPECT_GE(ink_in_check_column(animate_), 9) << "the tick, in the text colour, inside the 16-pixel column";
  EXPECT_EQ(ink_in_check_column(open_), 0) << "no tick on an unchecked item";
}

TEST_F(MenuStyleTest, MenuBarItemKeepsButtonFace) {
  bar_.adjustSize();
  const QImage img = bar_.grab().toImage();
  const QRect r = bar_.actionGeometry(file_->menuAction());
  EXPECT_EQ(PixelColor(img, r.left() + 1, r.top() + 1), kBtnFace);
}

TEST_F(MenuStyleTest, WidthFollowsTheMeasureRule) {
  const QFontMetrics fm(file_->font());
  const int expected = fm.horizontalAdvance(QStringLiteral("&Открыть...XCtrl+OXXX")) + 16;
  EXPECT_GE(file_->actionGeometry(open_).width(), expected);
}

TEST(MenuStyleInstall, OnlyWithVisualStyles) {
  // Without visual styles (always so on Linux) the window's menus keep the platform's look.
  TFrmKestal window;
  ASSERT_FALSE(ThemesActive());
  EXPECT_EQ(qobject_cast<MenuStyle*>(window.Ui().MenuFichier->style()), nullptr);
  EXPECT_EQ(qobject_cast<MenuStyle*>(window.menuBar()->style()), nullptr);

  // Installed, it reaches the drop-downs at every depth, and the bar only when asked.
  InstallOwnerDrawMenus(window.menuBar(), false);
  EXPECT_NE(qobject_cast<MenuStyle*>(window.Ui().MenuOption->style()), nullptr);
  EXPECT_NE(qobject_cast<MenuStyle*>(window.Ui().OptionVitesse->style()), nullptr);
  EXPECT_EQ(qobject_cast<MenuStyle*>(window.menuBar()->style()), nullptr);
}

TEST(MenuShortcutText, StartupTexts) {
  ResetLangDefaults();
  ApplyStartupTexts();
  struct Row {
    ShortCut value;
    const char* text;
  } rows[] = {{16463, "Ctrl+O"}, {16467, "Ctrl+S"}, {16465, "Ctrl+Q"}, {13, "Enter"}, {112, "F1"},
              {kShiftBit | kCtrlBit | kAltBit | 'A', "Maj+Ctrl+Alt+A"}};
  for (const Row& row : rows) {
    QAction action;
    SetActionShortCut(&action, QStringLiteral("Item"), row.value);
    EXPECT_EQ(action.text(), QStringLiteral("Item\t") + QString::fromUtf8(row.text)) << row.text;
    EXPECT_FALSE(action.shortcut().isEmpty()) << row.text;
  }
  QAction none;
  SetActionShortCut(&none, QStringLiteral("Item"), 0);
  EXPECT_EQ(none.text(), QStringLiteral("Item"));
  EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_O), [] {
    QAction a;
    SetActionShortCut(&a, QStringLiteral("x"), 16463);
    return a.shortcut();
  }());
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
