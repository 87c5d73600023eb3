#include "gui/export_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

#include "export/gif_export.h"
#include "gui/platform_qt.h"

namespace kestal {
namespace {

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

}  // namespace

TFrmExport::TFrmExport(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmExport"));
  setWindowTitle(QStringLiteral("Экспорт Анимации"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DesignFont());
  setFixedSize(377, 176);

  label1_ = Named(new QLabel(QStringLiteral("Формат Экспорта"), this), "Label1");
  label1_->move(16, 16);
  label1_->adjustSize();

  cmb_export_ = Named(new QComboBox(this), "CmbExport");
  cmb_export_->addItems({QStringLiteral("Sequence BMP"), QStringLiteral("Sequence JPG"),
                         QStringLiteral("Анимация GIF"), QStringLiteral("Видео Клип AVI")});
  cmb_export_->setEditable(false);
  cmb_export_->setGeometry(16, 32, 137, cmb_export_->sizeHint().height());

  rb_image_ = Named(new QRadioButton(QStringLiteral("Фото и Отражение    "), this), "RBImage");
  rb_image_->setGeometry(16, 78, 145, 17);
  rb_kestal_ = Named(new QRadioButton(QStringLiteral("Одно Отражение "), this), "RBKestal");
  rb_kestal_->setGeometry(16, 60, 145, 17);
  rb_image_->setChecked(true);

  panel1_ = Named(new QFrame(this), "Panel1");
  panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel1_->setGeometry(176, 16, 185, 65);
  auto* label2 = Named(new QLabel(panel1_), "Label2");
  label2->setText(QStringLiteral("Экспорт Веб-Страниц только в  \nформат GIF   с использованием  \n"
                                 "16, 32, 64 оттенков. "));
  label2->move(12, 12);
  ShrinkFontToFit(label2, panel1_->width() - 2 * label2->x());

  rg_couleurs_ = Named(new QGroupBox(QStringLiteral(" Оттенков    "), this), "RGCouleurs");
  rg_couleurs_->setGeometry(16, 104, 137, 57);
  couleurs_ = new QButtonGroup(this);
  const char* counts[] = {"16 ", "32 ", "64 ", "256"};
  // Two columns, filled top to bottom: 16 and 32 on the left, 64 and 256 on the right.
  for (int i = 0; i < 4; ++i) {
    auto* item = new QRadioButton(QLatin1String(counts[i]), rg_couleurs_);
    item->setObjectName(QStringLiteral("RGCouleurs%1").arg(i));
    item->setGeometry(8 + (i / 2) * 64, 16 + (i % 2) * 18, 60, 17);
    couleurs_->addButton(item, i);
  }
  couleurs_->button(3)->setChecked(true);

  pnl_no_ = Named(new QWidget(this), "PnlNO");
  pnl_no_->resize(105, 65);
  auto* label3 = Named(new QLabel(QStringLiteral("Вхождения :  "), pnl_no_), "Label3");
  label3->move(8, 4);
  label3->adjustSize();
  auto* spin = new SpinEdit(pnl_no_);
  se_no_ = Named(static_cast<QSpinBox*>(spin), "SENO");
  se_no_->setRange(kMinRepetitions, kMaxRepetitions);
  se_no_->setSingleStep(1);
  se_no_->setValue(1);
  se_no_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  spin->lineEdit()->setMaxLength(3);
  se_no_->setGeometry(8, 24, 57, se_no_->sizeHint().height());

  btn_cancel_ = Named(new QPushButton(QStringLiteral("Отмена"), this), "BtnCancel");
  btn_cancel_->setGeometry(280, 136, 81, 25);
  btn_ok_ = Named(new QPushButton(QStringLiteral("Ok"), this), "BtnOk");
  btn_ok_->setGeometry(280, 104, 81, 25);
  btn_ok_->setDefault(true);
  connect(btn_ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(btn_cancel_, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(cmb_export_, rb_image_);
  setTabOrder(rb_image_, rb_kestal_);
  setTabOrder(rb_kestal_, couleurs_->button(0));
  setTabOrder(couleurs_->button(3), se_no_);
  setTabOrder(se_no_, btn_cancel_);
  setTabOrder(btn_cancel_, btn_ok_);

  FormCreate();
  connect(cmb_export_, &QComboBox::currentIndexChanged, this, &TFrmExport::CmbExportChange);
}

void TFrmExport::FormCreate() {
  // GIF is chosen at creation; the designed visibility (colours shown, repetitions
  // hidden) already fits it. The repetition panel takes the colour group's place, with
  // the spin edit exactly where the group begins.
  cmb_export_->setCurrentIndex(static_cast<int>(ExportFormat::Gif));
  pnl_no_->hide();
  pnl_no_->move(rg_couleurs_->x() - se_no_->x(), rg_couleurs_->y());
  couleurs_->checkedButton()->setFocus();
}

void TFrmExport::CmbExportChange(int index) {
  rg_couleurs_->setVisible(index == static_cast<int>(ExportFormat::Gif));
  pnl_no_->setVisible(index == static_cast<int>(ExportFormat::Avi));
}

int TFrmExport::FormatIndex() const { return cmb_export_->currentIndex(); }
bool TFrmExport::PhotoAndReflection() const { return rb_image_->isChecked(); }
int TFrmExport::ColorIndex() const { return couleurs_->checkedId(); }
int TFrmExport::Repetitions() const { return se_no_->value(); }

ExportSettings TFrmExport::Settings(int intervalMs) const {
  ExportSettings s;
  s.format = static_cast<ExportFormat>(FormatIndex());
  s.composition = PhotoAndReflection() ? Composition::PhotoAndReflection : Composition::ReflectionOnly;
  s.colors = GifColorCountForChoice(ColorIndex());
  s.repetitions = Repetitions();
  s.intervalMs = intervalMs;
  return s;
}

}  // namespace kestal
