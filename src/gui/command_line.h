#pragma once
// The desktop program's command line: `kestal [FILE]`, `--help`, `--version`. It is
// read before the application object exists, so the two informational options work
// without a display.

#include <QString>
#include <QStringList>

namespace kestal {

struct CommandLine {
  enum class Action { Run, Help, Version, Usage } action = Action::Run;
  QString file;   // the photo to open at start, or empty
  QString error;  // for Usage: what was wrong
};

// `arguments` without the program's name. "--" ends the options, so a file named
// "-x" can be opened as `kestal -- -x`.
CommandLine ParseCommandLine(const QStringList& arguments);

// The text of --help.
QString CommandLineHelp();

}  // namespace kestal
