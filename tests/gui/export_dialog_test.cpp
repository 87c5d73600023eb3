// The export dialog: defaults, what each format shows, the spin edit's limits, and the
// choices kept between showings.

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "gui/export_dialog.h"
#include "support/gui_support.h"
#include "support/test_support.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

template <class W>
W* Child(QWidget* parent, const char* name) {
  W* w = parent->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST(ExportDialog, FirstOpening) {
  TFrmExport dlg;
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Экспорт Анимации"));
  EXPECT_EQ(dlg.size(), QSize(377, 176));
  auto* cmb = Child<QComboBox>(&dlg, "CmbExport");
  EXPECT_EQ(cmb->currentText(), QStringLiteral("Анимация GIF"));
  // The original four keep their indices; the shared formats follow them.
  const char* items[] = {"Sequence BMP", "Sequence JPG", "Анимация GIF", "Видео Клип AVI",
                         "Видео MP4", "Видео WebM", "Анимация WebP", "Анимация APNG", "Анимация AVIF"};
  ASSERT_EQ(cmb->count(), static_cast<int>(std::size(items)));
  for (int i = 0; i < cmb->count(); ++i) EXPECT_EQ(cmb->itemText(i), QString::fromUtf8(items[i])) << i;
  EXPECT_FALSE(Child<QGroupBox>(&dlg, "RGCouleurs")->isHidden());
  EXPECT_TRUE(Child<QWidget>(&dlg, "PnlNO")->isHidden());
  // The repetition panel takes the colour group's top, its spin edit the group's left.
  auto* pnl = Child<QWidget>(&dlg, "PnlNO");
  auto* seno = Child<QSpinBox>(&dlg, "SENO");
  EXPECT_EQ(pnl->pos(), QPoint(8, 104));
  EXPECT_EQ(pnl->x() + seno->x(), Child<QGroupBox>(&dlg, "RGCouleurs")->x());
  EXPECT_TRUE(Child<QRadioButton>(&dlg, "RBImage")->isChecked());

  const ExportSettings s = dlg.Settings(kFastIntervalMs);
  EXPECT_EQ(s.format, ExportFormat::Gif);
  EXPECT_EQ(s.composition, Composition::PhotoAndReflection);
  EXPECT_EQ(s.colors, 256);
  EXPECT_EQ(s.repetitions, 1);
  EXPECT_EQ(s.intervalMs, kFastIntervalMs);
}

TEST(ExportDialog, NoteFitsItsPanel) {
  TFrmExport dlg;
  auto* panel = Child<QFrame>(&dlg, "Panel1");
  auto* note = Child<QLabel>(&dlg, "Label2");
  const QFontMetrics fm(note->font());
  for (const QString& line : note->text().split('\n'))
    EXPECT_LE(note->x() + fm.horizontalAdvance(line.trimmed()), panel->width() - note->x()) << line.toStdString();
}

TEST(ExportDialog, FormatDecidesWhatShows) {
  struct Row {
    const char* what;
    int index;
    bool colours;
    bool repetitions;
  } rows[] = {
      {"BMP sequence hides both", 0, false, false},
      {"JPG sequence hides both", 1, false, false},
      {"GIF shows the colours", 2, true, false},
      {"AVI shows the repetitions in the colours' place", 3, false, true},
  };
  TFrmExport dlg;
  for (const Row& row : rows) {
    Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(row.index);
    EXPECT_EQ(!Child<QGroupBox>(&dlg, "RGCouleurs")->isHidden(), row.colours) << row.what;
    EXPECT_EQ(!Child<QWidget>(&dlg, "PnlNO")->isHidden(), row.repetitions) << row.what;
    EXPECT_EQ(static_cast<int>(dlg.Settings(kMediumIntervalMs).format), row.index) << row.what;
  }
}

TEST(ExportDialog, ColourIndexes) {
  TFrmExport dlg;
  const int expected[] = {16, 32, 64, 256};
  for (int i = 0; i < 4; ++i) {
    Child<QRadioButton>(&dlg, ("RGCouleurs" + std::to_string(i)).c_str())->setChecked(true);
    EXPECT_EQ(dlg.Settings(kMediumIntervalMs).colors, expected[i]) << "item " << i;
  }
}

TEST(ExportDialog, RepetitionLimits) {
  TFrmExport dlg;
  auto* seno = Child<QSpinBox>(&dlg, "SENO");
  seno->setValue(0);
  EXPECT_EQ(dlg.Repetitions(), 1);
  seno->setValue(101);
  EXPECT_EQ(dlg.Repetitions(), 100);
  auto* edit = seno->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->maxLength(), 3);
}

TEST(ExportDialog, KeepsChoicesBetweenShowings) {
  TFrmExport dlg;
  test::AnswerNextModal([](QWidget* d) {
    Child<QComboBox>(d, "CmbExport")->setCurrentIndex(3);
    Child<QRadioButton>(d, "RBKestal")->setChecked(true);
    Child<QSpinBox>(d, "SENO")->setValue(7);
    Child<QPushButton>(d, "BtnOk")->click();
  });
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
  test::AnswerNextModal([](QWidget* d) { Child<QPushButton>(d, "BtnCancel")->click(); });
  EXPECT_EQ(dlg.exec(), QDialog::Rejected);
  const ExportSettings s = dlg.Settings(kSlowIntervalMs);
  EXPECT_EQ(s.format, ExportFormat::Avi);
  EXPECT_EQ(s.composition, Composition::ReflectionOnly);
  EXPECT_EQ(s.repetitions, 7);
  EXPECT_FALSE(Child<QWidget>(&dlg, "PnlNO")->isHidden());
}

TEST(ExportDialog, SharedFormatsShowTheirPanelAndTheDialogGrows) {
  struct Row {
    const char* what;
    int index;
    bool panel;
    bool lossless;
    int qualityDefault;  // -1: no quality
  } rows[] = {
      {"AVI keeps the original size", 3, false, false, -1},
      {"MP4: CRF 18", 4, true, false, 18},
      {"WebM: CRF 24", 5, true, false, 24},
      {"WebP: quality 90 and lossless", 6, true, true, 90},
      {"APNG: no quality", 7, true, false, -1},
      {"AVIF: quantizer 24", 8, true, false, 24},
      {"GIF keeps the original size", 2, false, false, -1},
  };
  TFrmExport dlg;
  for (const Row& row : rows) {
    Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(row.index);
    EXPECT_EQ(!Child<QFrame>(&dlg, "PnlShare")->isHidden(), row.panel) << row.what;
    EXPECT_EQ(dlg.height(), row.panel ? 245 : 176) << row.what;
    if (!row.panel) continue;
    EXPECT_FALSE(Child<QWidget>(&dlg, "PnlNO")->isHidden()) << row.what << ": the repetitions show for every clip";
    EXPECT_EQ(!Child<QCheckBox>(&dlg, "CBLossless")->isHidden(), row.lossless) << row.what;
    EXPECT_EQ(Child<QSpinBox>(&dlg, "SEQuality")->isHidden(), row.qualityDefault < 0) << row.what;
    EXPECT_EQ(Child<QLabel>(&dlg, "LblExact")->isHidden(), row.qualityDefault >= 0) << row.what;
    const ExportSettings s = dlg.Settings(kMediumIntervalMs);
    EXPECT_EQ(s.encode.quality, row.qualityDefault) << row.what;
    EXPECT_EQ(static_cast<int>(s.format), row.index) << row.what;
  }
  // The scale applies to every format, the original four included.
  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(4);
  Child<QSpinBox>(&dlg, "SEScale")->setValue(50);
  EXPECT_EQ(dlg.Scale().percent, 50);
  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(0);
  EXPECT_FALSE(Child<QSpinBox>(&dlg, "SEScale")->isHidden());
  EXPECT_EQ(dlg.Scale().percent, 50);
}

// Seconds instead of repetitions, for the shared formats: the repetitions are off
// meanwhile, the settings carry the seconds, and the duration shows whole cycles.
TEST(ExportDialog, ClipLengthInSeconds) {
  AnimationModel model;
  ASSERT_TRUE(model.SetPhoto(test::Gradient(16, 10)).ok());
  TFrmExport dlg;
  dlg.SetEstimateSource(&model, kMediumIntervalMs);
  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(4);
  Child<QSpinBox>(&dlg, "SENO")->setValue(2);
  auto* by_seconds = Child<QCheckBox>(&dlg, "CBSeconds");
  auto* seconds = Child<QDoubleSpinBox>(&dlg, "SESeconds");
  EXPECT_FALSE(seconds->isEnabled());
  EXPECT_EQ(dlg.Settings(kMediumIntervalMs).encode.seconds, 0);
  dlg.UpdateEstimate();
  // 5 frames at 8 frames per second, twice.
  EXPECT_EQ(Child<QLabel>(&dlg, "LblDuration")->text(), QStringLiteral("Длительность : 1.25 с"));
  const QString two_cycles = dlg.EstimateText();

  by_seconds->setChecked(true);
  seconds->setValue(1.9);
  EXPECT_TRUE(seconds->isEnabled());
  EXPECT_FALSE(Child<QSpinBox>(&dlg, "SENO")->isEnabled());
  EXPECT_EQ(dlg.Settings(kMediumIntervalMs).encode.seconds, 1.9);
  dlg.UpdateEstimate();
  EXPECT_EQ(Child<QLabel>(&dlg, "LblDuration")->text(), QStringLiteral("Длительность : 2.50 с")) << "4 cycles";
  EXPECT_NE(dlg.EstimateText(), two_cycles) << "the estimate follows the length";

  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(3);
  EXPECT_TRUE(Child<QSpinBox>(&dlg, "SENO")->isEnabled()) << "AVI counts repetitions";
  EXPECT_EQ(dlg.Settings(kMediumIntervalMs).encode.seconds, 0);
}

TEST(ExportDialog, EstimatesTheSizeOfEveryFormat) {
  AnimationModel model;
  ASSERT_TRUE(model.SetPhoto(test::Gradient(64, 40)).ok());
  TFrmExport dlg;
  EXPECT_EQ(dlg.EstimateText(), QString()) << "no estimate without a photo";
  dlg.SetEstimateSource(&model, kMediumIntervalMs);
  // 64 × 76 output: BMP rows of 192 bytes, 54 bytes of headers, 5 frames.
  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(0);
  dlg.UpdateEstimate();
  EXPECT_EQ(dlg.EstimateText(), QString::fromStdString(FileSizeText(5 * (54 + 192 * 76))));
  for (int index = 1; index < Child<QComboBox>(&dlg, "CmbExport")->count(); ++index) {
    Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(index);
    dlg.UpdateEstimate();
    EXPECT_FALSE(dlg.EstimateText().isEmpty()) << index;
    EXPECT_EQ(dlg.EstimateText().startsWith(QStringLiteral("≈")), index != 3) << index << ": only AVI is exact";
  }
  EXPECT_EQ(model.FrameIndex(), -1) << "the estimate leaves the window's animation alone";
}

// The shared formats' defaults as the dialog gives them (a fit in 1920 × 1920, videos
// of at least 5 s), and the estimate: a change of choice never leaves the previous
// figure showing; "…" stands until the new one is worked out.
TEST(ExportDialog, SharedDefaultsAndNoStaleEstimate) {
  AnimationModel model;
  ASSERT_TRUE(model.SetPhoto(test::Gradient(64, 40)).ok());
  TFrmExport dlg;
  dlg.SetEstimateSource(&model, kMediumIntervalMs);
  const struct {
    int index;
    int fit;  // the fit box's side, 0 for none
    double seconds;
    const char* duration;
  } rows[] = {
      {4, 1920, 5, "Длительность : 5.00 с"}, {5, 1920, 5, "Длительность : 5.00 с"},
      {6, 1920, 0, "Длительность : 0.60 с"}, {7, 1920, 0, "Длительность : 0.63 с"},
      {2, 0, 0, ""},                          {3, 0, 0, ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.index);
    const QString before = dlg.EstimateText();
    Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(r.index);
    EXPECT_EQ(dlg.EstimateText(), QStringLiteral("…")) << "not the figure of before, " << before.toStdString();
    EXPECT_EQ(dlg.Scale().fitWidth, r.fit);
    EXPECT_EQ(dlg.Settings(kMediumIntervalMs).encode.seconds, r.seconds);
    dlg.UpdateEstimate();
    EXPECT_NE(dlg.EstimateText(), QStringLiteral("…"));
    EXPECT_FALSE(dlg.EstimateText().isEmpty());
    if (*r.duration) {
      EXPECT_EQ(Child<QLabel>(&dlg, "LblDuration")->text(), QString::fromUtf8(r.duration));
    }
  }
  // The new box shows its whole text, beside "Без потерь" and inside the panel.
  auto* fit = Child<QCheckBox>(&dlg, "CBFit");
  EXPECT_GE(fit->width(), fit->sizeHint().width());
  EXPECT_GE(fit->x(), Child<QCheckBox>(&dlg, "CBLossless")->geometry().right());
  EXPECT_LE(fit->geometry().right(), Child<QFrame>(&dlg, "PnlShare")->width());
  // The user's own choices replace the defaults.
  Child<QComboBox>(&dlg, "CmbExport")->setCurrentIndex(4);
  Child<QCheckBox>(&dlg, "CBFit")->setChecked(false);
  EXPECT_TRUE(dlg.Scale().Identity());
  Child<QCheckBox>(&dlg, "CBFit")->setChecked(true);
  Child<QSpinBox>(&dlg, "SEScale")->setValue(40);
  EXPECT_FALSE(Child<QCheckBox>(&dlg, "CBFit")->isChecked());
  EXPECT_EQ(dlg.Scale().percent, 40);
  Child<QSpinBox>(&dlg, "SENO")->setValue(3);
  EXPECT_EQ(dlg.Settings(kMediumIntervalMs).encode.seconds, 0);
  EXPECT_EQ(dlg.Settings(kMediumIntervalMs).repetitions, 3);
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) { return kestal::test::GuiTestMain(argc, argv); }
