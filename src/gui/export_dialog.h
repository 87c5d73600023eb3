#pragma once
// Exporter: the export dialog: format, composition, GIF colours and AVI repetitions. It is created
// once with the main window and only shown and hidden afterwards, so every choice stays
// as the user left it until the program ends.

#include <QDialog>

#include "export/export_driver.h"

class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace kestal {

class TFrmExport : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmExport(QWidget* parent = nullptr);

  // The choices as the export driver reads them. The interval is the caller's (the
  // animation speed); the HTML page is asked for after a GIF is written.
  ExportSettings Settings(int intervalMs) const;

  // Item indexes and values of the controls.
  int FormatIndex() const;
  bool PhotoAndReflection() const;
  int ColorIndex() const;
  int Repetitions() const;

 private:
  void FormCreate();
  void CmbExportChange(int index);

  QLabel* label1_;
  QComboBox* cmb_export_;
  QRadioButton* rb_image_;
  QRadioButton* rb_kestal_;
  QFrame* panel1_;
  QGroupBox* rg_couleurs_;
  QButtonGroup* couleurs_;
  QWidget* pnl_no_;
  QSpinBox* se_no_;
  QPushButton* btn_cancel_;
  QPushButton* btn_ok_;
};

}  // namespace kestal
