// kestal-export: the command-line exporter. It fills the same animation model as the
// desktop program and calls the same export driver, so it writes the same files.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_output.h"
#include "cli/cli_options.h"
#include "cli/progress_bar.h"
#include "export/export_driver.h"
#include "export/gif_export.h"
#include "export/html_test_page.h"
#include "export/output_formats.h"
#include "export/scale.h"
#include "export/share_export.h"
#include "export/size_estimate.h"
#include "imageio/image_files.h"
#include "base/paths.h"
#include "text/text_utils.h"

namespace {

using namespace kestal;
using namespace kestal::cli;

// Prints the error's line and gives the exit status it calls for. `file` is what
// failed; empty when the error's message already names it (a sequence's frame).
int Fail(FailedStage stage, const Error& error, const std::string& file) {
  std::fprintf(stderr, "%s\n", ErrorLine(error, file).c_str());
  return ExitCodeFor(stage);
}

int ExportFrames(Options& o, AnimationModel& model, ProgressBar& bar) {
  const std::string& folder = o.output;
  const ExportFormat format = o.settings.format;
  // Refuse what cannot be written before the folder is made.
  if (auto size = CheckOutputSize(model, o.settings.composition, format); !size) {
    return Fail(FailedStage::Output, size.error(), folder);
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    // Another export started at the same moment may create the folder first.
    if (::mkdir(folder.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(folder))) {
      return Fail(FailedStage::Output, Error::Io("cannot create the folder: " + ErrnoText(errno)), folder);
    }
  } else if (!S_ISDIR(st.st_mode)) {
    return Fail(FailedStage::Output, Error::Io("not a folder"), folder);
  }
  const char* ext = FormatInfo(format).name;
  const std::vector<int> leftovers = LeftoverFrames(folder, o.photo, ext, model.FrameCount());
  auto report = ExportSequence(model, folder, o.photo, ext, o.settings.composition,
                               [&](int n, int total) { bar.Update(n, total); });
  bar.Finish();
  if (!report) return Fail(FailedStage::Output, report.error(), folder);
  for (const std::string& path : report->written) std::printf("%s\n", path.c_str());
  for (const Error& e : report->failures) Fail(FailedStage::Output, e, std::string());
  if (!leftovers.empty()) {
    std::fprintf(stderr, "kestal-export: %s: %s\n", folder.c_str(), LeftoverFramesNote(leftovers).c_str());
  }
  return report->failures.empty() ? kExitOk : kExitOutput;
}

int ExportGifFile(Options& o, AnimationModel& model, ProgressBar& bar) {
  const bool to_stdout = o.output == kStandardOutput;
  auto gif = ExportGif(model, to_stdout ? kStandardOutputName : o.output, o.settings,
                       [&](int n, int total) { bar.Update(n, total); });
  bar.Finish();
  if (!gif) return Fail(FailedStage::Output, gif.error(), to_stdout ? "standard output" : o.output);
  if (to_stdout) return kExitOk;
  std::printf("%s\n", o.output.c_str());
  if (!o.settings.htmlPage) return kExitOk;
  const bool withPhoto = o.settings.composition == Composition::PhotoAndReflection;
  const Bitmap24& photo = model.Photo();
  // The page links the files by file URLs, which need full paths.
  const std::string gifPath = std::filesystem::absolute(o.output).string();
  auto page = WriteHtmlTestPage(gifPath, gif->width, gif->height, withPhoto,
                                HtmlPhoto{std::filesystem::absolute(o.photo).string(), photo.Width(), photo.Height(),
                                          model.WaterLineRow()});
  if (!page) return Fail(FailedStage::Output, page.error(), ChangeExtension(o.output, ".htm"));
  std::printf("%s\n", page->c_str());
  return kExitOk;
}

int ExportClipFile(Options& o, AnimationModel& model, ProgressBar& bar) {
  const auto progress = [&](int n, int total) { bar.Update(n, total); };
  const Status written = ExportClip(model, o.output, o.settings, progress);
  bar.Finish();
  if (!written) return Fail(FailedStage::Output, written.error(), o.output);
  std::printf("%s\n", o.output.c_str());
  return kExitOk;
}

// Every file the export would write, for the check that none of them is the photo.
std::vector<std::string> OutputsOf(const Options& o) {
  if (o.output == kStandardOutput) return {};
  if (IsSequence(o.settings.format)) {
    const char* ext = FormatInfo(o.settings.format).name;
    std::vector<std::string> frames;
    for (int i = 0; i < o.frames; ++i) frames.push_back(SequenceFileName(o.output, o.photo, i, ext));
    return frames;
  }
  std::vector<std::string> files{o.output};
  if (o.settings.htmlPage) files.push_back(ChangeExtension(o.output, ".htm"));
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  // File sizes in the HTML page use the user's decimal separator, as in the desktop program.
  std::setlocale(LC_ALL, "");
  // The engine's messages name the file alone; every line below adds the cause.
  LoadErrorFormat() = "%s";
  SaveErrorFormat() = "%s";
  RemoveTemporaryFilesOnSignals("kestal-export: interrupted: the unfinished output was removed\n");
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = ParseArguments(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "kestal-export: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  Options& o = parsed.options;
  if (o.help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (o.version) {
    std::printf("kestal-export %s\n", KESTAL_VERSION);
    return kExitOk;
  }
  if (std::string err = ResolveFormat(o); !err.empty()) {
    std::fprintf(stderr, "kestal-export: %s\n", err.c_str());
    return kExitUsage;
  }
  if (Status s = RefuseToReplacePhoto(o.photo, OutputsOf(o)); !s) {
    std::fprintf(stderr, "kestal-export: %s\n", s.error().Line().c_str());
    return kExitUsage;
  }
  auto photo = LoadImageFile(o.photo);
  if (!photo) return Fail(FailedStage::Photo, photo.error(), o.photo);
  // A water line the photo does not reach is a wrong option for this photo.
  if (auto line = WaterLineRow(o.water.line, photo->Height()); !line) {
    std::fprintf(stderr, "kestal-export: --water-line: %s: %s\n", o.photo.c_str(), line.error().cause.c_str());
    return kExitUsage;
  }
  AnimationModel model;
  if (Status s = model.SetWater(o.water); !s) {
    std::fprintf(stderr, "kestal-export: %s\n", s.error().Line().c_str());
    return kExitUsage;
  }
  model.SetFrameCount(o.frames);
  model.SetWaveLength(o.waveLength);
  model.SetMode(o.mode);
  model.SetNaturalWater(o.natural);
  if (Status s = model.SetPercent(o.percent); !s) return Fail(FailedStage::Photo, s.error(), o.photo);
  if (Status s = model.SetPhoto(std::move(photo.value())); !s) return Fail(FailedStage::Photo, s.error(), o.photo);
  if (o.estimate) {
    auto estimate = EstimateExportSize(model, o.settings, o.scale);
    if (!estimate) return Fail(FailedStage::Output, estimate.error(), o.output);
    std::printf("%llu\n", static_cast<unsigned long long>(estimate->bytes));
    return kExitOk;
  }
  // The waves are made on the scaled photo, as if it had been opened at that size.
  ExportModel exported(model, o.scale, o.settings.composition);
  if (!exported.Get()) return Fail(FailedStage::Photo, exported.Failure(), o.photo);

  ProgressBar bar(stderr, !o.quiet && ::isatty(STDERR_FILENO));
  if (o.settings.format == ExportFormat::Gif) return ExportGifFile(o, *exported.Get(), bar);
  if (IsSequence(o.settings.format)) return ExportFrames(o, *exported.Get(), bar);
  return ExportClipFile(o, *exported.Get(), bar);
}
