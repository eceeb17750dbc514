// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cmath>
#include <filesystem>

#include "app/desktop/text_conversion.h"
#include "dsp/reference_level_range.h"

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

// On the path's bytes: a name that is not UTF-8 keeps them.
QString Absolute(const QString& path) {
  if (path.isEmpty()) return path;
  return FromLocal(std::filesystem::absolute(LocalPath(path)).lexically_normal().string());
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
  QCommandLineOption autoplay(
      QStringLiteral("autoplay"),
      QStringLiteral("Play SECONDS of the decode from FROM seconds, then end."),
      QStringLiteral("FROM,SECONDS"));
  autoplay.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption typeLevel(QStringLiteral("type-level"),
                               QStringLiteral("Type TEXT into the level field."),
                               QStringLiteral("TEXT"));
  typeLevel.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption channels(QStringLiteral("channels"),
                              QStringLiteral("With --autoplay: channel A left, B right."),
                              QStringLiteral("A,B"));
  channels.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption level(QStringLiteral("level"),
                           QStringLiteral("The reference level to start with."),
                           QStringLiteral("DB"));
  level.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(autostart);
  parser.addOption(autoquit);
  parser.addOption(autoplay);
  parser.addOption(channels);
  parser.addOption(typeLevel);
  parser.addOption(level);
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
  result.TypedLevel = parser.value(typeLevel);
  if (!result.AutostartOutput.isEmpty() && result.InputFile.isEmpty()) {
    error = QStringLiteral("--autostart needs one input file.");
    return false;
  }
  if (parser.isSet(level)) {
    bool ok = false;
    result.LevelDb = parser.value(level).toDouble(&ok);
    if (!ok || !(result.LevelDb >= kMinLevelDb && result.LevelDb <= kMaxLevelDb)) {
      error = QStringLiteral("--level needs a level from %1 to %2 dB.")
                  .arg(kMinLevelDb, 0, 'f', 1)
                  .arg(kMaxLevelDb, 0, 'f', 1);
      return false;
    }
    result.LevelGiven = true;
  }
  if (parser.isSet(autoplay)) {
    const QStringList parts = parser.value(autoplay).split(QLatin1Char(','));
    bool fromOk = false;
    bool secondsOk = false;
    if (parts.size() == 2) {
      result.AutoplayFrom = parts[0].toDouble(&fromOk);
      result.AutoplaySeconds = parts[1].toDouble(&secondsOk);
    }
    if (!fromOk || !secondsOk || !(result.AutoplayFrom >= 0.0) || !(result.AutoplaySeconds > 0.0) ||
        !std::isfinite(result.AutoplayFrom + result.AutoplaySeconds)) {
      error = QStringLiteral("--autoplay needs FROM,SECONDS: a start and a length in seconds.");
      return false;
    }
    if (result.InputFile.isEmpty()) {
      error = QStringLiteral("--autoplay needs one input file.");
      return false;
    }
    if (!result.AutostartOutput.isEmpty()) {
      error = QStringLiteral("--autoplay and --autostart do not go together.");
      return false;
    }
  }
  if (parser.isSet(channels)) {
    const QStringList parts = parser.value(channels).split(QLatin1Char(','));
    bool leftOk = false;
    bool rightOk = false;
    if (parts.size() == 2) {
      result.AutoplayLeft = parts[0].toInt(&leftOk);
      result.AutoplayRight = parts[1].toInt(&rightOk);
    }
    if (!leftOk || !rightOk || result.AutoplayLeft < 1 || result.AutoplayRight < 1) {
      error = QStringLiteral("--channels needs A,B: two channel numbers from 1 on.");
      return false;
    }
    if (!parser.isSet(autoplay)) {
      error = QStringLiteral("--channels needs --autoplay.");
      return false;
    }
  }
  if (result.AutoQuit && result.AutostartOutput.isEmpty()) {
    error = QStringLiteral("--autoquit needs --autostart.");
    return false;
  }
  return true;
}

}  // namespace zorv
