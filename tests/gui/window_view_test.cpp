// The window beyond its designed controls: zoom and the window's growth, the minimum
// size, the settings kept between runs, recent photos and the command line.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QPainter>
#include <QWheelEvent>

#include "gui/app_settings.h"
#include "gui/bmp_image.h"
#include "gui/command_line.h"
#include "gui/export_dialog.h"
#include "gui/main_window.h"
#include "gui/view_zoom.h"
#include "support/gui_support.h"
#include "support/test_support.h"

namespace kestal {
namespace {

QString WritePhoto(const test::TempDir& dir, int w, int h, const std::string& name) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(qRgb(20, 90, 160));
  const QString path = QString::fromStdString(dir / name);
  EXPECT_TRUE(image.save(path, "PNG"));
  return path;
}

TEST(ViewZoom, StepsFitAndAnchor) {
  const struct {
    const char* what;
    double zoom, in, out;
  } steps[] = {
      {"from 100 %", 1.0, 1.5, 2.0 / 3},
      {"between steps: the nearer step in that direction", 0.3, 1.0 / 3, 0.25},
      {"at the top", kMaxZoom, kMaxZoom, 6.0},
      {"at the bottom", kMinZoom, 1.0 / 12, kMinZoom},
  };
  for (const auto& s : steps) {
    EXPECT_DOUBLE_EQ(ZoomInStep(s.zoom), s.in) << s.what;
    EXPECT_DOUBLE_EQ(ZoomOutStep(s.zoom), s.out) << s.what;
  }
  const struct {
    const char* what;
    QSize content, viewport;
    double fit;
  } fits[] = {
      {"a small picture is not blown up", {100, 100}, {800, 600}, 1.0},
      {"the tighter side decides", {6017, 7616}, {952, 761}, 761.0 / 7616},
      {"never below the smallest zoom", {100000, 100}, {10, 10}, kMinZoom},
      {"nothing to fit", {0, 0}, {800, 600}, 1.0},
  };
  for (const auto& f : fits) EXPECT_DOUBLE_EQ(FitZoom(f.content, f.viewport), f.fit) << f.what;
  // The picture point under the pointer stays under it: (100 + 50) / 1 * 2 - 50.
  EXPECT_EQ(ScrollKeepingPoint({100, 0}, {50, 20}, 1.0, 2.0), QPoint(250, 20));
  EXPECT_EQ(ScrollKeepingPoint({0, 0}, {50, 20}, 2.0, 1.0), QPoint(0, 0)) << "never negative";
}

TEST(CommandLineArgs, Parse) {
  using A = CommandLine::Action;
  const struct {
    QStringList args;
    A action;
    const char* file;
  } rows[] = {
      {{}, A::Run, ""},
      {{"sea.jpg"}, A::Run, "sea.jpg"},
      {{"--help"}, A::Help, ""},
      {{"sea.jpg", "-v"}, A::Version, ""},
      {{"--", "-odd.png"}, A::Run, "-odd.png"},
      {{"--frobnicate"}, A::Usage, ""},
      {{"a.png", "b.png"}, A::Usage, ""},
  };
  for (const auto& r : rows) {
    const CommandLine line = ParseCommandLine(r.args);
    EXPECT_EQ(line.action, r.action) << r.args.join(' ').toStdString();
    EXPECT_EQ(line.file, QString::fromUtf8(r.file));
    EXPECT_EQ(line.error.isEmpty(), r.action != A::Usage);
  }
}

class WindowViewTest : public ::testing::Test {
 protected:
  void SetUp() override { QSettings().clear(); }
  void TearDown() override { QSettings().clear(); }

  test::TempDir dir_;
  test::RecordingPrompts prompts_;
};

TEST_F(WindowViewTest, TheCommandLinePhotoOpensAtStart) {
  const QString good = WritePhoto(dir_, 40, 30, "start.png");
  const QString missing = QString::fromStdString(dir_ / "missing.png");
  TFrmKestal w;
  w.OpenAtStart(missing);
  QCoreApplication::processEvents();
  ASSERT_EQ(prompts_.errors.size(), 1u);
  EXPECT_TRUE(prompts_.errors[0].startsWith(QStringLiteral("Unable to load image in file \"%1\" !").arg(missing)));
  w.OpenAtStart(good);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.PhotoFileName(), good);
  EXPECT_EQ(QDir::currentPath(), QFileInfo(good).absolutePath());
}

TEST_F(WindowViewTest, ZoomScalesTheDisplayAndFollowsTheWheel) {
  TFrmKestal w;
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(dir_, 200, 100, "p.png")));
  const auto& ui = w.Ui();
  w.ZoomIn();
  EXPECT_DOUBLE_EQ(w.Zoom(), 1.5);
  EXPECT_EQ(ui.Image1->geometry(), QRect(8, 8, 300, 150));
  EXPECT_EQ(ui.Pane->geometry(), QRect(8, 158, 300, 135)) << "90 rows at 1.5";
  EXPECT_EQ(w.StatusText(0), QStringLiteral("200x190")) << "the status gives the picture's own size";
  ui.ViewActualSize->trigger();
  EXPECT_EQ(ui.Pane->geometry(), QRect(8, 108, 200, 90));

  // Ctrl+wheel zooms; the wheel alone scrolls as usual.
  QWidget* viewport = ui.ScrollBox->viewport();
  QWheelEvent up(QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)), {}, {0, 120}, Qt::NoButton,
                 Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &up);
  EXPECT_DOUBLE_EQ(w.Zoom(), 1.5);
  QWheelEvent plain(QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)), {}, {0, 120}, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &plain);
  EXPECT_DOUBLE_EQ(w.Zoom(), 1.5);

  // The scaled pane paints the frame's pixels, not blank.
  QImage shot(ui.Pane->size(), QImage::Format_RGB32);
  shot.fill(Qt::black);
  {
    QPainter p(&shot);
    ui.Pane->Paint(p, shot.rect());
  }
  EXPECT_EQ(shot.pixel(299, 134), qRgb(20, 90, 160));
}

TEST_F(WindowViewTest, OpeningGrowsTheWindowOrFitsThePicture) {
  TFrmKestal w;
  w.show();
  const QRect available = w.screen()->availableGeometry();
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(dir_, 640, 427, "coffee.png")));
  if (available.height() >= 427 + 384 + 200) {
    EXPECT_DOUBLE_EQ(w.Zoom(), 1.0);
    EXPECT_GE(w.Ui().ScrollBox->viewport()->height(), 427 + 384) << "photo and reflection show whole";
  }
  EXPECT_LE(w.frameGeometry().height(), available.height());
  ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(dir_, available.width() * 3, 100, "wide.png")));
  EXPECT_LT(w.Zoom(), 1.0) << "too wide for the screen: the view fits it";
  EXPECT_LE(w.Ui().ScrollContent->width(), w.Ui().ScrollBox->maximumViewportSize().width());
}

// The zoom the person chose (kept between runs) is the one each photo opens at, when
// the picture shows whole at it.
TEST_F(WindowViewTest, APhotoOpensAtTheChosenZoom) {
  for (double zoom : {0.5, 2.0}) {
    TFrmKestal w;
    w.SetZoom(zoom);
    w.show();
    ASSERT_TRUE(w.OpenPhotoFile(WritePhoto(dir_, 60, 40, "small.png")));
    EXPECT_DOUBLE_EQ(w.Zoom(), zoom);
    EXPECT_EQ(w.Ui().Image1->width(), static_cast<int>(60 * zoom));
  }
}

TEST_F(WindowViewTest, MinimumSizeKeepsEveryToolPanelControlVisible) {
  TFrmKestal w;
  w.show();
  w.resize(w.minimumSize());
  QApplication::processEvents();
  const auto& ui = w.Ui();
  const QRect panel = ui.PnlOutils->rect();
  for (QWidget* c : std::initializer_list<QWidget*>{ui.ToolBar, ui.Label1, ui.EditFrames, ui.Label2, ui.EditPct,
                                                    ui.RBPerspective, ui.RBRegul})
    EXPECT_TRUE(panel.contains(c->geometry())) << c->metaObject()->className();
  // No label runs under its spin edit, and the radio buttons show their whole text.
  EXPECT_LT(ui.Label1->x() + ui.Label1->sizeHint().width(), ui.EditFrames->x() + 1);
  EXPECT_LT(ui.Label2->x() + ui.Label2->sizeHint().width(), ui.EditPct->x() + 1);
  for (QRadioButton* rb : {ui.RBPerspective, ui.RBRegul}) EXPECT_GE(rb->width(), rb->sizeHint().width());

  // At two device pixels per pixel the glyph is drawn from a doubled copy, pixel for
  // pixel, not from a blurred enlargement.
  const QImage one = ui.BtnOpen->icon().pixmap(QSize(39, 34), 1.0).toImage();
  const QImage two = ui.BtnOpen->icon().pixmap(QSize(39, 34), 2.0).toImage();
  ASSERT_EQ(two.size(), QSize(78, 68));
  for (int y = 0; y < 34; y += 3)
    for (int x = 0; x < 39; x += 3) ASSERT_EQ(two.pixel(2 * x + 1, 2 * y + 1), one.pixel(x, y)) << x << "," << y;
}

TEST_F(WindowViewTest, SettingsRoundTripAndFallBack) {
  const QString photo = WritePhoto(dir_, 30, 20, "kept.png");
  {
    TFrmKestal w;
    TFrmExport dialog(&w);
    w.SetExportForm(&dialog);
    w.LoadSettings();
    EXPECT_EQ(w.Ui().EditPct->value(), 90) << "the first start uses the defaults";
    const auto& ui = w.Ui();
    ui.EditFrames->setValue(12);
    ui.EditPct->setValue(55);
    ui.RBRegul->setChecked(true);
    ui.VitesseRapide->trigger();
    ui.OndeLongue->trigger();
    dialog.findChild<QComboBox*>("CmbExport")->setCurrentIndex(3);
    dialog.findChild<QRadioButton*>("RBKestal")->setChecked(true);
    dialog.findChild<QSpinBox*>("SENO")->setValue(7);
    dialog.findChild<QSpinBox*>("SEScale")->setValue(40);
    dialog.findChild<QCheckBox*>("CBLossless")->setChecked(true);
    dialog.findChild<QCheckBox*>("CBSeconds")->setChecked(true);
    dialog.findChild<QDoubleSpinBox*>("SESeconds")->setValue(2.5);
    ASSERT_TRUE(w.OpenPhotoFile(photo));
    w.SetZoom(0.5);
    WaterSettings water;
    water.tintPercent = 40;
    water.blurRadius = 2;
    w.ApplyWater(water);
    SetLastSaveFolder(QString::fromStdString(dir_.path().string()));
    w.close();
    SetLastSaveFolder(QString());
  }
  {
    TFrmKestal w;
    TFrmExport dialog(&w);
    w.SetExportForm(&dialog);
    w.LoadSettings();
    const auto& ui = w.Ui();
    EXPECT_EQ(ui.EditFrames->value(), 12);
    EXPECT_EQ(ui.EditPct->value(), 55);
    EXPECT_TRUE(ui.RBRegul->isChecked());
    EXPECT_EQ(ui.Timer->interval(), 50);
    EXPECT_TRUE(ui.VitesseRapide->isChecked());
    EXPECT_EQ(w.WaveLength(), WaveLength::Long);
    EXPECT_EQ(dialog.FormatIndex(), 3);
    EXPECT_FALSE(dialog.PhotoAndReflection());
    EXPECT_EQ(dialog.Repetitions(), 7);
    EXPECT_EQ(dialog.Scale().percent, 40);
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("CBLossless")->isChecked());
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("CBSeconds")->isChecked());
    EXPECT_DOUBLE_EQ(dialog.findChild<QDoubleSpinBox*>("SESeconds")->value(), 2.5);
    EXPECT_DOUBLE_EQ(w.Zoom(), 0.5);
    EXPECT_EQ(w.Model().Water().tintPercent, 40);
    EXPECT_EQ(w.Model().Water().blurRadius, 2);
    EXPECT_EQ(LastSaveFolder(), QString::fromStdString(dir_.path().string()));
    EXPECT_EQ(w.RecentFiles(), QStringList{photo});
    ASSERT_EQ(ui.MenuRecent->actions().size(), 1);
  }

  // Values out of range, of the wrong type, or a file that cannot be parsed: defaults.
  {
    QSettings store;
    store.setValue("animation/frames", 99);
    store.setValue("animation/height", "tall");
    store.setValue("animation/interval", 77);
    store.setValue("window/zoom", -3);
    store.setValue("export/scale", 5);
    store.setValue("export/seconds", 9000);
  }
  const WindowSettings defaults;
  QSettings store;
  WindowSettings read = LoadWindowSettings(store);
  EXPECT_EQ(read.frames, defaults.frames);
  EXPECT_EQ(read.percent, defaults.percent);
  EXPECT_EQ(read.intervalMs, defaults.intervalMs);
  EXPECT_EQ(read.zoom, defaults.zoom);
  const ExportChoices readChoices = LoadExportChoices(store);
  EXPECT_EQ(readChoices.scalePercent, ExportChoices{}.scalePercent);
  EXPECT_EQ(readChoices.seconds, ExportChoices{}.seconds);
  const QString broken = QString::fromStdString(dir_ / "broken.conf");
  {
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[animation]\nframes=12\n[broken\n\x01\x02=\"\n");
  }
  QSettings damaged(broken, QSettings::IniFormat);
  read = LoadWindowSettings(damaged);
  EXPECT_EQ(read.frames, defaults.frames) << "an unreadable file gives every default";
}

// A settings file as the program has always written it: every stored key still reaches
// its setting, so the choices people have kept load after the settings moved home.
TEST_F(WindowViewTest, StoredSettingsKeepTheirKeys) {
  const QString file = QString::fromStdString(dir_ / "stored.conf");
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[animation]\nframes=12\nheight=55\nregular=true\ninterval=50\nwave=3\n"
            "[export]\nformat=5\nreflectionOnly=true\ncolors=1\nrepetitions=7\nscale=40\nlossless=true\n"
            "bySeconds=true\nseconds=2.5\n"
            "[folders]\nopen=/o\nsave=/s\n[recent]\nfiles=/a.png, /b.png\n[window]\nzoom=0.5\n"
            "[water]\nline=12\nlineInPercent=false\ntintColor=#010203\ntint=9\nfade=100\nfadeSmooth=true\n"
            "fadeToTint=true\nblur=10\nstrength=0\n");
  }
  QSettings store(file, QSettings::IniFormat);
  const AppSettings s = LoadAppSettings(store);
  EXPECT_EQ(s.window.frames, 12);
  EXPECT_EQ(s.window.percent, 55);
  EXPECT_TRUE(s.window.regularMode);
  EXPECT_EQ(s.window.intervalMs, 50);
  EXPECT_EQ(s.window.waveLength, WaveLength::Long);
  EXPECT_EQ(s.window.openFolder, QStringLiteral("/o"));
  EXPECT_EQ(s.window.saveFolder, QStringLiteral("/s"));
  EXPECT_EQ(s.window.recentFiles, (QStringList{"/a.png", "/b.png"}));
  EXPECT_DOUBLE_EQ(s.window.zoom, 0.5);
  EXPECT_EQ(s.exportChoices, (ExportChoices{5, true, 1, 7, 40, true, true, 2.5}));
  WaterSettings water;
  water.line = {12, WaterLine::Unit::Rows};
  water.tintColor = Rgb(1, 2, 3);
  water.tintPercent = 9;
  water.fadePercent = 100;
  water.fadeCurve = FadeCurve::Smooth;
  water.fadeTarget = FadeTarget::Tint;
  water.blurRadius = 10;
  water.strengthPercent = 0;
  EXPECT_EQ(s.water, water);
  // Written back, the same keys hold the same values.
  QSettings copy(QString::fromStdString(dir_ / "copy.conf"), QSettings::IniFormat);
  SaveAppSettings(copy, s);
  for (const QString& key : store.allKeys()) EXPECT_EQ(copy.value(key).toString(), store.value(key).toString()) << key.toStdString();
}

TEST_F(WindowViewTest, RecentPhotosKeepEightAndDropMissingOnes) {
  QStringList list;
  for (int i = 0; i < 10; ++i) list = WithRecentFile(list, QString::number(i));
  EXPECT_EQ(list, (QStringList{"9", "8", "7", "6", "5", "4", "3", "2"}));
  EXPECT_EQ(WithRecentFile(list, "5").first(), QStringLiteral("5"));
  EXPECT_EQ(WithRecentFile(list, "5").size(), 8);

  TFrmKestal w;
  const QString gone = WritePhoto(dir_, 10, 10, "gone.png");
  ASSERT_TRUE(w.OpenPhotoFile(gone));
  ASSERT_TRUE(QFile::remove(gone));
  w.Ui().MenuRecent->actions().first()->trigger();
  EXPECT_TRUE(w.RecentFiles().isEmpty());
  EXPECT_TRUE(prompts_.errors.empty()) << "a missing recent photo is dropped quietly";
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) {
  // Settings go to a fresh folder, never to the person's own.
  kestal::test::TempDir config;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
  QCoreApplication::setOrganizationName(QStringLiteral("Kestal"));
  QCoreApplication::setApplicationName(QStringLiteral("Kestal"));
  return kestal::test::GuiTestMain(argc, argv);
}
