// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/autostart.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <cstdio>
#include <optional>

#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"

namespace zorv {

void PrintAutoLine(std::FILE* stream, const QString& text) {
  std::fprintf(stream, "zorv-audio-decoder: %s\n", text.toLocal8Bit().constData());
  std::fflush(stream);
}

int RunAutostart(TForm1& form, const QString& output) {
  if (PathExists(output)) {
    PrintAutoLine(stderr, QStringLiteral("the output exists and is left alone: ") + output);
    return 1;
  }
  if (!form.InputReader().IsOpen()) {
    // The input was refused: create no output.
    PrintAutoLine(stderr, form.InputFileLabel->text());
    return 1;
  }
  form.OpenOutputFile(output);
  if (!form.StartButton->isEnabled()) {
    PrintAutoLine(stderr, form.OutputFileLabel->text());
    return 1;
  }
  // An input that cannot be read now is said here, not in a message box
  // that nobody would answer.
  if (const QString refusal = form.StartRun(); !refusal.isEmpty() || !form.Busy()) {
    PrintAutoLine(stderr, refusal.isEmpty() ? form.OutputFileLabel->text() : refusal);
    return 1;
  }
  // The run goes on its own thread; the window stays alive meanwhile.
  while (form.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  PrintAutoLine(stdout, form.DoneLabel->text() + QStringLiteral(", ") + form.TimeLabel->text());
  // Done means the output is there under its name: a final sync or rename
  // that failed kept nothing.
  const std::optional<TRunResult>& result = form.LastResult();
  const bool kept = result && result->Status == TRunStatus::Done && result->CommitErrno == 0 &&
                    result->Kept && !result->Partial;
  return kept ? 0 : 1;
}

}  // namespace zorv
