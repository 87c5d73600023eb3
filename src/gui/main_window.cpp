#include "gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>

#include "gui/bitmap_qt.h"
#include "gui/bmp_image.h"
#include "gui/export_commands.h"
#include "bitmap/toolbar_glyphs.h"
#include "gui/export_dialog.h"
#include "gui/mirror_builder.h"
#include "gui/prompts.h"
#include "gui/image_dialogs.h"
#include "gui/language.h"
#include "imageio/image_files.h"
#include "text/text_utils.h"
#include "text/help_page.h"
#include "gui/about_box.h"
#include "gui/menu_style.h"
#include "gui/message_dialog.h"
#include "gui/platform_qt.h"
#include "gui/water_panel.h"
#include "text/string_table.h"
#include "text/visual_styles.h"

namespace kestal {
namespace {


// The glyphs are drawn over magenta; that colour is their mask.
constexpr Color kGlyphTransparent = Rgb(255, 0, 255);
constexpr int kGlyphWidth = 39;
constexpr int kGlyphHeight = 34;
const char* const kGlyphFiles[] = {":/kestal/glyph_open.png", ":/kestal/glyph_export.png",
                                   ":/kestal/glyph_animation.png"};
enum Glyph { kGlyphOpen = 0, kGlyphExport = 1, kGlyphAnimation = 2 };

// The spin edits' value can only be changed by their buttons and arrow keys.
QSpinBox* MakeSpinEdit(QWidget* parent, int x, int y, int min, int max, int value, int step) {
  auto* spin = new QSpinBox(parent);
  spin->setGeometry(x, y, 57, 21);
  spin->setRange(min, max);
  spin->setValue(value);
  spin->setSingleStep(step);
  spin->setKeyboardTracking(false);
  if (QLineEdit* edit = spin->findChild<QLineEdit*>()) edit->setReadOnly(true);
  return spin;
}

QFrame* MakeBevel(QWidget* parent, QFrame::Shape shape, const QRect& bounds) {
  auto* bevel = new QFrame(parent);
  bevel->setFrameStyle(shape | QFrame::Sunken);
  bevel->setGeometry(bounds);
  return bevel;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QToolButton* MakeToolButton(QWidget* parent, int x) {
  auto* button = new QToolButton(parent);
  button->setGeometry(x, 0, 50, 42);
  button->setAutoRaise(true);
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setIconSize(QSize(kGlyphWidth, kGlyphHeight));
  return button;
}

// A glyph at its own size and, for screens of two device pixels per pixel, doubled
// pixel for pixel: a smooth enlargement of a 39 x 34 drawing would blur its edges.
void AddGlyph(QIcon& icon, const QPixmap& glyph, QIcon::Mode mode) {
  icon.addPixmap(glyph, mode);
  QPixmap doubled = glyph.scaled(glyph.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  doubled.setDevicePixelRatio(2.0);
  icon.addPixmap(doubled, mode);
}

// The tool-bar glyphs as the engine's image list.
ImageList LoadGlyphs() {
  ImageList list(kGlyphWidth, kGlyphHeight);
  for (const char* file : kGlyphFiles) {
    auto bitmap = BitmapFromImage(QImage(QString::fromLatin1(file)));
    if (!bitmap || !list.AddMasked(bitmap.value(), kGlyphTransparent)) {
      throw std::runtime_error(std::string("the tool-bar glyph ") + file + " is missing or damaged");
    }
  }
  return list;
}

}  // namespace

TFrmKestal::TFrmKestal(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FrmKestal"));
  CreateControls();
  CreateMenus();
  FormCreate();
}

TFrmKestal::~TFrmKestal() {
  qApp->removeEventFilter(this);
  // A mirror being built reads the model's photo.
  mirror_builder_->Drop();
  // The pane and the photo view point into the model; drop those views first.
  ui_.Pane->SetBitmap(nullptr);
  ui_.Image1->SetBitmap(nullptr);
}

void TFrmKestal::CreateControls() {
  setFont(DesignFont());
  resize(590, 452);
  setMinimumSize(400, 300);
  setAcceptDrops(true);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);
  CreateToolPanel(central, column);
  CreatePictureArea(central, column);
  CreateStatusBar();

  ui_.Timer = new QTimer(this);
  ui_.Timer->setInterval(kMediumIntervalMs);
  ui_.Timer->setTimerType(Qt::PreciseTimer);
  connect(ui_.Timer, &QTimer::timeout, this, &TFrmKestal::TimerTimer);

  mirror_builder_ = new MirrorBuilder(this, [this](const WaterSettings& water, int percent, Result<Bitmap24> mirror) {
    MirrorBuilt(water, percent, std::move(mirror));
  });
  // A build that outlasts this shows a busy sign.
  water_busy_timer_ = new QTimer(this);
  water_busy_timer_->setSingleShot(true);
  water_busy_timer_->setInterval(200);
  connect(water_busy_timer_, &QTimer::timeout, this, [this] { ShowWaterBusy(mirror_builder_->Wanted()); });
}

// The tool panel across the top: the tool bar, the frame count, the height and the mode.
void TFrmKestal::CreateToolPanel(QWidget* central, QVBoxLayout* column) {
  ui_.PnlOutils = new QWidget(central);
  ui_.PnlOutils->setFixedHeight(49);
  ui_.PnlOutils->installEventFilter(this);  // keeps Bevel1 as wide as the panel
  column->addWidget(ui_.PnlOutils);
  ui_.Bevel1 = MakeBevel(ui_.PnlOutils, QFrame::HLine, QRect(0, 0, width(), 2));
  ui_.Bevel2 = MakeBevel(ui_.PnlOutils, QFrame::VLine, QRect(156, 8, 2, 35));
  ui_.Bevel3 = MakeBevel(ui_.PnlOutils, QFrame::VLine, QRect(286, 8, 2, 35));
  ui_.Bevel4 = MakeBevel(ui_.PnlOutils, QFrame::VLine, QRect(436, 8, 2, 35));

  ui_.ToolBar = new QWidget(ui_.PnlOutils);
  ui_.ToolBar->setGeometry(2, 4, 150, 42);
  ui_.BtnOpen = MakeToolButton(ui_.ToolBar, 0);
  ui_.BtnAnimation = MakeToolButton(ui_.ToolBar, 50);
  ui_.BtnSauve = MakeToolButton(ui_.ToolBar, 100);
  ui_.BtnAnimation->setEnabled(false);
  ui_.BtnSauve->setEnabled(false);
  connect(ui_.BtnOpen, &QToolButton::clicked, this, &TFrmKestal::BtnOpenClick);
  connect(ui_.BtnAnimation, &QToolButton::clicked, this, &TFrmKestal::BtnAnimationClick);
  connect(ui_.BtnSauve, &QToolButton::clicked, this, &TFrmKestal::BtnSauveClick);

  ui_.Label1 = MakeLabel(ui_.PnlOutils, QString(), 170, 18);
  ui_.EditFrames = MakeSpinEdit(ui_.PnlOutils, 216, 16, kMinFrameCount, kMaxFrameCount, kDefaultFrameCount, 1);
  ui_.Label2 = MakeLabel(ui_.PnlOutils, QString(), 300, 18);
  ui_.EditPct = MakeSpinEdit(ui_.PnlOutils, 366, 16, kMinPercent, kMaxPercent, kDefaultPercent, 5);
  connect(ui_.EditFrames, &QSpinBox::valueChanged, this, &TFrmKestal::EditFramesChange);
  connect(ui_.EditPct, &QSpinBox::valueChanged, this, &TFrmKestal::EditPctChange);
  ui_.RBPerspective = new QRadioButton(ui_.PnlOutils);
  ui_.RBPerspective->setGeometry(448, 9, 120, 17);
  ui_.RBPerspective->setChecked(true);
  ui_.RBRegul = new QRadioButton(ui_.PnlOutils);
  ui_.RBRegul->setGeometry(448, 27, 120, 17);
}

void TFrmKestal::CreatePictureArea(QWidget* central, QVBoxLayout* column) {
  // The scroll box shows the application-workspace colour around the picture.
  ui_.ScrollBox = new QScrollArea(central);
  ui_.ScrollBox->setFrameShape(QFrame::StyledPanel);
  ui_.ScrollBox->setFocusPolicy(Qt::StrongFocus);
  ui_.ScrollBox->setWidgetResizable(false);
  QPalette workspace = ui_.ScrollBox->palette();
  workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
  ui_.ScrollBox->viewport()->setPalette(workspace);
  ui_.ScrollBox->viewport()->setAutoFillBackground(true);
  column->addWidget(ui_.ScrollBox, 1);
  ui_.ScrollContent = new QWidget;
  ui_.ScrollContent->resize(0, 0);
  ui_.ScrollBox->setWidget(ui_.ScrollContent);
  // Natural water at 100 % and more is rendered in the rows on view only.
  connect(ui_.ScrollBox->verticalScrollBar(), &QScrollBar::valueChanged, this, &TFrmKestal::ScrolledPane);
  connect(ui_.ScrollBox->verticalScrollBar(), &QScrollBar::rangeChanged, this, &TFrmKestal::ScrolledPane);
  ui_.Image1 = new TBmpImage(ui_.ScrollContent);
  ui_.Image1->setObjectName(QStringLiteral("Image1"));
  ui_.Image1->setGeometry(8, 8, 0, 0);
  ui_.PnlImg = new QWidget(ui_.ScrollContent);
  ui_.PnlImg->setObjectName(QStringLiteral("PnlImg"));
  ui_.PnlImg->setGeometry(0, 0, 9, 8);
}

QAction* TFrmKestal::AddItem(QMenu* menu, ShortCut shortcut) {
  // The caption comes with the window's texts (RetranslateUi).
  auto* action = new QAction(this);
  menu->addAction(action);
  if (shortcut != 0) {
    QList<QKeySequence> keys{QtKeySequence(shortcut)};
    // Enter is both the main keyboard's Return and the keypad's Enter.
    if ((shortcut & 0xFF) == kVkReturn) keys << QKeySequence(QKeyCombination(Qt::KeypadModifier, Qt::Key_Enter));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setProperty("kestalShortCut", int{shortcut});
  }
  return action;
}

void TFrmKestal::CreateMenus() {
  QMenuBar* bar = menuBar();
  ui_.MenuFichier = bar->addMenu(QString());
  ui_.FichierOuvrir = AddItem(ui_.MenuFichier, kCtrlBit | 'O');
  ui_.MenuFichier->addSeparator();
  ui_.FichierExporter = AddItem(ui_.MenuFichier, kCtrlBit | 'S');
  ui_.FichierExporter->setEnabled(false);
  ui_.MenuFichier->addSeparator();
  ui_.FichierQuitter = AddItem(ui_.MenuFichier, kCtrlBit | 'Q');
  connect(ui_.FichierOuvrir, &QAction::triggered, this, &TFrmKestal::FichierOuvrirClick);
  connect(ui_.FichierExporter, &QAction::triggered, this, &TFrmKestal::FichierExporterClick);
  connect(ui_.FichierQuitter, &QAction::triggered, this, &TFrmKestal::FichierQuitterClick);

  ui_.MenuOption = bar->addMenu(QString());
  connect(ui_.MenuOption, &QMenu::aboutToShow, this, &TFrmKestal::MenuOptionClick);
  ui_.OptionAnimer = AddItem(ui_.MenuOption, kVkReturn);
  ui_.OptionAnimer->setCheckable(true);
  ui_.OptionAnimer->setEnabled(false);
  connect(ui_.OptionAnimer, &QAction::triggered, this, &TFrmKestal::OptionAnimerClick);
  ui_.MenuOption->addSeparator();
  ui_.OptionVitesse = ui_.MenuOption->addMenu(QString());
  ui_.VitesseLente = AddItem(ui_.OptionVitesse);
  ui_.VitesseMoyenne = AddItem(ui_.OptionVitesse);
  ui_.VitesseRapide = AddItem(ui_.OptionVitesse);
  ui_.OptionVague = ui_.MenuOption->addMenu(QString());
  ui_.OndeCourte = AddItem(ui_.OptionVague);
  ui_.OndeMoyenne = AddItem(ui_.OptionVague);
  ui_.OndeLongue = AddItem(ui_.OptionVague);
  for (QAction* a : {ui_.VitesseLente, ui_.VitesseMoyenne, ui_.VitesseRapide, ui_.OndeCourte, ui_.OndeMoyenne, ui_.OndeLongue})
    a->setCheckable(true);
  ui_.VitesseMoyenne->setChecked(true);
  ui_.OndeMoyenne->setChecked(true);
  // Exclusive groups: the menus draw their items as a choice of one.
  auto* speeds = new QActionGroup(this);
  auto* waves = new QActionGroup(this);
  for (QAction* a : {ui_.VitesseLente, ui_.VitesseMoyenne, ui_.VitesseRapide}) speeds->addAction(a);
  for (QAction* a : {ui_.OndeCourte, ui_.OndeMoyenne, ui_.OndeLongue}) waves->addAction(a);
  for (QAction* a : {ui_.VitesseLente, ui_.VitesseMoyenne, ui_.VitesseRapide})
    connect(a, &QAction::triggered, this, [this, a] { VitesseClick(a); });
  for (QAction* a : {ui_.OndeCourte, ui_.OndeMoyenne, ui_.OndeLongue})
    connect(a, &QAction::triggered, this, [this, a] { OndeClick(a); });
  CreateNaturalModeItem();

  ui_.MenuAide = bar->addMenu(QStringLiteral("?"));
  ui_.MenuInformations = AddItem(ui_.MenuAide, kVkF1);
  ui_.MenuAide->addSeparator();
  ui_.MenuWeb = AddItem(ui_.MenuAide);
  ui_.MenuAide->addSeparator();
  ui_.MenuAPropos = AddItem(ui_.MenuAide);
  connect(ui_.MenuInformations, &QAction::triggered, this, &TFrmKestal::MenuInformationsClick);
  connect(ui_.MenuWeb, &QAction::triggered, this, &TFrmKestal::MenuWebClick);
  connect(ui_.MenuAPropos, &QAction::triggered, this, &TFrmKestal::MenuAProposClick);

  // Added after the designed items: the last photos opened.
  ui_.MenuFichier->addSeparator();
  ui_.MenuRecent = ui_.MenuFichier->addMenu(QString());
  ui_.MenuRecent->setObjectName(QStringLiteral("MenuRecent"));
  RebuildRecentMenu();
  // Added at the end of the options menu: the water panel.
  ui_.MenuOption->addSeparator();
  ui_.OptionEau = ui_.MenuOption->addAction(QString());
  ui_.OptionEau->setObjectName(QStringLiteral("OptionEau"));
  connect(ui_.OptionEau, &QAction::triggered, this, &TFrmKestal::OptionEauClick);
  CreateViewMenu();
  CreateLanguageMenu();
}

void TFrmKestal::CreateNaturalModeItem() {
  // Added after the wave type: natural water instead of the radio buttons' mode, which
  // a click on either radio button brings back.
  ui_.OptionNatural = ui_.MenuOption->addAction(tr("Natural water"));
  ui_.OptionNatural->setObjectName(QStringLiteral("OptionNatural"));
  ui_.OptionNatural->setCheckable(true);
  connect(ui_.OptionNatural, &QAction::triggered, this, [this](bool on) {
    SetWaveMode(on ? WaveMode::Natural : (ui_.RBRegul->isChecked() ? WaveMode::Regular : WaveMode::Perspective));
  });
  for (QRadioButton* rb : {ui_.RBPerspective, ui_.RBRegul})
    connect(rb, &QRadioButton::clicked, this, [this, rb] {
      SetWaveMode(rb == ui_.RBRegul ? WaveMode::Regular : WaveMode::Perspective);
    });
}

WaveMode TFrmKestal::CurrentMode() const {
  if (natural_mode_) return WaveMode::Natural;
  return ui_.RBPerspective->isChecked() ? WaveMode::Perspective : WaveMode::Regular;
}

void TFrmKestal::SetWaveMode(WaveMode mode) {
  natural_mode_ = mode == WaveMode::Natural;
  if (mode == WaveMode::Regular) ui_.RBRegul->setChecked(true);
  if (mode == WaveMode::Perspective) ui_.RBPerspective->setChecked(true);
  ui_.OptionNatural->setChecked(natural_mode_);
  model_.SetMode(CurrentMode());
  if (water_panel_) water_panel_->ModeChanged();
}

void TFrmKestal::ApplyNaturalWater(const NaturalWaterSettings& natural) { model_.SetNaturalWater(natural); }

void TFrmKestal::RebuildRecentMenu() {
  ui_.MenuRecent->clear();
  for (const QString& file : recent_files_) {
    QAction* a = ui_.MenuRecent->addAction(QDir::toNativeSeparators(file));
    connect(a, &QAction::triggered, this, [this, file] {
      // A photo that has gone since is dropped from the list instead of failing.
      if (!QFileInfo(file).isFile()) {
        recent_files_.removeAll(file);
        RebuildRecentMenu();
        return;
      }
      OpenPhotoFile(file);
    });
  }
  ui_.MenuRecent->setEnabled(!recent_files_.isEmpty() && !export_running_);
}

void TFrmKestal::FormCreate() {
  // Visual styles exist only on the one system version that passes the test; there
  // is nothing to theme here otherwise, and the plain look is used.
  SetThemesActive(IsWindowsXP() && QApplication::style() != nullptr);
  model_.SetFrameCount(ui_.EditFrames->value());
  ui_.Pane = new TBmpImage(ui_.ScrollContent);
  ui_.Pane->setObjectName(QStringLiteral("Pane"));
  ui_.Pane->setGeometry(0, 0, 0, 0);
  ui_.Pane->SetBitmap(&model_.PaneBitmap());
  ui_.Image1->SetBitmap(&model_.Photo());
  model_.SetWaveLength(kDefaultWaveLength);
  BuildToolBarImages();
  InitTexts();
  // The owner-drawn menus go with visual styles; after InitTexts, so their shortcut
  // texts already read the start-up key names.
  if (ThemesActive()) InstallOwnerDrawMenus(menuBar(), true);
  // The window sees every key before the focused control.
  qApp->installEventFilter(this);
}

void TFrmKestal::BuildToolBarImages() {
  const ImageList glyphs = LoadGlyphs();
  const Color face = SystemColor(kColorBtnFace);
  disabled_images_ = BuildDisabledImages(glyphs, face, 50);
  normal_images_ = BuildShadowedImages(glyphs, face, 33);
  const struct {
    QToolButton* button;
    Glyph glyph;
  } buttons[] = {{ui_.BtnOpen, kGlyphOpen}, {ui_.BtnAnimation, kGlyphAnimation}, {ui_.BtnSauve, kGlyphExport}};
  for (const auto& b : buttons) {
    QIcon icon;
    // A list that could not be built leaves its state to the plain glyph.
    const ImageList& normal = normal_images_ ? *normal_images_ : glyphs;
    AddGlyph(icon, ImageListPixmap(normal, b.glyph), QIcon::Normal);
    if (disabled_images_) AddGlyph(icon, ImageListPixmap(*disabled_images_, b.glyph), QIcon::Disabled);
    b.button->setIcon(icon);
  }
}

void TFrmKestal::InitTexts() {
  // The string library's words first: the shortcut texts read its key names ("Enter").
  ApplyLanguageTexts();
  RetranslateUi();
}

void TFrmKestal::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (first_show_) {
    first_show_ = false;
    ui_.ScrollBox->setFocus();
  }
}

void TFrmKestal::OpenPhoto() {
  ui_.Timer->stop();
  const QString before = QDir::currentPath();
  const QString path = ChooseImageFile(this);
  activateWindow();
  if (path.isEmpty()) return;
  // The dialog made the chosen photo's folder the current one, where the export's
  // dialogs start; a photo that does not open gives the previous folder back.
  if (!OpenPhotoFile(path)) QDir::setCurrent(before);
}

bool TFrmKestal::OpenPhotoFile(const QString& path) {
  // The export reads the model on its own thread until it ends.
  if (export_running_) return false;
  ui_.Timer->stop();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto photo = LoadImageFile(path.toStdString());
  // Water applied last, whose mirror is still being built from the old photo, goes
  // with the new one.
  Status set;
  if (!photo) {
    set = photo.error();
  } else {
    const WaterSettings water = mirror_builder_->Wanted() ? *mirror_builder_->Wanted() : model_.Water();
    mirror_builder_->Drop();
    set = model_.SetPhoto(std::move(photo.value()), water);
    EndWaterPreview();
  }
  QApplication::restoreOverrideCursor();
  if (!set) {
    Error e = set.error();
    if (e.message.empty()) e.message = FormatWithString(LoadErrorFormat(), path.toStdString());
    CurrentPrompts().ShowError(e);
    return false;
  }
  photo_file_name_ = path;
  SetStatusText(1, photo_file_name_);
  // SetPhoto has laid the pane out already, at the percentage EditPct shows.
  PlacePane();
  if (water_panel_) water_panel_->PhotoChanged();
  // A new photo is shown from its top-left corner, not where the last one was scrolled.
  ui_.ScrollBox->horizontalScrollBar()->setValue(0);
  ui_.ScrollBox->verticalScrollBar()->setValue(0);
  EnablePhotoCommands();
  recent_files_ = WithRecentFile(recent_files_, QFileInfo(path).absoluteFilePath());
  RebuildRecentMenu();
  if (isVisible()) ShowWholePicture();
  return true;
}

void TFrmKestal::OpenAtStart(const QString& path) {
  if (path.isEmpty()) return;
  QTimer::singleShot(0, this, [this, path] {
    if (OpenPhotoFile(path)) QDir::setCurrent(QFileInfo(path).absolutePath());
  });
}

void TFrmKestal::EnablePhotoCommands() {
  for (QAction* a : {ui_.FichierExporter, ui_.OptionAnimer}) a->setEnabled(true);
  for (QToolButton* b : {ui_.BtnAnimation, ui_.BtnSauve}) b->setEnabled(true);
}

void TFrmKestal::LayoutPane() {
  if (Status s = model_.SetPercent(ui_.EditPct->value()); !s) {
    CurrentPrompts().ShowError(s.error());
    return;
  }
  // A preview of water still being built follows the new height.
  if (const WaterSettings* wanted = mirror_builder_->Wanted()) ApplyWater(*wanted);
  PlacePane();
}

namespace {

// The preview's size: about a screen's pixels. Photos up to this size (above the water
// line) get their mirror at once, larger ones a preview at most this size first.
constexpr double kWaterPreviewPixels = 1 << 20;

}  // namespace

void TFrmKestal::ApplyWater(const WaterSettings& water) {
  if (Status s = CheckWaterSettings(water); !s) {
    CurrentPrompts().ShowError(s.error());
    return;
  }
  // The export reads the model on its own thread.
  if (export_running_) {
    water_after_export_ = water;
    return;
  }
  const Bitmap24& photo = model_.Photo();
  auto line = model_.HasPhoto() ? WaterLineRow(water.line, photo.Height()) : Result<int>(0);
  if (!line) {
    CurrentPrompts().ShowError(line.error());
    return;
  }
  const double pixels = static_cast<double>(photo.Width()) * *line;
  const double scale = std::min({1.0, zoom_, std::sqrt(kWaterPreviewPixels / std::max(pixels, 1.0))});
  if (!model_.NeedsMirror(water) || pixels <= kWaterPreviewPixels) {
    mirror_builder_->Cancel();
    EndWaterPreview();
    ShowWaterBusy(false);
    if (Status s = model_.SetWater(water); !s) {
      CurrentPrompts().ShowError(s.error());
      if (model_.HasPhoto()) PlacePane();
      return;
    }
    ShowWaterState();
    if (model_.HasPhoto()) PlacePane();
    return;
  }
  mirror_builder_->Start(photo, model_.Percent(), water);
  if (!water_busy_timer_->isActive() && !status_water_busy_->isVisible()) water_busy_timer_->start();
  auto preview = PreviewWaterPane(photo, model_.Percent(), water, scale);
  if (preview) {
    water_preview_ = std::move(preview.value());
    water_preview_line_ = *line;
    PlacePane();
  }
}

void TFrmKestal::MirrorBuilt(const WaterSettings& water, int percent, Result<Bitmap24> mirror) {
  if (percent != model_.Percent()) {  // the height changed meanwhile: the fade follows it
    ApplyWater(water);
    return;
  }
  ShowWaterBusy(false);
  EndWaterPreview();
  Status set = mirror ? model_.SetWater(water, std::move(mirror.value())) : Status(mirror.error());
  if (!set) CurrentPrompts().ShowError(set.error());
  ShowWaterState();
  if (model_.HasPhoto()) PlacePane();
}

void TFrmKestal::SettleWater() {
  if (water_after_export_ && !export_running_) ApplyWater(*std::exchange(water_after_export_, std::nullopt));
  // A mirror built for another reflection height is started again at this one.
  while (mirror_builder_->Wanted()) mirror_builder_->Finish();
}

WaterSettings TFrmKestal::AppliedWater() const {
  if (water_after_export_) return *water_after_export_;
  return mirror_builder_->Wanted() ? *mirror_builder_->Wanted() : model_.Water();
}

void TFrmKestal::EndWaterPreview() { water_preview_ = Bitmap24(); }

int TFrmKestal::ShownWaterLineRow() const {
  return ShowsWaterPreview() ? water_preview_line_ : model_.WaterLineRow();
}

void TFrmKestal::ShowWaterBusy(bool busy) {
  status_water_busy_->setVisible(busy);
  if (busy) ui_.Pane->setCursor(Qt::BusyCursor);
  else ui_.Pane->unsetCursor();
}

void TFrmKestal::PlacePane() {
  const Bitmap24& photo = model_.Photo();
  const bool preview = ShowsWaterPreview();
  const int32_t line = ShownWaterLineRow();
  const int32_t paneHeight = preview ? ReflectionHeight(line, model_.Percent()) : model_.PaneBitmap().Height();
  auto scaled = [this](int32_t v) { return static_cast<int>(std::lround(v * zoom_)); };
  ui_.Image1->SetScale(zoom_);
  // During an export the pane shows the export's frames, and the model is the export's.
  if (export_running_) {
    if (const Bitmap24* shown = ui_.Pane->Bitmap()) ShowPaneBitmap(*shown);
  } else if (preview) {
    ShowPaneBitmap(water_preview_);
  } else {
    model_.SetMode(CurrentMode());
    ShowPaneBitmap(natural_view_.Show(model_, zoom_, ShownPaneRows()));
  }
  // The photo is shown down to the water line; the reflection starts there.
  ui_.Image1->setGeometry(ui_.Image1->x(), ui_.Image1->y(), scaled(photo.Width()), scaled(line));
  ui_.Image1->update();
  ui_.Pane->setGeometry(ui_.Image1->x(), ui_.Image1->y() + ui_.Image1->height(), scaled(photo.Width()),
                        scaled(paneHeight));
  ui_.PnlImg->move(ui_.Pane->x() + ui_.Pane->width(), ui_.Pane->y() + ui_.Pane->height());
  ui_.ScrollContent->resize(ui_.PnlImg->x() + ui_.PnlImg->width(), ui_.PnlImg->y() + ui_.PnlImg->height());
  ui_.Pane->update();
  SetStatusText(0, QStringLiteral("%1x%2").arg(photo.Width()).arg(line + paneHeight));
}

void TFrmKestal::EditPctChange() {
  if (!model_.HasPhoto()) {
    // Nothing to lay out yet; the next photo opens at this height.
    (void)model_.SetPercent(ui_.EditPct->value());
    return;
  }
  LayoutPane();
}

void TFrmKestal::NextFrame() {
  if (!model_.HasPhoto()) return;
  model_.SetMode(CurrentMode());
  ShowPaneBitmap(natural_view_.Tick(model_, zoom_, ShownPaneRows()));
  ui_.Pane->repaint();
}

PaneRows TFrmKestal::ShownPaneRows() const {
  if (!isVisible() || zoom_ <= 0) return {};
  // The viewport's rows in the pane's pixels, a row more each side for the rounding.
  const int top = ui_.ScrollBox->verticalScrollBar()->value() - ui_.Pane->y();
  const int bottom = top + ui_.ScrollBox->viewport()->height();
  return {std::max(0, static_cast<int32_t>(std::floor(top / zoom_)) - 1),
          std::max(0, static_cast<int32_t>(std::ceil(bottom / zoom_)) + 1)};
}

void TFrmKestal::ScrolledPane() {
  if (export_running_ || ShowsWaterPreview() || !model_.HasPhoto()) return;
  ShowPaneBitmap(natural_view_.Show(model_, zoom_, ShownPaneRows()));
}

void TFrmKestal::ShowPaneBitmap(const Bitmap24& bitmap) {
  // Setting the same bitmap again would queue a second paint of the pane.
  if (ui_.Pane->Bitmap() != &bitmap) ui_.Pane->SetBitmap(&bitmap);
  const int32_t width = model_.Photo().Width();
  ui_.Pane->SetScale(bitmap.Empty() || width == 0 ? zoom_ : zoom_ * width / bitmap.Width());
}

void TFrmKestal::ExportAnimation() {
  ui_.Timer->stop();
  if (!model_.HasPhoto()) return;
  if (!FrmExport) FrmExport = new TFrmExport(this);
  if (export_running_) return;
  // The export renders with the mode the window shows.
  model_.SetMode(CurrentMode());
  SettleWater();
  ExportCommand(*this, *FrmExport, CurrentPrompts()).ExportAnimation();
}

void TFrmKestal::OptionAnimerClick() {
  if (ui_.Timer->isActive()) {
    ui_.Timer->stop();
  } else {
    ui_.Timer->start();
  }
  ui_.OptionAnimer->setChecked(ui_.Timer->isActive());
}

void TFrmKestal::OptionEauClick() {
  // One panel, made on first use and kept, with its place, for the rest of the run.
  if (!water_panel_) water_panel_ = new TFrmWater(this);
  water_panel_->show();
  water_panel_->raise();
}

void TFrmKestal::MenuOptionClick() { ui_.OptionAnimer->setChecked(ui_.Timer->isActive()); }

void TFrmKestal::VitesseClick(QAction* sender) {
  const int interval = sender == ui_.VitesseLente ? kSlowIntervalMs
                       : sender == ui_.VitesseMoyenne ? kMediumIntervalMs
                                                  : kFastIntervalMs;
  ui_.Timer->setInterval(interval);
  ui_.VitesseLente->setChecked(interval == kSlowIntervalMs);
  ui_.VitesseMoyenne->setChecked(interval == kMediumIntervalMs);
  ui_.VitesseRapide->setChecked(interval == kFastIntervalMs);
}

void TFrmKestal::OndeClick(QAction* sender) {
  const kestal::WaveLength wave = sender == ui_.OndeCourte    ? kestal::WaveLength::Short
                                  : sender == ui_.OndeMoyenne ? kestal::WaveLength::Medium
                                                              : kestal::WaveLength::Long;
  model_.SetWaveLength(wave);
  ui_.OndeCourte->setChecked(wave == kestal::WaveLength::Short);
  ui_.OndeMoyenne->setChecked(wave == kestal::WaveLength::Medium);
  ui_.OndeLongue->setChecked(wave == kestal::WaveLength::Long);
}

void TFrmKestal::EditFramesChange() { model_.SetFrameCount(ui_.EditFrames->value()); }

void TFrmKestal::FormKeyDown(int key) {
  if (key == Qt::Key_Shift) ui_.EditPct->setSingleStep(1);
}

void TFrmKestal::FormKeyUp(int) { ui_.EditPct->setSingleStep(5); }

QString TFrmKestal::HelpPagePath() {
  // The page in the window's language (QLocale's default follows the language chosen),
  // or the English one.
  return QString::fromStdString(
      FindHelpPage(QCoreApplication::applicationFilePath().toStdString(), QLocale().name().toStdString()));
}

void TFrmKestal::MenuInformationsClick() {
  const QString path = HelpPagePath();
  if (QFileInfo(path).isFile()) {
    (void)OpenWithDesktop(path);
  } else {
    ShowMsgDlg(tr("File not found !").toStdString(), MsgInformation, MsgBtnOk);
  }
}

void TFrmKestal::MenuWebClick() { (void)OpenWithDesktop(QString::fromLatin1(kWebSiteAddress)); }

void TFrmKestal::MenuAProposClick() {
  if (AProposForm) AProposForm->exec();
}

bool TFrmKestal::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel && ui_.ScrollBox && watched == ui_.ScrollBox->viewport()) {
    if (CtrlWheelZoom(event)) return true;
  } else if (watched == ui_.PnlOutils && event->type() == QEvent::Resize) {
    ui_.Bevel1->setGeometry(0, 0, ui_.PnlOutils->width(), 2);
  } else if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (event->type() == QEvent::KeyPress) FormKeyDown(key);
      else FormKeyUp(key);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

namespace {

QString DroppedFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

}  // namespace

void TFrmKestal::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmKestal::dropEvent(QDropEvent* event) {
  const QString path = DroppedFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Opened after the drop has finished, so the source application is not kept
  // waiting while the photo decodes.
  QTimer::singleShot(0, this, [this, path] { OpenPhotoFile(path); });
}

void TFrmKestal::FitToolPanel() {
  // The design assumes a font in which each label ends before its spin edit; with a
  // wider face the spin edit (and everything right of it) moves right instead of
  // covering the label's end.
  const struct {
    QLabel* label;
    QSpinBox* edit;
  } pairs[] = {{ui_.Label1, ui_.EditFrames}, {ui_.Label2, ui_.EditPct}};
  QList<QWidget*> row = {ui_.Label1, ui_.EditFrames, ui_.Bevel3,  ui_.Label2,
                         ui_.EditPct, ui_.Bevel4,    ui_.RBPerspective, ui_.RBRegul};
  for (const auto& pair : pairs) {
    pair.label->adjustSize();
    const int overlap = pair.label->geometry().right() + 3 - pair.edit->x();
    if (overlap <= 0) continue;
    for (qsizetype i = row.indexOf(pair.edit); i < row.size(); ++i) row[i]->move(row[i]->pos() + QPoint(overlap, 0));
  }
  for (QRadioButton* rb : {ui_.RBPerspective, ui_.RBRegul})
    rb->resize(std::max(rb->width(), rb->sizeHint().width()), rb->height());
  const int right = std::max(ui_.RBPerspective->geometry().right(), ui_.RBRegul->geometry().right());
  setMinimumSize(std::max(minimumWidth(), right + 9), minimumHeight());
}

QWidget* TFrmKestal::PhotoView() const { return ui_.Image1; }

int TFrmKestal::TimerInterval() const { return ui_.Timer->interval(); }

void TFrmKestal::StopAnimation() { ui_.Timer->stop(); }

}  // namespace kestal
