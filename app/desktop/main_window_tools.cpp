// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level measured from the input's reference tone, and the gain
// plot saved as a picture.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <cmath>

#include "app/channel_levels.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/level_control.h"
#include "app/desktop/main_window.h"
#include "app/desktop/output_check.h"
#include "app/desktop/path_label.h"
#include "app/desktop/record_panel.h"
#include "app/desktop/text_conversion.h"
#include "app/level_range.h"
#include "app/limit_counter.h"
#include "app/messages.h"
#include "app/output_name.h"
#include "app/reference_tone.h"
#include "app/run_report.h"
#include "widgets/gain_history_plot.h"
#include "zorv_version.h"

namespace zorv {
namespace {

// The locale's decimal separator, where it is one plain character.
char DecimalPoint() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point.front().unicode() < 0x80 ? point.front().toLatin1() : '.';
}

// The proposed output's name with "_gains.png" for ".wav".
QString ProposePlotName(const QString& input) {
  const QFileInfo output(FromLocal(ProposeOutputName(LocalPath(input))));
  return output.dir().filePath(output.completeBaseName() + QStringLiteral("_gains.png"));
}

}  // namespace

void TForm1::UpdateToolsEnabled() {
  const bool idle = !Busy();
  MeasureButton->setEnabled(idle && Input_.IsOpen());
  SavePlot1->setEnabled(idle && !History_.Empty());
  UpdateQueueButtons();
}

void TForm1::MeasureButtonClick() {
  if (Busy() || !Input_.IsOpen()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // A reader of its own: the window's stays at the start of the data.
  TReferenceTone found = MeasureReferenceTone(LocalPath(InputFileName_));
  // The whole input, decoded once: the levels that keep every band of every
  // channel inside its range. A read that fails there fails the measurement.
  std::optional<TLevelRange> range;
  if (found.Suggestion.Verdict != TToneVerdict::Unreadable) {
    range = AnalyseLevelRange(LocalPath(InputFileName_));
    if (!range->Error.empty()) {
      found = UnreadableTone(range->Error);
      range.reset();
    }
  }
  QApplication::restoreOverrideCursor();
  // The channels that the meters and the plot show.
  const TReferenceTone shown = ChannelsOf(found, 0, 2);
  const bool suggested = shown.Suggestion.Verdict == TToneVerdict::Suggested;
  if (suggested) LevelBar->setValue(static_cast<int>(std::lround(shown.Suggestion.LevelDb * 10.0)));
  FillChannelLevels(found);
  // Every channel of a multitrack tape, and the level each is set to.
  const bool many = found.Channels.size() > 2;
  std::string text = DescribeReferenceTone(many ? found : shown, DecimalPoint());
  if (const std::vector<double> own = ChannelLevelsDb(); many && !own.empty()) {
    text += "; levels per channel " + LevelsText(own);
  }
  if (range) {
    const bool toneLevel = suggested || shown.Suggestion.Verdict == TToneVerdict::OutOfRange;
    text += "; " + DescribeLevelRange(
                       *range,
                       toneLevel ? std::optional<double>(shown.Suggestion.LevelDb) : std::nullopt,
                       DecimalPoint());
  }
  QString finding = Text(text);
  // A sentence of its own here.
  if (!finding.isEmpty()) finding[0] = finding[0].toUpper();
  // Red when the level stays as it was.
  LevelControl_->ShowFinding(finding, !suggested);
}

QString TForm1::LimitStatusText() const {
  const std::string summary = LimitSummary(Limits_, DecimalPoint());
  return summary.empty() ? QString() : QStringLiteral("; ") + Text(summary);
}

void TForm1::ShowRunRecord(const TRunResult& result) {
  const std::string limits = LimitSummary(Limits_, DecimalPoint());
  // The same line as zorv-decode --report writes of the same decode.
  TReportEntry entry;
  entry.Input = LocalPath(InputFileName_);
  entry.Output = result.Kept;
  const bool kept = result.CommitErrno == 0;
  entry.Status = result.Status == TRunStatus::Done && kept      ? "decoded"
                 : result.Status == TRunStatus::Aborted && kept ? "interrupted"
                                                                : "failed";
  entry.Message = DoneLabel->text().toStdString();
  entry.Warnings = result.Warnings;
  if (result.Status == TRunStatus::Done) {
    entry.Warnings.insert(entry.Warnings.end(), result.OutputWarnings.begin(),
                          result.OutputWarnings.end());
  }
  TDecodeFacts facts =
      DecodeFactsOf(result, RunFormatTag_, RunBitsPerSample_, /*floatOutput=*/false, Limits_);
  facts.InputSize = FileBytes(entry.Input);
  if (result.Kept) {
    facts.Md5 = result.Md5;
    facts.OutputSize = FileBytes(*result.Kept);
  }
  entry.Facts = std::move(facts);
  if (RunContinuedFrom_) {
    entry.ContinuedFrom = RunContinuedFrom_->Input;
    entry.ContinuedFromMd5 = RunContinuedFrom_->OutputMd5;
  }
  entry.Tool = "zorv-audio-decoder " ZORV_VERSION_TEXT;
  entry.Started = RunStartedAt_;
  entry.Finished = std::chrono::system_clock::now();
  std::string line = ReportLine(entry);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  RecordPanel->Show(
      RunRecordText({InputFileName_, OutputFileName_, DoneLabel->text(), Text(limits)}, result),
      QString::fromStdString(line));
  if (LowerTabs->indexOf(RecordPanel) < 0) LowerTabs->addTab(RecordPanel, QStringLiteral("Record"));
  if (!QueueRunning_) LowerTabs->setCurrentWidget(RecordPanel);
}

void TForm1::SavePlot1Click() {
  if (Busy() || History_.Empty()) return;
  const std::optional<QString> chosen = Dialogs_.AskPlotFile(this, ProposePlotName(InputFileName_));
  if (!chosen) return;
  if (PathExists(*chosen) &&
      !Dialogs_.ConfirmOverwrite(this,
                                 QString::fromStdString(OverwriteQuestion(LocalPath(*chosen))))) {
    return;
  }
  if (!GainPlot->SavePng(*chosen)) {
    const std::string problem = CreateProblem(LocalPath(*chosen));
    ShowStatus(
        Text(messages::kCannotCreate) + *chosen + QStringLiteral(": ") +
            (problem.empty() ? QStringLiteral("the picture could not be written") : Text(problem)),
        true);
    DoneLabel->show();
  }
}

}  // namespace zorv
