#include "gui/message_dialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

#include "gui/form_utils.h"
#include "gui/platform_qt.h"
#include "text/string_table.h"

namespace kestal {
namespace {

// Designed positions and sizes, in pixels.
constexpr int kMargin = 12;           // LblCaption's left and top, ResIcon's left
constexpr int kIconTop = 44;
constexpr int kIconSize = 32;
constexpr int kMessageLeft = 56;
constexpr int kMinClientWidth = 300;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;

// The one dialog that exists while ShowMsgDlg runs.
QPointer<TMsgDlgForm> MsgDlgForm;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* MakeButton(QWidget* parent, const char* name, LangId caption, int left, int result) {
  auto* button = new QPushButton(Q(Lang(caption)), parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(left, 120, kButtonWidth, kButtonHeight);
  QObject::connect(button, &QPushButton::clicked, parent,
                   [parent, result] { static_cast<QDialog*>(parent)->done(result); });
  return button;
}

QString Heading(MsgDlgKind kind) {
  switch (kind) {
    case MsgWarning: return Q(Lang(StrWarning));
    case MsgError: return Q(Lang(StrError));
    case MsgInformation: return Q(Lang(StrInformation));
    case MsgConfirmation: return Q(Lang(StrConfirmation));
    case MsgCustom: break;
  }
  return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QIcon KindIcon(MsgDlgKind kind, const QStyle* style) {
  switch (kind) {
    case MsgWarning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case MsgError: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case MsgInformation: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case MsgConfirmation: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case MsgCustom: break;
  }
  return QApplication::windowIcon();
}

// Messages may break lines the classic way (CR LF or a lone CR).
QString NormalizeLineBreaks(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

QString AcceleratorOf(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] == QLatin1Char('&')) {
      ++i;  // a literal ampersand
      continue;
    }
    return caption.mid(i + 1, 1);
  }
  return QString();
}

TMsgDlgForm::TMsgDlgForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MsgDlgForm"));
  setWindowTitle(ApplicationTitle());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DesignFont());
  setAutoFillBackground(true);
  setFixedSize(354, 156);

  lbl_caption_ = new QLabel(this);
  lbl_caption_->setObjectName(QStringLiteral("LblCaption"));
  lbl_caption_->move(kMargin, kMargin);

  pnl_sep_ = new QFrame(this);
  pnl_sep_->setObjectName(QStringLiteral("PnlSep"));
  pnl_sep_->setGeometry(kMargin, 28, 185, 2);
  pnl_sep_->setAutoFillBackground(true);
  QPalette black = pnl_sep_->palette();
  black.setColor(QPalette::Window, Qt::black);
  pnl_sep_->setPalette(black);

  res_icon_ = new QLabel(this);
  res_icon_->setObjectName(QStringLiteral("ResIcon"));
  res_icon_->setGeometry(kMargin, kIconTop, kIconSize, kIconSize);

  lbl_msg_ = new QLabel(this);
  lbl_msg_->setObjectName(QStringLiteral("LblMsg"));
  lbl_msg_->setTextFormat(Qt::PlainText);
  lbl_msg_->setWordWrap(false);
  lbl_msg_->move(kMessageLeft, kIconTop);

  edi_input_ = new QLineEdit(this);
  edi_input_->setObjectName(QStringLiteral("EdiInput"));
  edi_input_->setGeometry(kMessageLeft, 62, 233, 21);

  btn_yes_ = MakeButton(this, "BtnYes", StrYes, 24, kMsgResultYes);
  btn_no_ = MakeButton(this, "BtnNo", StrNo, 104, kMsgResultNo);
  btn_ok_ = MakeButton(this, "BtnOk", StrOk, 184, kMsgResultOk);
  btn_cancel_ = MakeButton(this, "BtnCancel", StrCancel, 264, kMsgResultCancel);
  button_row_ = {btn_yes_, btn_no_, btn_ok_, btn_cancel_};
  setTabOrder(btn_yes_, btn_no_);
  setTabOrder(btn_no_, btn_ok_);
  setTabOrder(btn_ok_, btn_cancel_);
}

void TMsgDlgForm::Prepare(const QString& message, MsgDlgKind kind, MsgButtons buttons,
                          const QString& caption) {
  edi_input_->hide();
  edi_input_->clear();
  LayOutMessage(message);
  lbl_caption_->setText(caption.isEmpty() ? Heading(kind) : caption);
  lbl_caption_->adjustSize();
  res_icon_->setPixmap(KindIcon(kind, style()).pixmap(kIconSize, kIconSize));
  LayOutButtons(buttons);
}

void TMsgDlgForm::LayOutMessage(const QString& message) {
  QFont bold = lbl_caption_->font();
  bold.setBold(true);
  lbl_caption_->setFont(bold);

  lbl_msg_->setText(NormalizeLineBreaks(message));
  lbl_msg_->adjustSize();

  // Only the message decides the width; the right margin equals the icon's left margin.
  const int width = std::max(kMinClientWidth, lbl_msg_->x() + lbl_msg_->width() + res_icon_->x());
  pnl_sep_->resize(width - 2 * pnl_sep_->x(), pnl_sep_->height());
  // The buttons sit below the message, and never over the icon.
  buttons_top_ = std::max(lbl_msg_->y() + lbl_msg_->height() + 2 * lbl_caption_->y(),
                          2 * lbl_caption_->y() + res_icon_->y() + res_icon_->height());
  setFixedSize(width, kButtonHeight + buttons_top_ + lbl_caption_->y());
}

void TMsgDlgForm::LayOutButtons(MsgButtons buttons) {
  int visible = 0;
  for (size_t i = 0; i < button_row_.size(); ++i) {
    const bool shown = (buttons >> i) & 1;
    button_row_[i]->setVisible(shown);
    visible += shown ? 1 : 0;
  }
  const int row_width = kButtonWidth * visible + kButtonGap * (visible - 1);
  buttons_left_ = width() - row_width - res_icon_->x() + 1;
  int k = 0;
  for (QPushButton* button : button_row_) {
    if (button->isHidden()) continue;
    button->move(buttons_left_ + (kButtonWidth + kButtonGap) * k, buttons_top_);
    ++k;
  }
  QPushButton* default_button = !btn_ok_->isHidden() ? btn_ok_ : btn_yes_;
  for (QPushButton* button : button_row_) button->setDefault(button == default_button);
  if (!default_button->isHidden()) default_button->setFocus();
}

bool TMsgDlgForm::AcceleratorPressed(const QPushButton* button, int key) const {
  if (button->isHidden()) return false;
  const QString accel = AcceleratorOf(button->text());
  if (accel.isEmpty()) return false;
  // Keys are compared as key codes: letters without regard to case, digits as they are.
  // A letter that no key code stands for (a Cyrillic accelerator) matches no key.
  const ushort c = accel[0].toUpper().unicode();
  const bool keyable = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return keyable && key == c;
}

void TMsgDlgForm::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (AcceleratorPressed(btn_yes_, key)) {
    done(kMsgResultYes);
    return;
  }
  if (AcceleratorPressed(btn_no_, key)) {
    done(kMsgResultNo);
    return;
  }
  if (key == Qt::Key_Escape) {
    // Esc presses Cancel, or else No; a hidden button cannot be pressed.
    QPushButton* cancel = !btn_cancel_->isHidden() ? btn_cancel_ : btn_no_;
    if (!cancel->isHidden()) cancel->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TMsgDlgForm::reject() { done(kMsgResultCancel); }

int ShowMsgDlg(const std::string& message, MsgDlgKind kind, MsgButtons buttons,
               const std::string& caption) {
  CreateFormOnce(MsgDlgForm, QApplication::activeWindow());
  QPointer<TMsgDlgForm> form = MsgDlgForm;
  form->Prepare(Q(message), kind, buttons, Q(caption));
  const int result = form->exec();
  delete form.data();
  return result;
}

}  // namespace kestal
