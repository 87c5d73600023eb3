#pragma once
// The export command of the main window: it stops the animation, asks for the settings
// in the export dialog, asks where to write, and runs the engine's export driver, so the
// window writes the same bytes as kestal-export with the same settings. The window
// supplies what the export needs of it (ExportHost); the questions go through
// Prompts, which the desktop answers with real dialogs and tests answer directly. The
// work runs off the interface thread and stops at the next frame when cancelled.

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "base/result.h"
#include "export/export_driver.h"
#include "render/animation_model.h"
#include "gui/prompts.h"

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
  // Status panel 1 shows ExportProgressText(number) with a progress bar beside it.
  // Called from the thread that runs the export; the window shows it on its own
  // thread. EndExportProgress puts the photo's path back.
  virtual void ShowExportProgress(int number, int total) = 0;
  virtual void EndExportProgress() = 0;
  // Runs `work` off the interface thread and returns when it has finished. Meanwhile
  // the window repaints, keeps the commands that would conflict disabled and offers
  // Cancel; `work` must not touch widgets.
  virtual void RunInBackground(const std::function<void()>& work) = 0;
  // Whether the person asked to stop the export running; read from its thread.
  virtual bool CancelRequested() const = 0;
  // A short note in the status bar, shown for a few seconds.
  virtual void ShowNotice(const QString& text) = 0;
};

// The question asked once before a sequence is written into a folder that holds
// frames of the same names numbered from `count` on.
std::string LeftoverFramesQuestion(const std::string& folder, const std::vector<int>& numbers, int count);

// "Exporting image 3".
QString ExportProgressText(int number);
// The status notes after an export.
inline constexpr const char* kExportCancelledText = "Export cancelled: nothing was written";
QString ExportWrittenText(const std::string& path);

// The question asked after a GIF is written.
inline constexpr const char* kHtmlPageQuestion = "Вам создать HTML страницу для теста ?     ";
inline constexpr const char* kSavingFolderTitle = "Saving folder :";

// The folder the export's dialogs open in: the current folder, which the open dialog
// makes the photo's folder once the photo has opened; when it has gone since, the last
// folder saved to.
std::string ExportStartFolder();

class ExportCommand {
  Q_DECLARE_TR_FUNCTIONS(ExportCommand)

 public:
  ExportCommand(ExportHost& host, TFrmExport& dialog, Prompts& prompts)
      : host_(host), dialog_(dialog), prompts_(prompts) {}

  // The whole command. The timer is left stopped, whatever the outcome.
  void ExportAnimation();

  // The branches; each asks for its destination first and does nothing on cancel.
  // Every branch exports at the dialog's scale.
  void ExportSequence(const char* extension);
  void ExportGif();
  // Any clip format of the format table (AVI, MP4, WebM, WebP, APNG, AVIF), at the
  // dialog's settings, written off the interface thread.
  void ExportClip(ExportFormat format);

 private:
  // Asks for the file to write in `format`, proposing a name that is not the photo's.
  // The name gets the format's extension; "" when the person cancelled, declined, or
  // chose the photo itself (said in a box naming the file).
  std::string ChooseOutputFile(ExportFormat format);
  // `path` with the format's extension: added when it has none or one that no format
  // or photo type knows ("clip.v2"), kept when it has it; another known extension
  // ("clip.gif" for an MP4) is asked about. "" when the person declines.
  std::string WithFormatExtension(const std::string& path, const char* extension);
  // True, after a box naming the file, when writing any of `outputs` would replace the
  // photo.
  bool RefusesPhoto(const std::vector<std::string>& outputs);
  // Asks whether to write when older frames would remain; true to go on.
  bool ConfirmLeftoverFrames(const std::string& folder, const char* extension);

  ExportHost& host_;
  TFrmExport& dialog_;
  Prompts& prompts_;
};

}  // namespace kestal
