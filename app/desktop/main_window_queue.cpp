// SPDX-License-Identifier: GPL-3.0-or-later
// Several inputs decoded one after the other, each into its proposed output:
// the queue, its list of results, and its end.
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <map>
#include <memory>
#include <set>

#include "app/desktop/file_dialogs.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"
#include "app/output_name.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

const QString kNoFileSelected = QStringLiteral("no file selected");
// At most this many names in the question about existing outputs.
constexpr int kNamesAsked = 6;

QString FileName(const QString& path) {
  return QFileInfo(path).fileName();
}

// The same spelling of a path for files that need not exist yet.
QString PathKey(const QString& path) {
  return QFileInfo(path).absoluteFilePath();
}

// "OK to overwrite a_dec.wav ?" for one file; for several
// "OK to overwrite 3 existing output files: a_dec.wav, b_dec.wav, c_dec.wav ?"
QString OverwriteAllQuestion(const QStringList& outputs) {
  if (outputs.size() == 1) {
    return QString::fromStdString(OverwriteQuestion(LocalPath(outputs.front())));
  }
  QStringList names;
  for (const QString& output : outputs.mid(0, kNamesAsked)) names << FileName(output);
  QString list = names.join(QStringLiteral(", "));
  if (outputs.size() > kNamesAsked) {
    list += QStringLiteral(" and %1 more").arg(outputs.size() - kNamesAsked);
  }
  return QStringLiteral("OK to overwrite %1 existing output files: %2 ?")
      .arg(outputs.size())
      .arg(list);
}

}  // namespace

void TForm1::CreateQueueList() {
  QueueList = new QListWidget(LowerTabs);
  QueueList->setObjectName(QStringLiteral("QueueList"));
  QueueList->setSelectionMode(QAbstractItemView::NoSelection);
  QueueList->setWordWrap(true);
  // Shown as a tab of its own once the first queue is made.
  QueueList->hide();
}

void TForm1::QueueFiles(const QStringList& inputs) {
  if (Busy() || inputs.isEmpty()) return;
  // Where each input's decode goes; an input that is another one's output
  // (an earlier decode of it) is skipped, and an output that two inputs
  // would share is decoded only for the first.
  std::map<QString, QString> outputOf;
  for (const QString& input : inputs) {
    outputOf.emplace(PathKey(FromLocal(ProposeOutputName(LocalPath(input)))), input);
  }
  std::vector<TQueueEntry> queue;
  std::set<QString> outputKeys;
  QStringList existing;
  for (const QString& input : inputs) {
    TQueueEntry entry;
    entry.Input = input;
    entry.Output = FromLocal(ProposeOutputName(LocalPath(input)));
    const auto source = outputOf.find(PathKey(input));
    if (source != outputOf.end()) {
      entry.State = TQueueState::Skipped;
      entry.Result = QStringLiteral("Skipped: %1 is the output of %2")
                         .arg(FileName(input), FileName(source->second));
    } else if (!outputKeys.insert(PathKey(entry.Output)).second) {
      entry.State = TQueueState::Failed;
      entry.Result = QStringLiteral("Output file already used for another input: ") + entry.Output;
    } else if (QFileInfo::exists(entry.Output)) {
      existing << entry.Output;
    }
    queue.push_back(entry);
  }
  // The one question for all; Cancel leaves the window as it was.
  if (!existing.isEmpty() && !Dialogs_.ConfirmOverwrite(this, OverwriteAllQuestion(existing))) {
    return;
  }

  Queue_ = std::move(queue);
  QueueCurrent_ = 0;
  QueueRunning_ = true;
  QueueAborted_ = false;
  if (LowerTabs->indexOf(QueueList) < 0) LowerTabs->addTab(QueueList, QStringLiteral("Queue"));
  LowerTabs->setCurrentWidget(QueueList);
  QueueList->clear();
  for (std::size_t i = 0; i < Queue_.size(); ++i) {
    QueueList->addItem(QString());
    ShowQueueEntry(i);
  }
  // The files stay as they are until the queue has ended; Start reads Abort.
  ClearStatus();
  for (QWidget* button : {InputFileButton, OutPutFileButton}) button->setEnabled(false);
  for (QAction* item : {Open1, Save1}) item->setEnabled(false);
  ShowAbortButton();
  UpdateToolsEnabled();
  // From the event loop: a drop is answered before the first decode begins.
  QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
}

void TForm1::RunNextInQueue() {
  if (!QueueRunning_) return;
  while (QueueCurrent_ < Queue_.size() && Queue_[QueueCurrent_].State != TQueueState::Waiting) {
    ++QueueCurrent_;
  }
  if (QueueAborted_ || QueueCurrent_ >= Queue_.size()) {
    EndQueue();
    return;
  }
  TQueueEntry& entry = Queue_[QueueCurrent_];
  entry.State = TQueueState::Decoding;
  ShowQueueEntry(QueueCurrent_);
  QueueList->scrollToItem(QueueList->item(static_cast<int>(QueueCurrent_)));

  // The file as if chosen in the dialogs, the replacement agreed already.
  ClearStatus();
  WavParamsLabel->clear();
  InputFileName_ = entry.Input;
  CloseOutput(kNoFileSelected, false);
  History_.Start(0, 0, 0);
  GainPlot->update();
  MeasureLabel->clear();
  QString refusal = OpenAndCheckInput(true);
  if (!refusal.isEmpty()) {
    RefuseInput(refusal);
  } else {
    SetFileLabel(InputFileLabel, InputFileName_, false);
    ShowWavParams();
    // Every queued file at the level set: no other file's levels per channel.
    ShowChannelLevels(Input_.Channels());
    refusal = TakeOutputFile(entry.Output);
  }
  bool created = true;
  if (refusal.isEmpty()) refusal = RunChosenFiles(created);
  if (!refusal.isEmpty()) {
    // Nothing was decoded; the queue goes on.
    Input_.CloseFile();
    entry.State = TQueueState::Failed;
    entry.Result = refusal;
    ShowQueueEntry(QueueCurrent_);
    ++QueueCurrent_;
    ShowAbortButton();
    QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
  }
}

void TForm1::QueueEntryEnded() {
  TQueueEntry& entry = Queue_[QueueCurrent_];
  const TRunStatus status = LastResult_ ? LastResult_->Status : TRunStatus::Idle;
  entry.State = status == TRunStatus::Done      ? TQueueState::Decoded
                : status == TRunStatus::Aborted ? TQueueState::Aborted
                                                : TQueueState::Failed;
  entry.Result = DoneLabel->text() + QStringLiteral(", ") + TimeLabel->text();
  ShowQueueEntry(QueueCurrent_);
  ++QueueCurrent_;
  // The next file from the event loop, once this run has let go of its files.
  if (!QueueAborted_) ShowAbortButton();
  QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
}

void TForm1::EndQueue() {
  int decoded = 0;
  bool failed = false;
  for (std::size_t i = 0; i < Queue_.size(); ++i) {
    TQueueEntry& entry = Queue_[i];
    if (entry.State == TQueueState::Waiting) {
      entry.State = TQueueState::NotDecoded;
      entry.Result = QStringLiteral("Not decoded: the queue was aborted");
      ShowQueueEntry(i);
    }
    if (entry.State == TQueueState::Decoded) ++decoded;
    if (entry.State == TQueueState::Failed) failed = true;
  }
  QueueRunning_ = false;
  ResetControls();
  const QString totals = QStringLiteral("%1 of %2 files decoded")
                             .arg(decoded)
                             .arg(static_cast<qsizetype>(Queue_.size()));
  ShowStatus(
      (QueueAborted_ ? QStringLiteral("Queue aborted: ") : QStringLiteral("Queue: ")) + totals,
      failed);
  DoneLabel->show();
  RunProgress->hide();
  // Each file's times are in its line of the list.
  TimeLabel->clear();
  // The last file stays chosen, as after a run of its own (unless the
  // window was closed meanwhile).
  if (isVisible()) ProposeSameFiles();
}

void TForm1::ShowQueueEntry(std::size_t index) {
  const TQueueEntry& entry = Queue_[index];
  QString state;
  switch (entry.State) {
    case TQueueState::Waiting:
      state = QStringLiteral("waiting");
      break;
    case TQueueState::Decoding:
      state = QStringLiteral("decoding");
      break;
    default:
      state = entry.Result;
      break;
  }
  QListWidgetItem* item = QueueList->item(static_cast<int>(index));
  item->setText(QStringLiteral("%1. %2 \u2192 %3: %4")
                    .arg(index + 1)
                    .arg(FileName(entry.Input), FileName(entry.Output), state));
  item->setToolTip(entry.Input + QStringLiteral("\n\u2192 ") + entry.Output);
  item->setForeground(entry.State == TQueueState::Failed
                          ? QBrush(Qt::red)
                          : QueueList->palette().brush(QPalette::Text));
}

}  // namespace zorv
