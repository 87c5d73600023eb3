// kestal: the desktop program. `kestal [FILE]` opens FILE at start; --help and
// --version print and exit, also without a display.

#include <QFileInfo>
#include <cstdio>

#include "gui/about_box.h"
#include "gui/command_line.h"
#include "gui/export_dialog.h"
#include "gui/kestal_application.h"
#include "gui/main_window.h"
#include "base/file_output.h"

namespace {

QStringList Arguments(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  return args;
}

// Help and version need no application object; anything else is read again once Qt
// has taken its own options (-platform, -style, ...) out of the list.
int Answer(const kestal::CommandLine& line) {
  using Action = kestal::CommandLine::Action;
  if (line.action == Action::Help) {
    std::fputs(kestal::CommandLineHelp().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (line.action == Action::Version) {
    std::printf("kestal %s\n", KESTAL_VERSION);
    return 0;
  }
  std::fprintf(stderr, "kestal: %s\nTry 'kestal --help'.\n", line.error.toLocal8Bit().constData());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using Action = kestal::CommandLine::Action;
  if (auto early = kestal::ParseCommandLine(Arguments(argc, argv));
      early.action == Action::Help || early.action == Action::Version)
    return Answer(early);

  kestal::KestalApplication app(argc, argv);
  // An export cut short by a signal leaves no temporary file behind.
  kestal::RemoveTemporaryFilesOnSignals("kestal: interrupted: the unfinished export was removed\n");
  const kestal::CommandLine line = kestal::ParseCommandLine(app.arguments().mid(1));
  if (line.action != Action::Run) return Answer(line);
  // Resolved before the settings may change the current folder.
  const QString file = line.file.isEmpty() ? QString() : QFileInfo(line.file).absoluteFilePath();

  kestal::TFrmKestal window;
  kestal::TAProposForm about(&window);
  window.SetAboutForm(&about);
  kestal::TFrmExport exporter(&window);
  window.SetExportForm(&exporter);
  window.LoadSettings();
  window.show();
  window.OpenAtStart(file);
  return app.exec();
}
