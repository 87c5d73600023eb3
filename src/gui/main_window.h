#pragma once
// TFrmKestal: the main window. A tool panel at the top (tool buttons, the frame
// count, the reflection height, the wave mode), a scroll box with the photo and its
// animated reflection under it, a status bar and the menu bar. The window drives the
// engine's animation model from its timer and paints the reflection after each frame.

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>

#include "bitmap/image_list.h"
#include "render/animation_model.h"
#include "ui/shortcut_text.h"

class QAction;
class QFrame;
class QHBoxLayout;
class QLabel;
class QMenu;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QStatusBar;
class QTimer;
class QToolButton;

namespace kestal {

class ExportPrompts;
class TAProposForm;
class TBmpImage;
class TFrmExport;

// Where the web command leads.
inline constexpr const char* kWebSiteAddress = "https://kestal.org/";

class TFrmKestal : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFrmKestal(QWidget* parent = nullptr);
  ~TFrmKestal() override;

  // The About box shown by the help menu; the application creates it after the
  // window and keeps it for the whole run.
  void SetAboutForm(TAProposForm* form) { AProposForm = form; }
  // The export dialog, created by the application after the About box and kept for the
  // whole run so that it keeps its settings.
  void SetExportForm(TFrmExport* form) { FrmExport = form; }
  // Who answers the export's questions: the desktop's dialogs unless a test sets its own.
  void SetExportPrompts(ExportPrompts* prompts) { export_prompts_ = prompts; }

  // Shows the open dialog and opens the chosen photo.
  void OpenPhoto();
  // Opens a photo without a dialog (drops, tests): stops the animation, loads the
  // file and, when that works, shows it with its reflection. A failure is reported
  // in the standard error box and changes nothing else.
  bool OpenPhotoFile(const QString& path);
  // Sizes the reflection pane from the photo and the height percentage, shows the
  // still mirror in it and places it and PnlImg under the photo.
  void LayoutPane();
  // Gives the model new water settings and shows the photo down to the water line with
  // the reflection under it; a refused value is reported and changes nothing.
  void ApplyWater(const WaterSettings& water);
  // Renders the next frame into the pane and paints it at once.
  void NextFrame();
  // The export command: stops the animation, shows the export dialog and writes the
  // chosen format through the engine's export driver. The animation stays stopped.
  void ExportAnimation();

  AnimationModel& Model() { return model_; }
  const QString& PhotoFileName() const { return photo_file_name_; }
  int FrameCount() const { return model_.FrameCount(); }
  int FrameIndex() const { return model_.FrameIndex(); }
  int WaveLength() const { return model_.WaveLength(); }

  // Status bar: panel 0 holds the picture size, panel 1 the photo's path. Panel 1 is
  // a container with a horizontal layout, so progress widgets can be added beside
  // (or instead of) the path label.
  void SetStatusText(int panel, const QString& text);
  QString StatusText(int panel) const;
  QWidget* StatusPanel1() const { return status_panel1_; }
  QHBoxLayout* StatusPanel1Layout() const { return status_panel1_layout_; }

  // How the window shows an error box or an information message. The default uses
  // QMessageBox; tests replace it to see the messages without a modal loop.
  using MessageHook = std::function<void(QMessageBox::Icon icon, const QString& text)>;
  void SetMessageHook(MessageHook hook) { message_hook_ = std::move(hook); }
  void ShowMessage(QMessageBox::Icon icon, const QString& text);

  // Handlers, named after their control and event.
  void FichierOuvrirClick() { OpenPhoto(); }
  void BtnOpenClick() { OpenPhoto(); }
  void EditPctChange();
  void TimerTimer() { NextFrame(); }
  void OptionAnimerClick();
  void BtnAnimationClick() { OptionAnimerClick(); }
  void MenuOptionClick();
  void VitesseClick(QAction* sender);
  void OndeClick(QAction* sender);
  void EditFramesChange();
  void FichierExporterClick() { ExportAnimation(); }
  void BtnSauveClick() { ExportAnimation(); }
  void FichierQuitterClick() { close(); }
  void MenuInformationsClick();
  void MenuWebClick();
  void MenuAProposClick();
  void FormKeyDown(int key);
  void FormKeyUp(int key);

  // The help page: the executable's path with ".htm" as its extension.
  static QString HelpPagePath();

  // The controls, as designed.
  QWidget* PnlOutils;
  QFrame* Bevel1;
  QFrame* Bevel2;
  QFrame* Bevel3;
  QFrame* Bevel4;
  QWidget* ToolBar;
  QToolButton* BtnOpen;
  QToolButton* BtnAnimation;
  QToolButton* BtnSauve;
  QLabel* Label1;
  QSpinBox* EditFrames;
  QLabel* Label2;
  QSpinBox* EditPct;
  QRadioButton* RBPerspective;
  QRadioButton* RBRegul;
  QScrollArea* ScrollBox;
  QWidget* ScrollContent;
  TBmpImage* Image1;
  TBmpImage* Pane;
  QWidget* PnlImg;
  QTimer* Timer;

  QMenu* MenuFichier;
  QAction* FichierOuvrir;
  QAction* FichierExporter;
  QAction* FichierQuitter;
  QMenu* MenuOption;
  QAction* OptionAnimer;
  QMenu* OptionVitesse;
  QAction* VitesseLente;
  QAction* VitesseMoyenne;
  QAction* VitesseRapide;
  QMenu* OptionVague;
  QAction* OndeCourte;
  QAction* OndeMoyenne;
  QAction* OndeLongue;
  QMenu* MenuAide;
  QAction* MenuInformations;
  QAction* MenuWeb;
  QAction* MenuAPropos;

  TAProposForm* AProposForm = nullptr;
  TFrmExport* FrmExport = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void FormCreate();
  void InitTexts();
  void BuildToolBarImages();
  QAction* AddItem(QMenu* menu, const QString& caption, ShortCut shortcut = 0);
  void SetShortcutText(QAction* action, ShortCut shortcut);
  void EnablePhotoCommands();
  // Places the pane and PnlImg under the photo at the pane bitmap's size, sizes the
  // scrollable area and shows the picture's size in the status bar.
  void PlacePane();

  AnimationModel model_;
  QString photo_file_name_;
  std::optional<ImageList> disabled_images_;
  std::optional<ImageList> normal_images_;
  QLabel* status_panel0_ = nullptr;
  QWidget* status_panel1_ = nullptr;
  QHBoxLayout* status_panel1_layout_ = nullptr;
  QLabel* status_path_ = nullptr;
  MessageHook message_hook_;
  ExportPrompts* export_prompts_ = nullptr;
  bool first_show_ = true;
};

}  // namespace kestal
