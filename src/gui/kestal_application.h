#pragma once
// The application object. Besides the usual start-up settings it is the general
// error report: an exception that escapes an event handler is shown in a standard
// error box, and the program goes on with the next event.

#include <QApplication>

namespace kestal {

class KestalApplication : public QApplication {
  Q_OBJECT

 public:
  KestalApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows an unexpected error through the prompts in use (the standard error box, or
  // a test's own prompts).
  static void ShowException(const QString& what);
};

}  // namespace kestal
