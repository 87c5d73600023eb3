#include "gui/export_commands.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <type_traits>


#include "export/export_driver.h"
#include "export/gif_export.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "export/share_export.h"
#include "gui/export_dialog.h"
#include "gui/main_window.h"
#include "export/html_test_page.h"
#include "base/file_output.h"
#include "imageio/image_registry.h"
#include "base/paths.h"
#include "text/text_utils.h"

namespace kestal {
namespace {

// Thrown by the progress callback on the export's thread when the person cancelled:
// it unwinds the engine's export, whose unfinished output file removes itself.
struct ExportCancelled {};

// The busy cursor and the progress text for the length of one export, put back on
// every way out.
class ExportBusy {
 public:
  explicit ExportBusy(TFrmKestal& window) : window_(window) {
    // The arrow with the hourglass: the window still takes clicks meanwhile.
    QApplication::setOverrideCursor(Qt::BusyCursor);
  }
  ~ExportBusy() {
    window_.EndExportProgress();
    QApplication::restoreOverrideCursor();
  }
  ExportBusy(const ExportBusy&) = delete;
  ExportBusy& operator=(const ExportBusy&) = delete;

 private:
  TFrmKestal& window_;
};

bool NameTaken(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The name the save dialog proposes in `folder`: the photo's with the format's
// extension, unless that is the photo itself (a PNG photo exported as APNG); then
// "<name>-reflection<ext>", or the first of "<name>-reflection-2<ext>", -3, ... that
// is free.
QString ProposedName(const std::string& photo, const std::string& folder, const char* extension) {
  const std::string plain = ChangeExtension(FileNameOf(photo), extension);
  if (!IsSameFile(photo, folder + "/" + plain)) return QString::fromStdString(plain);
  const std::string base = BaseNameOf(photo) + "-reflection";
  std::string name = base + extension;
  for (int n = 2; n <= 1000 && NameTaken(folder + "/" + name); ++n) name = base + "-" + std::to_string(n) + extension;
  return QString::fromStdString(name);
}

// Repaints the window (the dialog has just closed over it) and makes the model the
// export runs on; null, after an error box naming `target`, when the photo cannot be
// scaled.
std::unique_ptr<ExportModel> ModelToExport(TFrmKestal& window, const TFrmExport& dialog, Prompts& prompts,
                                           const std::string& target, Composition composition) {
  window.repaint();
  auto model = std::make_unique<ExportModel>(window.Model(), dialog.Scale(), composition);
  if (!model->Get()) {
    prompts.ShowError(model->Failure().WithMessage(target));
    return nullptr;
  }
  return model;
}

}  // namespace

const char* const kExportCancelledText = QT_TRANSLATE_NOOP("ExportCommand", "Export cancelled: nothing was written");
const char* const kHtmlPageQuestion = QT_TRANSLATE_NOOP("ExportCommand", "Shall I make an HTML page to test it ?");
const char* const kSavingFolderTitle = QT_TRANSLATE_NOOP("ExportCommand", "Saving folder :");

std::string LeftoverFramesQuestion(const std::string& folder, const std::vector<int>& numbers, int count) {
  const QString question =
      numbers.size() == 1
          ? ExportCommand::tr("The folder %1 already holds 1 older frame of this photo (%2) beyond the %3 of this "
                              "export; it will remain beside the new ones.\nWrite the frames?")
                .arg(QString::fromStdString(folder), QString::fromStdString(FrameRangeText(numbers)))
                .arg(count)
          : ExportCommand::tr("The folder %1 already holds %2 older frames of this photo (%3) beyond the %4 of "
                              "this export; they will remain beside the new ones.\nWrite the frames?")
                .arg(QString::fromStdString(folder))
                .arg(numbers.size())
                .arg(QString::fromStdString(FrameRangeText(numbers)))
                .arg(count);
  return question.toStdString();
}

QString ExportProgressText(int number) { return ExportCommand::tr("Exporting image %1").arg(number); }

QString ExportWrittenText(const std::string& path) {
  return ExportCommand::tr("Written: %1").arg(QDir::toNativeSeparators(QString::fromStdString(path)));
}

template <class Work>
auto ExportCommand::RunBusy(Work work) -> std::optional<std::invoke_result_t<Work, const ExportProgress&>> {
  const ExportBusy busy(window_);
  std::optional<std::invoke_result_t<Work, const ExportProgress&>> result;
  std::exception_ptr failure;
  started_ = 0;
  const ExportProgress progress = [this](int number, int total) {
    if (StopRequested()) throw ExportCancelled{};
    started_ = number;
    FrameStarted(number, total);
  };
  RunInBackground([&] {
    try {
      // The steps after the last frame stop at a cancel too.
      const FinishingCheck finishing([this] {
        if (StopRequested()) throw ExportCancelled{};
      });
      result.emplace(work(progress));
    } catch (const ExportCancelled&) {
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  return result;
}

void ExportCommand::RunInBackground(const std::function<void()>& work) {
  window_.BeginExport();
  std::unique_ptr<QThread> worker(QThread::create(work));
  QEventLoop loop;
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  worker->start();
  loop.exec();
  // The loop also ends when the application quits: stop the work at its next frame.
  if (!worker->isFinished()) window_.CancelExport();
  worker->wait();
  window_.EndExport();
}

void ExportCommand::FrameStarted(int number, int total) {
  // Between two frames the model's pane holds the frame written last and nothing
  // changes it until this returns. A copy goes to the window's thread unless the
  // previous one is still on its way.
  std::shared_ptr<Bitmap24> frame;
  if (number > 1 && !frame_in_flight_->exchange(true)) {
    if (auto copy = window_.Model().PaneBitmap().Clone()) frame = std::make_shared<Bitmap24>(std::move(copy.value()));
    else *frame_in_flight_ = false;
  }
  TFrmKestal& window = window_;
  QMetaObject::invokeMethod(
      &window,
      [&window, in_flight = frame_in_flight_, number, total, frame] {
        if (frame) {
          *in_flight = false;
          window.ShowExportFrame(std::move(*frame));
        }
        if (window.ExportRunning() && !window.ExportCancelRequested()) window.ShowExportProgress(number, total);
      },
      Qt::QueuedConnection);
}

bool ExportCommand::StopRequested() const { return window_.ExportCancelRequested(); }

std::string ExportCommand::PhotoFileName() const { return window_.PhotoFileName().toStdString(); }

int ExportCommand::IntervalMs() const { return window_.TimerInterval(); }

void ExportCommand::ExportAnimation() {
  window_.StopAnimation();
  dialog_.SetEstimateSource(&window_.Model(), IntervalMs());
  const bool accepted = prompts_.EditSettings(dialog_);
  dialog_.SetEstimateSource(nullptr, IntervalMs());
  if (!accepted) return;
  window_.Model().ResetFrameIndex();
  const ExportFormat format = dialog_.Format();
  if (IsSequence(format)) ExportSequence(FormatInfo(format).name);
  else if (format == ExportFormat::Gif) ExportGif();
  else ExportClip(format);
}

std::string ExportStartFolder() {
  const QString current = QDir::currentPath();
  const QString last = LastSaveFolder();
  if (!QFileInfo(current).isDir() && !last.isEmpty() && QFileInfo(last).isDir()) return last.toStdString();
  return current.toStdString();
}

void ExportCommand::ExportSequence(const char* extension) {
  const std::string photo = PhotoFileName();
  const std::string folder = prompts_.ChooseFolder(
      tr(kSavingFolderTitle).toStdString(), QDir::toNativeSeparators(QString::fromStdString(ExportStartFolder())).toStdString());
  if (folder.empty()) return;
  std::vector<std::string> frames;
  for (int i = 0; i < window_.Model().FrameCount(); ++i) frames.push_back(SequenceFileName(folder, photo, i, extension));
  if (RefusesPhoto(frames)) return;
  if (!ConfirmLeftoverFrames(folder, extension)) return;
  const ExportSettings settings = dialog_.Settings(IntervalMs());
  const auto model = ModelToExport(window_, dialog_, prompts_, folder, settings.composition);
  if (!model) return;
  auto outcome = RunBusy([&](const ExportProgress& progress) {
    return kestal::ExportSequence(*model->Get(), folder, photo, extension, settings.composition, progress);
  });
  const int started = started_;
  if (!outcome) {
    // The frames written before the cancel would look like a finished sequence.
    for (int i = 0; i < started; ++i) {
      std::error_code ignored;
      std::filesystem::remove(SequenceFileName(folder, photo, i, extension), ignored);
    }
    window_.ShowNotice(tr(kExportCancelledText));
    return;
  }
  auto& report = *outcome;
  // One box for each file that could not be written, each naming its file.
  if (!report) {
    prompts_.ShowError(Error{folder, report.error().Text()});
    return;
  }
  for (const Error& failure : report->failures) prompts_.ShowError(failure);
  if (!report->written.empty())
    window_.ShowNotice(tr("Written: %1 frames, %2 … %3 in %4")
                         .arg(report->written.size())
                         .arg(QString::fromStdString(FileNameOf(report->written.front())),
                              QString::fromStdString(FileNameOf(report->written.back())),
                              QDir::toNativeSeparators(QString::fromStdString(folder))));
}

bool ExportCommand::ConfirmLeftoverFrames(const std::string& folder, const char* extension) {
  const int count = window_.Model().FrameCount();
  const std::vector<int> left = LeftoverFrames(folder, PhotoFileName(), extension, count);
  if (left.empty()) return true;
  return prompts_.Ask(LeftoverFramesQuestion(folder, left, count), MsgConfirmation, MsgBtnYes | MsgBtnNo) ==
         kMsgResultYes;
}

bool ExportCommand::RefusesPhoto(const std::vector<std::string>& outputs) {
  const Status s = RefuseToReplacePhoto(PhotoFileName(), outputs);
  if (!s) prompts_.ShowError(s.error());
  return !s;
}

std::string ExportCommand::WithFormatExtension(const std::string& path, const char* extension) {
  const std::string ext = LowerExtensionOf(path);
  if (ext == extension) return path;
  const bool known = !ext.empty() && (FormatByExtension(path) || ImageRegistry::Instance().FindByExtension(ext));
  if (!known) return path + extension;
  const std::string renamed = ChangeExtension(path, extension);
  const QString question = tr("The name %1 ends in %2, but the file will be %3.\nSave it as %4?")
                               .arg(QString::fromStdString(FileNameOf(path)), QString::fromStdString(ext),
                                    QString::fromLatin1(extension + 1).toUpper(),
                                    QString::fromStdString(FileNameOf(renamed)));
  if (prompts_.Ask(question.toStdString(), MsgConfirmation, MsgBtnYes | MsgBtnNo) != kMsgResultYes) return {};
  return renamed;
}

std::string ExportCommand::ChooseOutputFile(ExportFormat format) {
  const char* extension = FormatInfo(format).extension;
  const QString suffix = QString::fromLatin1(extension + 1);
  const std::string photo = PhotoFileName();
  const std::string folder = ExportStartFolder();
  const std::string chosen = prompts_.ChooseSaveFile({QStringLiteral("%1 (*.%2)").arg(suffix.toUpper(), suffix), suffix,
                                                      ProposedName(photo, folder, extension),
                                                      QString::fromStdString(folder)});
  if (chosen.empty()) return {};
  const std::string path = WithFormatExtension(chosen, extension);
  if (path.empty() || RefusesPhoto({path})) return {};
  return path;
}

void ExportCommand::ExportGif() {
  const std::string path = ChooseOutputFile(ExportFormat::Gif);
  if (path.empty()) return;
  const ExportSettings settings = dialog_.Settings(IntervalMs());
  const auto model = ModelToExport(window_, dialog_, prompts_, path, settings.composition);
  if (!model) return;
  auto outcome = RunBusy([&](const ExportProgress& progress) {
    return kestal::ExportGif(*model->Get(), path, settings, progress);
  });
  if (!outcome) {
    window_.ShowNotice(tr(kExportCancelledText));
    return;
  }
  auto& gif = *outcome;
  if (!gif) {
    prompts_.ShowError(gif.error());
    return;
  }
  window_.ShowNotice(ExportWrittenText(path));
  if (prompts_.Ask(tr(kHtmlPageQuestion).toStdString(), MsgConfirmation, MsgBtnYes | MsgBtnNo) != kMsgResultYes) return;
  // The page shows the photo at the size it has in the GIF.
  const Bitmap24& photo = model->Get()->Photo();
  auto page = WriteHtmlTestPage(path, gif->width, gif->height,
                                settings.composition == Composition::PhotoAndReflection,
                                HtmlPhoto{PhotoFileName(), photo.Width(), photo.Height(),
                                          model->Get()->WaterLineRow()});
  if (!page) {
    prompts_.ShowError(page.error());
    return;
  }
  prompts_.OpenPage(*page);
}

void ExportCommand::ExportClip(ExportFormat format) {
  const std::string path = ChooseOutputFile(format);
  if (path.empty()) return;
  const ExportSettings settings = dialog_.Settings(IntervalMs());
  const auto model = ModelToExport(window_, dialog_, prompts_, path, settings.composition);
  if (!model) return;
  auto written = RunBusy(
      [&](const ExportProgress& progress) { return kestal::ExportClip(*model->Get(), path, settings, progress); });
  if (!written) window_.ShowNotice(tr(kExportCancelledText));
  else if (!*written) prompts_.ShowError(written->error());
  else window_.ShowNotice(ExportWrittenText(path));
}

}  // namespace kestal
