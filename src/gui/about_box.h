#pragma once
// Apropos: the About box: product name, version, translator credit, picture, two link labels
// and an "Ok" button. It is created once and shown modally as often as asked.

#include <QDialog>
#include <QLabel>

class QFrame;
class QPushButton;

namespace kestal {

// A label that opens its own text with the desktop when clicked.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked(LinkLabel* label);
 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAProposForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAProposForm(QWidget* parent = nullptr);

  // Opens the clicked label's text with the desktop; a blank text opens nothing and
  // reports nothing.
  void URLClick(LinkLabel* label);

  QFrame* Panel1;
  QFrame* Panel2;
  QLabel* Image1;
  QLabel* ProductName;
  QLabel* Version;
  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Credit;
  LinkLabel* URL;
  LinkLabel* Label2;
  QLabel* Licence;      // the licence's SPDX identifier, below the links
  QLabel* LicenceNote;  // the licence in words, below the identifier, wrapped inside the panel
  QPushButton* Button1;

 protected:
  // Esc does not close the box; only "Ok" and the close box do.
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The box's texts in the current language.
  void RetranslateUi();
};

}  // namespace kestal
