// Exporting from the main window, with the dialogs answered by the test: the window
// writes the same bytes as kestal-export with the same settings, every cancel writes
// nothing and leaves the animation stopped, and failures name their files.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <semaphore>

#include "gui/bmp_image.h"
#include "gui/export_commands.h"
#include "gui/main_window.h"
#include "gui/export_dialog.h"
#include "imageio/image_files.h"
#include "support/gui_support.h"
#include "support/test_support.h"
#include "text/string_table.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;

// The export dialog's choices and the answers to the questions that follow.
struct Answers {
  bool ok = true;
  int format = 2;
  bool reflectionOnly = false;
  int colorIndex = 3;
  int repetitions = 1;
  int scale = 100;       // the photo's scale in percent
  double seconds = 0;    // > 0: the clip's length in seconds instead of repetitions
  std::string folder;    // "" cancels the folder chooser
  std::string saveFile;  // "" cancels the save dialog
  int htmlAnswer = kMsgResultNo;
};

class ScriptedPrompts : public Prompts {
 public:
  explicit ScriptedPrompts(Answers a) : answers(std::move(a)) {}

  bool EditSettings(TFrmExport& dialog) override {
    dialog.findChild<QComboBox*>("CmbExport")->setCurrentIndex(answers.format);
    dialog.findChild<QRadioButton*>(answers.reflectionOnly ? "RBKestal" : "RBImage")->setChecked(true);
    dialog.findChild<QRadioButton*>(("RGCouleurs" + std::to_string(answers.colorIndex)).c_str())->setChecked(true);
    dialog.findChild<QSpinBox*>("SENO")->setValue(answers.repetitions);
    dialog.findChild<QSpinBox*>("SEScale")->setValue(answers.scale);
    dialog.findChild<QCheckBox*>("CBSeconds")->setChecked(answers.seconds > 0);
    if (answers.seconds > 0) dialog.findChild<QDoubleSpinBox*>("SESeconds")->setValue(answers.seconds);
    return answers.ok;
  }
  std::string ChooseFolder(const std::string& title, const std::string& initialFolder) override {
    folderTitle = title;
    folderInitial = initialFolder;
    return answers.folder;
  }
  std::string ChooseSaveFile(const SaveRequest& request) override {
    save = request;
    return answers.saveFile;
  }
  int Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) override {
    asked.push_back(message);
    EXPECT_EQ(kind, MsgConfirmation);
    EXPECT_EQ(buttons, MsgBtnYes | MsgBtnNo);
    return answers.htmlAnswer;
  }
  void ShowError(const Error& error) override { errors.push_back(error.Text()); }
  void OpenPage(const std::string& path) override { opened.push_back(path); }

  Answers answers;
  std::string folderTitle, folderInitial;
  SaveRequest save;
  std::vector<std::string> asked, errors, opened;
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class WindowExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLangDefaults();
    out_ = tmp_.path() / "out";
    fs::create_directory(out_);
    // A small photo with detail everywhere, so every frame differs.
    photo_ = (tmp_.path() / "lake.jpg").string();
    ASSERT_TRUE(SaveBitmapFile(photo_, test::Noise(37, 23, 7)).ok());
    window_.SetExportForm(&dialog_);
    SetPrompts(&setup_prompts_);
    ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
    window_.Ui().EditFrames->setValue(3);
    // Leave the animation running somewhere in its cycle: the export starts at frame 0
    // whatever the pane showed, and stops the animation.
    window_.OptionAnimerClick();
    window_.NextFrame();
  }

  void Export(ScriptedPrompts& prompts) {
    SetPrompts(&prompts);
    window_.ExportAnimation();
    SetPrompts(&setup_prompts_);
    EXPECT_FALSE(window_.Ui().Timer->isActive()) << "the animation stays stopped";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    EXPECT_EQ(window_.StatusText(1), QString::fromStdString(photo_));
  }

  // Exports from the window into out_/window, the dialogs answered by `answers`.
  void ExportInWindow(Answers answers, const std::string& output) {
    fs::remove_all(out_);
    fs::create_directories(out_ / "window");
    answers.folder = (out_ / "window").string();
    answers.saveFile = (out_ / "window" / output).string();
    ScriptedPrompts prompts(answers);
    Export(prompts);
    EXPECT_TRUE(prompts.errors.empty()) << prompts.errors.front();
  }

  // The files of `cliDir` are those the window wrote, byte for byte. Returns their names.
  std::vector<std::string> ExpectWindowFilesIn(const fs::path& cliDir) {
    const auto names = FilesIn(out_ / "window");
    EXPECT_EQ(names, FilesIn(cliDir));
    for (const std::string& name : names)
      EXPECT_TRUE(ReadAll(out_ / "window" / name) == ReadAll(cliDir / name)) << name << " differs";
    return names;
  }

  // Runs kestal-export on the same photo with the window's frame count and `args`.
  void RunCli(const std::string& args, const std::string& output) {
    const auto r = test::RunCommand(test::ShellQuote(KESTAL_EXPORT_BIN) + " -q -n 3 " + args + " " +
                                    test::ShellQuote(photo_) + " " + test::ShellQuote(output) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
  }

  void TearDown() override {
    SetPrompts(nullptr);
    EXPECT_TRUE(setup_prompts_.errors.empty()) << setup_prompts_.errors.front();
  }

  ScriptedPrompts setup_prompts_{Answers{}};
  test::TempDir tmp_;
  fs::path out_;
  std::string photo_;
  TFrmKestal window_;
  TFrmExport dialog_{&window_};
};

TEST_F(WindowExportTest, EveryFormatWritesTheCommandLineBytes) {
  struct Row {
    const char* what;
    Answers answers;
    const char* cliArgs;
    const char* output;  // a file name, or a folder ending in '/'
    bool water = false;  // the window's water shaped as test::ShapedWater, line at row 15
  } rows[] = {
      {"BMP sequence, photo and reflection", {.format = 0}, "-f bmp", "seq/"},
      {"JPG sequence, reflection only", {.format = 1, .reflectionOnly = true}, "-f jpg -r", "seq/"},
      {"GIF, 32 colours", {.format = 2, .colorIndex = 1}, "-c 32", "lake.gif"},
      {"GIF, reflection only, 256 colours", {.format = 2, .reflectionOnly = true}, "-r", "lake.gif"},
      {"AVI, two repetitions", {.format = 3, .repetitions = 2}, "-R 2", "lake.avi"},
      {"MP4, two repetitions", {.format = 4, .repetitions = 2}, "-R 2", "lake.mp4"},
      {"WebM, reflection only", {.format = 5, .reflectionOnly = true}, "-r", "lake.webm"},
      {"WebP", {.format = 6}, "", "lake.webp"},
      {"APNG", {.format = 7}, "", "lake.png"},
      // A scale for every format; the waves are computed on the scaled photo.
      {"BMP sequence at 50 %", {.format = 0, .scale = 50}, "-f bmp --scale 50", "seq/"},
      {"JPG sequence at 30 %, reflection only", {.format = 1, .reflectionOnly = true, .scale = 30},
       "-f jpg -r --scale 30", "seq/"},
      {"GIF, 64 colours at 70 %", {.format = 2, .colorIndex = 2, .scale = 70}, "-c 64 --scale 70", "lake.gif"},
      {"AVI, two repetitions at 45 %", {.format = 3, .repetitions = 2, .scale = 45}, "-R 2 --scale 45", "lake.avi"},
      {"MP4 at 60 %", {.format = 4, .scale = 60}, "--scale 60", "lake.mp4"},
      {"WebP, 1.9 seconds at 50 %", {.format = 6, .scale = 50, .seconds = 1.9}, "--seconds 1.9 --scale 50",
       "lake.webp"},
      {"APNG, 1 second", {.format = 7, .seconds = 1}, "--seconds 1", "lake.png"},
      // Scaling keeps the water: tint, fade, blur and strength, and a line that moves with the photo.
      {"BMP sequence at 50 %, with water", {.format = 0, .scale = 50}, "-f bmp --scale 50", "seq/", true},
      {"GIF at 70 %, reflection only, with water", {.format = 2, .reflectionOnly = true, .scale = 70},
       "-r --scale 70", "lake.gif", true},
      {"WebM at 60 %, with water", {.format = 5, .scale = 60}, "--scale 60", "lake.webm", true},
  };
  const std::string waterOptions = std::string(" --water-line 15 ") + test::kShapedWaterOptions;
  const WaterSettings shaped = test::ShapedWater({15, WaterLine::Unit::Rows});
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    const bool sequence = row.answers.format < 2;
    window_.ApplyWater(row.water ? shaped : WaterSettings{});
    ExportInWindow(row.answers, row.output);
    const fs::path cli = out_ / "cli";
    fs::create_directories(cli);
    RunCli(std::string(row.cliArgs) + (row.water ? waterOptions : std::string()), (cli / row.output).string());
    EXPECT_EQ(ExpectWindowFilesIn(sequence ? cli / "seq" : cli).size(), sequence ? 3u : 1u);
    // At a scale the export runs on a scaled copy, and the pane keeps the window's size.
    if (row.answers.scale == 100) {
      EXPECT_EQ(window_.FrameIndex(), 2) << "an export ends on the last frame of its cycle";
    }
  }
}

TEST_F(WindowExportTest, CancelWritesNothing) {
  struct Row {
    const char* what;
    Answers answers;
  } rows[] = {
      {"export dialog cancelled", {.ok = false, .format = 0, .folder = "F"}},
      {"folder chooser cancelled", {.format = 1}},
      {"GIF save dialog cancelled", {.format = 2}},
      {"AVI save dialog cancelled", {.format = 3}},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.answers.folder.empty()) row.answers.folder = out_.string();
    if (!window_.Ui().Timer->isActive()) window_.OptionAnimerClick();
    ASSERT_TRUE(window_.Ui().Timer->isActive());
    ScriptedPrompts prompts(row.answers);
    Export(prompts);
    EXPECT_TRUE(FilesIn(out_).empty());
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_TRUE(prompts.asked.empty());
  }
}

TEST_F(WindowExportTest, WhereTheDialogsStart) {
  ScriptedPrompts sequence({.format = 0});
  Export(sequence);
  EXPECT_EQ(sequence.folderTitle, "Saving folder :");
  EXPECT_EQ(sequence.folderInitial, fs::current_path().string());

  ScriptedPrompts gif({.format = 2});
  Export(gif);
  EXPECT_EQ(gif.save.proposedName, QStringLiteral("lake.gif"));
  EXPECT_EQ(gif.save.defaultSuffix, QStringLiteral("gif"));
  ScriptedPrompts avi({.format = 3});
  Export(avi);
  EXPECT_EQ(avi.save.proposedName, QStringLiteral("lake.avi"));
  EXPECT_EQ(avi.save.filter, QStringLiteral("AVI (*.avi)"));
}

TEST_F(WindowExportTest, HtmlPageOnlyOnYes) {
  ScriptedPrompts no({.format = 2, .saveFile = (out_ / "lake.gif").string()});
  Export(no);
  ASSERT_EQ(no.asked.size(), 1u);
  EXPECT_EQ(no.asked[0], "Вам создать HTML страницу для теста ?     ");
  EXPECT_EQ(FilesIn(out_), std::vector<std::string>{"lake.gif"});
  EXPECT_TRUE(no.opened.empty());

  ScriptedPrompts yes({.format = 2, .reflectionOnly = true, .saveFile = (out_ / "lake.gif").string(),
                       .htmlAnswer = kMsgResultYes});
  Export(yes);
  EXPECT_EQ(FilesIn(out_), (std::vector<std::string>{"lake.gif", "lake.htm"}));
  ASSERT_EQ(yes.opened.size(), 1u);
  EXPECT_EQ(yes.opened[0], (out_ / "lake.htm").string());
  const std::string page = ReadAll(out_ / "lake.htm");
  EXPECT_NE(page.find("lake.jpg"), std::string::npos) << "the reflection-only page shows the photo";
  EXPECT_NE(page.find("lake.jpg\" width=\"37\" height=\"23\"><br>"), std::string::npos) << page;
  EXPECT_NE(page.find("lake.gif\" width=\"37\" height=\"21\">"), std::string::npos) << "23 rows at 90 %";
}

TEST_F(WindowExportTest, FailuresNameTheirFiles) {
  const std::string missing = (tmp_.path() / "missing").string();
  ScriptedPrompts sequence({.format = 0, .folder = missing});
  Export(sequence);
  ASSERT_EQ(sequence.errors.size(), 3u) << "one box per frame that could not be written";
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(sequence.errors[i].find(missing + "/lake0" + std::to_string(i) + ".bmp"), std::string::npos)
        << sequence.errors[i];

  const char* files[] = {"", "", "/a.gif", "/a.avi", "/a.mp4", "/a.webm", "/a.webp", "/a.png"};
  for (int format : {2, 3, 4, 5, 6, 7}) {
    const std::string file = missing + files[format];
    ScriptedPrompts one({.format = format, .saveFile = file});
    Export(one);
    ASSERT_EQ(one.errors.size(), 1u) << format;
    EXPECT_NE(one.errors[0].find(file), std::string::npos) << one.errors[0];
    EXPECT_TRUE(one.asked.empty()) << "no page is offered for a GIF that failed";
  }
  EXPECT_FALSE(fs::exists(missing));
}

// Run under the encoder-less libavcodec by MissingEncoderShowsABox below; skipped
// when the encoders are there.
TEST_F(WindowExportTest, MissingEncoderInner) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (!preload || std::string(preload) != KESTAL_NO_ENCODERS_LIB) GTEST_SKIP() << "runs under MissingEncoderShowsABox";
  const struct {
    int format;
    const char* file;
    const char* encoder;
  } rows[] = {{4, "a.mp4", "libx264"}, {5, "a.webm", "libvpx-vp9"}, {7, "a.png", "apng"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    const std::string file = (out_ / r.file).string();
    ScriptedPrompts prompts({.format = r.format, .saveFile = file});
    Export(prompts);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], "Unable to write the clip \"" + file + "\"\nthis system's FFmpeg has no " +
                                     r.encoder + " encoder");
    EXPECT_TRUE(FilesIn(out_).empty()) << "no file, finished or temporary";
  }
}

// A codec missing at run time: the window, with libavcodec's encoders hidden, shows
// one error box naming the file and the cause, and leaves nothing.
TEST(WindowExportNoEncoders, MissingEncoderShowsABox) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const auto r = test::RunCommand("LD_PRELOAD=" + test::ShellQuote(KESTAL_NO_ENCODERS_LIB) + " " +
                                  test::ShellQuote(self) + " --gtest_filter=WindowExportTest.MissingEncoderInner 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("SKIPPED"), std::string::npos) << r.output;
}

// The window's own settings, set through its controls as a user would.
struct WindowSettings {
  bool regular = false;
  int wave = 2;           // 1 short, 2 medium, 3 long
  int intervalMs = 120;
  int frames = 3;
  int percent = 90;
  // Natural water, chosen in the Options menu, with its settings.
  bool natural = false;
  NaturalWaterSettings water;
};

void Apply(TFrmKestal& w, const WindowSettings& s) {
  (s.regular ? w.Ui().RBRegul : w.Ui().RBPerspective)->setChecked(true);
  w.OndeClick(s.wave == 1 ? w.Ui().OndeCourte : s.wave == 2 ? w.Ui().OndeMoyenne : w.Ui().OndeLongue);
  w.VitesseClick(s.intervalMs == 200 ? w.Ui().VitesseLente : s.intervalMs == 120 ? w.Ui().VitesseMoyenne : w.Ui().VitesseRapide);
  w.Ui().EditFrames->setValue(s.frames);
  w.Ui().EditPct->setValue(s.percent);
  w.Ui().OptionNatural->setChecked(!s.natural);
  w.Ui().OptionNatural->trigger();
  w.ApplyNaturalWater(s.water);
}

// The kestal-export options for the same settings.
std::string CliArguments(const WindowSettings& w, const Answers& a) {
  static const char* const kFormats[] = {"bmp", "jpg", "gif", "avi"};
  static const char* const kWaves[] = {"", "short", "medium", "long"};
  static const char* const kColors[] = {"16", "32", "64", "256"};
  std::string args = std::string("-f ") + kFormats[a.format] + " -m " +
                     (w.natural ? "natural" : w.regular ? "regular" : "perspective") +
                     " -w " + kWaves[w.wave] + " -s " +
                     (w.intervalMs == 200 ? "slow" : w.intervalMs == 120 ? "medium" : "fast") +
                     " -n " + std::to_string(w.frames) + " -p " + std::to_string(w.percent);
  if (a.reflectionOnly) args += " -r";
  if (w.natural) {
    args += " --wind " + std::to_string(w.water.wind) + " --direction=" + std::to_string(w.water.directionDegrees) +
            " --rain " + std::to_string(w.water.rain) + " --glints " + (w.water.glints ? "on" : "off");
  }
  if (a.format == 2) args += std::string(" -c ") + kColors[a.colorIndex];
  if (a.format == 3) args += " -R " + std::to_string(a.repetitions);
  return args;
}

TEST_F(WindowExportTest, EverySettingWritesTheCommandLineBytes) {
  struct Row {
    const char* what;
    WindowSettings window;
    Answers answers;
    const char* output;
  } rows[] = {
      {"regular, short waves, slow, GIF 16", {.regular = true, .wave = 1, .intervalMs = 200},
       {.format = 2, .colorIndex = 0}, "a.gif"},
      {"regular, long waves, fast, 30 frames, AVI x3", {.regular = true, .wave = 3, .intervalMs = 50, .frames = 30},
       {.format = 3, .repetitions = 3}, "a.avi"},
      {"regular, 2 frames, 30 %, BMP", {.regular = true, .frames = 2, .percent = 30}, {.format = 0}, "seq/"},
      {"regular, 100 %, reflection only, JPG", {.regular = true, .percent = 100},
       {.format = 1, .reflectionOnly = true}, "seq/"},
      {"perspective, long waves, slow, 2 frames, GIF 256 of the reflection",
       {.wave = 3, .intervalMs = 200, .frames = 2}, {.format = 2, .reflectionOnly = true}, "a.gif"},
      {"perspective, fast, 30 frames, 30 %, GIF 16", {.intervalMs = 50, .frames = 30, .percent = 30},
       {.format = 2, .colorIndex = 0}, "a.gif"},
      {"perspective, short waves, 100 %, AVI x2 of the reflection", {.wave = 1, .percent = 100},
       {.format = 3, .reflectionOnly = true, .repetitions = 2}, "a.avi"},
      {"natural, its defaults, GIF 256", {.frames = 4, .natural = true}, {.format = 2}, "a.gif"},
      {"natural, breezy rain across without glints, BMP",
       {.frames = 3, .percent = 100, .natural = true, .water = {100, -70, 80, false}}, {.format = 0}, "seq/"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    Apply(window_, row.window);
    ExportInWindow(row.answers, row.output);
    const fs::path cli = out_ / "cli";
    fs::create_directories(cli);
    // The later -n wins over RunCli's own.
    RunCli(CliArguments(row.window, row.answers), (cli / row.output).string());
    EXPECT_FALSE(ExpectWindowFilesIn(row.answers.format < 2 ? cli / "seq" : cli).empty());
  }
}

// The export runs on its own thread and hands the window the frame it has just made; the
// window paints the newest one it has, so a busy window may skip frames, but the pane
// follows the export and ends on the model's frame.
TEST_F(WindowExportTest, ThePaneFollowsTheExport) {
  window_.show();
  for (int i = 0; i < 200 && !(window_.windowHandle() && window_.windowHandle()->isExposed()); ++i) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
  QApplication::processEvents();
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  window_.Ui().Pane->installEventFilter(&counter);
  ScriptedPrompts prompts({.format = 3, .saveFile = (out_ / "a.avi").string()});
  Export(prompts);
  window_.Ui().Pane->removeEventFilter(&counter);
  EXPECT_GE(counter.paints, 1) << "the pane is painted while the export runs";
  const QImage shown = window_.Ui().Pane->grab().toImage().convertToFormat(QImage::Format_BGR888);
  const Bitmap24& pane = window_.Model().PaneBitmap();
  ASSERT_EQ(shown.height(), pane.Height());
  for (int32_t y = 0; y < pane.Height(); ++y)
    ASSERT_EQ(std::memcmp(shown.constScanLine(y), pane.Row(y), 3 * size_t(pane.Width())), 0) << "row " << y;
}

TEST_F(WindowExportTest, OlderFramesBeyondTheCountAreAskedAboutOnce) {
  for (int i : {3, 4, 7}) std::ofstream(out_ / ("lake0" + std::to_string(i) + ".bmp")) << "old";
  std::ofstream(out_ / "lake5.bmp") << "another numbering";
  ScriptedPrompts no({.format = 0, .folder = out_.string()});
  Export(no);
  ASSERT_EQ(no.asked.size(), 1u);
  EXPECT_NE(no.asked[0].find(out_.string()), std::string::npos) << no.asked[0];
  EXPECT_NE(no.asked[0].find("3 older frames"), std::string::npos) << no.asked[0];
  EXPECT_NE(no.asked[0].find("03 to 07"), std::string::npos) << no.asked[0];
  EXPECT_FALSE(fs::exists(out_ / "lake00.bmp")) << "No writes nothing";

  ScriptedPrompts yes({.format = 0, .folder = out_.string(), .htmlAnswer = kMsgResultYes});
  Export(yes);
  EXPECT_EQ(yes.asked.size(), 1u);
  EXPECT_TRUE(fs::exists(out_ / "lake02.bmp"));
  EXPECT_EQ(ReadAll(out_ / "lake07.bmp"), "old");
}

// The window's export, holding its thread at frame 2 until the test has cancelled, so
// that the export cannot finish first.
class GatedExport : public ExportCommand {
 public:
  using ExportCommand::ExportCommand;
  void FrameStarted(int number, int total) override {
    ExportCommand::FrameStarted(number, total);
    if (number == 2) gate.acquire();
  }
  std::binary_semaphore gate{0};
};

// Cancel (or closing the window and answering Yes) while the export runs on its
// thread: it stops within a frame, leaves no file that looks finished, says so, and
// gives the commands back.
TEST_F(WindowExportTest, CancelledExportLeavesNothing) {
  // Large enough that every format takes many frames' time after the first.
  ASSERT_TRUE(SaveBitmapFile(photo_, test::Noise(900, 700, 3)).ok());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
  window_.Ui().EditFrames->setValue(12);
  struct Row {
    const char* what;
    Answers answers;
    bool byClosing;
  } rows[] = {
      {"BMP sequence, Cancel", {.format = 0}, false},
      {"GIF, Cancel", {.format = 2}, false},
      {"AVI, closing the window", {.format = 3, .repetitions = 5, .htmlAnswer = kMsgResultYes}, true},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.answers.folder = out_.string();
    row.answers.saveFile = (out_ / "lake.out").string();
    ScriptedPrompts prompts(row.answers);
    GatedExport command(window_, dialog_, prompts);
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
      if (!window_.ExportRunning()) return;
      // While it runs, the commands that would change the model are off.
      EXPECT_FALSE(window_.Ui().FichierExporter->isEnabled());
      EXPECT_FALSE(window_.Ui().EditPct->isEnabled());
      EXPECT_TRUE(window_.Ui().BtnCancelExport->isVisible() || !window_.isVisible());
      if (row.byClosing) window_.close();
      else window_.Ui().BtnCancelExport->click();
      stopper.stop();
      command.gate.release();
    });
    stopper.start(0);
    SetPrompts(&prompts);
    command.ExportAnimation();
    SetPrompts(&setup_prompts_);
    EXPECT_TRUE(FilesIn(out_).empty()) << "no frame, no temporary file";
    EXPECT_EQ(window_.StatusNotice(), QString::fromLatin1(kExportCancelledText));
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(prompts.asked.size(), row.byClosing ? 1u : 0u) << "closing asks whether to stop";
    for (QAction* a : {window_.Ui().FichierExporter, window_.Ui().FichierOuvrir, window_.Ui().OptionAnimer})
      EXPECT_TRUE(a->isEnabled());
    EXPECT_TRUE(window_.Ui().EditPct->isEnabled());
    EXPECT_TRUE(window_.Ui().BtnCancelExport->isHidden());
  }
}

// An export that is asked to stop once its last frame has begun, that is in its
// finishing steps: the encoder's flush, the assembly of the file, the rename.
class StopAfterLastFrame : public ExportCommand {
 public:
  using ExportCommand::ExportCommand;
  void FrameStarted(int number, int total) override {
    ExportCommand::FrameStarted(number, total);
    if (number == total) last_ = true;
  }
  bool StopRequested() const override {
    if (!last_) return false;
    if (!asked_.exchange(true)) since_ = std::chrono::steady_clock::now();
    return true;
  }
  std::chrono::steady_clock::time_point Since() const { return since_; }

 private:
  std::atomic<bool> last_{false};
  mutable std::atomic<bool> asked_{false};
  mutable std::chrono::steady_clock::time_point since_;
};

TEST_F(WindowExportTest, CancelStopsTheFinishingStepsAtOnce) {
  ASSERT_TRUE(SaveBitmapFile(photo_, test::Noise(640, 480, 5)).ok());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
  window_.Ui().EditFrames->setValue(12);
  const struct {
    int format;
    const char* file;
  } rows[] = {{2, "lake.gif"}, {3, "lake.avi"}, {4, "lake.mp4"}, {6, "lake.webp"}, {7, "lake.png"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    ScriptedPrompts prompts({.format = r.format, .saveFile = (out_ / r.file).string()});
    StopAfterLastFrame command(window_, dialog_, prompts);
    SetPrompts(&prompts);
    command.ExportAnimation();
    SetPrompts(&setup_prompts_);
    EXPECT_LT(std::chrono::steady_clock::now() - command.Since(), std::chrono::seconds(1));
    EXPECT_TRUE(FilesIn(out_).empty()) << "no file, finished or temporary";
    EXPECT_EQ(window_.StatusNotice(), QString::fromLatin1(kExportCancelledText));
    EXPECT_TRUE(prompts.errors.empty());
  }
}

// The save dialog never proposes the photo itself, and the photo chosen under any name
// (its own, a link to it, a frame's name) is refused in a box naming the file.
TEST_F(WindowExportTest, ThePhotoIsNeverProposedNorReplaced) {
  photo_ = (tmp_.path() / "coffee.png").string();
  fs::copy_file(fs::path(KESTAL_TEST_DATA_DIR) / "rgb7x5.png", photo_);
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
  const std::string before = ReadAll(photo_);
  // As after the open dialog, the save dialog opens in the photo's folder.
  const QString start = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(tmp_.path().string()));
  ScriptedPrompts apng({.format = 7});
  Export(apng);
  EXPECT_EQ(apng.save.proposedName, QStringLiteral("coffee-reflection.png"));
  std::ofstream(tmp_.path() / "coffee-reflection.png") << "an earlier export";
  Export(apng);
  EXPECT_EQ(apng.save.proposedName, QStringLiteral("coffee-reflection-2.png"));

  fs::create_symlink("coffee.png", tmp_.path() / "soft.png");
  fs::create_hard_link(photo_, out_ / "coffee01.bmp");
  const struct {
    Answers answers;
    std::string named;
  } rows[] = {
      {{.format = 7, .saveFile = photo_}, photo_},
      {{.format = 7, .saveFile = tmp_.path() / "soft.png"}, tmp_.path() / "soft.png"},
      {{.format = 0, .folder = out_.string()}, out_ / "coffee01.bmp"},
  };
  for (const auto& r : rows) {
    ScriptedPrompts prompts(r.answers);
    Export(prompts);
    ASSERT_EQ(prompts.errors.size(), 1u) << r.named;
    EXPECT_NE(prompts.errors[0].find(r.named), std::string::npos) << prompts.errors[0];
  }
  QDir::setCurrent(start);
  EXPECT_EQ(ReadAll(photo_), before);
  EXPECT_FALSE(fs::exists(out_ / "coffee00.bmp"));
}

TEST_F(WindowExportTest, TheFileGetsTheFormatsExtension) {
  const struct {
    const char* chosen;
    int answer;
    std::vector<std::string> written;
    size_t asked;
  } rows[] = {
      {"clip", kMsgResultYes, {"clip.avi"}, 0},
      {"clip.v2", kMsgResultYes, {"clip.v2.avi"}, 0},
      {"clip.AVI", kMsgResultYes, {"clip.AVI"}, 0},
      {"clip.gif", kMsgResultYes, {"clip.avi"}, 1},
      {"clip.jpg", kMsgResultNo, {}, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.chosen);
    fs::remove_all(out_);
    fs::create_directory(out_);
    ScriptedPrompts prompts({.format = 3, .saveFile = (out_ / r.chosen).string(), .htmlAnswer = r.answer});
    Export(prompts);
    EXPECT_EQ(prompts.asked.size(), r.asked);
    EXPECT_EQ(FilesIn(out_), r.written);
  }
}

// A photo chosen in the open dialog that fails to open leaves the current folder, where
// the export's dialogs start, as it was.
TEST_F(WindowExportTest, APhotoThatFailsToOpenLeavesTheExportFolderAlone) {
  const fs::path other = tmp_.path() / "other";
  fs::create_directory(other);
  std::ofstream(other / "broken.png") << "not a picture";
  const QString start = QDir::currentPath();
  ScriptedPrompts failing({});
  SetPrompts(&failing);
  QTimer chooser;
  QObject::connect(&chooser, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    chooser.stop();
    dialog->selectFile(QString::fromStdString((other / "broken.png").string()));
    static_cast<QDialog*>(dialog)->accept();
  });
  chooser.start(10);
  window_.OpenPhoto();
  SetPrompts(&setup_prompts_);
  EXPECT_EQ(failing.errors.size(), 1u);
  EXPECT_EQ(QDir::currentPath(), start);
  ScriptedPrompts sequence({.format = 0});
  Export(sequence);
  EXPECT_EQ(sequence.folderInitial, start.toStdString());
  ScriptedPrompts gif({.format = 2});
  Export(gif);
  EXPECT_EQ(gif.save.folder, start);
}

// Every item of the status bar keeps its own place at a narrow and a wide window with
// everything shown at once: a long path, the export's progress and Cancel, the note
// after an export and the water note.
TEST_F(WindowExportTest, StatusBarItemsNeverOverlap) {
  const fs::path deep = tmp_.path() / std::string(150, 'd');
  fs::create_directory(deep);
  photo_ = (deep / "lake.jpg").string();
  ASSERT_TRUE(SaveBitmapFile(photo_, test::Noise(37, 23, 7)).ok());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(photo_)));
  WaterSettings water;
  water.tintPercent = 30;
  window_.ApplyWater(water);
  window_.show();
  QStatusBar* bar = window_.statusBar();
  const auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    std::vector<QRect> items;
    for (QWidget* w : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->isVisible()) items.push_back(w->geometry());
    for (QWidget* w : window_.PathPanel()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->isVisible()) items.push_back(QRect(w->mapTo(bar, QPoint(0, 0)), w->size()));
    EXPECT_GE(items.size(), 5u) << "size, path panel, water note and what panel 1 holds";
    for (size_t i = 0; i < items.size(); ++i) {
      EXPECT_TRUE(bar->rect().contains(items[i])) << i;
      for (size_t j = i + 1; j < items.size(); ++j) {
        const bool nested = items[i].contains(items[j]) || items[j].contains(items[i]);
        EXPECT_TRUE(nested || !items[i].intersects(items[j])) << i << " and " << j;
      }
    }
  };
  ExportCommand command(window_, dialog_, setup_prompts_);
  for (int width : {590, 1600}) {
    SCOPED_TRACE(width);
    window_.resize(width, 600);
    QApplication::processEvents();
    EXPECT_EQ(bar->width(), width);
    std::binary_semaphore done{0};
    QTimer::singleShot(0, [&] {
      window_.ShowExportProgress(2, 3);
      QApplication::processEvents();
      check("during an export");
      done.release();
    });
    command.RunInBackground([&] { done.acquire(); });
    window_.EndExportProgress();
    window_.ShowNotice(ExportWrittenText(photo_));
    QApplication::processEvents();
    check("after an export");
    const auto labels = bar->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [&](QLabel* l) { return l->isVisible() && l->text() == window_.StatusNotice(); }))
        << "the note is an item of its own, not drawn over the others";
  }
}

// The zoom scales the display only: exports at any zoom are the same bytes.
TEST_F(WindowExportTest, ZoomNeverChangesTheBytes) {
  std::string first;
  for (double zoom : {1.0, 0.25, 3.0}) {
    window_.SetZoom(zoom);
    ScriptedPrompts prompts({.format = 2, .saveFile = (out_ / "lake.gif").string()});
    Export(prompts);
    const std::string bytes = ReadAll(out_ / "lake.gif");
    ASSERT_FALSE(bytes.empty());
    if (first.empty()) first = bytes;
    EXPECT_EQ(bytes, first) << "zoom " << zoom;
    EXPECT_EQ(window_.StatusNotice(), ExportWrittenText((out_ / "lake.gif").string()));
  }
}

TEST_F(WindowExportTest, ProgressInTheStatusBar) {
  window_.ShowExportProgress(2, 3);
  EXPECT_EQ(window_.StatusText(1), QStringLiteral("Exporting image 2"));
  auto* bar = window_.PathPanel()->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->value(), 2);
  EXPECT_EQ(bar->maximum(), 3);
  window_.EndExportProgress();
  EXPECT_EQ(window_.StatusText(1), QString::fromStdString(photo_));
  EXPECT_TRUE(bar->isHidden());
}

// From opening a photo to an MP4 with the dialog's defaults, as a new user makes one:
// at least 5 s, the longer side at most 1920, and every frame read back by ffprobe.
TEST_F(WindowExportTest, DefaultMp4IsReadyToPost) {
  if (!test::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe is needed";
  const std::string harbour = (tmp_.path() / "harbour.bmp").string();
  ASSERT_TRUE(SaveBitmapFile(harbour, test::Gradient(2000, 1200)).ok());
  ASSERT_TRUE(window_.OpenPhotoFile(QString::fromStdString(harbour)));
  const std::string clip = (out_ / "harbour.mp4").string();
  ScriptedPrompts prompts(Answers{.format = 4, .saveFile = clip});
  SetPrompts(&prompts);
  window_.ExportAnimation();
  SetPrompts(&setup_prompts_);
  ASSERT_TRUE(prompts.errors.empty()) << prompts.errors.front();
  const auto probe = test::RunCommand("ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames"
                                      ":format=duration -of default=nw=1 " + test::ShellQuote(clip));
  ASSERT_EQ(probe.status, 0) << probe.output;
  // 2000 × 1200 with its reflection would be 2000 × 2280; fitted, the photo is 1683 × 1010
  // and the picture 1683 × 1919, padded to even sides. 3 frames a cycle at 8 a second:
  // 14 cycles, 42 frames, are the fewest that last 5 s.
  EXPECT_EQ(probe.output, "width=1684\nheight=1920\nnb_read_frames=42\nduration=5.250000\n");
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
