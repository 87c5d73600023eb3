#include "gui/export_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

#include "export/gif_export.h"
#include "export/output_formats.h"
#include "export/size_estimate.h"
#include "text/text_utils.h"
#include "gui/platform_qt.h"

namespace kestal {
namespace {

// The designed client area, which holds the original controls.
constexpr int kDialogWidth = 377;
constexpr int kDesignedHeight = 176;
// The shared formats' panel below them: its height, and the margin it keeps on the
// left and right (the designed controls' own) and at the bottom.
constexpr int kSharePanelHeight = 57;
constexpr int kSharePanelMargin = 16;
constexpr int kSharePanelBottomGap = 12;
// The pause after a change before the size estimate is worked out again.
constexpr int kEstimatePauseMs = 150;

// A spin edit whose text field is reachable, to limit how many characters are typed.
class SpinEdit : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;
  using QSpinBox::lineEdit;
};

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

// The dialog is designed for a narrower face than most desktops have. Shrinks the
// label's font, a pixel at a time, until its widest line (trailing spaces aside) fits in
// `width`, so no word of the note is cut off.
void ShrinkFontToFit(QLabel* label, int width) {
  QFont font = label->font();
  auto widest = [&label](const QFont& f) {
    const QFontMetrics fm(f);
    int w = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
      w = std::max(w, fm.horizontalAdvance(line.trimmed()));
    return w;
  };
  while (font.pixelSize() > 8 && widest(font) > width) font.setPixelSize(font.pixelSize() - 1);
  label->setFont(font);
  label->adjustSize();
}

// The list shows the formats in the order of OutputFormats(): the original four first,
// then the shared formats.
ExportFormat FormatAt(int index) {
  const auto formats = OutputFormats();
  return index >= 0 && static_cast<size_t>(index) < formats.size() ? formats[static_cast<size_t>(index)].format
                                                                   : ExportFormat::BmpSequence;
}

}  // namespace

TFrmExport::TFrmExport(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmExport"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DesignFont());
  setFixedSize(kDialogWidth, kDesignedHeight);
  BuildMainControls();
  BuildScaleAndEstimate();
  BuildSharePanel();
  RetranslateUi();

  FormCreate();
  connect(format_list_, &QComboBox::currentIndexChanged, this, &TFrmExport::CmbExportChange);
  ConnectChoices();
}

// The format list, the composition, the web-page note, the colour counts, the
// repetitions and the buttons, at their places in the dialog.
void TFrmExport::BuildMainControls() {
  format_label_ = Named(new QLabel(this), "Label1");
  format_label_->move(16, 16);

  format_list_ = Named(new QComboBox(this), "CmbExport");
  // The original four, then the shared formats, in the order of OutputFormats().
  for (size_t i = 0; i < OutputFormats().size(); ++i) format_list_->addItem(QString());
  format_list_->setEditable(false);
  format_list_->setGeometry(16, 32, 137, format_list_->sizeHint().height());

  photo_and_reflection_ = Named(new QRadioButton(this), "RBImage");
  photo_and_reflection_->setGeometry(16, 78, 145, 17);
  reflection_only_ = Named(new QRadioButton(this), "RBKestal");
  reflection_only_->setGeometry(16, 60, 145, 17);
  photo_and_reflection_->setChecked(true);

  web_note_ = Named(new QFrame(this), "Panel1");
  web_note_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  web_note_->setGeometry(176, 16, 185, 65);
  web_note_text_ = Named(new QLabel(web_note_), "Label2");
  web_note_text_->move(12, 12);

  colour_group_ = Named(new QGroupBox(this), "RGCouleurs");
  colour_group_->setGeometry(16, 104, 137, 57);
  colour_buttons_ = new QButtonGroup(this);
  // Two columns, filled top to bottom: 16 and 32 on the left, 64 and 256 on the right.
  // Each count is written in three characters ("16 ").
  constexpr int kCounts = static_cast<int>(std::size(kGifColorCounts));
  for (int i = 0; i < kCounts; ++i) {
    auto* item = new QRadioButton(QString::number(kGifColorCounts[i]).leftJustified(3), colour_group_);
    item->setObjectName(QStringLiteral("RGCouleurs%1").arg(i));
    item->setGeometry(8 + (i / 2) * 64, 16 + (i % 2) * 18, 60, 17);
    colour_buttons_->addButton(item, i);
  }
  colour_buttons_->button(kCounts - 1)->setChecked(true);

  repetition_panel_ = Named(new QWidget(this), "PnlNO");
  repetition_panel_->resize(105, 65);
  repetitions_label_ = Named(new QLabel(repetition_panel_), "Label3");
  repetitions_label_->move(8, 4);
  auto* spin = new SpinEdit(repetition_panel_);
  repetitions_ = Named(static_cast<QSpinBox*>(spin), "SENO");
  repetitions_->setRange(kMinRepetitions, kMaxRepetitions);
  repetitions_->setSingleStep(1);
  repetitions_->setValue(1);
  repetitions_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  spin->lineEdit()->setMaxLength(3);
  repetitions_->setGeometry(8, 24, 57, repetitions_->sizeHint().height());

  cancel_button_ = Named(new QPushButton(this), "BtnCancel");
  cancel_button_->setGeometry(280, 136, 81, 25);
  ok_button_ = Named(new QPushButton(this), "BtnOk");
  ok_button_->setGeometry(280, 104, 81, 25);
  ok_button_->setDefault(true);
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(format_list_, photo_and_reflection_);
  setTabOrder(photo_and_reflection_, reflection_only_);
  setTabOrder(reflection_only_, colour_buttons_->button(0));
  setTabOrder(colour_buttons_->button(kCounts - 1), repetitions_);
  setTabOrder(repetitions_, cancel_button_);
  setTabOrder(cancel_button_, ok_button_);
}

void TFrmExport::BuildScaleAndEstimate() {
  // The estimate stands in the free corner between the composition and the buttons,
  // and below it the photo's scale, which applies to every format: its label above its
  // spin edit, as the repetitions' are.
  size_estimate_ = Named(new QLabel(this), "LblSize");
  size_estimate_->setGeometry(176, 88, 96, 14);
  scale_label_ = Named(new QLabel(this), "LblScale");
  scale_label_->move(176, 108);
  scale_percent_ = Named(new QSpinBox(this), "SEScale");
  scale_percent_->setRange(kMinScalePercent, kMaxScalePercent);
  scale_percent_->setValue(kMaxScalePercent);
  scale_percent_->setGeometry(176, 128, 57, scale_percent_->sizeHint().height());
}

// Every choice that changes the output goes to ChoicesChanged (which controls are
// enabled, the estimate after a short wait).
void TFrmExport::ConnectChoices() {
  estimate_timer_ = new QTimer(this);
  estimate_timer_->setSingleShot(true);
  estimate_timer_->setInterval(kEstimatePauseMs);
  connect(estimate_timer_, &QTimer::timeout, this, &TFrmExport::UpdateEstimate);
  connect(format_list_, &QComboBox::currentIndexChanged, this, &TFrmExport::ChoicesChanged);
  connect(photo_and_reflection_, &QRadioButton::toggled, this, &TFrmExport::ChoicesChanged);
  connect(colour_buttons_, &QButtonGroup::idToggled, this, &TFrmExport::ChoicesChanged);
  for (QSpinBox* box : {repetitions_, quality_, scale_percent_})
    connect(box, &QSpinBox::valueChanged, this, &TFrmExport::ChoicesChanged);
  connect(seconds_, &QDoubleSpinBox::valueChanged, this, &TFrmExport::ChoicesChanged);
  for (QCheckBox* box : {lossless_, by_seconds_, fit_share_})
    connect(box, &QCheckBox::toggled, this, &TFrmExport::ChoicesChanged);
  // A scale of the user's own replaces the fit of the shared formats.
  connect(scale_percent_, &QSpinBox::valueChanged, this, [this](int percent) {
    if (percent != kMaxScalePercent) fit_share_->setChecked(false);
  });
}

void TFrmExport::BuildSharePanel() {
  // A lowered panel like the web note, under the original controls.
  share_panel_ = Named(new QFrame(this), "PnlShare");
  share_panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  share_panel_->setGeometry(kSharePanelMargin, kDesignedHeight, kDialogWidth - 2 * kSharePanelMargin,
                            kSharePanelHeight);
  quality_label_ = Named(new QLabel(share_panel_), "LblQuality");
  quality_label_->move(8, 10);
  quality_ = Named(new QSpinBox(share_panel_), "SEQuality");
  quality_->setGeometry(88, 6, 57, quality_->sizeHint().height());
  lossless_ = Named(new QCheckBox(share_panel_), "CBLossless");
  // Pictures to be posted fit in 1920 pixels on their longer side unless the user
  // unticks the box or chooses a scale of their own.
  fit_share_ = Named(new QCheckBox(QStringLiteral("≤ %1").arg(kShareSide), share_panel_), "CBFit");
  fit_share_->setChecked(true);
  // APNG has no quality to set: it keeps every pixel, which the row says instead.
  exact_note_ = Named(new QLabel(share_panel_), "LblExact");
  exact_note_->move(8, 10);
  // The clip's length: the repetitions, or with the box ticked enough whole cycles to
  // last the seconds given; the duration beside them is the clip's real length.
  by_seconds_ = Named(new QCheckBox(share_panel_), "CBSeconds");
  by_seconds_->setGeometry(8, 32, 78, 17);
  seconds_ = Named(new QDoubleSpinBox(share_panel_), "SESeconds");
  seconds_->setRange(0.1, kMaxClipSeconds);
  seconds_->setDecimals(1);
  seconds_->setSingleStep(0.5);
  seconds_->setValue(3);
  seconds_->setEnabled(false);
  seconds_->setGeometry(88, 30, 65, seconds_->sizeHint().height());
  duration_ = Named(new QLabel(share_panel_), "LblDuration");
  duration_->setGeometry(164, 34, 176, 14);
  share_panel_->hide();
  setTabOrder(ok_button_, scale_percent_);
  setTabOrder(scale_percent_, quality_);
  setTabOrder(quality_, lossless_);
  setTabOrder(lossless_, fit_share_);
  setTabOrder(fit_share_, by_seconds_);
  setTabOrder(by_seconds_, seconds_);
}

// Shows the panel, and the dialog's room for it, for the shared formats only. Each
// format keeps its own quality scale: a new format starts at its default.
void TFrmExport::ShowSharePanel(ExportFormat format) {
  const OutputFormatInfo& info = FormatInfo(format);
  const bool shared = IsSharedFormat(format);
  share_panel_->setVisible(shared);
  setFixedSize(kDialogWidth,
               shared ? kDesignedHeight + kSharePanelHeight + kSharePanelBottomGap : kDesignedHeight);
  if (!shared) return;
  if (last_quality_format_ != static_cast<int>(format)) {
    quality_->setRange(info.qualityMin, info.qualityMax);
    quality_->setValue(info.qualityDefault);
    last_quality_format_ = static_cast<int>(format);
  }
  const bool has_quality = info.qualityMax > 0;
  quality_label_->setVisible(has_quality);
  quality_->setVisible(has_quality);
  exact_note_->setVisible(!has_quality);
  quality_->setEnabled(has_quality && !(format == ExportFormat::WebP && lossless_->isChecked()));
  quality_->setToolTip(QualityTip(format));
  lossless_->setVisible(format == ExportFormat::WebP);
}

void TFrmExport::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) RetranslateUi();
  QDialog::changeEvent(event);
}

void TFrmExport::RetranslateUi() {
  setWindowTitle(tr("Export Animation"));
  format_label_->setText(tr("Export Format"));
  format_label_->adjustSize();
  for (int i = 0; i < format_list_->count(); ++i) format_list_->setItemText(i, FormatLabel(FormatAt(i)));
  photo_and_reflection_->setText(tr("Photo and Reflection"));
  reflection_only_->setText(tr("Reflection Only"));
  web_note_text_->setText(tr("Web pages export only\nto GIF, with 16, 32\nor 64 colours."));
  web_note_text_->setFont(font());
  ShrinkFontToFit(web_note_text_, web_note_->width() - 2 * web_note_text_->x());
  colour_group_->setTitle(tr(" Colours "));
  repetitions_label_->setText(tr("Repeats:"));
  repetitions_label_->adjustSize();
  cancel_button_->setText(tr("Cancel"));
  ok_button_->setText(tr("OK"));
  scale_label_->setText(tr("Scale (%):"));
  scale_label_->adjustSize();
  quality_label_->setText(tr("Quality:"));
  quality_label_->adjustSize();
  lossless_->setText(tr("Lossless"));
  lossless_->setGeometry(160, 8, lossless_->sizeHint().width(), 17);
  fit_share_->setGeometry(lossless_->geometry().right() + 9, 8, fit_share_->sizeHint().width(), 17);
  fit_share_->setToolTip(tr("Longer side at most %1 pixels").arg(kShareSide));
  exact_note_->setText(tr("Lossless: every pixel exact"));
  exact_note_->adjustSize();
  by_seconds_->setText(tr("Seconds:"));
  quality_->setToolTip(QualityTip(Format()));
}

QString TFrmExport::FormatLabel(ExportFormat format) {
  switch (format) {
    case ExportFormat::BmpSequence: return tr("BMP Sequence");
    case ExportFormat::JpgSequence: return tr("JPG Sequence");
    case ExportFormat::Gif: return tr("Animated GIF");
    case ExportFormat::Avi: return tr("AVI Video Clip");
    case ExportFormat::Mp4: return tr("MP4 Video");
    case ExportFormat::WebM: return tr("WebM Video");
    case ExportFormat::WebP: return tr("Animated WebP");
    case ExportFormat::Apng: return tr("Animated APNG");
    case ExportFormat::Avif: return tr("Animated AVIF");
  }
  return QString::fromLatin1(FormatInfo(format).title);
}

QString TFrmExport::QualityTip(ExportFormat format) {
  switch (format) {
    case ExportFormat::Mp4:
    case ExportFormat::WebM: return tr("CRF: lower is better");
    case ExportFormat::WebP: return tr("0..100, higher is better");
    case ExportFormat::Avif: return tr("0..63, lower is better");
    default: return QString();
  }
}

void TFrmExport::ChoicesChanged() {
  const ExportFormat format = Format();
  if (share_panel_->isVisible()) {
    quality_->setEnabled(FormatInfo(format).qualityMax > 0 &&
                         !(format == ExportFormat::WebP && lossless_->isChecked()));
  }
  seconds_->setEnabled(by_seconds_->isChecked());
  repetitions_->setEnabled(!(share_panel_->isVisibleTo(this) && by_seconds_->isChecked()));
  if (!estimate_model_) return;
  // The figure shown belongs to the previous choices: it gives way at once.
  size_estimate_->setText(QStringLiteral("…"));
  if (isVisible()) estimate_timer_->start();
}

void TFrmExport::SetEstimateSource(const AnimationModel* model, int intervalMs) {
  estimate_model_ = model;
  estimate_interval_ms_ = intervalMs;
  UpdateEstimate();
}

void TFrmExport::UpdateEstimate() {
  const ExportSettings settings = Settings(estimate_interval_ms_);
  const OutputFormatInfo& info = FormatInfo(settings.format);
  // The clip's playing time, for the formats that play in time: whole cycles.
  if (info.clip && estimate_model_ && estimate_model_->HasPhoto()) {
    const double frame_ms = FrameMs(settings.format, settings.intervalMs);
    auto cycles = ClipCycles(settings, estimate_model_->FrameCount(), frame_ms);
    if (cycles) {
      duration_->setText(tr("Duration: %1 s")
                             .arg(estimate_model_->FrameCount() * *cycles * frame_ms / 1000.0, 0, 'f', 2));
    } else {
      duration_->clear();
    }
  } else {
    duration_->clear();
  }
  if (!estimate_model_ || !estimate_model_->HasPhoto()) {
    size_estimate_->clear();
    return;
  }
  estimate_timer_->stop();
  size_estimate_->setText(QStringLiteral("…"));
  size_estimate_->repaint();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto estimate = EstimateExportSize(*estimate_model_, settings, Scale());
  QApplication::restoreOverrideCursor();
  if (!estimate) {
    size_estimate_->clear();
    return;
  }
  const QString size = QString::fromStdString(FileSizeText(static_cast<int64_t>(estimate->bytes)));
  size_estimate_->setText(estimate->exact ? size : QStringLiteral("≈ ") + size);
}

QString TFrmExport::EstimateText() const { return size_estimate_->text(); }

void TFrmExport::FormCreate() {
  // GIF is chosen at creation; the designed visibility (colours shown, repetitions
  // hidden) already fits it. The repetition panel takes the colour group's place, with
  // the spin edit exactly where the group begins.
  format_list_->setCurrentIndex(static_cast<int>(ExportFormat::Gif));
  repetition_panel_->hide();
  repetition_panel_->move(colour_group_->x() - repetitions_->x(), colour_group_->y());
  colour_buttons_->checkedButton()->setFocus();
}

void TFrmExport::CmbExportChange(int index) {
  const ExportFormat format = FormatAt(index);
  colour_group_->setVisible(format == ExportFormat::Gif);
  // Every clip format repeats whole cycles: the repetition count shows for all of them.
  repetition_panel_->setVisible(FormatInfo(format).clip);
  ShowSharePanel(format);
}

int TFrmExport::FormatIndex() const { return format_list_->currentIndex(); }
ExportFormat TFrmExport::Format() const { return FormatAt(FormatIndex()); }
bool TFrmExport::PhotoAndReflection() const { return photo_and_reflection_->isChecked(); }
int TFrmExport::ColorIndex() const { return colour_buttons_->checkedId(); }
int TFrmExport::Repetitions() const { return repetitions_->value(); }

ExportChoices TFrmExport::Choices() const {
  ExportChoices c;
  c.format = FormatIndex();
  c.reflectionOnly = !PhotoAndReflection();
  c.colorIndex = ColorIndex();
  c.repetitions = Repetitions();
  c.scalePercent = scale_percent_->value();
  c.lossless = lossless_->isChecked();
  c.bySeconds = by_seconds_->isChecked();
  c.seconds = seconds_->value();
  return c;
}

void TFrmExport::SetChoices(const ExportChoices& c) {
  if (c.format >= 0 && c.format < format_list_->count()) format_list_->setCurrentIndex(c.format);
  (c.reflectionOnly ? reflection_only_ : photo_and_reflection_)->setChecked(true);
  if (QAbstractButton* colours = colour_buttons_->button(c.colorIndex)) colours->setChecked(true);
  repetitions_->setValue(c.repetitions);
  scale_percent_->setValue(c.scalePercent);
  lossless_->setChecked(c.lossless);
  by_seconds_->setChecked(c.bySeconds);
  seconds_->setValue(c.seconds);
}

ExportSettings TFrmExport::Settings(int intervalMs) const {
  ExportSettings s;
  s.format = Format();
  s.composition = PhotoAndReflection() ? Composition::PhotoAndReflection : Composition::ReflectionOnly;
  s.colors = GifColorCountForChoice(ColorIndex());
  s.repetitions = Repetitions();
  s.intervalMs = intervalMs;
  if (share_panel_->isVisibleTo(this)) {
    s.encode.quality = quality_->isEnabled() ? quality_->value() : -1;
    s.encode.lossless = s.format == ExportFormat::WebP && lossless_->isChecked();
    if (by_seconds_->isChecked()) s.encode.seconds = seconds_->value();
    // Untouched, the repetitions leave the length to the format: videos last 5 s.
    else if (Repetitions() == kMinRepetitions) s.encode.seconds = DefaultClipSeconds(s.format);
  }
  return s;
}

ScaleRequest TFrmExport::Scale() const {
  if (share_panel_->isVisibleTo(this) && fit_share_->isChecked()) return DefaultScale(Format());
  ScaleRequest r;
  r.percent = scale_percent_->value();
  return r;
}

}  // namespace kestal
