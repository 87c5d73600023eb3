#pragma once
// Helpers shared by the program's forms: creating a form only once and the
// application's title.

#include <QCoreApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace kestal {

// The title the program gives its dialogs: the executable's file name, cut before its
// first full stop, every character after the first in lower case ("kestal").
QString ApplicationTitle();

// Creates a form of class Form unless `ref` already holds one. The form belongs to
// `owner`, or to the application when there is none (it is then destroyed when the
// application quits). `ref` empties itself when the form is destroyed earlier.
template <class Form>
void CreateFormOnce(QPointer<Form>& ref, QWidget* owner = nullptr) {
  if (ref) return;
  ref = new Form(owner);
  if (!owner) {
    QPointer<Form> guard = ref;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, ref,
                     [guard] { delete guard.data(); });
  }
}

}  // namespace kestal
