// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the window tests inside a QApplication on the offscreen platform, in a
// fixed locale so that the texts do not depend on the user's settings, and
// with settings of their own in a temporary folder of this process (never
// the user's).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// The offscreen platform reports every window-manager request it cannot
// serve; those lines say nothing about the window.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QLatin1String("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietOffscreenNotes);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // No sound server: the window is tested without an audio output (the
  // playback test brings a server of its own).
  qputenv("PULSE_SERVER", "unix:/nonexistent/zorv-tests/native");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("zorv-tests"));
  QCoreApplication::setApplicationName(QStringLiteral("desktop-tests"));
  const QTemporaryDir settings;
  if (!settings.isValid()) {
    std::fprintf(stderr, "no temporary folder for the settings\n");
    return 1;
  }
  for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    QSettings::setPath(format, QSettings::UserScope, settings.path());
    QSettings::setPath(format, QSettings::SystemScope, settings.path() + QStringLiteral("/system"));
  }
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
