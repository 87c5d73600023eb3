#pragma once
// Exporter: the export dialog: format, composition, GIF colours and AVI repetitions. It is created
// once with the main window and only shown and hidden afterwards, so every choice stays
// as the user left it until the program ends.
//
// After the original four formats the list offers MP4, WebM, animated WebP and APNG.
// For them the repetition count shows as for AVI, and a panel below the original
// controls holds their quality, WebP's lossless choice and the clip's length in
// seconds as an alternative to the repetitions, with the clip's duration; the dialog
// grows to show it. The photo's scale, for every format, and an estimate of the
// file's size, kept up to date as the choices change, stand in the free corner
// between the original controls and the buttons.

#include <QDialog>

#include "export/export_driver.h"
#include "gui/app_settings.h"
#include "export/scale.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class QWidget;

namespace kestal {

class TFrmExport : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmExport(QWidget* parent = nullptr);

  // The choices as the export driver reads them. The interval is the caller's (the
  // animation speed); the HTML page is asked for after a GIF is written.
  ExportSettings Settings(int intervalMs) const;
  // The photo's scale, for every format: the spin edit's percentage, or for the shared
  // formats while "≤ 1920" is ticked (the default) the fit in 1920 × 1920.
  ScaleRequest Scale() const;

  // Every choice at once, as the program keeps them between runs. SetChoices leaves a
  // control whose stored value it cannot show (a format item beyond the list) as it is.
  ExportChoices Choices() const;
  void SetChoices(const ExportChoices& choices);

  // Item indexes and values of the controls.
  int FormatIndex() const;
  // The format chosen in the list.
  ExportFormat Format() const;
  bool PhotoAndReflection() const;
  int ColorIndex() const;
  int Repetitions() const;

  // The animation whose export the size estimate measures, and its timer interval;
  // null shows no estimate. The model must outlive the dialog's showing.
  void SetEstimateSource(const AnimationModel* model, int intervalMs);
  // The estimate's text as shown ("≈ 1.13 Mo", "1.13 Mo" when exact, "…" while it is
  // being worked out, or empty).
  QString EstimateText() const;
  // Computes the estimate now rather than after the pause that follows a change.
  void UpdateEstimate();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  // Every text of the dialog in the current language.
  void RetranslateUi();
  // The format's item in the list and its quality hint, in the current language.
  static QString FormatLabel(ExportFormat format);
  static QString QualityTip(ExportFormat format);
  void FormCreate();
  void CmbExportChange(int index);
  void BuildMainControls();
  void BuildScaleAndEstimate();
  void BuildSharePanel();
  void ConnectChoices();
  void ShowSharePanel(ExportFormat format);
  void ChoicesChanged();

  QLabel* format_label_;
  QComboBox* format_list_;
  QRadioButton* photo_and_reflection_;
  QRadioButton* reflection_only_;
  QFrame* web_note_;
  QLabel* web_note_text_;
  QLabel* repetitions_label_;
  QLabel* scale_label_;
  QGroupBox* colour_group_;
  QButtonGroup* colour_buttons_;
  QWidget* repetition_panel_;
  QSpinBox* repetitions_;
  QPushButton* cancel_button_;
  QPushButton* ok_button_;

  // Beside the original controls.
  QLabel* size_estimate_;
  QFrame* share_panel_;
  QLabel* quality_label_;
  QSpinBox* quality_;
  QCheckBox* lossless_;
  QCheckBox* fit_share_;
  QLabel* exact_note_;
  QSpinBox* scale_percent_;
  QCheckBox* by_seconds_;
  QDoubleSpinBox* seconds_;
  QLabel* duration_;
  QTimer* estimate_timer_;
  const AnimationModel* estimate_model_ = nullptr;
  int estimate_interval_ms_ = kMediumIntervalMs;
  int last_quality_format_ = -1;
};

}  // namespace kestal
