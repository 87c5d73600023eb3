// The window's language: the designed Russian texts under Russian, no Cyrillic left
// anywhere under English, a change that takes effect at once in every window, and the
// choice kept in the settings.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>

#include <map>
#include <string>
#include <vector>

#include "export/output_formats.h"
#include "gui/about_box.h"
#include "gui/app_settings.h"
#include "gui/export_commands.h"
#include "gui/export_dialog.h"
#include "gui/language.h"
#include "gui/main_window.h"
#include "gui/message_dialog.h"
#include "gui/water_panel.h"
#include "imageio/image_files.h"
#include "render/water_effects.h"
#include "support/gui_support.h"
#include "support/test_support.h"
#include "text/string_table.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

bool HasCyrillic(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x0400 && c.unicode() <= 0x052F) return true;
  return false;
}

// Every text a person can see in `root` and its children: titles, captions, tool tips,
// menu items, list items and units. Each as "object: text".
std::vector<QString> VisibleTexts(QWidget* root) {
  std::vector<QString> texts;
  auto add = [&texts](const QObject* o, const QString& text) {
    if (!text.isEmpty()) texts.push_back(o->metaObject()->className() + QStringLiteral(" ") + o->objectName() +
                                         QStringLiteral(": ") + text);
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    add(w, w->windowTitle());
    add(w, w->toolTip());
    if (auto* label = qobject_cast<QLabel*>(w)) add(w, label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) add(w, button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) add(w, group->title());
    if (auto* menu = qobject_cast<QMenu*>(w)) add(w, menu->title());
    if (auto* spin = qobject_cast<QSpinBox*>(w)) add(w, spin->prefix() + spin->suffix());
    if (auto* combo = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < combo->count(); ++i) add(w, combo->itemText(i));
  }
  for (QAction* a : root->findChildren<QAction*>()) {
    add(a, a->text());
    add(a, a->toolTip());
  }
  return texts;
}

// The texts of `root` that hold Cyrillic letters.
std::vector<std::string> CyrillicTexts(QWidget* root) {
  std::vector<std::string> found;
  for (const QString& text : VisibleTexts(root))
    if (HasCyrillic(text)) found.push_back(text.toStdString());
  return found;
}

template <class W>
W* Child(QWidget* parent, const char* name) {
  W* w = parent->findChild<W*>(QLatin1String(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// The label of a row of the water panel, found by the control the row starts with.
QString FormLabel(QWidget* panel, QWidget* field) {
  for (QFormLayout* form : panel->findChildren<QFormLayout*>()) {
    for (int row = 0; row < form->rowCount(); ++row) {
      QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
      const bool holds = item && (item->widget() == field || (item->layout() && item->layout()->indexOf(field) >= 0));
      if (!holds) continue;
      if (auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget()))
        return label->text();
    }
  }
  return QString();
}

// The action of the window's Language menu that chooses `code` ("" for the system's).
QAction* LanguageItem(const TFrmKestal& w, const QString& code) {
  if (code.isEmpty()) return w.Ui().LanguageSystem;
  for (QAction* item : w.Ui().LanguageItems)
    if (item->data().toString() == code) return item;
  ADD_FAILURE() << "no language item " << code.toStdString();
  return w.Ui().LanguageSystem;
}

// The main window with the export dialog, the About box and the water panel, as the
// program has them.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUiLanguage(QStringLiteral("ru")); }
  void TearDown() override { SetUiLanguage(QStringLiteral("ru")); }

  void MakeWindows() {
    window_ = std::make_unique<TFrmKestal>();
    about_ = new TAProposForm(window_.get());
    window_->SetAboutForm(about_);
    exporter_ = new TFrmExport(window_.get());
    window_->SetExportForm(exporter_);
    window_->Ui().OptionEau->trigger();
    water_ = window_->findChild<TFrmWater*>();
    ASSERT_NE(water_, nullptr);
    water_->hide();
  }

  // Each designed text beside the text shown.
  void ExpectDesignedRussian() {
    const TFrmKestal::Controls& ui = window_->Ui();
    const struct {
      const char* what;
      QString shown;
      const char* designed;
    } rows[] = {
        {"window title", window_->windowTitle(), "Генератор Отражения "},
        {"frames label", ui.Label1->text(), "Фото :  "},
        {"height label", ui.Label2->text(), "Высота (%) :"},
        {"perspective", ui.RBPerspective->text(), "Перспектива"},
        {"regular", ui.RBRegul->text(), "Обычный"},
        {"frames hint", ui.EditFrames->toolTip(), "Кол-во Фото\nсоставляющих Анимацию   "},
        {"height hint", ui.EditPct->toolTip(), "Пропорции Высоты Отражения к\nВысоте оригинального изображения             "},
        {"open hint", ui.BtnOpen->toolTip(), "Открыть"},
        {"export hint", ui.BtnSauve->toolTip(), "Экспорт"},
        {"file menu", ui.MenuFichier->title(), "Файл"},
        {"open", ui.FichierOuvrir->text(), "Открыть\tCtrl+O"},
        {"export", ui.FichierExporter->text(), "Экспорт  \tCtrl+S"},
        {"quit", ui.FichierQuitter->text(), "Уйти\tCtrl+Q"},
        {"recent photos", ui.MenuRecent->title(), "Последние фото"},
        {"options menu", ui.MenuOption->title(), "Опции  "},
        {"animation", ui.OptionAnimer->text(), "Анимация\tEnter"},
        {"speed", ui.OptionVitesse->title(), "Speed"},
        {"slow", ui.VitesseLente->text(), "Slow"},
        {"medium speed", ui.VitesseMoyenne->text(), "Средне"},
        {"fast", ui.VitesseRapide->text(), "Fast"},
        {"wave type", ui.OptionVague->title(), "Тип Волны    "},
        {"short", ui.OndeCourte->text(), "Short"},
        {"medium wave", ui.OndeMoyenne->text(), "Средне"},
        {"long", ui.OndeLongue->text(), "Long"},
        {"water", ui.OptionEau->text(), "Вода..."},
        {"help menu", ui.MenuAide->title(), "?"},
        {"help", ui.MenuInformations->text(), "Информация \tF1"},
        {"web site", ui.MenuWeb->text(), "Офф Сайт Програмы"},
        {"about", ui.MenuAPropos->text(), "О программе "},
        {"view menu", ui.MenuView->title(), "Вид"},
        {"zoom in", ui.ViewZoomIn->text(), "Увеличить"},
        {"zoom out", ui.ViewZoomOut->text(), "Уменьшить"},
        {"actual size", ui.ViewActualSize->text(), "Реальный размер"},
        {"fit", ui.ViewFit->text(), "По размеру окна"},
        {"export's cancel", ui.BtnCancelExport->text(), "Отмена"},
        {"water note", Child<QLabel>(window_.get(), "StatusWater")->text(), "Эффекты воды включены"},
        {"water note hint", Child<QLabel>(window_.get(), "StatusWater")->toolTip(),
         "Опции → Вода...: «По умолчанию» возвращает простое отражение"},
        {"no help page", TFrmKestal::tr("File not found !"), "Файл не найден !"},
        {"closing during an export", TFrmKestal::tr("An export is still running. Stop it and close the window ?"),
         "Экспорт ещё идёт. Остановить его и закрыть окно ?"},
        {"HTML page question", ExportCommand::tr(kHtmlPageQuestion), "Вам создать HTML страницу для теста ?     "},
        {"folder chooser", ExportCommand::tr(kSavingFolderTitle), "Saving folder :"},

        {"export title", exporter_->windowTitle(), "Экспорт Анимации"},
        {"format label", Child<QLabel>(exporter_, "Label1")->text(), "Формат Экспорта"},
        {"photo and reflection", Child<QAbstractButton>(exporter_, "RBImage")->text(), "Фото и Отражение    "},
        {"reflection only", Child<QAbstractButton>(exporter_, "RBKestal")->text(), "Одно Отражение "},
        {"web note", Child<QLabel>(exporter_, "Label2")->text(),
         "Экспорт Веб-Страниц только в  \nформат GIF   с использованием  \n16, 32, 64 оттенков. "},
        {"colours", Child<QGroupBox>(exporter_, "RGCouleurs")->title(), " Оттенков    "},
        {"repetitions", Child<QLabel>(exporter_, "Label3")->text(), "Вхождения :  "},
        {"dialog's cancel", Child<QAbstractButton>(exporter_, "BtnCancel")->text(), "Отмена"},
        {"dialog's ok", Child<QAbstractButton>(exporter_, "BtnOk")->text(), "Ok"},
        {"scale", Child<QLabel>(exporter_, "LblScale")->text(), "Масштаб (%) :"},
        {"quality", Child<QLabel>(exporter_, "LblQuality")->text(), "Качество :"},
        {"lossless", Child<QAbstractButton>(exporter_, "CBLossless")->text(), "Без потерь"},
        {"fit hint", Child<QAbstractButton>(exporter_, "CBFit")->toolTip(), "Длинная сторона не больше 1920 пикселей"},
        {"exact note", Child<QLabel>(exporter_, "LblExact")->text(), "Без потерь: каждый пиксель точно"},
        {"seconds", Child<QAbstractButton>(exporter_, "CBSeconds")->text(), "Секунды :"},
        {"duration", TFrmExport::tr("Duration: %1 s"), "Длительность : %1 с"},

        {"water title", water_->windowTitle(), "Вода"},
        {"tint colour", water_->BtnTintColor->toolTip(), "Цвет оттенка"},
        {"linear", water_->CmbFadeCurve->itemText(0), "линейно"},
        {"smooth", water_->CmbFadeCurve->itemText(1), "плавно"},
        {"to dark", water_->CmbFadeTarget->itemText(0), "к тёмному"},
        {"to tint", water_->CmbFadeTarget->itemText(1), "к оттенку"},
        {"defaults", water_->BtnDefaults->text(), "По умолчанию"},
        {"close", water_->BtnClose->text(), "Закрыть"},
        {"water line", water_->LineHandle->toolTip(), "Линия воды: потяните вверх или вниз"},

        {"about title", about_->windowTitle(), "О программе "},
        {"version", about_->Version->text(), "Русская Версия 2.7         "},
        {"translation", about_->Label1->text(), "Перевод на Русский "},
        {"credit", about_->Credit->text(), "Команда Kestal"},
        {"about's ok", about_->Button1->text(), "Ok"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.shown, QString::fromUtf8(row.designed)) << row.what;

    // The engine's designed tables: the format list and its quality hints, the water
    // panel's labels and units.
    auto* formats = Child<QComboBox>(exporter_, "CmbExport");
    auto* quality = Child<QSpinBox>(exporter_, "SEQuality");
    const int chosen = formats->currentIndex();
    for (const OutputFormatInfo& f : OutputFormats()) {
      const int index = static_cast<int>(f.format);
      EXPECT_EQ(formats->itemText(index), QString::fromUtf8(f.label)) << f.name;
      formats->setCurrentIndex(index);
      if (f.qualityMax > 0) {
        EXPECT_EQ(quality->toolTip(), QString::fromUtf8(f.qualityTip)) << f.name;
      }
    }
    formats->setCurrentIndex(chosen);
    const struct {
      WaterSetting setting;
      QSpinBox* spin;
      QWidget* field;
    } water[] = {{WaterSetting::Line, water_->SpinLine, water_->SpinLine},
                 {WaterSetting::Tint, water_->SpinTint, water_->BtnTintColor},
                 {WaterSetting::Fade, water_->SpinFade, water_->SpinFade},
                 {WaterSetting::Blur, water_->SpinBlur, water_->SpinBlur},
                 {WaterSetting::Strength, water_->SpinStrength, water_->SpinStrength}};
    for (const auto& row : water) {
      EXPECT_EQ(FormLabel(water_, row.field), QString::fromUtf8(WaterSettingRow(row.setting).panelLabel));
      EXPECT_EQ(row.spin->suffix(), QString::fromUtf8(WaterSettingRow(row.setting).panelUnit));
    }

    // The string library as the designed window has it: its defaults with the start-up
    // replacements ("&Да ", "Ko", "Mo", ...).
    std::vector<std::string> shown;
    for (int i = 0; i < kLangEntryCount; ++i) shown.push_back(Lang(static_cast<LangId>(i)));
    const std::string load_error = LoadErrorFormat();
    ResetLangDefaults();
    ApplyStartupTexts();
    ApplyStartupImageFileTexts();
    for (int i = 0; i < kLangEntryCount; ++i) EXPECT_EQ(shown[i], Lang(static_cast<LangId>(i))) << "entry " << i;
    EXPECT_EQ(load_error, LoadErrorFormat());
    ApplyLanguageTexts();
  }

  std::unique_ptr<TFrmKestal> window_;
  TAProposForm* about_ = nullptr;
  TFrmExport* exporter_ = nullptr;
  TFrmWater* water_ = nullptr;
};

TEST_F(LanguageTest, RussianShowsTheDesignedTexts) {
  MakeWindows();
  EXPECT_EQ(QLocale().language(), QLocale::Russian);
  ExpectDesignedRussian();
  // The walk that finds no Cyrillic under English sees the Russian texts here.
  for (QWidget* w : std::initializer_list<QWidget*>{window_.get(), exporter_, about_, water_})
    EXPECT_FALSE(CyrillicTexts(w).empty()) << w->objectName().toStdString();
}

// English from the start, and English chosen in a Russian window: no Cyrillic letter in
// any window, menu, tool tip or box; back to Russian, the designed texts again.
TEST_F(LanguageTest, EnglishLeavesNoCyrillicAndSwitchesAtOnce) {
  for (const bool from_start : {true, false}) {
    SCOPED_TRACE(from_start ? "English from the start" : "English chosen in the menu");
    SetUiLanguage(from_start ? QStringLiteral("en") : QStringLiteral("ru"));
    MakeWindows();
    if (!from_start) LanguageItem(*window_, QStringLiteral("en"))->trigger();
    EXPECT_EQ(QLocale().language(), QLocale::English);
    EXPECT_TRUE(LanguageItem(*window_, QStringLiteral("en"))->isChecked() || from_start);
    // A photo open, so that every command and the status bar show.
    ASSERT_TRUE(window_->OpenPhotoFile(QStringLiteral(KESTAL_SOURCE_DIR "/data/rocket.jpg")));
    QStringList bar;
    for (QAction* a : window_->menuBar()->actions()) bar << a->text();
    // The designed menus, then the View menu added after them.
    EXPECT_EQ(bar, (QStringList{"File", "Options", "?", "View"}));
    // Each format shows its own controls and hints.
    auto* formats = Child<QComboBox>(exporter_, "CmbExport");
    for (int i = 0; i < formats->count(); ++i) {
      formats->setCurrentIndex(i);
      EXPECT_EQ(CyrillicTexts(exporter_), std::vector<std::string>{}) << "format " << i;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{window_.get(), about_, water_})
      EXPECT_EQ(CyrillicTexts(w), std::vector<std::string>{}) << w->objectName().toStdString();
    EXPECT_EQ(Lang(StrKB), "kB");
    EXPECT_EQ(Lang(StrMB), "MB");
    EXPECT_EQ(FileSizeText(3 << 20), "3.00 MB");
    EXPECT_EQ(ExportCommand::tr(kHtmlPageQuestion), QStringLiteral("Shall I make an HTML page to test it ?"));
    // The message box: heading and buttons.
    std::vector<std::string> box;
    test::AnswerNextModal([&box](QWidget* dialog) {
      box = CyrillicTexts(dialog);
      EXPECT_EQ(dialog->findChild<QPushButton*>("BtnYes")->text(), QStringLiteral("&Yes"));
      dialog->close();
    });
    ShowMsgDlg(ExportCommand::tr(kHtmlPageQuestion).toStdString(), MsgConfirmation, MsgBtnYes | MsgBtnNo);
    EXPECT_EQ(box, std::vector<std::string>{});

    // Back to Russian through the menu: every window at once.
    LanguageItem(*window_, QStringLiteral("ru"))->trigger();
    EXPECT_EQ(QLocale().language(), QLocale::Russian);
    ExpectDesignedRussian();
    water_ = nullptr;
    window_.reset();
  }
}

TEST_F(LanguageTest, SystemLanguageItemFollowsTheSystem) {
  MakeWindows();
  LanguageItem(*window_, QStringLiteral("en"))->trigger();
  ASSERT_EQ(CurrentUiLanguage(), QStringLiteral("en"));
  // ctest runs the GUI tests under a Russian system language.
  LanguageItem(*window_, QString())->trigger();
  EXPECT_TRUE(window_->Ui().LanguageSystem->isChecked());
  EXPECT_EQ(CurrentUiLanguage(), SystemUiLanguage());
  EXPECT_EQ(window_->windowTitle(), TFrmKestal::tr("Reflection Generator"));
}

TEST(UiLanguage, ResolvesTheSystemsPreferences) {
  const struct {
    QStringList preferred;
    const char* language;
  } rows[] = {
      {{"ru-RU", "ru"}, "ru"},   {{"ru_RU.UTF-8"}, "ru"}, {{"de-DE", "ru"}, "ru"}, {{"en-US", "ru"}, "en"},
      {{"de-DE", "fr"}, "en"},   {{"C"}, "en"},           {{}, "en"},              {{"RU"}, "ru"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ResolveUiLanguage(row.preferred), QLatin1String(row.language)) << row.preferred.join(',').toStdString();
}

TEST(UiLanguage, TheChoiceIsKeptInTheSettings) {
  test::TempDir dir;
  const QString file = QString::fromStdString((dir.path() / "kestal.conf").string());
  const struct {
    const char* stored;
    const char* loaded;
  } rows[] = {{"ru", "ru"}, {"en", "en"}, {"", ""}, {"xx", ""}, {"Russian", ""}};
  for (const auto& row : rows) {
    {
      QSettings store(file, QSettings::IniFormat);
      WindowSettings s;
      s.language = QString::fromUtf8(row.stored);
      SaveWindowSettings(store, s);
    }
    QSettings store(file, QSettings::IniFormat);
    EXPECT_EQ(LoadWindowSettings(store).language, QString::fromUtf8(row.loaded)) << row.stored;
  }
}

}  // namespace
}  // namespace kestal

int main(int argc, char** argv) {
  // Settings go to a fresh folder, never to the person's own.
  kestal::test::TempDir config;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
  return kestal::test::GuiTestMain(argc, argv);
}
