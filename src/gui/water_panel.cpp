#include "gui/water_panel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <iterator>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/main_window.h"

namespace kestal {
namespace {

// The spin box of a water setting, at its range and with its unit; the line's range is
// the photo's rows, set when a photo shows.
QSpinBox* MakeSpin(QWidget* parent, WaterSetting setting, const char* name) {
  const WaterSettingInfo& row = WaterSettingRow(setting);
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QLatin1String(name));
  if (setting == WaterSetting::Line) spin->setRange(0, 1);
  else spin->setRange(row.min, row.max);
  // A typed number applies once, when it is complete, not digit by digit.
  spin->setKeyboardTracking(false);
  return spin;
}

QColor ToQColor(Color c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

// The band the handle takes: a few rows above and below the line, to be easy to grab.
constexpr int kHandleAbove = 3;
constexpr int kHandleHeight = 7;

}  // namespace

TFrmWater::TFrmWater(TFrmKestal* window) : QDialog(window), window_(window) {
  setObjectName(QStringLiteral("FrmWater"));
  setWindowFlag(Qt::Tool);
  setModal(false);

  auto* form = new QFormLayout;
  SpinLine = MakeSpin(this, WaterSetting::Line, "SpinLine");
  form->addRow(RowLabel(WaterSetting::Line, SpinLine), SpinLine);

  BtnTintColor = new QPushButton(this);
  BtnTintColor->setObjectName(QStringLiteral("BtnTintColor"));
  SpinTint = MakeSpin(this, WaterSetting::Tint, "SpinTint");
  auto* tintRow = new QHBoxLayout;
  tintRow->addWidget(BtnTintColor);
  tintRow->addWidget(SpinTint, 1);
  form->addRow(RowLabel(WaterSetting::Tint, SpinTint), tintRow);

  SpinFade = MakeSpin(this, WaterSetting::Fade, "SpinFade");
  CmbFadeCurve = new QComboBox(this);
  CmbFadeCurve->setObjectName(QStringLiteral("CmbFadeCurve"));
  CmbFadeCurve->addItems({QString(), QString()});
  CmbFadeTarget = new QComboBox(this);
  CmbFadeTarget->setObjectName(QStringLiteral("CmbFadeTarget"));
  CmbFadeTarget->addItems({QString(), QString()});
  auto* fadeRow = new QHBoxLayout;
  fadeRow->addWidget(SpinFade, 1);
  fadeRow->addWidget(CmbFadeCurve);
  fadeRow->addWidget(CmbFadeTarget);
  form->addRow(RowLabel(WaterSetting::Fade, SpinFade), fadeRow);

  SpinBlur = MakeSpin(this, WaterSetting::Blur, "SpinBlur");
  form->addRow(RowLabel(WaterSetting::Blur, SpinBlur), SpinBlur);
  SpinStrength = MakeSpin(this, WaterSetting::Strength, "SpinStrength");
  form->addRow(RowLabel(WaterSetting::Strength, SpinStrength), SpinStrength);
  CreateNaturalRows(form);

  BtnDefaults = new QPushButton(this);
  BtnClose = new QPushButton(this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BtnDefaults);
  buttons->addStretch(1);
  buttons->addWidget(BtnClose);
  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addLayout(buttons);

  for (QSpinBox* spin : {SpinLine, SpinTint, SpinFade, SpinBlur, SpinStrength})
    connect(spin, &QSpinBox::valueChanged, this, &TFrmWater::Apply);
  for (QComboBox* combo : {CmbFadeCurve, CmbFadeTarget})
    connect(combo, &QComboBox::currentIndexChanged, this, &TFrmWater::Apply);
  connect(BtnTintColor, &QPushButton::clicked, this, &TFrmWater::ChooseTintColor);
  connect(BtnDefaults, &QPushButton::clicked, this, [this] {
    ShowSettings(WaterSettings{});
    Apply();
    ShowNatural(NaturalWaterSettings{});
    ApplyNatural();
  });
  connect(BtnClose, &QPushButton::clicked, this, &QDialog::close);

  LineHandle = new WaterLineHandle(window->PhotoView()->parentWidget(), [this](int row) {
    SpinLine->setValue(row);  // clamped to the photo by the spin box's range
  });
  LineHandle->hide();
  RetranslateUi();
  ShowSettings(window->AppliedWater());
  ShowNatural(window->Model().NaturalWater());
  ModeChanged();
}

// The rows after the designed ones: the wave mode, then the natural water's settings
// from their table, each at its range.
void TFrmWater::CreateNaturalRows(QFormLayout* form) {
  CmbMode = new QComboBox(this);
  CmbMode->setObjectName(QStringLiteral("CmbMode"));
  // In WaveMode's order.
  CmbMode->addItems({tr("Perspective"), tr("Regular"), tr("Natural")});
  form->addRow(tr("Wave mode:"), CmbMode);
  connect(CmbMode, &QComboBox::activated, this,
          [this](int index) { window_->SetWaveMode(static_cast<WaveMode>(index)); });
  // The table's labels, marked for the translation tools: tr() below reads them from
  // the table, where the tools cannot see them.
  [[maybe_unused]] static const char* const kLabels[] = {QT_TR_NOOP("Wind:"), QT_TR_NOOP("Direction:"),
                                                         QT_TR_NOOP("Rain:"), QT_TR_NOOP("Glints")};
  const char* names[] = {"SpinWind", "SpinDirection", "SpinRain"};
  QSpinBox** spins[] = {&SpinWind, &SpinDirection, &SpinRain};
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    const QString label = tr(row.panelLabel);
    if (row.setting == NaturalSetting::Glints) {
      ChkGlints = new QCheckBox(label, this);
      ChkGlints->setObjectName(QStringLiteral("ChkGlints"));
      form->addRow(QString(), ChkGlints);
      connect(ChkGlints, &QCheckBox::toggled, this, &TFrmWater::ApplyNatural);
      continue;
    }
    const int i = static_cast<int>(row.setting);
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QLatin1String(names[i]));
    spin->setRange(row.min, row.max);
    spin->setSuffix(QString::fromUtf8(row.panelUnit));
    spin->setKeyboardTracking(false);
    form->addRow(label, spin);
    connect(spin, &QSpinBox::valueChanged, this, &TFrmWater::ApplyNatural);
    *spins[i] = spin;
  }
  SpinWind->setToolTip(tr("0 calm ... 100 breezy"));
  SpinDirection->setToolTip(tr("Where the waves run: 0 towards the viewer, -90 and 90 across"));
}

QSpinBox* TFrmWater::NaturalSpin(NaturalSetting setting) const {
  switch (setting) {
    case NaturalSetting::Wind: return SpinWind;
    case NaturalSetting::Direction: return SpinDirection;
    case NaturalSetting::Rain: return SpinRain;
    case NaturalSetting::Glints: break;
  }
  return nullptr;
}

NaturalWaterSettings TFrmWater::Natural() const {
  NaturalWaterSettings n;
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    const QSpinBox* spin = NaturalSpin(row.setting);
    SetNaturalValue(n, row.setting, spin ? spin->value() : ChkGlints->isChecked());
  }
  return n;
}

void TFrmWater::ShowNatural(const NaturalWaterSettings& n) {
  const bool was = showing_;
  showing_ = true;
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    if (QSpinBox* spin = NaturalSpin(row.setting)) spin->setValue(NaturalValue(n, row.setting));
    else ChkGlints->setChecked(n.glints);
  }
  showing_ = was;
}

void TFrmWater::ModeChanged() {
  const WaveMode mode = window_->CurrentMode();
  CmbMode->setCurrentIndex(static_cast<int>(mode));
  // The natural settings shape only natural water.
  for (QWidget* w : std::initializer_list<QWidget*>{SpinWind, SpinDirection, SpinRain, ChkGlints})
    w->setEnabled(mode == WaveMode::Natural);
}

void TFrmWater::ApplyNatural() {
  if (showing_) return;
  window_->ApplyNaturalWater(Natural());
}

void TFrmWater::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) RetranslateUi();
  QDialog::changeEvent(event);
}

QLabel* TFrmWater::RowLabel(WaterSetting setting, QSpinBox* spin) {
  auto* label = new QLabel(this);
  rows_.push_back({setting, label, spin});
  return label;
}

QString TFrmWater::SettingLabel(WaterSetting setting) {
  switch (setting) {
    case WaterSetting::Line: return tr("Water line (row):");
    case WaterSetting::Tint: return tr("Tint:");
    case WaterSetting::Fade: return tr("Fade with depth:");
    case WaterSetting::Blur: return tr("Blur:");
    case WaterSetting::Strength: return tr("Wave strength:");
  }
  return QString();
}

QString TFrmWater::SettingUnit(WaterSetting setting) {
  if (setting == WaterSetting::Blur) return tr(" px");
  return QString::fromUtf8(WaterSettingRow(setting).panelUnit);
}

void TFrmWater::RetranslateUi() {
  setWindowTitle(tr("Water"));
  for (const auto& [setting, label, spin] : rows_) {
    label->setText(SettingLabel(setting));
    spin->setSuffix(SettingUnit(setting));
  }
  BtnTintColor->setToolTip(tr("Tint colour"));
  CmbFadeCurve->setItemText(0, tr("linear"));
  CmbFadeCurve->setItemText(1, tr("smooth"));
  CmbFadeTarget->setItemText(0, tr("to dark"));
  CmbFadeTarget->setItemText(1, tr("to tint"));
  // The natural water's rows.
  const QString modes[] = {tr("Perspective"), tr("Regular"), tr("Natural")};
  for (int i = 0; i < CmbMode->count() && i < int(std::size(modes)); ++i) CmbMode->setItemText(i, modes[i]);
  if (auto* form = findChild<QFormLayout*>()) {
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(CmbMode))) label->setText(tr("Wave mode:"));
    for (const NaturalSettingInfo& row : kNaturalSettingTable) {
      if (QSpinBox* spin = NaturalSpin(row.setting)) {
        if (auto* label = qobject_cast<QLabel*>(form->labelForField(spin))) label->setText(tr(row.panelLabel));
      } else {
        ChkGlints->setText(tr(row.panelLabel));
      }
    }
  }
  SpinWind->setToolTip(tr("0 calm ... 100 breezy"));
  SpinDirection->setToolTip(tr("Where the waves run: 0 towards the viewer, -90 and 90 across"));
  BtnDefaults->setText(tr("Defaults"));
  BtnClose->setText(tr("Close"));
}

WaterSettings TFrmWater::Settings() const {
  WaterSettings w;
  const AnimationModel& model = window_->Model();
  // The bottom edge is kept as the default line, so it stays the bottom edge of the
  // next photo too.
  if (model.HasPhoto() && SpinLine->value() < model.Photo().Height()) {
    w.line = WaterLine{SpinLine->value(), WaterLine::Unit::Rows};
  } else if (!model.HasPhoto()) {
    w.line = window_->AppliedWater().line;
  }
  w.tintColor = tint_color_;
  w.tintPercent = SpinTint->value();
  w.fadePercent = SpinFade->value();
  w.fadeCurve = CmbFadeCurve->currentIndex() == 1 ? FadeCurve::Smooth : FadeCurve::Linear;
  w.fadeTarget = CmbFadeTarget->currentIndex() == 1 ? FadeTarget::Tint : FadeTarget::Black;
  w.blurRadius = SpinBlur->value();
  w.strengthPercent = SpinStrength->value();
  return w;
}

void TFrmWater::ShowSettings(const WaterSettings& w) {
  showing_ = true;
  const AnimationModel& model = window_->Model();
  SpinLine->setEnabled(model.HasPhoto());
  SpinLine->setRange(1, model.HasPhoto() ? model.Photo().Height() : 1);
  if (model.HasPhoto()) {
    auto row = WaterLineRow(FitWaterLine(w.line, model.Photo().Height()), model.Photo().Height());
    SpinLine->setValue(row ? *row : model.Photo().Height());
  }
  SetTintSwatch(w.tintColor);
  SpinTint->setValue(w.tintPercent);
  SpinFade->setValue(w.fadePercent);
  CmbFadeCurve->setCurrentIndex(w.fadeCurve == FadeCurve::Smooth ? 1 : 0);
  CmbFadeTarget->setCurrentIndex(w.fadeTarget == FadeTarget::Tint ? 1 : 0);
  SpinBlur->setValue(w.blurRadius);
  SpinStrength->setValue(w.strengthPercent);
  showing_ = false;
  PlaceLineHandle();
}

void TFrmWater::PhotoChanged() { ShowSettings(window_->AppliedWater()); }

void TFrmWater::Apply() {
  if (showing_) return;
  window_->ApplyWater(Settings());
  PlaceLineHandle();
}

void TFrmWater::ChooseTintColor() {
  const QColor chosen = QColorDialog::getColor(ToQColor(tint_color_), this, tr("Tint colour"));
  if (!chosen.isValid()) return;
  SetTintSwatch(Rgb(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue())));
  Apply();
}

void TFrmWater::SetTintSwatch(Color color) {
  tint_color_ = color;
  QPixmap swatch(24, 14);
  swatch.fill(ToQColor(color));
  BtnTintColor->setIcon(QIcon(swatch));
  BtnTintColor->setIconSize(swatch.size());
}

void TFrmWater::PlaceLineHandle() {
  const AnimationModel& model = window_->Model();
  if (!model.HasPhoto() || !isVisible()) {
    LineHandle->hide();
    return;
  }
  LineHandle->Place(window_->PhotoView()->pos(), model.Photo().Width(), window_->ShownWaterLineRow());
  LineHandle->show();
  LineHandle->raise();
}

void TFrmWater::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowSettings(window_->AppliedWater());
  ShowNatural(window_->Model().NaturalWater());
  ModeChanged();
}

void TFrmWater::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  LineHandle->hide();
}

WaterLineHandle::WaterLineHandle(QWidget* parent, std::function<void(int)> moved)
    : QWidget(parent), moved_(std::move(moved)) {
  setObjectName(QStringLiteral("WaterLineHandle"));
  setCursor(Qt::SizeVerCursor);
  setToolTip(tr("Water line: drag up or down"));
}

void WaterLineHandle::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) setToolTip(tr("Water line: drag up or down"));
  QWidget::changeEvent(event);
}

void WaterLineHandle::Place(QPoint photoTopLeft, int width, int row) {
  photo_top_ = photoTopLeft.y();
  setGeometry(photoTopLeft.x(), photo_top_ + row - kHandleAbove, width, kHandleHeight);
  update();
}

void WaterLineHandle::paintEvent(QPaintEvent*) {
  // A light row on the photo's last kept row and a dark one on the water's first, so
  // the line shows on bright and dark photos alike.
  QPainter painter(this);
  painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
  painter.drawLine(0, kHandleAbove - 1, width(), kHandleAbove - 1);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawLine(0, kHandleAbove, width(), kHandleAbove);
}

// The line follows the mouse's movement on the screen since the press, not its place in
// the picture: moving the line changes the picture's height, which can scroll the view
// under a mouse that stands still.
void WaterLineHandle::mousePressEvent(QMouseEvent* event) {
  press_row_ = y() + kHandleAbove - photo_top_;
  press_screen_y_ = event->globalPosition().toPoint().y();
}

void WaterLineHandle::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  moved_(press_row_ + event->globalPosition().toPoint().y() - press_screen_y_);
}

}  // namespace kestal
