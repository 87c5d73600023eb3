#pragma once
// TFrmKestal: the main window. A tool panel at the top (tool buttons, the frame
// count, the reflection height, the wave mode), a scroll box with the photo and its
// animated reflection under it, a status bar and the menu bar. The window drives the
// engine's animation model from its timer and paints the reflection after each frame.
// Exports (ExportCommand) run on a thread of their own while the window stays
// responsive; the View menu zooms the display; the choices are kept between runs.
//
// The designed form and its handlers are in main_window.cpp; the status bar and the
// window's state during an export in main_window_status.cpp, the zoom in
// main_window_zoom.cpp, the kept choices in main_window_settings.cpp.

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <optional>

#include "bitmap/image_list.h"
#include "gui/natural_view.h"
#include "render/animation_model.h"
#include "text/shortcut_text.h"

class QAction;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QMenu;
class QRadioButton;
class QScrollArea;
class QVBoxLayout;
class QSpinBox;
class QStatusBar;
class QTimer;
class QProgressBar;
class QToolButton;

namespace kestal {

class TAProposForm;
class TBmpImage;
class TFrmExport;
class TFrmWater;
class MirrorBuilder;
struct WindowSettings;

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

  // Shows the open dialog and opens the chosen photo.
  void OpenPhoto();
  // Opens a photo without a dialog (drops, the command line, recent files): stops the
  // animation, loads the file and, when that works, shows it with its reflection. A
  // failure is reported in the standard error box and changes nothing else.
  bool OpenPhotoFile(const QString& path);
  // The photo named on the command line: opened once the event loop runs (so the window
  // is on screen and can grow to it, and a load error shows over it); its folder
  // becomes the current folder, as the open dialog's choice does. "" opens nothing.
  void OpenAtStart(const QString& path);
  // Sizes the reflection pane from the photo and the height percentage, shows the
  // still mirror in it and places it and PnlImg under the photo.
  void LayoutPane();
  // Gives the model new water settings and shows the photo down to the water line with
  // the reflection under it; a refused value is reported and changes nothing. On a
  // large photo the view first shows a preview at its own scale and the model gets
  // its mirror from another thread; during an export the change waits for its end.
  void ApplyWater(const WaterSettings& water);
  // The wave mode the window animates and exports: natural water when it is chosen (the
  // Options menu's item or the water panel), else the mode of the radio buttons.
  WaveMode CurrentMode() const;
  // Chooses a mode: natural water, or a designed mode through its radio button.
  void SetWaveMode(WaveMode mode);
  // Gives the model the natural water's wind, direction, rain and glints.
  void ApplyNaturalWater(const NaturalWaterSettings& natural);
  // Gives the model the water settings applied last, building their mirror here if it
  // is not ready yet. What reads the model (an export, the settings) calls this first.
  void SettleWater();
  // The water settings applied last, whether or not the model has them yet.
  WaterSettings AppliedWater() const;
  // The photo's rows shown above the water: the model's, or a preview's line.
  int ShownWaterLineRow() const;
  // Whether the view shows a preview of water settings the model does not have yet.
  bool ShowsWaterPreview() const { return !water_preview_.Empty(); }
  // Renders the next frame into the pane and paints it at once.
  void NextFrame();
  // The export command: stops the animation, shows the export dialog and writes the
  // chosen format through the engine's export driver. The animation stays stopped.
  void ExportAnimation();

  AnimationModel& Model() { return model_; }
  const QString& PhotoFileName() const { return photo_file_name_; }
  int FrameCount() const { return model_.FrameCount(); }
  int FrameIndex() const { return model_.FrameIndex(); }
  kestal::WaveLength WaveLength() const { return model_.WaveLength(); }
  int TimerInterval() const;
  void StopAnimation();

  // Status bar: panel 0 holds the picture size, panel 1 the photo's path. Panel 1 is
  // a container with a horizontal layout: during an export it also holds the progress
  // bar and the Cancel button.
  void SetStatusText(int panel, const QString& text);
  QString StatusText(int panel) const;
  QWidget* PathPanel() const { return status_panel1_; }
  // The note shown in panel 1, in place of the path, for a few seconds ("Written:
  // ..."), or "". After panel 1 the status bar says when water effects are on.
  QString StatusNotice() const;
  void ShowNotice(const QString& text);
  void EndNotice();

  // The window while an export runs (ExportCommand runs it on its own thread and calls
  // these on the window's): BeginExport disables the commands that would conflict,
  // shows Cancel (Esc) and keeps the pane on a copy of its frame; ShowExportFrame
  // shows the frame written last; EndExport gives the commands back and, when the
  // person closed the window meanwhile, closes it. Cancel asks the export to stop at
  // its next frame (ExportCancelRequested, read from the export's thread).
  void BeginExport();
  void ShowExportFrame(Bitmap24 frame);
  void EndExport();
  bool ExportRunning() const { return export_running_; }
  bool ExportCancelRequested() const { return cancel_requested_; }
  void CancelExport();
  // The export's progress: status panel 1 reads "Exporting image N" beside a progress
  // bar; EndExportProgress puts the photo's path back.
  void ShowExportProgress(int number, int total);
  void EndExportProgress();

  // The zoom of the picture on screen (1 is one photo pixel per screen pixel).
  // SetZoom and the View menu's commands set the zoom the person chose, which is kept
  // between runs and applied to each photo that opens (reduced when the picture
  // would not show whole).
  double Zoom() const { return zoom_; }
  void SetZoom(double zoom);
  void ZoomIn();
  void ZoomOut();
  void ZoomActualSize() { SetZoom(1.0); }
  void ZoomToFit();

  // The choices kept between runs: read from QSettings at start (LoadSettings), saved
  // when the window closes once they were loaded.
  void LoadSettings();
  void SaveSettings();
  QStringList RecentFiles() const { return recent_files_; }

  // Handlers, named after their control and event.
  void FichierOuvrirClick() { OpenPhoto(); }
  void BtnOpenClick() { OpenPhoto(); }
  void EditPctChange();
  void TimerTimer() { NextFrame(); }
  void OptionAnimerClick();
  void BtnAnimationClick() { OptionAnimerClick(); }
  void MenuOptionClick();
  void OptionEauClick();
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

  // The photo's view in the scroll box; the water panel draws its line over it.
  QWidget* PhotoView() const;

  // The help page: the executable's path with ".htm" as its extension.
  static QString HelpPagePath();

  // The controls, as designed, and the ones added after them. The window alone
  // changes them; tests read them through Ui().
  struct Controls {
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

    // Added: the water panel's command, recent photos, the View menu, the export's
    // Cancel button.
    QAction* OptionEau;
    QAction* OptionNatural;  // after the wave type: natural water, on or off
    QMenu* MenuRecent;
    QMenu* MenuView;
    QAction* ViewZoomIn;
    QAction* ViewZoomOut;
    QAction* ViewActualSize;
    QAction* ViewFit;
    QPushButton* BtnCancelExport;
    // The language: the system's, then one item for each language the window speaks.
    QMenu* MenuLanguage;
    QAction* LanguageSystem;
    QList<QAction*> LanguageItems;
  };
  const Controls& Ui() const { return ui_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CreateControls();
  void CreateToolPanel(QWidget* central, QVBoxLayout* column);
  void CreatePictureArea(QWidget* central, QVBoxLayout* column);
  void CreateStatusBar();
  void CreateMenus();
  void CreateViewMenu();
  void CreateLanguageMenu();
  // Every text of the window, its menus and its status bar in the current language.
  void RetranslateUi();
  // The chosen language ("" for the system's), made the window's at once.
  void LanguageClick(const QString& code);
  void FormCreate();
  void InitTexts();
  void BuildToolBarImages();
  QAction* AddItem(QMenu* menu, ShortCut shortcut = 0);
  void EnablePhotoCommands();
  // Places the photo, the pane and PnlImg at the zoom, sizes the scrollable area and
  // shows the picture's size in the status bar.
  void PlacePane();
  // Has the pane show `bitmap` (a frame of the whole pane, reduced or not) at the zoom.
  void ShowPaneBitmap(const Bitmap24& bitmap);
  // The pane's rows the scroll box shows (all of them while the window is hidden), and
  // showing the current frame there after a scroll.
  PaneRows ShownPaneRows() const;
  void ScrolledPane();
  // Grows the window so that a newly opened picture shows whole, within the screen's
  // available area; when it still does not fit, the view fits it to the window.
  void ShowWholePicture();
  // The picture (photo, reflection and the margins around them) at zoom 1.
  QSize PictureSize() const;
  // The zoom at which the picture fits into `viewport`, at most 1.
  double FitPictureZoom(QSize viewport) const;
  // Zooms so that the picture point under `pointer` (viewport coordinates) stays put.
  void ZoomAbout(double zoom, QPointF pointer);
  // Shows the picture at `zoom` about the viewport's centre, leaving the chosen zoom.
  void ShowAtZoom(double zoom);
  // Shows or hides the status bar's water note.
  void ShowWaterState();
  void SetExportBusy(bool busy);
  // Moves a spin edit (and what follows it on the panel) right when the font makes its
  // label wider than the designed gap, and keeps the window at least as wide as the
  // panel's controls.
  void FitToolPanel();
  void RebuildRecentMenu();
  void CreateNaturalModeItem();
  void ApplySettings(const WindowSettings& settings);
  bool CtrlWheelZoom(QEvent* event);

  Controls ui_{};
  TAProposForm* AProposForm = nullptr;
  TFrmExport* FrmExport = nullptr;
  TFrmWater* water_panel_ = nullptr;

  AnimationModel model_;
  // The frames of natural water while the view shows the picture reduced.
  NaturalView natural_view_;
  QString photo_file_name_;
  std::optional<ImageList> disabled_images_;
  std::optional<ImageList> normal_images_;
  QLabel* status_panel0_ = nullptr;
  QWidget* status_panel1_ = nullptr;
  QHBoxLayout* status_panel1_layout_ = nullptr;
  QLabel* status_path_ = nullptr;
  QLabel* status_notice_ = nullptr;
  QTimer* notice_timer_ = nullptr;
  QLabel* status_water_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  bool first_show_ = true;

  double zoom_ = 1.0;
  double chosen_zoom_ = 1.0;
  QStringList recent_files_;
  // The language the person chose in the View menu; "" follows the system.
  QString language_choice_;
  bool settings_loaded_ = false;
  bool natural_mode_ = false;

  bool export_running_ = false;
  std::atomic<bool> cancel_requested_{false};
  bool close_after_export_ = false;
  // The frame the pane shows while an export renders into the model's pane bitmap.
  Bitmap24 export_frame_;

  // The water's full-size mirror in the making (ApplyWater) and what the view shows
  // until it is ready: the pane at a smaller scale, and the water line of its settings.
  void ShowWaterPreview(const WaterSettings& water);
  void MirrorBuilt(const WaterSettings& water, int percent, Result<Bitmap24> mirror);
  void ShowWaterBusy(bool busy);
  void EndWaterPreview();
  MirrorBuilder* mirror_builder_ = nullptr;
  Bitmap24 water_preview_;
  int water_preview_line_ = 0;
  QTimer* water_busy_timer_ = nullptr;
  QLabel* status_water_busy_ = nullptr;
  // Water settings applied during an export, given to the model when it ends.
  std::optional<WaterSettings> water_after_export_;
};

}  // namespace kestal
