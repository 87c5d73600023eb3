// The main window, offscreen: start-up state, opening photos, the pane's layout, the
// animation commands, keys, drops, the help command and the About box.

#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <vector>

#include "gui/bitmap_qt.h"
#include "gui/bmp_image.h"
#include "gui/kestal_application.h"
#include "gui/main_window.h"
#include "gui/image_dialogs.h"
#include "imageio/image_files.h"
#include "support/gui_support.h"
#include "support/test_support.h"
#include "gui/about_box.h"
#include "gui/message_dialog.h"
#include "gui/platform_qt.h"
#include "text/shortcut_text.h"
#include "text/string_table.h"
#include "text/visual_styles.h"

namespace kestal {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<TFrmKestal>();
  }

  // A photo of w x h written as PNG: blue x, green y, red 7, so rows differ.
  QString WritePhoto(int w, int h, const std::string& name = "photo.png") {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(7, y % 256, x % 256));
    const QString path = QString::fromStdString(dir_ / name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
  }

  void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(type, key, mods);
    QApplication::sendEvent(window_->Ui().EditPct, &event);
  }

  test::TempDir dir_;
  std::unique_ptr<TFrmKestal> window_;
  test::RecordingPrompts prompts_;
  std::vector<QString>& messages_ = prompts_.errors;
};

TEST_F(MainWindowTest, StartUpState) {
  TFrmKestal& w = *window_;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Генератор Отражения "));
  // At least the designed 400 x 300, and wide enough for every tool-panel control
  // (the wave-mode buttons end right of x = 400); MinimumSizeKeepsControlsVisible checks them.
  EXPECT_EQ(w.minimumHeight(), 300);
  EXPECT_GE(w.minimumWidth(), 400);
  EXPECT_FALSE(ThemesActive());

  for (QAction* a : {w.Ui().FichierExporter, w.Ui().OptionAnimer}) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  for (QToolButton* b : {w.Ui().BtnAnimation, w.Ui().BtnSauve}) EXPECT_FALSE(b->isEnabled());
  for (QAction* a : {w.Ui().FichierOuvrir, w.Ui().FichierQuitter, w.Ui().MenuInformations, w.Ui().MenuWeb, w.Ui().MenuAPropos})
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  EXPECT_TRUE(w.Ui().BtnOpen->isEnabled());
  EXPECT_FALSE(w.Ui().Timer->isActive());
  EXPECT_EQ(w.Ui().Timer->interval(), 120);

  const struct {
    QAction* action;
    const char* text;
    bool checked;
  } items[] = {
      {w.Ui().FichierOuvrir, "Открыть\tCtrl+O", false},
      {w.Ui().FichierExporter, "Экспорт  \tCtrl+S", false},
      {w.Ui().FichierQuitter, "Уйти\tCtrl+Q", false},
      {w.Ui().OptionAnimer, "Анимация\tEnter", false},
      {w.Ui().MenuInformations, "Информация \tF1", false},
      {w.Ui().VitesseLente, "Slow", false},
      {w.Ui().VitesseMoyenne, "Средне", true},
      {w.Ui().VitesseRapide, "Fast", false},
      {w.Ui().OndeCourte, "Short", false},
      {w.Ui().OndeMoyenne, "Средне", true},
      {w.Ui().OndeLongue, "Long", false},
  };
  for (const auto& item : items) {
    EXPECT_EQ(item.action->text(), QString::fromUtf8(item.text));
    EXPECT_EQ(item.action->isChecked(), item.checked) << item.text;
  }
  EXPECT_EQ(w.Ui().FichierOuvrir->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(w.Ui().MenuOption->title(), QStringLiteral("Опции  "));
  EXPECT_EQ(w.Ui().OptionVague->title(), QStringLiteral("Тип Волны    "));

  EXPECT_EQ(w.Ui().BtnOpen->toolTip(), QStringLiteral("Открыть"));
  EXPECT_EQ(w.Ui().BtnSauve->toolTip(), QStringLiteral("Экспорт"));
  EXPECT_EQ(w.Ui().BtnAnimation->toolTip(), QStringLiteral("Анимация"));
  EXPECT_EQ(Lang(StrYes), "&Да ");
  EXPECT_EQ(Lang(StrAllImages), "All images");
  EXPECT_EQ(LoadErrorFormat(), "Unable to load image in file \"%s\" !");

  EXPECT_EQ(w.Ui().EditFrames->minimum(), 2);
  EXPECT_EQ(w.Ui().EditFrames->maximum(), 30);
  EXPECT_EQ(w.Ui().EditFrames->value(), 5);
  EXPECT_EQ(w.Ui().EditPct->minimum(), 30);
  EXPECT_EQ(w.Ui().EditPct->maximum(), 100);
  EXPECT_EQ(w.Ui().EditPct->value(), 90);
  EXPECT_EQ(w.Ui().EditPct->singleStep(), 5);
  EXPECT_TRUE(w.Ui().RBPerspective->isChecked());
  EXPECT_EQ(w.FrameCount(), 5);
  EXPECT_EQ(w.WaveLength(), WaveLength::Medium);

  // The tool buttons carry shadowed normal glyphs and greyed disabled ones.
  const QImage normal = w.Ui().BtnOpen->icon().pixmap(QSize(39, 34), QIcon::Normal).toImage();
  const QImage disabled = w.Ui().BtnOpen->icon().pixmap(QSize(39, 34), QIcon::Disabled).toImage();
  EXPECT_EQ(normal.size(), QSize(39, 34));
  EXPECT_NE(normal, disabled);
  EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0) << "the glyph's background is transparent";
  bool greyed = true;
  for (int y = 0; y < disabled.height(); ++y)
    for (int x = 0; x < disabled.width(); ++x) {
      const QRgb p = disabled.pixel(x, y);
      if (qAlpha(p) == 255 && !(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p))) greyed = false;
    }
  EXPECT_TRUE(greyed) << "disabled glyphs are shades of the grey button face";
}

TEST_F(MainWindowTest, OpeningAPhotoLaysOutThePane) {
  TFrmKestal& w = *window_;
  const QString path = WritePhoto(640, 480);
  ASSERT_TRUE(w.OpenPhotoFile(path));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(w.PhotoFileName(), path);
  EXPECT_EQ(w.StatusText(1), path);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("640x912"));
  EXPECT_EQ(w.Ui().Image1->geometry(), QRect(8, 8, 640, 480));
  EXPECT_EQ(w.Ui().Pane->geometry(), QRect(8, 488, 640, 432));
  EXPECT_EQ(w.Ui().PnlImg->geometry(), QRect(648, 920, 9, 8));
  EXPECT_EQ(w.Ui().ScrollContent->size(), QSize(657, 928));
  EXPECT_EQ(w.FrameIndex(), -1);
  for (QAction* a : {w.Ui().FichierExporter, w.Ui().OptionAnimer}) EXPECT_TRUE(a->isEnabled());
  for (QToolButton* b : {w.Ui().BtnAnimation, w.Ui().BtnSauve}) EXPECT_TRUE(b->isEnabled());

  // The pane paints the still mirror: its top row is the photo's bottom row.
  QImage shot(w.Ui().Pane->size(), QImage::Format_RGB32);
  {
    QPainter p(&shot);
    w.Ui().Pane->Paint(p, shot.rect());
  }
  EXPECT_EQ(shot.pixel(5, 0), qRgb(7, 479 % 256, 5));
  EXPECT_EQ(shot.pixel(600, 431), qRgb(7, (479 - 431) % 256, 600 % 256));

  // A change of the percentage lays the pane out again; 100 % is the photo's height.
  w.Ui().EditPct->setValue(100);
  EXPECT_EQ(w.Ui().Pane->height(), 480);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("640x960"));

  // A second, smaller photo shrinks the pane and moves it under the new photo.
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(100, 50, "small.png")));
  EXPECT_EQ(w.Ui().Pane->geometry(), QRect(8, 58, 100, 50));
  EXPECT_EQ(w.Ui().PnlImg->pos(), QPoint(108, 108));
}

TEST_F(MainWindowTest, OnePixelHighPhotoAtThirtyPercent) {
  TFrmKestal& w = *window_;
  w.Ui().EditPct->setValue(30);
  EXPECT_TRUE(messages_.empty()) << "a percentage change without a photo is ignored";
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(200, 1)));
  EXPECT_EQ(w.Ui().Pane->height(), 0);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("200x1"));
  w.NextFrame();  // an empty reflection renders nothing, and must not fail
  EXPECT_EQ(w.FrameIndex(), 0);
}

TEST_F(MainWindowTest, FailedOpenChangesNothingButStopsTheAnimation) {
  TFrmKestal& w = *window_;
  const QString good = WritePhoto(64, 40);
  ASSERT_TRUE(w.OpenPhotoFile(good));
  w.OptionAnimerClick();
  ASSERT_TRUE(w.Ui().Timer->isActive());

  const QString bad = QString::fromStdString(dir_ / "broken.png");
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\x89PNG\r\n\x1a\n truncated");
  }
  EXPECT_FALSE(w.OpenPhotoFile(bad));
  EXPECT_FALSE(w.Ui().Timer->isActive());
  ASSERT_EQ(messages_.size(), 1u);
  const QStringList lines = messages_[0].split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2) << messages_[0].toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("Unable to load image in file \"%1\" !").arg(bad));
  EXPECT_FALSE(lines[1].isEmpty()) << "the cause";
  EXPECT_EQ(w.PhotoFileName(), good);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("64x76"));
  EXPECT_EQ(w.Ui().Pane->size(), QSize(64, 36));

  EXPECT_FALSE(w.OpenPhotoFile(QString::fromStdString(dir_ / "missing.jpg")));
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_EQ(w.PhotoFileName(), good);
}

TEST_F(MainWindowTest, ShiftMakesThePercentageStepByOne) {
  TFrmKestal& w = *window_;
  Key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
  w.Ui().EditPct->stepUp();
  EXPECT_EQ(w.Ui().EditPct->value(), 91);
  Key(QEvent::KeyRelease, Qt::Key_Shift);
  w.Ui().EditPct->stepUp();
  EXPECT_EQ(w.Ui().EditPct->value(), 96);
  // Any key released brings the step of 5 back, even while Shift stays down.
  Key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
  Key(QEvent::KeyRelease, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(w.Ui().EditPct->singleStep(), 5);
}

TEST_F(MainWindowTest, FrameBookkeeping) {
  TFrmKestal& w = *window_;
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(30, 20)));
  w.Ui().EditFrames->setValue(2);
  std::vector<int> frames;
  for (int i = 0; i < 4; ++i) {
    w.NextFrame();
    frames.push_back(w.FrameIndex());
  }
  EXPECT_EQ(frames, (std::vector<int>{0, 1, 0, 1}));

  w.Ui().EditFrames->setValue(10);
  for (int i = 0; i < 8; ++i) w.NextFrame();
  ASSERT_EQ(w.FrameIndex(), 7);
  w.Ui().EditFrames->setValue(3);
  w.NextFrame();
  EXPECT_EQ(w.FrameIndex(), 0) << "lowering the frame count restarts the cycle";

  // Regular mode renders a different picture from perspective mode for the same frame.
  w.Ui().EditFrames->setValue(5);
  w.NextFrame();
  w.NextFrame();
  auto perspective = w.Model().PaneBitmap().Clone();
  w.Ui().RBRegul->setChecked(true);
  w.Ui().EditFrames->setValue(5);
  w.NextFrame();
  w.NextFrame();
  EXPECT_FALSE(w.Model().PaneBitmap().SamePixels(perspective.value()));
}

TEST_F(MainWindowTest, AnimationCommandsAndCheckMarks) {
  TFrmKestal& w = *window_;
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(30, 20)));
  w.Ui().BtnAnimation->click();
  EXPECT_TRUE(w.Ui().Timer->isActive());
  emit w.Ui().MenuOption->aboutToShow();
  EXPECT_TRUE(w.Ui().OptionAnimer->isChecked());
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(30, 20, "again.png")));
  EXPECT_FALSE(w.Ui().Timer->isActive()) << "opening a photo stops the animation";
  emit w.Ui().MenuOption->aboutToShow();
  EXPECT_FALSE(w.Ui().OptionAnimer->isChecked());

  w.Ui().OptionAnimer->trigger();
  EXPECT_TRUE(w.Ui().Timer->isActive());
  test::AnswerNextModal([](QWidget* exportDialog) { exportDialog->close(); });
  w.Ui().FichierExporter->trigger();
  EXPECT_FALSE(w.Ui().Timer->isActive()) << "the export command stops the animation";

  const struct {
    QAction* item;
    int interval;
  } speeds[] = {{w.Ui().VitesseRapide, 50}, {w.Ui().VitesseRapide, 50}, {w.Ui().VitesseLente, 200}, {w.Ui().VitesseMoyenne, 120}};
  for (const auto& s : speeds) {
    s.item->trigger();
    EXPECT_EQ(w.Ui().Timer->interval(), s.interval);
    for (QAction* a : {w.Ui().VitesseLente, w.Ui().VitesseMoyenne, w.Ui().VitesseRapide})
      EXPECT_EQ(a->isChecked(), a == s.item) << s.interval;
  }
  const struct {
    QAction* item;
    WaveLength wave;
  } waves[] = {{w.Ui().OndeLongue, WaveLength::Long},
               {w.Ui().OndeCourte, WaveLength::Short},
               {w.Ui().OndeCourte, WaveLength::Short},
               {w.Ui().OndeMoyenne, WaveLength::Medium}};
  for (const auto& o : waves) {
    o.item->trigger();
    EXPECT_EQ(w.WaveLength(), o.wave);
    for (QAction* a : {w.Ui().OndeCourte, w.Ui().OndeMoyenne, w.Ui().OndeLongue}) EXPECT_EQ(a->isChecked(), a == o.item);
  }
}

TEST_F(MainWindowTest, DroppingAnImageFileOpensIt) {
  const QString path = WritePhoto(40, 30);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(path)});
  window_->show();
  QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  QCoreApplication::processEvents();
  EXPECT_EQ(window_->PhotoFileName(), path);
  EXPECT_EQ(window_->StatusText(0), QStringLiteral("40x57"));
}

TEST_F(MainWindowTest, MissingHelpPageSaysSo) {
  ASSERT_FALSE(QFileInfo::exists(TFrmKestal::HelpPagePath()));
  EXPECT_TRUE(TFrmKestal::HelpPagePath().endsWith(QStringLiteral("gui_main_window_test.htm")));
  // The notice comes in the program's message dialog, as information with one Ok.
  QString heading, message;
  test::AnswerNextModal([&](QWidget* w) {
    ASSERT_NE(qobject_cast<TMsgDlgForm*>(w), nullptr);
    heading = w->findChild<QLabel*>("LblCaption")->text();
    message = w->findChild<QLabel*>("LblMsg")->text();
    test::PressKey(w, Qt::Key_Return, "\r");
  });
  window_->Ui().MenuInformations->trigger();
  EXPECT_EQ(heading, QStringLiteral("Информация "));
  EXPECT_EQ(message, QStringLiteral("Файл не найден !"));
  EXPECT_TRUE(messages_.empty());
}

// F1 opens the page in the window's language, which QLocale's default carries.
TEST(HelpPageLanguage, FollowsTheWindowsLocale) {
  const QString english = TFrmKestal::HelpPagePath();
  ASSERT_TRUE(english.endsWith(QStringLiteral("gui_main_window_test.htm")));
  QString russian = english;
  russian.replace(russian.size() - 4, 4, QStringLiteral(".ru.htm"));
  QFile page(russian);
  ASSERT_TRUE(page.open(QIODevice::WriteOnly)) << russian.toStdString();
  page.close();
  struct Case {
    QLocale locale;
    QString expected;
  };
  const Case cases[] = {{QLocale(QLocale::Russian, QLocale::Russia), russian},
                        {QLocale(QLocale::English, QLocale::UnitedKingdom), english},
                        {QLocale(QLocale::German, QLocale::Germany), english}};
  const QLocale before;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    QLocale::setDefault(c.locale);
    EXPECT_EQ(TFrmKestal::HelpPagePath(), c.expected);
  }
  QLocale::setDefault(before);
  page.remove();
}

TEST(AboutBox, ContentAndClosing) {
  TAProposForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("О программе "));
  EXPECT_EQ(form.size(), QSize(336, 292));
  EXPECT_EQ(form.Version->text(), QStringLiteral("Русская Версия 2.7         "));
  EXPECT_EQ(form.URL->text(), QString(26, QLatin1Char(' ')));
  EXPECT_EQ(form.Label2->text(), QString(33, QLatin1Char(' ')));
  EXPECT_EQ(form.Image1->pixmap().size(), QSize(96, 200));
  EXPECT_EQ(form.Licence->text(), QStringLiteral("GPL-3.0-or-later"));
  EXPECT_TRUE(form.Panel1->geometry().contains(form.Licence->geometry()));
  // The licence in words, whole inside the panel and below the identifier.
  EXPECT_FALSE(form.LicenceNote->text().isEmpty());
  EXPECT_TRUE(form.Panel1->geometry().contains(form.LicenceNote->geometry()));
  EXPECT_GE(form.LicenceNote->y(), form.Licence->geometry().bottom());
  EXPECT_LE(form.LicenceNote->heightForWidth(form.LicenceNote->width()), form.LicenceNote->height());
  form.URLClick(form.URL);  // a blank link opens nothing and reports nothing

  for (int round = 0; round < 2; ++round) {
    form.show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&form, &esc);
    EXPECT_TRUE(form.isVisible()) << "Esc does not close the box";
    form.Button1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 1);
  }
}

TEST(Platform, DialogFiltersKeysAndImages) {
  const struct {
    const char* what;
    const char* filter;
    const char* qt;
  } filters[] = {
      {"patterns joined by spaces", "Common images|*.png;*.jpg", "Common images (*.png *.jpg)"},
      {"every file, also without an extension", "All images|*.*", "All images (*)"},
      {"a family's own pattern list is not repeated", "JPEG (*.jpg; *.jpeg)|*.jpg;*.jpeg", "JPEG (*.jpg *.jpeg)"},
      {"pairs become ;;-separated entries", "A|*.a|B|*.b", "A (*.a);;B (*.b)"},
  };
  for (const auto& f : filters) EXPECT_EQ(ToQtFilter(f.filter), QString::fromUtf8(f.qt)) << f.what;

  EXPECT_EQ(QtKeySequence(kCtrlBit | 'S'), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(QtKeySequence(kVkF1), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(QtKeySequence(0xFF), QKeySequence()) << "a key without a Qt equivalent";
  // Keys outside the string library's table take Qt's names.
  EXPECT_EQ(ShortCutToText(kCtrlBit | 188), "Ctrl+,");
  EXPECT_FALSE(IsWindowsXP());

  // Alpha is flattened over white; the copy is 24-bit.
  QImage argb(2, 1, QImage::Format_ARGB32);
  argb.setPixel(0, 0, qRgba(0, 0, 0, 0));
  argb.setPixel(1, 0, qRgba(10, 20, 30, 255));
  auto bitmap = BitmapFromImage(argb);
  ASSERT_TRUE(bitmap.ok());
  EXPECT_EQ(bitmap->Pixel(0, 0), (ColorTriple{255, 255, 255}));
  EXPECT_EQ(bitmap->Pixel(1, 0), (ColorTriple{30, 20, 10}));
  const QImage view = BitmapView(bitmap.value());
  EXPECT_EQ(view.constBits(), bitmap->Data()) << "the view shares the bitmap's memory";
  EXPECT_EQ(view.pixel(1, 0), qRgb(10, 20, 30));
}

class Thrower : public QObject {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("the frame could not be rendered");
    return QObject::event(e);
  }
};

TEST(GeneralErrorReport, ExceptionsReachingTheEventLoopAreShown) {
  test::RecordingPrompts prompts;
  Thrower thrower;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts.errors, std::vector<QString>{QStringLiteral("the frame could not be rendered")});
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Offscreen also when the test list is read at build time, without ctest's environment.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  kestal::KestalApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
