// SPDX-License-Identifier: GPL-3.0-or-later
// The questions the main window asks the user, behind an interface so that
// the window can be driven by scripted answers in tests.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "app/desktop/queue_model.h"

class QWidget;

namespace zorv {

class TFileDialogs {
 public:
  virtual ~TFileDialogs() = default;

  // The input file to open, starting from proposal; nothing when cancelled.
  virtual std::optional<QString> AskInputFile(QWidget* parent, const QString& proposal) = 0;
  // One or several input files (several are decoded one after the other);
  // none when cancelled. By default the one-file question.
  virtual QStringList AskInputFiles(QWidget* parent, const QString& proposal) {
    const std::optional<QString> one = AskInputFile(parent, proposal);
    return one ? QStringList{*one} : QStringList{};
  }
  // The output file to create, starting from proposal; nothing when
  // cancelled. The window asks about overwriting itself.
  virtual std::optional<QString> AskOutputFile(QWidget* parent, const QString& proposal) = 0;
  // The PNG file to save the gain plot in, starting from proposal; nothing
  // when cancelled. The window asks about overwriting itself.
  virtual std::optional<QString> AskPlotFile(QWidget* parent, const QString& proposal) = 0;
  // OK (true) or Cancel (false).
  virtual bool ConfirmOverwrite(QWidget* parent, const QString& question) = 0;
  // An output of the queue exists: Replace, Skip, or the same for it and
  // every further one (offered when othersFollow). Closing the question
  // skips the file. By default the OK/Cancel question.
  virtual TReplaceChoice AskReplaceOutput(QWidget* parent, const QString& question,
                                          bool othersFollow) {
    (void)othersFollow;
    return ConfirmOverwrite(parent, question) ? TReplaceChoice::Replace : TReplaceChoice::Skip;
  }
  // A decode is running while the window is closed: Stop (true, the run
  // ends and keeps what it decoded) or Cancel (false, the window stays).
  // Once running() says the run has ended meanwhile, the question goes and
  // the answer is true: nothing is left to stop.
  virtual bool ConfirmStopRun(QWidget* parent, const QString& question,
                              const std::function<bool()>& running) = 0;
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // The desktop could not show a document: text says so and names the file
  // or address to open by hand. With offerViewer the answer may be to show
  // the help page in the program's own window instead (true).
  virtual bool ReportOpenFailure(QWidget* parent, const QString& text, bool offerViewer) = 0;
};

}  // namespace zorv
