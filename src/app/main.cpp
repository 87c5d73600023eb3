// kestal: the desktop program. It takes no command-line arguments.

#include "app/kestal_application.h"
#include "app/main_window.h"
#include "export/gui/exporter.h"
#include "ui/gui/apropos.h"

int main(int argc, char** argv) {
  kestal::KestalApplication app(argc, argv);
  kestal::TFrmKestal window;
  kestal::TAProposForm about(&window);
  window.SetAboutForm(&about);
  kestal::TFrmExport exporter(&window);
  window.SetExportForm(&exporter);
  window.show();
  return app.exec();
}
