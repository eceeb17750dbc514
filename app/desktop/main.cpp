// SPDX-License-Identifier: GPL-3.0-or-later
// The program entry: the application object, the main window, the message
// loop. The command line is described in command_line.h.
#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "app/desktop/autoplay.h"
#include "app/desktop/autostart.h"
#include "app/desktop/command_line.h"
#include "app/desktop/level_entry.h"
#include "app/desktop/main_window.h"
#include "app/desktop/program_icon.h"
#include "app/desktop/program_info.h"
#include "app/desktop/qt_file_dialogs.h"
#include "app/desktop/text_conversion.h"

namespace {

QStringList Arguments(int argc, char** argv) {
  QStringList arguments;
  // File names as their bytes, whatever their encoding.
  for (int i = 0; i < argc; ++i) arguments << zorv::FromLocal(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  // The window's settings: ~/.config/zorv/zorv-audio-decoder.conf.
  QCoreApplication::setOrganizationName(QStringLiteral("zorv"));
  QCoreApplication::setApplicationName(QStringLiteral("zorv-audio-decoder"));
  QCoreApplication::setApplicationVersion(zorv::GetVersionText());

  // Before the window system is reached.
  zorv::TCommandLine command;
  QString error;
  if (!zorv::ParseCommandLine(Arguments(argc, argv), command, error)) {
    std::fprintf(stderr, "zorv-audio-decoder: %s\n", error.toLocal8Bit().constData());
    return 2;
  }
  if (command.ShowHelp || command.ShowVersion) {
    const QString text = command.ShowHelp ? command.HelpText
                                          : QStringLiteral("zorv-audio-decoder %1\n")
                                                    .arg(QCoreApplication::applicationVersion()) +
                                                QLatin1String(zorv::kVersionNotice);
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QLatin1String(zorv::kProgramTitle));
  QGuiApplication::setDesktopFileName(QStringLiteral("zorv-audio-decoder"));
  QApplication::setWindowIcon(zorv::ProgramIcon());

  zorv::TQtFileDialogs dialogs;
  zorv::TForm1 form(dialogs);
  form.show();
  if (command.LevelGiven)
    form.LevelBar->setValue(static_cast<int>(std::lround(command.LevelDb * 10.0)));
  if (command.InputFiles.size() == 1) form.OpenInputFile(command.InputFile);
  if (!command.TypedLevel.isEmpty()) {
    form.RefLabel->setFocus();
    form.RefLabel->setText(command.TypedLevel);
    form.RefLabel->setModified(true);
    emit form.RefLabel->editingFinished();
  }
  if (command.InputFiles.size() > 1) form.QueueFiles(command.InputFiles);
  if (!command.AutostartOutput.isEmpty()) {
    QTimer::singleShot(0, &form, [&form, &command] {
      const int status = zorv::RunAutostart(form, command.AutostartOutput);
      if (command.AutoQuit) QCoreApplication::exit(status);
    });
  }
  if (command.AutoplaySeconds > 0.0) {
    QTimer::singleShot(0, &form, [&form, &command] {
      QCoreApplication::exit(
          zorv::RunAutoplay(form, {command.AutoplayFrom, command.AutoplaySeconds,
                                   command.AutoplayLeft, command.AutoplayRight}));
    });
  }
  return QApplication::exec();
}
