// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

namespace zorv {
namespace {

constexpr const char* kToolkitValueOptions[] = {"platform",        "platformpluginpath",
                                                "platformtheme",   "plugin",
                                                "qwindowgeometry", "qwindowicon",
                                                "qwindowtitle",    "display",
                                                "geometry",        "style",
                                                "stylesheet",      "session",
                                                "qmljsdebugger"};
constexpr const char* kToolkitSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString Absolute(const QString& path) {
  return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

}  // namespace

bool ParseCommandLine(const QStringList& arguments, TCommandLine& result, QString& error) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Decodes four-band compander noise-reduction recordings."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("FILE.wav"),
      QStringLiteral("Input file to select at start-up; several are queued."),
      QStringLiteral("[FILE.wav...]"));
  QCommandLineOption autostart(QStringLiteral("autostart"),
                               QStringLiteral("Decode into OUTPUT once the window is up."),
                               QStringLiteral("OUTPUT"));
  autostart.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption autoquit(QStringLiteral("autoquit"),
                              QStringLiteral("End the program after the automatic run."));
  autoquit.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(autostart);
  parser.addOption(autoquit);
  // The toolkit's own options ("-style fusion", "-platform xcb", ...) are
  // read by the application object; here they are only let through.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : kToolkitValueOptions) {
    QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kToolkitSwitches) {
    QCommandLineOption option{QLatin1String(name)};
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }

  if (!parser.parse(arguments)) {
    error = parser.errorText();
    return false;
  }
  result = TCommandLine{};
  result.ShowHelp = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
  result.ShowVersion = parser.isSet(version);
  // Without an application object the parser cannot know the program's name.
  result.HelpText = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                              QFileInfo(arguments.value(0)).fileName());
  for (const QString& file : parser.positionalArguments()) result.InputFiles << Absolute(file);
  if (result.InputFiles.size() == 1) result.InputFile = result.InputFiles.front();
  result.AutostartOutput = Absolute(parser.value(autostart));
  result.AutoQuit = parser.isSet(autoquit);
  if (!result.AutostartOutput.isEmpty() && result.InputFile.isEmpty()) {
    error = QStringLiteral("--autostart needs one input file.");
    return false;
  }
  if (result.AutoQuit && result.AutostartOutput.isEmpty()) {
    error = QStringLiteral("--autoquit needs --autostart.");
    return false;
  }
  return true;
}

}  // namespace zorv
