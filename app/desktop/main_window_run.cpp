// SPDX-License-Identifier: GPL-3.0-or-later
// Start and Abort, the run on its own thread and what the window shows of
// it, and closing the window.
#include <sys/stat.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstring>

#include "app/desktop/about_box.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/help_viewer.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"
#include "app/desktop/time_text.h"
#include "app/file_target.h"
#include "app/input_faults.h"
#include "app/messages.h"
#include "app/pending_file.h"
#include "app/run_limits.h"
#include "widgets/al_progress_bar.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

const QString kStopQuestion =
    QStringLiteral("A decode is running. Stop it and keep what was decoded?");

void SetButtonTextColour(QPushButton* button, const QColor& colour) {
  QPalette colours = button->palette();
  colours.setColor(QPalette::Active, QPalette::ButtonText, colour);
  colours.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
  button->setPalette(colours);
}

}  // namespace

void TForm1::StartButtonClick() {
  if (RunActive()) {
    // Abort: the run ends after the block in hand, and a queue with it.
    StopRun();
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
  if (const QString refusal = StartRun(); !refusal.isEmpty()) Dialogs_.ShowMessage(this, refusal);
}

QString TForm1::StartRun() {
  if (!Input_.IsOpen() || OutputFileName_.isEmpty() || !AgreeToOutput()) return {};
  bool created = true;
  const QString refusal = RunChosenFiles(created);
  // A file that cannot be created is said beside the output already.
  return created ? refusal : QString();
}

QString TForm1::RunChosenFiles(bool& created) {
  created = true;
  TimeLabel->clear();
  TRunSettings settings;
  // A file of the queue may have a level of its own (or one per channel).
  settings.LevelDb = QueueRunning_ ? QueueLevel_ : LevelDb();
  settings.ChannelLevelsDb = QueueRunning_ ? QueueChannelLevels_ : ChannelLevelsDb();
  settings.DebugBand = DebugBand_;
  settings.CanonicalHeader = CanonicalHeader_;
  // The user agreed to replace an existing output: the complete new one does.
  settings.ReplaceOutput = true;
  // An aborted run's part replaces only a partial file this window kept.
  const std::optional<std::array<std::int64_t, 4>> partial =
      PartialIdentity(PartialName(LocalPath(OutputFileName_)));
  settings.ReplacePartial = partial && KeptPartials_.contains(*partial);
  settings.Arithmetic = Environment_.Arithmetic;
  settings.StageSplit = Environment_.StageSplit;
  settings.TimeSplit = Environment_.TimeSplit;
  settings.ChannelThreads = Environment_.Workers.value_or(1) != 0;
  auto run = std::make_unique<TDecodeRun>(settings);
  auto files = std::make_unique<TFileTarget>();
  // The window's own reader lets go of the input while the run reads it.
  Input_.CloseFile();
  if (const std::optional<TRefusal> refusal = files->OpenInput(*run, LocalPath(InputFileName_))) {
    OpenAndCheckInput(false);
    // The debug refusal names no file: the message box says it.
    if (refusal->Message.rfind(messages::kDebugNeedsStereo, 0) == 0) {
      return Text(messages::kDebugNeedsStereo);
    }
    return QString::fromStdString(refusal->Message) + InputFileName_ +
           (refusal->Detail.empty() ? QString() : QStringLiteral(": ") + Text(refusal->Detail));
  }
  // A queue's row goes on from where the row before it ended, when that is
  // the part before of the same tape.
  if (const std::optional<QString> refusal = ContinueQueueRow(*run)) {
    OpenAndCheckInput(false);
    return *refusal;
  }
  if (const std::optional<TRefusal> refusal = files->OpenOutput(*run, LocalPath(OutputFileName_))) {
    OpenAndCheckInput(false);
    created = false;
    const QString text =
        QString::fromStdString(refusal->Message) + OutputFileName_ +
        (refusal->Detail.empty() ? QString()
                                 : QStringLiteral(": ") + QString::fromStdString(refusal->Detail));
    CloseOutput(text, true);
    return text;
  }
  run->SetMeterListener(this);
  run->SetBlockCallback([this](std::uint64_t read) { AfterBlock(read); });
  ShowRunStarted(*run);
  ActiveRun_ = std::move(run);
  RunThread_ = std::thread([this, active = ActiveRun_.get(), files = std::move(files)] {
    TRunResult result = files->Run(*active);
    // The window's timer collects it: the run's thread hands over through
    // the lock only.
    const std::lock_guard<std::mutex> hold(MeterLock_);
    PendingResult_ = std::move(result);
  });
  return {};
}

std::optional<std::array<std::int64_t, 4>> TForm1::PartialIdentity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return std::array<std::int64_t, 4>{static_cast<std::int64_t>(info.st_dev),
                                     static_cast<std::int64_t>(info.st_ino),
                                     static_cast<std::int64_t>(info.st_ctim.tv_sec),
                                     static_cast<std::int64_t>(info.st_ctim.tv_nsec)};
}

std::optional<QString> TForm1::ContinueQueueRow(TDecodeRun& run) {
  QueueRowNote_.clear();
  RunContinuedFrom_.reset();
  if (!QueueRunning_ || !ContinueFromPrevious1->isChecked()) return std::nullopt;
  const TWavFileIn& reader = run.Input();
  QueueRowFormat_ = {reader.SampleRate(), reader.Channels(), reader.FormatTag(),
                     reader.HeaderImage().BitsPerSample()};
  // After a row that was not decoded whole, where this one begins is unknown.
  if (const std::optional<std::string> broken = QueueTape_.Broken()) {
    return InputFileName_ + QStringLiteral(": ") + FromLocal(*broken);
  }
  if (const std::optional<std::string> why = QueueTape_.Refusal(QueueRowFormat_)) {
    // Another format: another tape, which this row begins.
    QueueRowNote_ = "started fresh, " + *why;
    QueueTape_.Restart();
  } else if (const TPartEnd* previous = QueueTape_.Previous()) {
    run.SetContinueFrom(previous->State);
    RunContinuedFrom_ = *previous;
    QueueRowNote_ = "continued from " + previous->Input;
  }
  return std::nullopt;
}

void TForm1::AfterBlock(std::uint64_t dataBytesRead) {
  RunBytesRead_ = dataBytesRead;
  const int block = BlocksDone_++;
  if (Observer_ != nullptr) Observer_->BlockDone(block);
}

void TForm1::StopRun() {
  if (!ActiveRun_) return;
  ActiveRun_->RequestStop();
  if (Observer_ != nullptr) Observer_->Stopping();
}

void TForm1::ShowRunStarted(TDecodeRun& run) {
  const TWavFileIn& reader = run.Input();
  RunFrameBytes_ = reader.BlockAlign();
  RunSampleRate_ = reader.SampleRate();
  RunStartedAt_ = std::chrono::system_clock::now();
  RunFormatTag_ = reader.FormatTag();
  RunBitsPerSample_ = reader.HeaderImage().BitsPerSample();
  RunDataBytes_ = reader.DataSizeKnown() ? reader.DataSize() : 0;
  RunBytesRead_ = 0;
  BlocksDone_ = 0;
  // A mono run leaves channel 2 at the bottom and without text; a stereo run
  // shows its text again. (So does the last pair of an odd channel count.)
  const bool mono = !ShowsSecondChannel();
  for (int band = 0; band < 4; ++band) {
    TALProgressBar* meter = Meter(1, band);
    if (mono) meter->SetPosition(kMeterMin);
    meter->SetShowPosText(!mono);
    Meter(0, band)->SetShowPosText(true);
  }
  ShowAbortButton();
  QString status = QStringLiteral("Working");
  if (QueueRunning_) {
    status += QStringLiteral(" (file %1 of %2: %3)")
                  .arg(QueueCurrent_ + 1)
                  .arg(static_cast<qsizetype>(Queue_.Size()))
                  .arg(QFileInfo(InputFileName_).fileName());
  }
  ShowStatus(status, false);
  DoneLabel->show();
  RunProgress->setValue(0);
  RunProgress->show();
  RunClock_.start();
  UpdateRunningTimes();
  AbortRun1->setEnabled(true);
  Recorder_.Start(reader.Channels(), reader.SampleRate(), reader.BlockFrames(), InputFrames(),
                  TZorvCalc::kMeterInterval);
  // The count runs on the run's thread; its marks reach the plot's history
  // with the meter positions, in the order the decoder handed them over.
  StartLimitCount(Limits_, run, nullptr);
  Limits_.SetMarkSink([this](std::uint64_t frame, int channel, int band, TBandLimit limit) {
    const std::lock_guard<std::mutex> hold(MeterLock_);
    MeterEvents_.push_back({channel, band, 0, true, limit, frame});
  });
  ShowPlotFile(InputFileName_);
  GainPlot->update();
  UpdateToolsEnabled();
  // The run needs its files unchanged until it has ended.
  for (QWidget* button : {InputFileButton, OutPutFileButton}) button->setEnabled(false);
  for (QAction* item : {Open1, Save1}) item->setEnabled(false);
  RunTimer_->start();
}

void TForm1::CollectRun(bool closing) {
  if (!RunThread_.joinable()) return;
  RunThread_.join();
  RunTimer_->stop();
  std::optional<TRunResult> result;
  {
    const std::lock_guard<std::mutex> hold(MeterLock_);
    result = std::exchange(PendingResult_, std::nullopt);
  }
  ActiveRun_.reset();
  if (!result) return;
  if (result->Partial && result->Kept) {
    if (const auto kept = PartialIdentity(*result->Kept)) KeptPartials_.insert(*kept);
  }
  LastResult_ = *result;
  ShowRunEnded(*result, closing);
}

void TForm1::ShowRunEnded(const TRunResult& result, bool closing) {
  ShowMeterPositions();
  GainPlot->update();
  const TRunStatus status = result.Status;
  const bool failed = status != TRunStatus::Done && status != TRunStatus::Aborted;
  QString text = Text(StatusText(status));
  if (!result.Reason.empty()) text += QStringLiteral(": ") + QString::fromStdString(result.Reason);
  if (result.CommitErrno != 0) {
    text = QStringLiteral("Error: could not keep the output file: ") +
           QString::fromLocal8Bit(std::strerror(result.CommitErrno));
  }
  // Every channel's level when they differ, changed, or are many (the tracks
  // of a multitrack tape).
  if (result.Levels.size() > 1 || result.Channels > 2 ||
      (!result.Levels.empty() && !LevelsEqual(result.Levels.front().LevelsDb))) {
    text += QStringLiteral(" (") +
            QString::fromStdString(ReferenceLevelHistoryText(result.Levels, result.SampleRate)) +
            QStringLiteral(")");
  }
  for (const std::string& line : InputFaultNotes(result.InputFaults, result.SampleRate)) {
    text += QStringLiteral("; ") + Text(line);
  }
  Limits_.Stop();
  text += LimitStatusText();
  // Clipping, an input shorter than its header: as the command line says them.
  for (const TRunWarning& warning : result.OutputWarnings) {
    text += QStringLiteral("; ") + Text(warning.Message);
  }
  if (result.Partial && result.Kept) {
    text += QStringLiteral("; what was decoded is in ") + FromLocal(*result.Kept);
  }
  ShowStatus(text, failed || result.CommitErrno != 0);
  DoneLabel->show();
  ShowRunRecord(result);
  TimeLabel->setText(QString::fromStdString(ElapsedTimeText(result.ElapsedMs)) +
                     DecodedText(result.Frames));
  // The bar stops where the output stopped.
  UpdateProgress(status == TRunStatus::Done ? RunDataBytes_ : result.Frames * RunFrameBytes_);
  if (QueueRunning_) {
    QueueEntryEnded();
  } else {
    // Disabled for a moment, Start lets go of the keyboard focus; a
    // keyboard user gets it back for the next trial run.
    const bool startHadFocus = StartButton->hasFocus() || StartFocusToRestore_;
    ResetControls();
    // The output line keeps naming the output the next Start writes; the
    // status and the record say where an aborted run's part is.
    if (!closing) ProposeSameFiles();
    if (startHadFocus && StartButton->isEnabled()) StartButton->setFocus(Qt::OtherFocusReason);
  }
  StartFocusToRestore_ = false;
}

void TForm1::ShowAbortButton() {
  StartButton->setText(QStringLiteral("Abort"));
  SetButtonTextColour(StartButton, Qt::red);
  StartButton->setEnabled(true);
}

QString TForm1::DecodedText(std::uint64_t frames) const {
  if (RunSampleRate_ == 0) return {};
  return QStringLiteral(", ") + HoursText(DurationSeconds(frames, RunSampleRate_)) +
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
  const std::uint64_t total = RunDataBytes_;
  done = std::min(done, total);
  const int maximum = RunProgress->maximum();
  RunProgress->setValue(
      total == 0 ? maximum : static_cast<int>(done * static_cast<std::uint64_t>(maximum) / total));
}

void TForm1::UpdateRunningTimes() {
  const QString text = RunningTimesText(RunClock_.elapsed(), RunBytesRead_, RunDataBytes_);
  if (TimeLabel->text() != text) TimeLabel->setText(text);
}

void TForm1::RunTimerTick() {
  if (!RunActive()) return;
  bool ended;
  {
    const std::lock_guard<std::mutex> hold(MeterLock_);
    ended = PendingResult_.has_value();
  }
  if (ended) {
    CollectRun(false);
    return;
  }
  if (Observer_ != nullptr) Observer_->TickBegins();
  ShowMeterPositions();
  GainPlot->update();
  UpdateProgress(RunBytesRead_);
  UpdateRunningTimes();
  if (Observer_ != nullptr) Observer_->TickShown();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (RunActive()) {
    // Closing ends the run only when the user says so; it then keeps what
    // was decoded under the partial name.
    // A run that ends while the question is up takes the question with it;
    // the window then closes, as asked.
    if (!Dialogs_.ConfirmStopRun(this, kStopQuestion, [this] { return RunActive(); })) {
      event->ignore();
      return;
    }
    QueueAborted_ = true;
    StopRun();
    CollectRun(true);
  }
  // Nothing more of a queue is begun.
  if (QueueRunning_) QueueAborted_ = true;
  AboutBox->hide();
  HelpViewer->hide();
  SaveSettings();
  event->accept();
}

}  // namespace zorv
