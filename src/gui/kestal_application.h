#pragma once
// The application object. Besides the usual start-up settings it is the general
// error report: an exception that escapes an event handler is shown in a standard
// error box, and the program goes on with the next event.

#include <QApplication>
#include <functional>

namespace kestal {

class KestalApplication : public QApplication {
  Q_OBJECT

 public:
  KestalApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows an unexpected error in the standard error box, or hands it to the hook
  // when one is set (tests see the report without a modal loop).
  static void ShowException(const QString& what);
  using ExceptionHook = std::function<void(const QString& what)>;
  static void SetExceptionHook(ExceptionHook hook);
};

}  // namespace kestal
