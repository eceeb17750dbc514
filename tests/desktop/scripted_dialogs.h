// SPDX-License-Identifier: GPL-3.0-or-later
// The window's questions answered from a script, with a record of what was
// asked. A question without a scripted answer counts as unexpected and is
// answered with Cancel.
#pragma once

#include <QStringList>
#include <deque>

#include "app/desktop/file_dialogs.h"

namespace zorv::test {

class TScriptedDialogs : public TFileDialogs {
 public:
  // A null QString answers Cancel.
  std::deque<QString> InputAnswers;
  std::deque<QString> OutputAnswers;
  // Answers of the several-files question; when none is scripted, it is
  // answered from InputAnswers with one file.
  std::deque<QStringList> InputListAnswers;
  std::deque<QString> PlotAnswers;
  std::deque<bool> OverwriteAnswers;
  std::deque<TReplaceChoice> ReplaceAnswers;  // the queue's question about an existing output
  std::deque<bool> StopAnswers;               // the question when the window is closed during a run

  QStringList InputProposals;
  QStringList OutputProposals;
  QStringList PlotProposals;
  QStringList Questions;
  QStringList Messages;
  int Unexpected = 0;

  std::optional<QString> AskInputFile(QWidget*, const QString& proposal) override {
    InputProposals << proposal;
    return Next(InputAnswers);
  }
  QStringList AskInputFiles(QWidget* parent, const QString& proposal) override {
    if (InputListAnswers.empty()) return TFileDialogs::AskInputFiles(parent, proposal);
    InputProposals << proposal;
    const QStringList answer = InputListAnswers.front();
    InputListAnswers.pop_front();
    return answer;
  }
  std::optional<QString> AskPlotFile(QWidget*, const QString& proposal) override {
    PlotProposals << proposal;
    return Next(PlotAnswers);
  }
  std::optional<QString> AskOutputFile(QWidget*, const QString& proposal) override {
    OutputProposals << proposal;
    return Next(OutputAnswers);
  }
  bool ConfirmOverwrite(QWidget*, const QString& question) override {
    Questions << question;
    if (OverwriteAnswers.empty()) {
      ++Unexpected;
      return false;
    }
    const bool answer = OverwriteAnswers.front();
    OverwriteAnswers.pop_front();
    return answer;
  }
  TReplaceChoice AskReplaceOutput(QWidget*, const QString& question, bool othersFollow) override {
    Questions << question + (othersFollow ? QStringLiteral(" [all]") : QString());
    if (ReplaceAnswers.empty()) {
      ++Unexpected;
      return TReplaceChoice::Skip;
    }
    const TReplaceChoice answer = ReplaceAnswers.front();
    ReplaceAnswers.pop_front();
    return answer;
  }
  // Runs while the stop question is up (a run that ends meanwhile).
  std::function<void()> WhileAskingStop;
  bool ConfirmStopRun(QWidget*, const QString& question,
                      const std::function<bool()>& running) override {
    Questions << question;
    if (WhileAskingStop) WhileAskingStop();
    if (!running()) return true;
    if (StopAnswers.empty()) {
      ++Unexpected;
      return false;
    }
    const bool answer = StopAnswers.front();
    StopAnswers.pop_front();
    return answer;
  }
  void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
  // Recorded in Messages; answered with ShowViewerAnswer where a viewer is
  // offered.
  bool ReportOpenFailure(QWidget*, const QString& text, bool offerViewer) override {
    Messages << text;
    return offerViewer && ShowViewerAnswer;
  }
  bool ShowViewerAnswer = false;

 private:
  std::optional<QString> Next(std::deque<QString>& answers) {
    if (answers.empty()) {
      ++Unexpected;
      return std::nullopt;
    }
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isNull()) return std::nullopt;
    return answer;
  }
};

}  // namespace zorv::test
