// SPDX-License-Identifier: GPL-3.0-or-later
// Start and Abort, the event pass of a run, and closing the window.
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "app/desktop/about_box.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/help_viewer.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"
#include "app/desktop/time_text.h"
#include "app/messages.h"
#include "app/run_limits.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

void SetButtonTextColour(QPushButton* button, const QColor& colour) {
  QPalette colours = button->palette();
  colours.setColor(QPalette::Active, QPalette::ButtonText, colour);
  colours.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
  button->setPalette(colours);
}

}  // namespace

void TForm1::StartButtonClick() {
  if (Run_.Running()) {
    // Abort: the run ends after the block in hand, and a queue with it.
    Run_.Abort();
    if (QueueRunning_) QueueAborted_ = true;
    StartFocusToRestore_ = StartButton->hasFocus();
    ResetControls();
    return;
  }
  // Between two files of a queue the button still reads Abort.
  if (QueueRunning_) {
    QueueAborted_ = true;
    return;
  }
  // After Abort the run is still writing its last block.
  if (InStartProcess_) return;
  if (!Run_.Reader().IsOpen() || OutputFileName_.isEmpty()) return;
  if (!AgreeToOutput()) return;
  bool created = true;
  const QString refusal = RunChosenFiles(created);
  // A file that cannot be created is said beside the output already.
  if (!refusal.isEmpty() && created) Dialogs_.ShowMessage(this, refusal);
}

QString TForm1::RunChosenFiles(bool& created) {
  created = true;
  TimeLabel->clear();
  if (Run_.Start() == TStartResult::Refused) return Text(Run_.RefusalMessage());
  // The output is created, or an existing one replaced, only now.
  if (!Run_.Writer().OpenFileNamed(Run_.Writer().Filename)) {
    Run_.Abort();
    created = false;
    const QString refusal = Text(messages::kCannotCreate) + OutputFileName_;
    CloseOutput(refusal, true);
    return refusal;
  }
  ShowRunStarted();
  InStartProcess_ = true;
  Run_.StartProcess();
  InStartProcess_ = false;
  ShowRunEnded();
  return {};
}

void TForm1::ShowRunStarted() {
  // A mono run leaves channel 2 at the bottom and without text; a stereo run
  // shows its text again. (So does the last pair of an odd channel count.)
  const bool mono = !ShowsSecondChannel();
  for (int band = 0; band < 4; ++band) {
    TALProgressBar* meter = Meter(1, band);
    if (mono) meter->SetPosition(kMeterMin);
    meter->SetShowPosText(!mono);
  }
  ShowAbortButton();
  QString status = Text(Run_.StatusText());
  if (QueueRunning_) {
    status += QStringLiteral(" (file %1 of %2)")
                  .arg(QueueCurrent_ + 1)
                  .arg(static_cast<qsizetype>(Queue_.size()));
  }
  ShowStatus(status, false);
  DoneLabel->show();
  RunProgress->setValue(0);
  RunProgress->show();
  RunClock_.start();
  UpdateRunningTimes();
  AbortRun1->setEnabled(true);
  TWavFileIn& reader = Run_.Reader();
  Recorder_.Start(Run_.Channels(), reader.SampleRate(), reader.BlockFrames(), InputFrames(),
                  TZorvCalc::kMeterInterval);
  StartLimitCount(Limits_, Run_, &History_);
  GainPlot->update();
  UpdateToolsEnabled();
  // The run needs its files unchanged until it has ended.
  for (QWidget* button : {InputFileButton, OutPutFileButton}) button->setEnabled(false);
  for (QAction* item : {Open1, Save1}) item->setEnabled(false);
}

void TForm1::ShowRunEnded() {
  ShowMeterPositions();
  GainPlot->update();
  SinceShown_.invalidate();
  const TRunStatus status = Run_.Status();
  const bool failed = status == TRunStatus::WriteError || status == TRunStatus::SampleCountError;
  Limits_.Stop();
  ShowStatus(Text(Run_.StatusText()) + LimitStatusText(), failed);
  DoneLabel->show();
  // A queue goes on with its next file; it does not wait for a stalled run.
  if (QueueRunning_ && Run_.Stalled()) Run_.Abort();
  // A stalled run keeps its files and its Abort button until pressed.
  if (!Run_.Stalled()) {
    TimeLabel->setText(QString::fromStdString(Run_.ElapsedTimeText()) + DecodedText());
    // The bar stops where the output stopped: what the file took.
    UpdateProgress(status == TRunStatus::Done ? Run_.DataBytes() : Run_.Writer().TotalBytes());
    if (QueueRunning_) {
      QueueEntryEnded();
    } else {
      // Disabled for a moment, Start lets go of the keyboard focus; a
      // keyboard user gets it back for the next trial run.
      const bool startHadFocus = StartButton->hasFocus() || StartFocusToRestore_;
      ResetControls();
      if (!CloseAfterRun_) ProposeSameFiles();
      if (startHadFocus && StartButton->isEnabled()) StartButton->setFocus(Qt::OtherFocusReason);
    }
    StartFocusToRestore_ = false;
  }
  if (CloseAfterRun_) {
    CloseAfterRun_ = false;
    close();
  }
}

void TForm1::ShowAbortButton() {
  StartButton->setText(QStringLiteral("Abort"));
  SetButtonTextColour(StartButton, Qt::red);
  StartButton->setEnabled(true);
}

QString TForm1::DecodedText() {
  const std::uint32_t frameBytes = Run_.BytesPerFrame();
  if (frameBytes == 0) return {};
  const std::uint64_t frames = Run_.Writer().TotalBytes() / frameBytes;
  return QStringLiteral(", ") + HoursText(DurationSeconds(frames, Run_.SampleRate())) +
         QStringLiteral(" decoded");
}

void TForm1::ResetControls() {
  StartButton->setText(QStringLiteral("Start"));
  SetButtonTextColour(StartButton, palette().color(QPalette::Active, QPalette::ButtonText));
  StartButton->setEnabled(false);
  AbortRun1->setEnabled(false);
  OutPutFileButton->setEnabled(false);
  Save1->setEnabled(false);
  InputFileLabel->setEnabled(false);
  OutputFileLabel->setEnabled(false);
  // Input selection comes back once the run has let go of its files.
  InputFileButton->setEnabled(!Busy());
  Open1->setEnabled(!Busy());
  UpdateToolsEnabled();
}

void TForm1::UpdateProgress(std::uint64_t done) {
  const std::uint64_t total = Run_.DataBytes();
  done = std::min(done, total);
  const int maximum = RunProgress->maximum();
  RunProgress->setValue(
      total == 0 ? maximum : static_cast<int>(done * static_cast<std::uint64_t>(maximum) / total));
}

void TForm1::UpdateRunningTimes() {
  const QString text =
      RunningTimesText(RunClock_.elapsed(), Run_.DataBytesRead(), Run_.DataBytes());
  if (TimeLabel->text() != text) TimeLabel->setText(text);
}

void TForm1::RunEventPass() {
  // A screen shows some 60 pictures a second; the run delivers blocks far
  // faster. Meters, progress and times are brought up to date once per
  // display interval, the window's events are handled after every block.
  constexpr qint64 kDisplayIntervalMs = 16;
  if (!SinceShown_.isValid() || SinceShown_.elapsed() >= kDisplayIntervalMs) {
    ShowMeterPositions();
    GainPlot->update();
    UpdateProgress(Run_.DataBytesRead());
    if (Run_.Running()) UpdateRunningTimes();
    SinceShown_.start();
  }
  QCoreApplication::processEvents();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Nothing more of a queue is begun.
  if (QueueRunning_) QueueAborted_ = true;
  if (InStartProcess_) {
    // Inside the run's event pass: abort, and close once the output header
    // is complete and the files are closed.
    if (Run_.Running()) {
      Run_.Abort();
      ResetControls();
    }
    CloseAfterRun_ = true;
    event->ignore();
    return;
  }
  // A stalled run: Abort completes the output with what was written.
  if (Run_.Running()) {
    Run_.Abort();
    ResetControls();
  }
  AboutBox->hide();
  HelpViewer->hide();
  event->accept();
}

}  // namespace zorv
