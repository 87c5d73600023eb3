#pragma once
// The export command of the main window: it stops the animation, asks for the settings
// in the export dialog, asks where to write, and runs the engine's export driver, so the
// window writes the same bytes as kestal-export with the same settings. The questions
// go through Prompts, which the desktop answers with real dialogs and tests answer
// directly. The work runs on a thread of its own while the window stays responsive,
// shows its progress and the frame written last, and stops at the next frame when
// cancelled.

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "base/result.h"
#include "export/export_driver.h"
#include "render/animation_model.h"
#include "gui/prompts.h"

class QWidget;

namespace kestal {

class TFrmExport;
class TFrmKestal;

// The question asked once before a sequence is written into a folder that holds
// frames of the same names numbered from `count` on.
std::string LeftoverFramesQuestion(const std::string& folder, const std::vector<int>& numbers, int count);

// "Exporting image 3".
QString ExportProgressText(int number);
// The status notes after an export; the texts are the English ones, shown translated.
extern const char* const kExportCancelledText;
QString ExportWrittenText(const std::string& path);

// The question asked after a GIF is written, and the folder chooser's title.
extern const char* const kHtmlPageQuestion;
extern const char* const kSavingFolderTitle;

// The folder the export's dialogs open in: the current folder, which the open dialog
// makes the photo's folder once the photo has opened; when it has gone since, the last
// folder saved to.
std::string ExportStartFolder();

class ExportCommand {
  Q_DECLARE_TR_FUNCTIONS(ExportCommand)

 public:
  ExportCommand(TFrmKestal& window, TFrmExport& dialog, Prompts& prompts)
      : window_(window), dialog_(dialog), prompts_(prompts) {}
  virtual ~ExportCommand() = default;

  // The whole command. The timer is left stopped, whatever the outcome.
  void ExportAnimation();

  // The branches; each asks for its destination first and does nothing on cancel.
  // Every branch exports at the dialog's scale.
  void ExportSequence(const char* extension);
  void ExportGif();
  // Any clip format of the format table (AVI, MP4, WebM, WebP, APNG, AVIF), at the
  // dialog's settings, written off the interface thread.
  void ExportClip(ExportFormat format);

  // Runs `work` on a thread of its own and returns when it has finished. Meanwhile the
  // window repaints, keeps the commands that would conflict disabled and offers
  // Cancel; `work` must not touch widgets.
  void RunInBackground(const std::function<void()>& work);

 protected:
  // On the export's thread, as frame `number` of `total` begins: the window shows the
  // progress and the frame written last, on its own thread.
  virtual void FrameStarted(int number, int total);
  // Whether the person asked the export to stop; read on the export's thread.
  virtual bool StopRequested() const;

 private:
  // Runs work(progress) through RunInBackground with the busy cursor, the progress in
  // the status bar and the cancel checks. Empty when the person cancelled; an
  // unexpected exception is thrown again on the interface thread, where the general
  // error report shows it.
  template <class Work>
  auto RunBusy(Work work) -> std::optional<std::invoke_result_t<Work, const ExportProgress&>>;
  std::string PhotoFileName() const;
  int IntervalMs() const;
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

  TFrmKestal& window_;
  TFrmExport& dialog_;
  Prompts& prompts_;
  // The number of the last frame the running export started, 0 before the first.
  std::atomic<int> started_{0};
  // Set while a copy of the frame is on its way to the window's thread, so that a slow
  // window is sent no more frames than it can show. Shared with the copies in flight,
  // which may arrive after the command has ended.
  std::shared_ptr<std::atomic<bool>> frame_in_flight_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace kestal
