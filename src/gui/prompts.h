#pragma once
// Every question the desktop program asks and every box it shows, behind one
// interface: the export's dialogs, the error boxes (a photo that cannot be opened, a
// file that cannot be written, an unexpected failure reaching the event loop) and the
// browser. The desktop answers with real dialogs; tests install their own answers
// with SetPrompts and see every message without a modal loop.

#include <QString>

#include <string>

#include "base/result.h"
#include "gui/message_dialog.h"

class QWidget;

namespace kestal {

class TFrmExport;

// A save dialog's request: its filter ("GIF (*.gif)"), the default suffix, the
// proposed file name and the folder the dialog opens in.
struct SaveRequest {
  QString filter;
  QString defaultSuffix;
  QString proposedName;
  QString folder;
};

class Prompts {
 public:
  virtual ~Prompts() = default;
  // Shows the export dialog modally; true when it closed with OK.
  virtual bool EditSettings(TFrmExport& dialog) = 0;
  // A folder, or "" on cancel.
  virtual std::string ChooseFolder(const std::string& title, const std::string& initialFolder) = 0;
  // A file to write, or "" on cancel.
  virtual std::string ChooseSaveFile(const SaveRequest& request) = 0;
  virtual int Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) = 0;
  // An error box: the message (naming the file) and the cause.
  virtual void ShowError(const Error& error) = 0;
  // Opens a page in the user's browser.
  virtual void OpenPage(const std::string& path) = 0;
};

// The real dialogs of the desktop, owned by the active window.
class DesktopPrompts : public Prompts {
 public:
  bool EditSettings(TFrmExport& dialog) override;
  std::string ChooseFolder(const std::string& title, const std::string& initialFolder) override;
  std::string ChooseSaveFile(const SaveRequest& request) override;
  int Ask(const std::string& message, MsgDlgKind kind, MsgButtons buttons) override;
  void ShowError(const Error& error) override;
  void OpenPage(const std::string& path) override;
};

// The prompts in use: the desktop's, unless SetPrompts installed others. Passing
// nullptr puts the desktop's back.
Prompts& CurrentPrompts();
void SetPrompts(Prompts* prompts);

// The folder the desktop's save dialog or folder chooser last wrote into. The save
// dialog lists it in its side bar (it still opens in the current folder); the window
// keeps it between runs.
QString LastSaveFolder();
void SetLastSaveFolder(const QString& folder);

}  // namespace kestal
