// The water panel: its controls drive the window's model with a live preview, the line
// over the photo follows it and drags, and an export from the window writes the bytes
// kestal-export writes with the same water options.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QThread>
#include <QStatusBar>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "gui/app_settings.h"
#include "gui/bmp_image.h"
#include "gui/export_commands.h"
#include "gui/export_dialog.h"
#include "gui/main_window.h"
#include "gui/mirror_builder.h"
#include "gui/prompts.h"
#include "gui/water_panel.h"
#include "imageio/image_files.h"
#include "support/gui_support.h"
#include "support/sequence_prompts.h"
#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;

using test::SequencePrompts;

void FailOnError(const Error& error) { ADD_FAILURE() << error.Text(); }

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class WaterPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    photo_ = tmp_ / "pond.bmp";
    ASSERT_TRUE(SaveBitmapFile(photo_, test::Noise(41, 30, 3)).ok());
    SetPrompts(&failing_);
    ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
    window_.show();
    window_.findChild<QAction*>("OptionEau")->trigger();
    panel_ = window_.findChild<TFrmWater*>();
    ASSERT_NE(panel_, nullptr);
  }

  void TearDown() override { SetPrompts(nullptr); }

  // Any box the window shows is a failure here.
  SequencePrompts failing_{std::string(), FailOnError};
  test::TempDir tmp_;
  std::string photo_;
  TFrmKestal window_;
  TFrmWater* panel_ = nullptr;
};

TEST_F(WaterPanelTest, ControlsShapeTheModelAndTheLayout) {
  EXPECT_EQ(panel_->SpinLine->maximum(), 30);
  EXPECT_EQ(panel_->SpinLine->value(), 30) << "the default line is the bottom edge";
  EXPECT_TRUE(panel_->LineHandle->isVisible());

  // Each control's way to the model is checked by the export test below, whose bytes
  // must match the command line's; here, the layout that follows the line.
  panel_->SpinLine->setValue(20);
  EXPECT_EQ(window_.Model().Water().line, (WaterLine{20, WaterLine::Unit::Rows}));
  // The photo is shown down to the line and the reflection (90 % of 20 rows) under it.
  EXPECT_EQ(window_.Ui().Image1->height(), 20);
  EXPECT_EQ(window_.Ui().Pane->y(), window_.Ui().Image1->y() + 20);
  EXPECT_EQ(window_.Ui().Pane->height(), 18);
  EXPECT_EQ(window_.StatusText(0), QStringLiteral("41x38"));

  // Dragging the line 5 rows down moves the water line there.
  WaterLineHandle* handle = panel_->LineHandle;
  EXPECT_EQ(handle->y(), window_.Ui().Image1->y() + 20 - 3);
  const QPointF at(10, 3), to(10, 3 + 5);
  QMouseEvent press(QEvent::MouseButtonPress, at, handle->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(handle, &press);
  EXPECT_EQ(window_.Model().WaterLineRow(), 20) << "a press alone moves nothing";
  QMouseEvent move(QEvent::MouseMove, to, handle->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(handle, &move);
  EXPECT_EQ(window_.Model().WaterLineRow(), 25);
  EXPECT_EQ(handle->y(), window_.Ui().Image1->y() + 25 - 3) << "the handle follows the line";

  panel_->BtnDefaults->click();
  EXPECT_EQ(window_.Model().Water(), WaterSettings{}) << "the bottom edge is the default line again";
  panel_->close();
  EXPECT_FALSE(handle->isVisible()) << "the line shows only while the panel is open";
}

// While any water effect is on, the status bar says so, also after the next photo
// opens; the panel's reset puts the plain mirror back and the note goes.
TEST_F(WaterPanelTest, TheStatusBarShowsWhileWaterEffectsAreOn) {
  auto* note = window_.statusBar()->findChild<QLabel*>("StatusWater");
  ASSERT_NE(note, nullptr);
  EXPECT_FALSE(note->isVisible());
  panel_->SpinBlur->setValue(2);
  EXPECT_TRUE(note->isVisible());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
  EXPECT_TRUE(note->isVisible()) << "the effects carry over to the next photo";
  panel_->BtnDefaults->click();
  EXPECT_EQ(window_.Model().Water(), WaterSettings{});
  EXPECT_FALSE(note->isVisible());
}

TEST_F(WaterPanelTest, ExportWritesTheCommandLineBytes) {
  panel_->SpinLine->setValue(22);
  panel_->ShowSettings([] {
    WaterSettings w;
    w.tintColor = Rgb(0x20, 0x60, 0x80);
    w.tintPercent = 35;
    w.fadePercent = 80;
    w.fadeTarget = FadeTarget::Tint;
    w.blurRadius = 1;
    w.strengthPercent = 60;
    w.line = {22, WaterLine::Unit::Rows};
    return w;
  }());
  panel_->SpinBlur->setValue(3);  // applies everything the panel shows
  window_.Ui().EditFrames->setValue(3);

  const fs::path mine = tmp_.path() / "window";
  const fs::path cli = tmp_.path() / "cli";
  fs::create_directories(mine);
  SequencePrompts prompts(mine.string(), FailOnError);
  SetPrompts(&prompts);
  window_.ExportAnimation();
  SetPrompts(&failing_);
  const auto r = test::RunCommand(test::ShellQuote(KESTAL_EXPORT_BIN) +
                                  " -q -n 3 -f bmp --water-line 22 --tint 206080:35 --fade 80:tint --blur 3"
                                  " --strength 60 " +
                                  test::ShellQuote(photo_) + " " + test::ShellQuote(cli.string() + "/") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* name : {"pond00.bmp", "pond01.bmp", "pond02.bmp"}) {
    ASSERT_TRUE(fs::exists(mine / name)) << name;
    EXPECT_EQ(ReadAll(mine / name), ReadAll(cli / name)) << name << " differs";
  }
}

// The export reads the model on its own thread: a change made meanwhile waits for
// the export's end instead of rebuilding the mirror under it.
TEST_F(WaterPanelTest, ChangesDuringAnExportApplyAfterIt) {
  window_.BeginExport();
  const Bitmap24* mirror = &window_.Model().MirrorBitmap();
  const std::vector<uint8_t> before(mirror->Row(0), mirror->Row(0) + 3 * mirror->Width());
  panel_->SpinTint->setValue(60);
  EXPECT_EQ(window_.Model().Water().tintPercent, 0) << "the model stays as the export found it";
  EXPECT_TRUE(std::equal(before.begin(), before.end(), window_.Model().MirrorBitmap().Row(0)));
  EXPECT_EQ(window_.AppliedWater().tintPercent, 60);
  window_.EndExport();
  EXPECT_EQ(window_.Model().Water().tintPercent, 60);
}

// Runs the event loop until `done` holds (at most a minute: a failure, not a hang).
template <class Done>
bool ProcessEventsUntil(Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents();
    QThread::msleep(1);
  }
  return done();
}

// Changes made while a mirror is built: only the newest one's mirror arrives, built
// for its settings; Finish delivers at once and Cancel delivers nothing.
TEST(MirrorBuilderTest, DeliversTheNewestSettingsOnly) {
  const Bitmap24 photo = test::Noise(300, 200, 9);
  std::vector<std::pair<WaterSettings, Bitmap24>> delivered;
  MirrorBuilder builder(nullptr, [&](const WaterSettings& water, int percent, Result<Bitmap24> mirror) {
    EXPECT_EQ(percent, 80);
    ASSERT_TRUE(mirror.ok());
    delivered.emplace_back(water, std::move(mirror.value()));
  });
  WaterSettings w;
  for (int blur = 1; blur <= 3; ++blur) {
    w.blurRadius = blur;
    builder.Start(photo, 80, w);
  }
  ASSERT_TRUE(ProcessEventsUntil([&] { return builder.Wanted() == nullptr; }));
  ASSERT_EQ(delivered.size(), 1u) << "the mirrors of older settings are dropped";
  EXPECT_EQ(delivered[0].first.blurRadius, 3);
  EXPECT_TRUE(delivered[0].second.SamePixels(BuildWaterMirror(photo, 80, w).value()));

  w.tintPercent = 50;
  builder.Start(photo, 80, w);
  builder.Finish();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_TRUE(delivered[1].second.SamePixels(BuildWaterMirror(photo, 80, w).value()));
  w.fadePercent = 20;
  builder.Start(photo, 80, w);
  builder.Cancel();
  QThread::msleep(50);
  ASSERT_TRUE(ProcessEventsUntil([&] { return true; }));
  builder.Drop();
  QCoreApplication::processEvents();
  EXPECT_EQ(delivered.size(), 2u) << "a cancelled mirror is not delivered";
}

// On a photo larger than the preview, a change shows a smaller preview at once with
// the new water line, and the model takes the full-size mirror when it is built.
TEST_F(WaterPanelTest, ALargePhotoShowsAPreviewFirst) {
  const std::string large = (tmp_.path() / "lake.bmp").string();
  ASSERT_TRUE(SaveBitmapFile(large, test::Noise(2000, 1200, 4)).ok());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(large)));
  window_.Ui().EditPct->setValue(100);
  panel_->SpinBlur->setValue(5);
  panel_->SpinLine->setValue(900);
  EXPECT_TRUE(window_.ShowsWaterPreview());
  EXPECT_EQ(window_.ShownWaterLineRow(), 900);
  const double zoom = window_.Ui().Pane->Scale() * window_.Ui().Pane->Bitmap()->Width() / 2000;
  EXPECT_LT(window_.Ui().Pane->Bitmap()->Width(), 2000) << "a preview, not the full pane";
  EXPECT_EQ(window_.Ui().Image1->height(), std::lround(900 * zoom)) << "the photo is shown down to the new line";
  EXPECT_EQ(window_.AppliedWater().line, (WaterLine{900, WaterLine::Unit::Rows}));

  ASSERT_TRUE(ProcessEventsUntil([&] { return !window_.ShowsWaterPreview(); }));
  EXPECT_EQ(window_.Model().Water().blurRadius, 5);
  EXPECT_EQ(window_.Model().WaterLineRow(), 900);
  EXPECT_EQ(window_.Ui().Pane->Bitmap(), &window_.Model().PaneBitmap());
  EXPECT_TRUE(window_.Model().MirrorBitmap().SamePixels(
      BuildWaterMirror(window_.Model().Photo(), 100, window_.Model().Water()).value()));

  // An export takes the settings applied last, built on the spot if need be.
  panel_->SpinTint->setValue(40);
  EXPECT_TRUE(window_.ShowsWaterPreview());
  window_.SettleWater();
  EXPECT_FALSE(window_.ShowsWaterPreview());
  EXPECT_EQ(window_.Model().Water().tintPercent, 40);
}

TEST(WaterSettingsStore, RoundTripsAndRefusesOutOfRangeValues) {
  test::TempDir dir;
  QSettings settings(QString::fromStdString(dir / "kestal.ini"), QSettings::IniFormat);
  EXPECT_EQ(LoadWaterSettings(settings), WaterSettings{}) << "nothing stored: the defaults";
  WaterSettings w;
  w.line = {12, WaterLine::Unit::Rows};
  w.tintColor = Rgb(1, 2, 3);
  w.tintPercent = 9;
  w.fadePercent = 100;
  w.fadeCurve = FadeCurve::Smooth;
  w.fadeTarget = FadeTarget::Tint;
  w.blurRadius = 10;
  w.strengthPercent = 0;
  SaveWaterSettings(settings, w);
  EXPECT_EQ(LoadWaterSettings(settings), w);
  settings.setValue("water/blur", 99);
  EXPECT_EQ(LoadWaterSettings(settings), WaterSettings{});
}

// The natural water and the mode: a file without their keys gives the designed mode
// and the defaults; each value keeps its range.
TEST(WaterSettingsStore, NaturalWaterRoundTripsUnderItsOwnKeys) {
  test::TempDir dir;
  QSettings settings(QString::fromStdString(dir / "kestal.ini"), QSettings::IniFormat);
  settings.setValue("animation/regular", true);
  AppSettings loaded = LoadAppSettings(settings);
  EXPECT_EQ(loaded.natural, NaturalWaterSettings{});
  EXPECT_FALSE(loaded.window.naturalMode);
  EXPECT_TRUE(loaded.window.regularMode);
  loaded.window.naturalMode = true;
  loaded.natural = {0, -90, 100, false};
  SaveAppSettings(settings, loaded);
  EXPECT_EQ(LoadAppSettings(settings).natural, loaded.natural);
  EXPECT_TRUE(LoadAppSettings(settings).window.naturalMode);
  for (const char* bad : {"natural/wind=101", "natural/direction=-91", "natural/rain=x", "natural/glints=2"}) {
    SaveNaturalWater(settings, {77, 45, 5, false});
    const QStringList pair = QString::fromLatin1(bad).split('=');
    settings.setValue(pair[0], pair[1]);
    NaturalWaterSettings expected{77, 45, 5, false};
    if (pair[0].endsWith("wind")) expected.wind = NaturalWaterSettings{}.wind;
    if (pair[0].endsWith("direction")) expected.directionDegrees = 0;
    if (pair[0].endsWith("rain")) expected.rain = 0;
    if (pair[0].endsWith("glints")) expected.glints = true;
    EXPECT_EQ(LoadNaturalWater(settings), expected) << bad;
  }
}

// The mode in the Options menu and the panel's choice are one: either one sets it, a
// radio button leaves natural water, and the natural controls reach the model.
TEST_F(WaterPanelTest, ModeAndNaturalControls) {
  EXPECT_EQ(window_.CurrentMode(), WaveMode::Perspective);
  EXPECT_FALSE(panel_->SpinWind->isEnabled());
  window_.Ui().OptionNatural->trigger();
  EXPECT_EQ(window_.CurrentMode(), WaveMode::Natural);
  EXPECT_EQ(panel_->CmbMode->currentIndex(), int(WaveMode::Natural));
  EXPECT_TRUE(panel_->SpinWind->isEnabled());
  panel_->SpinWind->setValue(90);
  panel_->SpinDirection->setValue(-30);
  panel_->SpinRain->setValue(20);
  panel_->ChkGlints->setChecked(false);
  EXPECT_EQ(window_.Model().NaturalWater(), (NaturalWaterSettings{90, -30, 20, false}));
  window_.Ui().RBRegul->click();
  EXPECT_EQ(window_.CurrentMode(), WaveMode::Regular);
  EXPECT_FALSE(window_.Ui().OptionNatural->isChecked());
  EXPECT_EQ(panel_->CmbMode->currentIndex(), int(WaveMode::Regular));
  panel_->CmbMode->setCurrentIndex(int(WaveMode::Natural));
  emit panel_->CmbMode->activated(int(WaveMode::Natural));
  EXPECT_TRUE(window_.Ui().OptionNatural->isChecked());
  panel_->BtnDefaults->click();
  EXPECT_EQ(window_.Model().NaturalWater(), NaturalWaterSettings{});
  EXPECT_EQ(window_.CurrentMode(), WaveMode::Natural) << "the defaults keep the mode";
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
