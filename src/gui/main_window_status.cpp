// The main window's status bar: the picture's size, the photo's path or a short note,
// the water note, and during an export its progress, Cancel, and the state of the
// commands that would conflict with it.

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "gui/bmp_image.h"
#include "gui/export_commands.h"
#include "gui/main_window.h"
#include "gui/prompts.h"

namespace kestal {
namespace {

// A status-bar note that shows as much of its text as its place holds, with "…" in
// the middle for the rest, so that a long path keeps its file name in view.
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect room = contentsRect();
    painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
  }
};

}  // namespace

void TFrmKestal::CreateStatusBar() {
  // Panel 0: the picture size, 100 wide and centred; panel 1: the rest.
  status_panel0_ = new QLabel;
  status_panel0_->setFixedWidth(100);
  status_panel0_->setAlignment(Qt::AlignCenter);
  statusBar()->addWidget(status_panel0_);
  status_panel1_ = new QWidget;
  status_panel1_->setMinimumWidth(50);
  status_panel1_layout_ = new QHBoxLayout(status_panel1_);
  status_panel1_layout_->setContentsMargins(0, 0, 0, 0);
  status_path_ = new QLabel;
  status_path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long path or note is cut at the panel's edge rather than pushing the other
  // items over each other.
  status_path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  status_panel1_layout_->addWidget(status_path_, 1);
  // The note after an export ("Written: ..."), shown for a few seconds in place of the path.
  status_notice_ = new ElidedLabel(status_panel1_);
  status_notice_->setObjectName(QStringLiteral("StatusNotice"));
  status_notice_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  status_notice_->hide();
  status_panel1_layout_->addWidget(status_notice_, 1);
  notice_timer_ = new QTimer(this);
  notice_timer_->setSingleShot(true);
  connect(notice_timer_, &QTimer::timeout, this, &TFrmKestal::EndNotice);
  // During an export: the progress bar and the Cancel button (Esc) beside the text.
  progress_bar_ = new QProgressBar(status_panel1_);
  progress_bar_->setObjectName(QStringLiteral("ExportProgress"));
  progress_bar_->setMaximumWidth(160);
  progress_bar_->setMaximumHeight(14);
  progress_bar_->setTextVisible(false);
  progress_bar_->hide();
  status_panel1_layout_->addWidget(progress_bar_);
  ui_.BtnCancelExport = new QPushButton(status_panel1_);
  ui_.BtnCancelExport->setObjectName(QStringLiteral("BtnCancelExport"));
  ui_.BtnCancelExport->setShortcut(QKeySequence(Qt::Key_Escape));
  ui_.BtnCancelExport->setFocusPolicy(Qt::NoFocus);
  ui_.BtnCancelExport->hide();
  connect(ui_.BtnCancelExport, &QPushButton::clicked, this, &TFrmKestal::CancelExport);
  status_panel1_layout_->addWidget(ui_.BtnCancelExport);
  statusBar()->addWidget(status_panel1_, 1);
  // Shown while water effects are on, which carry over from photo to photo.
  status_water_ = new QLabel;
  status_water_->setObjectName(QStringLiteral("StatusWater"));
  status_water_->hide();
  statusBar()->addWidget(status_water_);
  // Shown while the water's full-size mirror is being built on a large photo.
  status_water_busy_ = new QLabel(tr("Updating the reflection…"));
  status_water_busy_->setObjectName(QStringLiteral("StatusWaterBusy"));
  status_water_busy_->hide();
  statusBar()->addWidget(status_water_busy_);
}

void TFrmKestal::SetStatusText(int panel, const QString& text) {
  (panel == 0 ? status_panel0_ : status_path_)->setText(text);
}

QString TFrmKestal::StatusText(int panel) const {
  return (panel == 0 ? status_panel0_ : status_path_)->text();
}

QString TFrmKestal::StatusNotice() const { return status_notice_->isHidden() ? QString() : status_notice_->text(); }

void TFrmKestal::ShowNotice(const QString& text) {
  // In panel 1 in place of the path, so that it never covers another item.
  status_notice_->setText(text);
  status_notice_->setToolTip(text);
  status_path_->hide();
  status_notice_->show();
  notice_timer_->start(6000);
}

void TFrmKestal::EndNotice() {
  notice_timer_->stop();
  status_notice_->hide();
  status_path_->show();
}

void TFrmKestal::ShowWaterState() {
  status_water_->setVisible(model_.Water() != WaterSettings{});
}

void TFrmKestal::ShowExportProgress(int number, int total) {
  SetStatusText(1, ExportProgressText(number));
  progress_bar_->setRange(0, total);
  progress_bar_->setValue(number);
  progress_bar_->show();
}

void TFrmKestal::EndExportProgress() {
  SetStatusText(1, photo_file_name_);
  progress_bar_->hide();
}

void TFrmKestal::BeginExport() {
  cancel_requested_ = false;
  // The pane shows a copy of what it showed while the export renders into the model's
  // pane bitmap.
  const Bitmap24* shown = ui_.Pane->Bitmap() ? ui_.Pane->Bitmap() : &model_.PaneBitmap();
  if (auto copy = shown->Clone()) {
    export_frame_ = std::move(copy.value());
    ShowPaneBitmap(export_frame_);
  }
  SetExportBusy(true);
}

void TFrmKestal::ShowExportFrame(Bitmap24 frame) {
  if (!export_running_) return;
  export_frame_ = std::move(frame);
  ShowPaneBitmap(export_frame_);
  ui_.Pane->update();
}

void TFrmKestal::EndExport() {
  SetExportBusy(false);
  ShowPaneBitmap(model_.PaneBitmap());
  export_frame_ = Bitmap24();
  // Water the panel changed during the export.
  if (water_after_export_) ApplyWater(*std::exchange(water_after_export_, std::nullopt));
  if (close_after_export_) {
    close_after_export_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TFrmKestal::SetExportBusy(bool busy) {
  export_running_ = busy;
  if (busy) EndNotice();
  for (QAction* a : {ui_.FichierOuvrir, ui_.FichierExporter, ui_.OptionAnimer, ui_.OptionVitesse->menuAction(),
                     ui_.OptionVague->menuAction()})
    a->setEnabled(!busy);
  for (QWidget* w : std::initializer_list<QWidget*>{ui_.BtnOpen, ui_.BtnAnimation, ui_.BtnSauve, ui_.EditFrames,
                                                    ui_.EditPct, ui_.RBPerspective, ui_.RBRegul})
    w->setEnabled(!busy);
  ui_.MenuRecent->setEnabled(!busy && !recent_files_.isEmpty());
  ui_.BtnCancelExport->setEnabled(busy);
  ui_.BtnCancelExport->setVisible(busy);
}

void TFrmKestal::CancelExport() {
  if (!export_running_) return;
  cancel_requested_ = true;
  ui_.BtnCancelExport->setEnabled(false);
  // The frame being made is finished first; a large one takes a moment.
  SetStatusText(1, tr("Stopping the export…"));
}

void TFrmKestal::closeEvent(QCloseEvent* event) {
  if (export_running_) {
    event->ignore();
    if (CurrentPrompts().Ask(tr("An export is still running. Stop it and close the window ?").toStdString(),
                             MsgConfirmation,
                             MsgBtnYes | MsgBtnNo) == kMsgResultYes) {
      close_after_export_ = true;
      CancelExport();
    }
    return;
  }
  if (settings_loaded_) SaveSettings();
  QMainWindow::closeEvent(event);
}

}  // namespace kestal
