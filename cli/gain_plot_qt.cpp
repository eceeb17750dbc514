// SPDX-License-Identifier: GPL-3.0-or-later
// The plot module zorv-decode loads for --plot (so that a decode without a
// plot starts without Qt's libraries): the plot drawn by the window's own
// picture code, on Qt's offscreen platform. An application object is made
// for the fonts only when the program has none, and Qt's messages are kept
// off zorv-decode's reports.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cerrno>
#include <memory>

#include "cli/gain_plot_file.h"
#include "widgets/gain_history_picture.h"

namespace zorv::cli {
namespace {

constexpr int kPlotWidth = 1200;
constexpr int kPlotHeight = 520;

void Silent(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

bool DrawGainPlot(const TGainHistory& history, int fd) {
  const QtMessageHandler previous = qInstallMessageHandler(Silent);
  std::unique_ptr<QGuiApplication> application;
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 3;
    static char name[] = "zorv-decode";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    application = std::make_unique<QGuiApplication>(argc, argv);
  }
  const QImage picture = GainHistoryImage(history, 0, QSize(kPlotWidth, kPlotHeight));
  QFile file;
  errno = 0;
  const bool written = file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) &&
                       picture.save(&file, "PNG") && file.flush();
  if (!written && errno == 0) errno = EIO;
  file.close();
  application.reset();
  qInstallMessageHandler(previous);
  return written;
}

}  // namespace zorv::cli

extern "C" __attribute__((visibility("default"))) int zorv_write_gain_plot(
    const zorv::TGainHistory* history, int fd) {
  return history != nullptr && zorv::cli::DrawGainPlot(*history, fd) ? 1 : 0;
}
