#include "gui/about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include "gui/platform_qt.h"

namespace kestal {

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked(this);
  QLabel::mouseReleaseEvent(event);
}

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, bool bold = false,
                  int pixelSize = 0) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(bold);
  if (pixelSize > 0) f.setPixelSize(pixelSize);
  label->setFont(f);
  label->move(x, y);
  label->adjustSize();
  return label;
}

LinkLabel* MakeLink(QWidget* parent, const QString& text, const QRect& bounds) {
  auto* label = new LinkLabel(text, parent);
  label->setGeometry(bounds);
  QFont f = label->font();
  f.setUnderline(true);
  label->setFont(f);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(pal);
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

TAProposForm::TAProposForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AProposForm"));
  setFont(DesignFont());
  setFixedSize(336, 292);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::black);
  setPalette(pal);

  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(2);
  Panel1->setGeometry(16, 16, 305, 226);
  Panel2 = new QFrame(Panel1);
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel2->setGeometry(12, 12, 98, 202);
  Image1 = new QLabel(Panel2);
  Image1->setPixmap(QPixmap(QStringLiteral(":/kestal/about.jpg")));
  Image1->setGeometry(1, 1, 96, 200);

  ProductName = MakeLabel(this, QStringLiteral("Kestal"), 127, 24, true, 16);
  Version = MakeLabel(this, QString(), 128, 52, true);
  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(128, 81, 151, 2);
  Label1 = MakeLabel(this, QString(), 128, 96);
  Credit = MakeLabel(this, QString(), 128, 114);
  URL = MakeLink(this, QString(26, QLatin1Char(' ')), QRect(128, 140, 127, 13));
  Label2 = MakeLink(this, QString(33, QLatin1Char(' ')), QRect(128, 156, 158, 13));
  connect(URL, &LinkLabel::clicked, this, &TAProposForm::URLClick);
  connect(Label2, &LinkLabel::clicked, this, &TAProposForm::URLClick);
  Licence = MakeLabel(this, QStringLiteral("GPL-3.0-or-later"), 128, 180);
  // Two lines' room between the identifier and the panel's lower edge, so that a
  // translation may wrap.
  LicenceNote = new QLabel(this);
  LicenceNote->setWordWrap(true);
  LicenceNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LicenceNote->setGeometry(128, 198, 185, 34);

  Button1 = new QPushButton(this);
  Button1->setGeometry(246, 252, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  RetranslateUi();
}

void TAProposForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) RetranslateUi();
  QDialog::changeEvent(event);
}

void TAProposForm::RetranslateUi() {
  setWindowTitle(tr("About"));
  Version->setText(tr("Version %1").arg(QStringLiteral(KESTAL_VERSION)));
  Label1->setText(tr("Russian translation"));
  Credit->setText(tr("The Kestal Team"));
  LicenceNote->setText(tr("Licensed under the GNU GPL v3 or later"));
  Button1->setText(tr("OK"));
  for (QLabel* label : {Version, Label1, Credit}) label->adjustSize();
}

void TAProposForm::URLClick(LinkLabel* label) { (void)OpenWithDesktop(label->text()); }

void TAProposForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kestal
