#pragma once
// The image open dialog and the conversion of the engine's dialog filters
// ("Name|*.a;*.b|...") into Qt's ("Name (*.a *.b);;...").

#include <QString>
#include <string>

class QWidget;

namespace kestal {

// Each name and pattern pair becomes one Qt filter; a pattern list in parentheses
// at the end of the name is replaced by the pair's own patterns, and "*.*" becomes
// "*" so that files without an extension are listed too.
QString ToQtFilter(const std::string& filter);

// Shows the open dialog with the image filter (its first entry selected), starting in
// `initialFolder` when it is not empty. An accepted dialog makes the chosen file's
// folder the process's current folder and returns the path; a cancelled one returns
// an empty string.
QString ChooseImageFile(QWidget* owner, const QString& initialFolder = QString());

}  // namespace kestal
