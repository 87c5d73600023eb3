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

#include "cli/cli_options.h"
#include "cli/progress_bar.h"
#include "export/avi_export.h"
#include "export/export_driver.h"
#include "base/file_output.h"
#include "export/gif_export.h"
#include "export/html_test_page.h"
#include "imageio/image_files.h"
#include "ui/text_utils.h"

namespace {

using namespace kestal;
using namespace kestal::cli;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void PrintError(const std::string& line) { std::fprintf(stderr, "kestal-export: %s\n", line.c_str()); }

int ExportFrames(Options& o, AnimationModel& model, ProgressBar& bar) {
  std::string folder = o.output;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    // Another export started at the same moment may create the folder first.
    if (::mkdir(folder.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(folder))) {
      bar.Finish();
      PrintError(folder + ": cannot create the folder: " + ErrnoText(errno));
      return kExitOutput;
    }
  } else if (!S_ISDIR(st.st_mode)) {
    PrintError(folder + ": not a folder");
    return kExitOutput;
  }
  const char* ext = o.settings.format == ExportFormat::JpgSequence ? "jpg" : "bmp";
  auto report = ExportSequence(model, folder, o.photo, ext, o.settings.composition,
                               [&](int n, int total) { bar.Update(n, total); });
  bar.Finish();
  if (!report) {
    PrintError(o.photo + ": " + report.error().Line());
    return kExitOutput;
  }
  for (const std::string& path : report->written) std::printf("%s\n", path.c_str());
  for (const Error& e : report->failures) PrintError(e.Line());
  return report->failures.empty() ? kExitOk : kExitOutput;
}

int ExportGifFile(Options& o, AnimationModel& model, ProgressBar& bar) {
  auto gif = ExportGif(model, o.output, o.settings, [&](int n, int total) { bar.Update(n, total); });
  bar.Finish();
  if (!gif) {
    PrintError(o.output + ": " + gif.error().cause);
    return kExitOutput;
  }
  std::printf("%s\n", o.output.c_str());
  if (!o.settings.htmlPage) return kExitOk;
  const bool withPhoto = o.settings.composition == Composition::PhotoAndReflection;
  const Bitmap24& photo = model.Photo();
  // The page links the files by file URLs, which need full paths.
  const std::string gifPath = std::filesystem::absolute(o.output).string();
  auto page = WriteHtmlTestPage(gifPath, gif->width, gif->height, withPhoto,
                                HtmlPhoto{std::filesystem::absolute(o.photo).string(), photo.Width(), photo.Height()});
  if (!page) {
    PrintError(ChangeExtension(o.output, ".htm") + ": " + page.error().cause);
    return kExitOutput;
  }
  std::printf("%s\n", page->c_str());
  return kExitOk;
}

int ExportAviFile(Options& o, AnimationModel& model, ProgressBar& bar) {
  Status written = ExportAvi(model, o.output, o.settings, [&](int n, int total) { bar.Update(n, total); });
  bar.Finish();
  if (!written) {
    PrintError(written.error().Line());
    return kExitOutput;
  }
  std::printf("%s\n", o.output.c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // File sizes in the HTML page use the user's decimal separator, as in the desktop program.
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = ParseArguments(args);
  if (!parsed.error.empty()) {
    PrintError(parsed.error);
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
    PrintError(err);
    return kExitUsage;
  }
  auto photo = LoadImageFile(o.photo);
  if (!photo) {
    PrintError(o.photo + ": " + photo.error().cause);
    return kExitPhoto;
  }
  AnimationModel model;
  model.SetFrameCount(o.frames);
  model.SetWaveLength(o.waveLength);
  model.SetMode(o.mode);
  if (Status s = model.SetPercent(o.percent); !s) {
    PrintError(o.photo + ": " + s.error().Line());
    return kExitPhoto;
  }
  if (Status s = model.SetPhoto(std::move(photo.value())); !s) {
    PrintError(o.photo + ": " + s.error().Line());
    return kExitPhoto;
  }

  ProgressBar bar(stderr, !o.quiet && ::isatty(STDERR_FILENO));
  switch (o.settings.format) {
    case ExportFormat::Gif:
      return ExportGifFile(o, model, bar);
    case ExportFormat::Avi:
      return ExportAviFile(o, model, bar);
    default:
      return ExportFrames(o, model, bar);
  }
}
