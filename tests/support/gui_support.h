#pragma once
// Helpers for the offscreen GUI tests: one application object per test binary, modal
// dialogs answered by the test, key presses and pixel checks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/colors.h"
#include "gui/language.h"
#include "gui/prompts.h"

namespace kestal::test {

// Calls `answer` with the next modal dialog as soon as it shows; the test's call that
// opened it then returns. Fails the test when no dialog shows within five seconds.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, waited, answer] {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
      return;
    }
    if (++*waited > 500) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal dialog showed";
    }
  });
  timer->start(10);
}

// A key pressed and released on the widget with the focus (or the widget itself).
inline void PressKey(QWidget* w, int key, const QString& text = QString()) {
  QWidget* target = w->focusWidget() ? w->focusWidget() : w;
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

inline Color PixelColor(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return Rgb(uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p)));
}

// Prompts that record every error box and answer every question with No; the export
// dialog itself shows for real (tests answer it with AnswerNextModal), the file
// dialogs are cancelled. Installed for its lifetime.
class RecordingPrompts : public Prompts {
 public:
  RecordingPrompts() { SetPrompts(this); }
  ~RecordingPrompts() override { SetPrompts(nullptr); }
  bool EditSettings(TFrmExport& dialog) override { return DesktopPrompts().EditSettings(dialog); }
  std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
  std::string ChooseSaveFile(const SaveRequest&) override { return {}; }
  int Ask(const std::string& message, MsgDlgKind, MsgButtons) override {
    asked.push_back(message);
    return answer;
  }
  void ShowError(const Error& error) override { errors.push_back(QString::fromStdString(error.Text())); }
  void OpenPage(const std::string&) override {}

  std::vector<QString> errors;
  std::vector<std::string> asked;
  int answer = kMsgResultNo;
};

// GUI tests run offscreen, also when ctest lists them before running.
inline int GuiTestMain(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The system's language, as the program starts in; ctest asks for Russian, the
  // designed texts the tests check.
  SetUiLanguage(QString());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace kestal::test
