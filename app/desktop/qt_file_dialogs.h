// SPDX-License-Identifier: GPL-3.0-or-later
// The window's questions as Qt file dialogs and message boxes.
#pragma once

#include <string_view>

#include "app/desktop/file_dialogs.h"

namespace zorv {

// Filters as description and pattern pairs separated by bars.
inline constexpr std::string_view kInputFileFilter =
    "WAV and FLAC sound files|*.wav;*.flac|WAV sound files|*.wav|FLAC sound files|*.flac|"
    "all files (*.*)|*.*";
// The type of the output follows the name: the filter chosen gives a name
// typed without an extension its own.
inline constexpr std::string_view kOutputFileFilter =
    "WAV sound files [*.wav]|*.wav|FLAC sound files [*.flac]|*.flac|all files [*.*]|*.*";
inline constexpr std::string_view kPlotFileFilter = "PNG images|*.png";

// "desc|pattern|desc|pattern" in Qt's form "desc (pattern);;desc (pattern)".
// A pattern that the description already shows in brackets or parentheses at
// its end is shown once. A trailing description without pattern is dropped.
QString QtFileFilter(std::string_view pairs);

class TQtFileDialogs : public TFileDialogs {
 public:
  std::optional<QString> AskInputFile(QWidget* parent, const QString& proposal) override;
  QStringList AskInputFiles(QWidget* parent, const QString& proposal) override;
  std::optional<QString> AskPlotFile(QWidget* parent, const QString& proposal) override;
  std::optional<QString> AskOutputFile(QWidget* parent, const QString& proposal) override;
  bool ConfirmOverwrite(QWidget* parent, const QString& question) override;
  TReplaceChoice AskReplaceOutput(QWidget* parent, const QString& question,
                                  bool othersFollow) override;
  bool ConfirmStopRun(QWidget* parent, const QString& question,
                      const std::function<bool()>& running) override;
  void ShowMessage(QWidget* parent, const QString& text) override;
  bool ReportOpenFailure(QWidget* parent, const QString& text, bool offerViewer) override;
};

}  // namespace zorv
