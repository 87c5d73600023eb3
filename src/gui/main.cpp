// kestal: the desktop program. It takes no command-line arguments.

#include "gui/kestal_application.h"
#include "gui/main_window.h"
#include "gui/export_dialog.h"
#include "gui/about_box.h"
#include "base/file_output.h"

int main(int argc, char** argv) {
  kestal::KestalApplication app(argc, argv);
  // An export cut short by a signal leaves no temporary file behind.
  kestal::RemoveTemporaryFilesOnSignals();
  kestal::TFrmKestal window;
  kestal::TAProposForm about(&window);
  window.SetAboutForm(&about);
  kestal::TFrmExport exporter(&window);
  window.SetExportForm(&exporter);
  window.show();
  return app.exec();
}
