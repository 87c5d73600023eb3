#pragma once
// The export command of the main window: it stops the animation, asks for the settings
// in the export dialog, asks where to write, and runs the engine's export driver, so the
// window writes the same bytes as kestal-export with the same settings. The window
// supplies what the export needs of it (ExportHost); the questions go through
// ExportPrompts, which the desktop answers with real dialogs and tests answer directly.

#include <QString>

#include <string>
#include <vector>

#include "base/result.h"
#include "export/export_driver.h"
#include "render/animation_model.h"
#include "gui/message_dialog.h"

class QWidget;

namespace kestal {

class TFrmExport;

// What the export needs of the main window.
class ExportHost {
 public:
  virtual ~ExportHost() = default;
  virtual AnimationModel& Model() = 0;
  virtual std::string PhotoFileName() const = 0;
  // The animation timer: its interval gives the GIF delay and the AVI frame rate.
  virtual int TimerIntervalMs() const = 0;
  virtual void StopTimer() = 0;
  virtual QWidget* Window() = 0;
  // Status panel 1 shows ExportProgressText(number) with a progress bar beside it, and is
  // repainted at once; EndExportProgress puts the photo's path back.
  virtual void ShowExportProgress(int number, int total) = 0;
  virtual void EndExportProgress() = 0;
};

// A save dialog's request: its filter ("GIF (*.gif)"), the default suffix and the
// proposed file name.
struct SaveRequest {
  QString filter;
  QString defaultSuffix;
  QString proposedName;
};

// The questions an export asks. Every answer may be "cancel".
class ExportPrompts {
 public:
  virtual ~ExportPrompts() = default;
  // Shows the export dialog modally; true when it closed with OK.
  virtual bool EditSettings(TFrmExport& dialog) = 0;
  // A folder, or "" on cancel.
  virtual std::string ChooseFolder(const std::string& title, const std::string& initialFolder) = 0;
  // A file to write, or "" on cancel.
  virtual std::string ChooseSaveFile(const SaveRequest& request) = 0;
  virtual int Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) = 0;
  // An error box naming the file and the cause.
  virtual void ShowError(const Error& error) = 0;
  // Opens a page in the user's browser.
  virtual void OpenPage(const std::string& path) = 0;
};

// The real dialogs of the desktop.
class DesktopPrompts : public ExportPrompts {
 public:
  explicit DesktopPrompts(QWidget* owner) : owner_(owner) {}
  bool EditSettings(TFrmExport& dialog) override;
  std::string ChooseFolder(const std::string& title, const std::string& initialFolder) override;
  std::string ChooseSaveFile(const SaveRequest& request) override;
  int Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) override;
  void ShowError(const Error& error) override;
  void OpenPage(const std::string& path) override;

 private:
  QWidget* owner_;
};

// The question asked once before a sequence is written into a folder that holds
// frames of the same names numbered from `count` on.
std::string LeftoverFramesQuestion(const std::string& folder, const std::vector<int>& numbers, int count);

// "Exporting image 3".
QString ExportProgressText(int number);

// The question asked after a GIF is written.
inline constexpr const char* kHtmlPageQuestion = "Вам создать HTML страницу для теста ?     ";
inline constexpr const char* kSavingFolderTitle = "Saving folder :";

class ExportCommand {
 public:
  ExportCommand(ExportHost& host, TFrmExport& dialog, ExportPrompts& prompts)
      : host_(host), dialog_(dialog), prompts_(prompts) {}

  // The whole command. The timer is left stopped, whatever the outcome.
  void ExportAnimation();

  // The four branches; each asks for its destination first and does nothing on cancel.
  void ExportSequence(const char* extension);
  void ExportGif();
  void ExportAvi();
  // MP4, WebM, animated WebP or APNG, at the dialog's quality and scale.
  void ExportShared(ExportFormat format);

 private:
  // Asks whether to write when older frames would remain; true to go on.
  bool ConfirmLeftoverFrames(const std::string& folder, const char* extension);

  ExportHost& host_;
  TFrmExport& dialog_;
  ExportPrompts& prompts_;
};

}  // namespace kestal
