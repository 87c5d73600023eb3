// The main window's texts in the window's language: set once the controls exist and
// again on every change of language, and the View menu's Language submenu that
// chooses it.

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "gui/language.h"
#include "gui/main_window.h"
#include "gui/menu_style.h"
#include "gui/water_panel.h"
#include "text/text_utils.h"

namespace kestal {

void TFrmKestal::CreateLanguageMenu() {
  ui_.MenuView->addSeparator();
  ui_.MenuLanguage = ui_.MenuView->addMenu(QString());
  ui_.MenuLanguage->setObjectName(QStringLiteral("MenuLanguage"));
  auto* group = new QActionGroup(this);
  ui_.LanguageSystem = ui_.MenuLanguage->addAction(QString());
  ui_.LanguageSystem->setData(QString());
  ui_.MenuLanguage->addSeparator();
  for (const UiLanguage& language : UiLanguages()) {
    QAction* item = ui_.MenuLanguage->addAction(QString());
    item->setData(QString::fromLatin1(language.code));
    ui_.LanguageItems << item;
  }
  for (QAction* item : QList<QAction*>{ui_.LanguageSystem} + ui_.LanguageItems) {
    item->setCheckable(true);
    group->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { LanguageClick(item->data().toString()); });
  }
  ui_.LanguageSystem->setChecked(true);
}

void TFrmKestal::LanguageClick(const QString& code) {
  language_choice_ = IsUiLanguage(code) ? code : QString();
  for (QAction* item : QList<QAction*>{ui_.LanguageSystem} + ui_.LanguageItems)
    item->setChecked(item->data().toString() == language_choice_);
  // Every window retranslates before this returns (changeEvent).
  SetUiLanguage(language_choice_);
}

void TFrmKestal::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) RetranslateUi();
  QMainWindow::changeEvent(event);
}

void TFrmKestal::RetranslateUi() {
  setWindowTitle(tr("Reflection Generator"));
  ui_.Label1->setText(tr("Frames:"));
  ui_.Label2->setText(tr("Height (%):"));
  ui_.RBPerspective->setText(tr("Perspective"));
  ui_.RBRegul->setText(tr("Regular"));
  // Qt shows a tool tip's lines at line feeds; the hints are two lines each.
  ui_.EditFrames->setToolTip(tr("Number of frames\nin the animation"));
  ui_.EditPct->setToolTip(tr("Height of the reflection as a share\nof the photo's height"));

  ui_.MenuFichier->setTitle(tr("File"));
  ui_.MenuOption->setTitle(tr("Options"));
  ui_.OptionVitesse->setTitle(tr("Speed"));
  ui_.OptionVague->setTitle(tr("Wave Type"));
  ui_.MenuRecent->setTitle(tr("Recent photos"));
  ui_.MenuView->setTitle(tr("View"));
  ui_.MenuLanguage->setTitle(tr("Language"));
  // The menu items keep their caption as data: the tool buttons' hints are made from
  // it. Menus show the engine's shortcut text after a tab, which QMenu shows instead of
  // its own rendering of the key sequence.
  const struct {
    QAction* action;
    QString caption;
  } items[] = {
      {ui_.FichierOuvrir, tr("Open")},
      {ui_.FichierExporter, tr("Export")},
      {ui_.FichierQuitter, tr("Quit")},
      {ui_.OptionAnimer, tr("Animation")},
      {ui_.VitesseLente, tr("Slow")},
      {ui_.VitesseMoyenne, tr("Medium")},
      {ui_.VitesseRapide, tr("Fast")},
      {ui_.OndeCourte, tr("Short")},
      {ui_.OndeMoyenne, tr("Medium")},
      {ui_.OndeLongue, tr("Long")},
      {ui_.MenuInformations, tr("Help")},
      {ui_.MenuWeb, tr("Official Website")},
      {ui_.MenuAPropos, tr("About")},
  };
  for (const auto& item : items) {
    item.action->setData(item.caption);
    item.action->setText(MenuActionText(item.caption, item.action->property("kestalShortCut").toInt()));
  }
  ui_.OptionEau->setText(tr("Water..."));
  ui_.OptionNatural->setText(tr("Natural water"));
  ui_.ViewZoomIn->setText(tr("Zoom In"));
  ui_.ViewZoomOut->setText(tr("Zoom Out"));
  ui_.ViewActualSize->setText(tr("Actual Size"));
  ui_.ViewFit->setText(tr("Fit to Window"));
  ui_.LanguageSystem->setText(tr("System Language"));
  for (QAction* item : ui_.LanguageItems) {
    for (const UiLanguage& language : UiLanguages())
      if (item->data().toString() == QLatin1String(language.code))
        item->setText(QCoreApplication::translate("Language", language.name));
  }

  ui_.BtnOpen->setToolTip(QString::fromStdString(MenuCaptionToHint(ui_.FichierOuvrir->data().toString().toStdString())));
  ui_.BtnAnimation->setToolTip(ui_.OptionAnimer->data().toString());
  ui_.BtnSauve->setToolTip(QString::fromStdString(MenuCaptionToHint(ui_.FichierExporter->data().toString().toStdString())));

  ui_.BtnCancelExport->setText(tr("Cancel"));
  status_water_->setText(tr("Water effects on"));
  status_water_busy_->setText(tr("Updating the reflection…"));
  status_water_->setToolTip(tr("Options → Water...: “Defaults” brings back the plain reflection"));
  // The labels' new widths may need the tool panel's controls moved.
  FitToolPanel();
}

}  // namespace kestal
