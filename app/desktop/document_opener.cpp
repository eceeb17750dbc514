// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/document_opener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace zorv {
namespace {

// The opener runs in the background of a shell that waits for it and passes
// on its exit status. When the program ends first, only that shell is ended:
// the opener, and the browser it may still be waiting for, live on.
constexpr auto kWaitingShell = "\"$0\" \"$1\" & wait $!";

}  // namespace

void TDesktopOpener::Open(const QUrl& address, TFailed failed) {
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    if (!QDesktopServices::openUrl(address) && failed) failed();
    return;
  }
  auto* process = new QProcess(this);
  // No pipes: a browser that outlives the program must not write into one.
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  connect(process, &QProcess::finished, this,
          [process, failed](int code, QProcess::ExitStatus status) {
            if ((code != 0 || status != QProcess::NormalExit) && failed) failed();
            process->deleteLater();
          });
  connect(process, &QProcess::errorOccurred, this, [process, failed](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    if (failed) failed();
    process->deleteLater();
  });
  process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QLatin1String(kWaitingShell),
                                             opener, address.toString(QUrl::FullyEncoded)});
}

}  // namespace zorv
