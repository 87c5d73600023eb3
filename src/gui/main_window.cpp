#include "gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
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

#include "gui/bitmap_qt.h"
#include "gui/bmp_image.h"
#include "gui/export_commands.h"
#include "gui/window_export_host.h"
#include "export/export_driver.h"
#include "bitmap/toolbar_glyphs.h"
#include "gui/export_dialog.h"
#include "gui/image_dialogs.h"
#include "imageio/image_files.h"
#include "ui/text_utils.h"
#include "ui/help_page.h"
#include "gui/about_box.h"
#include "gui/menu_style.h"
#include "gui/message_dialog.h"
#include "gui/platform_qt.h"
#include "ui/string_table.h"
#include "ui/visual_styles.h"

namespace kestal {
namespace {

constexpr int kSlowInterval = kSlowIntervalMs;
constexpr int kMediumInterval = kMediumIntervalMs;
constexpr int kFastInterval = kFastIntervalMs;

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
  // The pane and the photo view point into the model; drop those views first.
  Pane->SetBitmap(nullptr);
  Image1->SetBitmap(nullptr);
}

void TFrmKestal::CreateControls() {
  setWindowTitle(QStringLiteral("Генератор Отражения "));
  setFont(DesignFont());
  resize(590, 452);
  setMinimumSize(400, 300);
  setAcceptDrops(true);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  PnlOutils = new QWidget(central);
  PnlOutils->setFixedHeight(49);
  PnlOutils->installEventFilter(this);  // keeps Bevel1 as wide as the panel
  column->addWidget(PnlOutils);
  Bevel1 = MakeBevel(PnlOutils, QFrame::HLine, QRect(0, 0, width(), 2));
  Bevel2 = MakeBevel(PnlOutils, QFrame::VLine, QRect(156, 8, 2, 35));
  Bevel3 = MakeBevel(PnlOutils, QFrame::VLine, QRect(286, 8, 2, 35));
  Bevel4 = MakeBevel(PnlOutils, QFrame::VLine, QRect(436, 8, 2, 35));

  ToolBar = new QWidget(PnlOutils);
  ToolBar->setGeometry(2, 4, 150, 42);
  BtnOpen = MakeToolButton(ToolBar, 0);
  BtnAnimation = MakeToolButton(ToolBar, 50);
  BtnSauve = MakeToolButton(ToolBar, 100);
  BtnAnimation->setEnabled(false);
  BtnSauve->setEnabled(false);
  connect(BtnOpen, &QToolButton::clicked, this, &TFrmKestal::BtnOpenClick);
  connect(BtnAnimation, &QToolButton::clicked, this, &TFrmKestal::BtnAnimationClick);
  connect(BtnSauve, &QToolButton::clicked, this, &TFrmKestal::BtnSauveClick);

  Label1 = MakeLabel(PnlOutils, QStringLiteral("Фото :  "), 170, 18);
  EditFrames = MakeSpinEdit(PnlOutils, 216, 16, kMinFrameCount, kMaxFrameCount, kDefaultFrameCount, 1);
  Label2 = MakeLabel(PnlOutils, QStringLiteral("Высота (%) :"), 300, 18);
  EditPct = MakeSpinEdit(PnlOutils, 366, 16, kMinPercent, kMaxPercent, kDefaultPercent, 5);
  connect(EditFrames, &QSpinBox::valueChanged, this, &TFrmKestal::EditFramesChange);
  connect(EditPct, &QSpinBox::valueChanged, this, &TFrmKestal::EditPctChange);
  RBPerspective = new QRadioButton(QStringLiteral("Перспектива"), PnlOutils);
  RBPerspective->setGeometry(448, 9, 120, 17);
  RBPerspective->setChecked(true);
  RBRegul = new QRadioButton(QStringLiteral("Обычный"), PnlOutils);
  RBRegul->setGeometry(448, 27, 120, 17);

  // The scroll box shows the application-workspace colour around the picture.
  ScrollBox = new QScrollArea(central);
  ScrollBox->setFrameShape(QFrame::StyledPanel);
  ScrollBox->setFocusPolicy(Qt::StrongFocus);
  ScrollBox->setWidgetResizable(false);
  QPalette workspace = ScrollBox->palette();
  workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
  ScrollBox->viewport()->setPalette(workspace);
  ScrollBox->viewport()->setAutoFillBackground(true);
  column->addWidget(ScrollBox, 1);
  ScrollContent = new QWidget;
  ScrollContent->resize(0, 0);
  ScrollBox->setWidget(ScrollContent);
  Image1 = new TBmpImage(ScrollContent);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(8, 8, 0, 0);
  PnlImg = new QWidget(ScrollContent);
  PnlImg->setObjectName(QStringLiteral("PnlImg"));
  PnlImg->setGeometry(0, 0, 9, 8);

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
  status_panel1_layout_->addWidget(status_path_, 1);
  statusBar()->addWidget(status_panel1_, 1);

  Timer = new QTimer(this);
  Timer->setInterval(kMediumInterval);
  Timer->setTimerType(Qt::PreciseTimer);
  connect(Timer, &QTimer::timeout, this, &TFrmKestal::TimerTimer);
}

QAction* TFrmKestal::AddItem(QMenu* menu, const QString& caption, ShortCut shortcut) {
  auto* action = new QAction(caption, this);
  action->setData(caption);
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

// Menus show the engine's shortcut text after a tab, which QMenu shows instead of its
// own rendering of the key sequence; the captions keep their designed spaces.
void TFrmKestal::SetShortcutText(QAction* action, ShortCut shortcut) {
  action->setText(MenuActionText(action->data().toString(), shortcut));
}

void TFrmKestal::CreateMenus() {
  QMenuBar* bar = menuBar();
  MenuFichier = bar->addMenu(QStringLiteral("Файл"));
  FichierOuvrir = AddItem(MenuFichier, QStringLiteral("Открыть"), kCtrlBit | 'O');
  MenuFichier->addSeparator();
  FichierExporter = AddItem(MenuFichier, QStringLiteral("Экспорт  "), kCtrlBit | 'S');
  FichierExporter->setEnabled(false);
  MenuFichier->addSeparator();
  FichierQuitter = AddItem(MenuFichier, QStringLiteral("Уйти"), kCtrlBit | 'Q');
  connect(FichierOuvrir, &QAction::triggered, this, &TFrmKestal::FichierOuvrirClick);
  connect(FichierExporter, &QAction::triggered, this, &TFrmKestal::FichierExporterClick);
  connect(FichierQuitter, &QAction::triggered, this, &TFrmKestal::FichierQuitterClick);

  MenuOption = bar->addMenu(QStringLiteral("Опции  "));
  connect(MenuOption, &QMenu::aboutToShow, this, &TFrmKestal::MenuOptionClick);
  OptionAnimer = AddItem(MenuOption, QStringLiteral("Анимация"), kVkReturn);
  OptionAnimer->setCheckable(true);
  OptionAnimer->setEnabled(false);
  connect(OptionAnimer, &QAction::triggered, this, &TFrmKestal::OptionAnimerClick);
  MenuOption->addSeparator();
  OptionVitesse = MenuOption->addMenu(QStringLiteral("Speed"));
  VitesseLente = AddItem(OptionVitesse, QStringLiteral("Slow"));
  VitesseMoyenne = AddItem(OptionVitesse, QStringLiteral("Средне"));
  VitesseRapide = AddItem(OptionVitesse, QStringLiteral("Fast"));
  OptionVague = MenuOption->addMenu(QStringLiteral("Тип Волны    "));
  OndeCourte = AddItem(OptionVague, QStringLiteral("Short"));
  OndeMoyenne = AddItem(OptionVague, QStringLiteral("Средне"));
  OndeLongue = AddItem(OptionVague, QStringLiteral("Long"));
  for (QAction* a : {VitesseLente, VitesseMoyenne, VitesseRapide, OndeCourte, OndeMoyenne, OndeLongue})
    a->setCheckable(true);
  VitesseMoyenne->setChecked(true);
  OndeMoyenne->setChecked(true);
  // Exclusive groups: the menus draw their items as a choice of one.
  auto* speeds = new QActionGroup(this);
  auto* waves = new QActionGroup(this);
  for (QAction* a : {VitesseLente, VitesseMoyenne, VitesseRapide}) speeds->addAction(a);
  for (QAction* a : {OndeCourte, OndeMoyenne, OndeLongue}) waves->addAction(a);
  for (QAction* a : {VitesseLente, VitesseMoyenne, VitesseRapide})
    connect(a, &QAction::triggered, this, [this, a] { VitesseClick(a); });
  for (QAction* a : {OndeCourte, OndeMoyenne, OndeLongue})
    connect(a, &QAction::triggered, this, [this, a] { OndeClick(a); });

  MenuAide = bar->addMenu(QStringLiteral("?"));
  MenuInformations = AddItem(MenuAide, QStringLiteral("Информация "), kVkF1);
  MenuAide->addSeparator();
  MenuWeb = AddItem(MenuAide, QStringLiteral("Офф Сайт Програмы"));
  MenuAide->addSeparator();
  MenuAPropos = AddItem(MenuAide, QStringLiteral("О программе "));
  connect(MenuInformations, &QAction::triggered, this, &TFrmKestal::MenuInformationsClick);
  connect(MenuWeb, &QAction::triggered, this, &TFrmKestal::MenuWebClick);
  connect(MenuAPropos, &QAction::triggered, this, &TFrmKestal::MenuAProposClick);
}

void TFrmKestal::FormCreate() {
  // Visual styles exist only on the one system version that passes the test; there
  // is nothing to theme here otherwise, and the plain look is used.
  SetThemesActive(IsWindowsXP() && QApplication::style() != nullptr);
  model_.SetFrameCount(EditFrames->value());
  Pane = new TBmpImage(ScrollContent);
  Pane->setObjectName(QStringLiteral("Pane"));
  Pane->setGeometry(0, 0, 0, 0);
  Pane->SetBitmap(&model_.PaneBitmap());
  Image1->SetBitmap(&model_.Photo());
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
  } buttons[] = {{BtnOpen, kGlyphOpen}, {BtnAnimation, kGlyphAnimation}, {BtnSauve, kGlyphExport}};
  for (const auto& b : buttons) {
    QIcon icon;
    // A list that could not be built leaves its state to the plain glyph.
    const ImageList& normal = normal_images_ ? *normal_images_ : glyphs;
    icon.addPixmap(ImageListPixmap(normal, b.glyph), QIcon::Normal);
    if (disabled_images_) icon.addPixmap(ImageListPixmap(*disabled_images_, b.glyph), QIcon::Disabled);
    b.button->setIcon(icon);
  }
}

void TFrmKestal::InitTexts() {
  // Qt shows a tool tip's lines at line feeds; the hints are two lines each.
  EditFrames->setToolTip(QStringLiteral("Кол-во Фото\nсоставляющих Анимацию   "));
  EditPct->setToolTip(QStringLiteral("Пропорции Высоты Отражения к\nВысоте оригинального изображения             "));
  BtnOpen->setToolTip(QString::fromStdString(MenuCaptionToHint(FichierOuvrir->data().toString().toStdString())));
  BtnAnimation->setToolTip(OptionAnimer->data().toString());
  BtnSauve->setToolTip(QString::fromStdString(MenuCaptionToHint(FichierExporter->data().toString().toStdString())));
  ApplyStartupTexts();
  ApplyStartupImageFileTexts();
  // The shortcut texts read the string library's key names, so they follow its
  // start-up texts ("Enter").
  for (QAction* a : findChildren<QAction*>()) {
    const QVariant sc = a->property("kestalShortCut");
    if (sc.isValid()) SetShortcutText(a, static_cast<ShortCut>(sc.toInt()));
  }
}

void TFrmKestal::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (first_show_) {
    first_show_ = false;
    ScrollBox->setFocus();
  }
}

void TFrmKestal::ShowMessage(QMessageBox::Icon icon, const QString& text) {
  if (message_hook_) {
    message_hook_(icon, text);
    return;
  }
  const QString title = icon == QMessageBox::Critical ? QCoreApplication::applicationName() : QString();
  QMessageBox box(icon, title, text, QMessageBox::Ok, this);
  box.exec();
}

void TFrmKestal::SetStatusText(int panel, const QString& text) {
  (panel == 0 ? status_panel0_ : status_path_)->setText(text);
}

QString TFrmKestal::StatusText(int panel) const {
  return (panel == 0 ? status_panel0_ : status_path_)->text();
}

void TFrmKestal::OpenPhoto() {
  Timer->stop();
  const QString path = ChooseImageFile(this);
  activateWindow();
  if (path.isEmpty()) return;
  OpenPhotoFile(path);
}

bool TFrmKestal::OpenPhotoFile(const QString& path) {
  Timer->stop();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto photo = LoadImageFile(path.toStdString());
  Status set = photo ? model_.SetPhoto(std::move(photo.value())) : Status(photo.error());
  QApplication::restoreOverrideCursor();
  if (!set) {
    Error e = set.error();
    if (e.message.empty()) e.message = FormatWithString(LoadErrorFormat(), path.toStdString());
    ShowMessage(QMessageBox::Critical, QString::fromStdString(e.Text()));
    return false;
  }
  photo_file_name_ = path;
  SetStatusText(1, photo_file_name_);
  Image1->resize(model_.Photo().Width(), model_.Photo().Height());
  Image1->update();
  // SetPhoto has laid the pane out already, at the percentage EditPct shows.
  PlacePane();
  // A new photo is shown from its top-left corner, not where the last one was scrolled.
  ScrollBox->horizontalScrollBar()->setValue(0);
  ScrollBox->verticalScrollBar()->setValue(0);
  EnablePhotoCommands();
  return true;
}

void TFrmKestal::EnablePhotoCommands() {
  for (QAction* a : {FichierExporter, OptionAnimer}) a->setEnabled(true);
  for (QToolButton* b : {BtnAnimation, BtnSauve}) b->setEnabled(true);
}

void TFrmKestal::LayoutPane() {
  if (Status s = model_.SetPercent(EditPct->value()); !s) {
    ShowMessage(QMessageBox::Critical, QString::fromStdString(s.error().Text()));
    return;
  }
  PlacePane();
}

void TFrmKestal::PlacePane() {
  const Bitmap24& pane = model_.PaneBitmap();
  Pane->setGeometry(Image1->x(), Image1->y() + Image1->height(), pane.Width(), pane.Height());
  PnlImg->move(Pane->x() + Pane->width(), Pane->y() + Pane->height());
  ScrollContent->resize(PnlImg->x() + PnlImg->width(), PnlImg->y() + PnlImg->height());
  Pane->update();
  const Bitmap24& mirror = model_.MirrorBitmap();
  SetStatusText(0, QStringLiteral("%1x%2").arg(mirror.Width()).arg(mirror.Height() + pane.Height()));
}

void TFrmKestal::EditPctChange() {
  if (!model_.HasPhoto()) {
    // Nothing to lay out yet; the next photo opens at this height.
    (void)model_.SetPercent(EditPct->value());
    return;
  }
  LayoutPane();
}

void TFrmKestal::NextFrame() {
  if (!model_.HasPhoto()) return;
  model_.SetMode(RBPerspective->isChecked() ? WaveMode::Perspective : WaveMode::Regular);
  model_.NextFrame();
  Pane->repaint();
}

void TFrmKestal::ExportAnimation() {
  Timer->stop();
  if (!model_.HasPhoto()) return;
  if (!FrmExport) FrmExport = new TFrmExport(this);
  WindowExportHost host(*this);
  DesktopPrompts desktop(this);
  ExportCommand(host, *FrmExport, export_prompts_ ? *export_prompts_ : desktop).ExportAnimation();
}

void TFrmKestal::OptionAnimerClick() {
  if (Timer->isActive()) {
    Timer->stop();
  } else {
    Timer->start();
  }
  OptionAnimer->setChecked(Timer->isActive());
}

void TFrmKestal::MenuOptionClick() { OptionAnimer->setChecked(Timer->isActive()); }

void TFrmKestal::VitesseClick(QAction* sender) {
  const int interval = sender == VitesseLente ? kSlowInterval
                       : sender == VitesseMoyenne ? kMediumInterval
                                                  : kFastInterval;
  Timer->setInterval(interval);
  VitesseLente->setChecked(interval == kSlowInterval);
  VitesseMoyenne->setChecked(interval == kMediumInterval);
  VitesseRapide->setChecked(interval == kFastInterval);
}

void TFrmKestal::OndeClick(QAction* sender) {
  const int wave = sender == OndeCourte ? 1 : sender == OndeMoyenne ? 2 : 3;
  model_.SetWaveLength(wave);
  OndeCourte->setChecked(wave == 1);
  OndeMoyenne->setChecked(wave == 2);
  OndeLongue->setChecked(wave == 3);
}

void TFrmKestal::EditFramesChange() { model_.SetFrameCount(EditFrames->value()); }

void TFrmKestal::FormKeyDown(int key) {
  if (key == Qt::Key_Shift) EditPct->setSingleStep(1);
}

void TFrmKestal::FormKeyUp(int) { EditPct->setSingleStep(5); }

QString TFrmKestal::HelpPagePath() {
  return QString::fromStdString(FindHelpPage(QCoreApplication::applicationFilePath().toStdString()));
}

void TFrmKestal::MenuInformationsClick() {
  const QString path = HelpPagePath();
  if (QFileInfo(path).isFile()) {
    (void)OpenWithDesktop(path);
  } else {
    ShowMsgDlg("Файл не найден !", MsgInformation, MsgBtnOk);
  }
}

void TFrmKestal::MenuWebClick() { (void)OpenWithDesktop(QString::fromLatin1(kWebSiteAddress)); }

void TFrmKestal::MenuAProposClick() {
  if (AProposForm) AProposForm->exec();
}

bool TFrmKestal::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PnlOutils && event->type() == QEvent::Resize) {
    Bevel1->setGeometry(0, 0, PnlOutils->width(), 2);
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

}  // namespace kestal
