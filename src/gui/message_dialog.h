#pragma once
// MyMsgDlg: the program's own message dialog: a bold heading over a black rule, a stock icon of
// the dialog's kind, the message and up to four buttons. Every question and notice of
// the main window and of the export goes through ShowMsgDlg.

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace kestal {

enum MsgDlgKind : uint8_t {
  MsgWarning = 0,
  MsgError = 1,
  MsgInformation = 2,
  MsgConfirmation = 3,
  MsgCustom = 4,
};

// Which buttons show: a set of the bits below.
using MsgButtons = uint16_t;
inline constexpr MsgButtons MsgBtnYes = 1;
inline constexpr MsgButtons MsgBtnNo = 2;
inline constexpr MsgButtons MsgBtnOk = 4;
inline constexpr MsgButtons MsgBtnCancel = 8;

// The results: the button that closed the dialog; Cancel also for the close box.
inline constexpr int kMsgResultOk = 1;
inline constexpr int kMsgResultCancel = 2;
inline constexpr int kMsgResultYes = 6;
inline constexpr int kMsgResultNo = 7;

class TMsgDlgForm : public QDialog {
  Q_OBJECT
 public:
  explicit TMsgDlgForm(QWidget* parent = nullptr);

  // Lays the dialog out for one showing: the message decides the width (at least 300),
  // the button row sits below the message or the icon, right-aligned.
  void Prepare(const QString& message, MsgDlgKind kind, MsgButtons buttons, const QString& caption);

  int ButtonsLeft() const { return buttons_left_; }
  int ButtonsTop() const { return buttons_top_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 public slots:
  // The close box answers Cancel.
  void reject() override;

 private:
  void LayOutMessage(const QString& message);
  void LayOutButtons(MsgButtons buttons);
  bool AcceleratorPressed(const QPushButton* button, int key) const;

  QLabel* lbl_caption_;
  QFrame* pnl_sep_;
  QLabel* res_icon_;
  QLabel* lbl_msg_;
  QLineEdit* edi_input_;
  QPushButton* btn_yes_;
  QPushButton* btn_no_;
  QPushButton* btn_ok_;
  QPushButton* btn_cancel_;
  // The buttons in the order in which they are counted and placed.
  std::array<QPushButton*, 4> button_row_;
  int buttons_left_ = 0;
  int buttons_top_ = 0;
};

// Shows the message modally and returns 6 (Yes), 7 (No), 1 (Ok) or 2 (Cancel or the
// close box). An empty caption shows the kind's heading from the string library.
int ShowMsgDlg(const std::string& message, MsgDlgKind kind, MsgButtons buttons,
               const std::string& caption = std::string());

// The accelerator letter of a caption: the character after a single "&" ("&&" is a
// literal ampersand), or an empty string.
QString AcceleratorOf(const QString& caption);

}  // namespace kestal
