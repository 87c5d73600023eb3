#pragma once
// The "Вода" panel: a tool window beside the main window that shapes the water (its
// line, tint, fade, blur and wave strength) with a live preview on the reflection.
// While it is open, a line over the photo shows where the water starts and can be
// dragged. Every change goes straight to the window's animation model, so an export
// from the window uses it.

#include <QDialog>
#include <QPoint>
#include <functional>
#include <vector>

#include "render/natural_water.h"
#include "render/water_effects.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kestal {

class TFrmKestal;
class WaterLineHandle;

class TFrmWater : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmWater(TFrmKestal* window);

  // The settings the controls show, and showing other settings without applying them.
  WaterSettings Settings() const;
  void ShowSettings(const WaterSettings& water);

  // Reads the model again (a new photo: the line's range and place).
  void PhotoChanged();

  // The natural water's controls: what they show, showing other settings without
  // applying them, and showing the window's wave mode.
  NaturalWaterSettings Natural() const;
  void ShowNatural(const NaturalWaterSettings& natural);
  void ModeChanged();

  QSpinBox* SpinLine;
  QPushButton* BtnTintColor;
  QSpinBox* SpinTint;
  QSpinBox* SpinFade;
  QComboBox* CmbFadeCurve;
  QComboBox* CmbFadeTarget;
  QSpinBox* SpinBlur;
  QSpinBox* SpinStrength;
  // After the designed rows: the wave mode and the natural water's settings.
  QComboBox* CmbMode;
  QSpinBox* SpinWind;
  QSpinBox* SpinDirection;
  QSpinBox* SpinRain;
  QCheckBox* ChkGlints;
  QPushButton* BtnDefaults;
  QPushButton* BtnClose;
  WaterLineHandle* LineHandle;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Every text of the panel in the current language.
  void RetranslateUi();
  // A new row's label, kept for RetranslateUi.
  QLabel* RowLabel(WaterSetting setting, QSpinBox* spin);
  // The setting's label and its spin box's unit in the current language.
  static QString SettingLabel(WaterSetting setting);
  static QString SettingUnit(WaterSetting setting);
  void Apply();
  void CreateNaturalRows(QFormLayout* form);
  void ApplyNatural();
  QSpinBox* NaturalSpin(NaturalSetting setting) const;
  void ChooseTintColor();
  void PlaceLineHandle();
  void SetTintSwatch(Color color);

  TFrmKestal* window_;
  // Each setting's row: its label and its spin box.
  struct Row {
    WaterSetting setting;
    QLabel* label;
    QSpinBox* spin;
  };
  std::vector<Row> rows_;
  Color tint_color_ = kDefaultTintColor;
  bool showing_ = false;  // controls being filled: their signals apply nothing
};

// The line over the photo where the water starts; dragging it moves the water line.
class WaterLineHandle : public QWidget {
  Q_OBJECT

 public:
  WaterLineHandle(QWidget* parent, std::function<void(int row)> moved);
  // Places the handle across a photo shown at `photoTopLeft`, `width` pixels wide,
  // with the water starting at `row`.
  void Place(QPoint photoTopLeft, int width, int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  std::function<void(int)> moved_;
  int photo_top_ = 0;
  int press_row_ = 0;
  int press_screen_y_ = 0;
};

}  // namespace kestal
