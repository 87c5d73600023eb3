#pragma once
// Prompts that answer the window's export with a BMP sequence of photo and reflection
// into one folder, decline every question and hand errors to the caller. Free of the
// test framework so that the benchmarks can use it too.

#include <QComboBox>

#include <functional>
#include <string>
#include <utility>

#include "gui/export_dialog.h"
#include "gui/prompts.h"

namespace kestal::test {

class SequencePrompts : public Prompts {
 public:
  using ErrorHandler = std::function<void(const Error&)>;
  SequencePrompts(std::string folder, ErrorHandler on_error)
      : folder_(std::move(folder)), on_error_(std::move(on_error)) {}
  bool EditSettings(TFrmExport& dialog) override {
    dialog.findChild<QComboBox*>("CmbExport")->setCurrentIndex(0);
    return true;
  }
  std::string ChooseFolder(const std::string&, const std::string&) override { return folder_; }
  std::string ChooseSaveFile(const SaveRequest&) override { return {}; }
  int Ask(const std::string&, MsgDlgKind, MsgButtons) override { return kMsgResultNo; }
  void ShowError(const Error& error) override { on_error_(error); }
  void OpenPage(const std::string&) override {}

 private:
  std::string folder_;
  ErrorHandler on_error_;
};

}  // namespace kestal::test
