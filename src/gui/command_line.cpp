#include "gui/command_line.h"

namespace kestal {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  bool options = true;
  for (const QString& arg : arguments) {
    if (options && arg == QLatin1String("--")) {
      options = false;
    } else if (options && (arg == QLatin1String("-h") || arg == QLatin1String("--help"))) {
      return {CommandLine::Action::Help, {}, {}};
    } else if (options && (arg == QLatin1String("-v") || arg == QLatin1String("--version"))) {
      return {CommandLine::Action::Version, {}, {}};
    } else if (options && arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
      line = {CommandLine::Action::Usage, {}, QStringLiteral("unknown option '%1'").arg(arg)};
      return line;
    } else if (!line.file.isEmpty()) {
      return {CommandLine::Action::Usage, {}, QStringLiteral("only one photo can be opened")};
    } else {
      line.file = arg;
    }
  }
  return line;
}

QString CommandLineHelp() {
  return QStringLiteral(
      "Usage: kestal [FILE]\n"
      "Turns a photo into an animated water reflection.\n"
      "  FILE            a photo to open at start\n"
      "  -h, --help      show this help and exit\n"
      "  -v, --version   show the version and exit\n"
      "Settings are kept in ~/.config/Kestal/Kestal.conf ($XDG_CONFIG_HOME/Kestal/Kestal.conf).\n");
}

}  // namespace kestal
