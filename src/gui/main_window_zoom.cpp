// The main window's View menu and zoom: the picture at the zoom the person chose, fitted
// to the window, zoomed about the pointer with Ctrl and the wheel, and the window
// grown to show a newly opened picture whole.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

#include "gui/bmp_image.h"
#include "gui/main_window.h"
#include "gui/view_zoom.h"

namespace kestal {

// The View menu follows the designed menus. Its keys are the desktop's standard zoom
// keys (Ctrl++ and Ctrl+- on most desktops) with Ctrl+= as a second Zoom in, since
// plus needs Shift on many layouts.
void TFrmKestal::CreateViewMenu() {
  ui_.MenuView = menuBar()->addMenu(QString());
  ui_.MenuView->setObjectName(QStringLiteral("MenuView"));
  // The captions come with the window's texts (RetranslateUi).
  const struct {
    QAction** action;
    QList<QKeySequence> keys;
    void (TFrmKestal::*handler)();
  } items[] = {
      {&ui_.ViewZoomIn, {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &TFrmKestal::ZoomIn},
      {&ui_.ViewZoomOut, {QKeySequence::ZoomOut}, &TFrmKestal::ZoomOut},
      {&ui_.ViewActualSize, {QKeySequence(Qt::CTRL | Qt::Key_0)}, &TFrmKestal::ZoomActualSize},
      {&ui_.ViewFit, {QKeySequence(Qt::CTRL | Qt::Key_9)}, &TFrmKestal::ZoomToFit},
  };
  for (const auto& item : items) {
    auto* action = ui_.MenuView->addAction(QString());
    action->setShortcuts(item.keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, item.handler);
    *item.action = action;
  }
}

QSize TFrmKestal::PictureSize() const {
  if (!model_.HasPhoto()) return {};
  const int x = ui_.Image1->x(), y = ui_.Image1->y();
  const Bitmap24& photo = model_.Photo();
  return QSize(x + photo.Width() + ui_.PnlImg->width(),
               y + photo.Height() + model_.PaneBitmap().Height() + ui_.PnlImg->height());
}

void TFrmKestal::ZoomAbout(double zoom, QPointF pointer) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  if (zoom == zoom_) return;
  QScrollBar* h = ui_.ScrollBox->horizontalScrollBar();
  QScrollBar* v = ui_.ScrollBox->verticalScrollBar();
  const QPoint scroll(h->value(), v->value());
  const double from = zoom_;
  zoom_ = zoom;
  if (model_.HasPhoto()) PlacePane();
  const QPoint to = ScrollKeepingPoint(scroll, pointer, from, zoom_);
  h->setValue(to.x());
  v->setValue(to.y());
}

void TFrmKestal::SetZoom(double zoom) {
  chosen_zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  ShowAtZoom(zoom);
}

void TFrmKestal::ShowAtZoom(double zoom) {
  ZoomAbout(zoom, QRectF(QPointF(0, 0), QSizeF(ui_.ScrollBox->viewport()->size())).center());
}

void TFrmKestal::ZoomIn() { SetZoom(ZoomInStep(zoom_)); }

void TFrmKestal::ZoomOut() { SetZoom(ZoomOutStep(zoom_)); }

void TFrmKestal::ZoomToFit() { SetZoom(FitPictureZoom(ui_.ScrollBox->maximumViewportSize())); }

double TFrmKestal::FitPictureZoom(QSize viewport) const {
  // The margins around the picture stay the same at every zoom.
  const QSize margins(ui_.Image1->x() + ui_.PnlImg->width(), ui_.Image1->y() + ui_.PnlImg->height());
  // One pixel of slack: photo and pane are rounded to whole pixels separately.
  return FitZoom(PictureSize() - margins, viewport - margins - QSize(1, 1));
}

void TFrmKestal::ShowWholePicture() {
  // The picture at the zoom the person chose (kept between runs); the margins around
  // it stay the same at every zoom.
  const QSize margins(ui_.Image1->x() + ui_.PnlImg->width(), ui_.Image1->y() + ui_.PnlImg->height());
  const QSize picture = margins + (PictureSize() - margins) * chosen_zoom_;
  QSize viewport = ui_.ScrollBox->maximumViewportSize();
  if (!isMaximized() && !isFullScreen() && screen()) {
    const QSize chrome = size() - viewport;
    QSize frame = frameGeometry().size() - size();
    // Before the window manager has reported its decorations, allow for a title bar
    // and borders rather than grow under the screen's edge.
    if (frame.isEmpty()) frame = QSize(8, 36);
    const QRect available = screen()->availableGeometry();
    const QSize wanted = (picture + chrome).expandedTo(size()).boundedTo(available.size() - frame);
    if (wanted != size()) {
      resize(wanted);
      // Keep the grown window on the screen.
      QRect placed = frameGeometry();
      placed.moveRight(std::min(placed.right(), available.right()));
      placed.moveBottom(std::min(placed.bottom(), available.bottom()));
      placed.moveLeft(std::max(placed.left(), available.left()));
      placed.moveTop(std::max(placed.top(), available.top()));
      move(placed.topLeft());
    }
    viewport = wanted - chrome;
  }
  const bool fits = picture.width() < viewport.width() && picture.height() < viewport.height();
  ShowAtZoom(fits ? chosen_zoom_ : std::min(chosen_zoom_, FitPictureZoom(viewport)));
  // The window manager may place or size the window otherwise than asked; fit again
  // once it has, if the picture no longer shows whole.
  if (zoom_ < 1.0) {
    QTimer::singleShot(200, this, [this] {
      const QSize shown = ui_.ScrollContent->size(), room = ui_.ScrollBox->maximumViewportSize();
      if (shown.width() > room.width() || shown.height() > room.height())
        ShowAtZoom(FitPictureZoom(ui_.ScrollBox->maximumViewportSize()));
    });
  }
}

bool TFrmKestal::CtrlWheelZoom(QEvent* event) {
  auto* wheel = static_cast<QWheelEvent*>(event);
  if (!(wheel->modifiers() & Qt::ControlModifier) || wheel->angleDelta().y() == 0) return false;
  ZoomAbout(wheel->angleDelta().y() > 0 ? ZoomInStep(zoom_) : ZoomOutStep(zoom_), wheel->position());
  chosen_zoom_ = zoom_;
  return true;
}

}  // namespace kestal
