// SPDX-License-Identifier: GPL-3.0-or-later
// Several inputs decoded one after the other, each into its proposed output:
// the Queue tab where they are reviewed (level per file, set, measured from
// its tone or the main one), the questions about outputs that exist, the
// queue's run and its end.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/channel_levels.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/level_control.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"
#include "app/desktop/time_text.h"
#include "app/output_name.h"
#include "app/reference_tone.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

const QString kNoFileSelected = QStringLiteral("no file selected");

enum TQueueColumn {
  kNameColumn,
  kFormatColumn,
  kDurationColumn,
  kLevelColumn,
  kOutputColumn,
  kStateColumn,
  kColumns
};

QString FileName(const QString& path) {
  return QFileInfo(path).fileName();
}

// The level field's lowest value stands for the main control's level.
constexpr double kMainLevelValue = kMinLevelDb - 0.1;

bool IsMainLevelValue(double value) {
  return value < kMinLevelDb - 0.05;
}

// The locale's decimal separator, where it is one plain character.
char DecimalPoint() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point.front().unicode() < 0x80 ? point.front().toLatin1() : '.';
}

QString StateText(const TQueueRow& row) {
  switch (row.State) {
    case TQueueState::Waiting:
      return row.LevelNote.empty() ? QStringLiteral("waiting")
                                   : QStringLiteral("waiting; ") + Text(row.LevelNote);
    case TQueueState::Decoding:
      return QStringLiteral("decoding");
    default:
      return FromLocal(row.Result);
  }
}

}  // namespace

void TForm1::CreateQueuePage() {
  QueuePage = new QWidget(LowerTabs);
  QueuePage->setObjectName(QStringLiteral("QueuePage"));
  QueueTable = new QTableWidget(0, kColumns, QueuePage);
  QueueTable->setObjectName(QStringLiteral("QueueTable"));
  QueueTable->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Format"),
                                         QStringLiteral("Duration"), QStringLiteral("Level"),
                                         QStringLiteral("Output"), QStringLiteral("State")});
  QueueTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  QueueTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QueueTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QueueTable->verticalHeader()->hide();
  QueueTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  QueueTable->horizontalHeader()->setStretchLastSection(true);
  connect(QueueTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateQueueButtons(); });

  const auto button = [this](const char* name, const QString& text, const QString& tip) {
    auto* made = new QPushButton(text, QueuePage);
    made->setObjectName(QLatin1String(name));
    made->setToolTip(tip);
    made->setEnabled(false);
    return made;
  };
  QueueMeasureButton =
      button("QueueMeasureButton", QStringLiteral("Measure"),
             QStringLiteral("The selected files' levels from their reference tones"));
  QueueMeasureAllButton =
      button("QueueMeasureAllButton", QStringLiteral("Measure All"),
             QStringLiteral("Every waiting file's level from its reference tone"));
  QueueMainLevelButton =
      button("QueueMainLevelButton", QStringLiteral("Use Main Level"),
             QStringLiteral("The selected files are decoded at the level of the main control"));
  QueueRemoveButton = button("QueueRemoveButton", QStringLiteral("Remove"),
                             QStringLiteral("The selected files leave the queue"));
  QueueStartButton = button("QueueStartButton", QStringLiteral("Start Queue"),
                            QStringLiteral("Decode the waiting files one after the other"));
  connect(QueueMeasureButton, &QPushButton::clicked, this,
          [this] { MeasureQueueRows(SelectedQueueRows()); });
  connect(QueueMeasureAllButton, &QPushButton::clicked, this, [this] {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < Queue_.Size(); ++i) rows.push_back(i);
    MeasureQueueRows(rows);
  });
  connect(QueueMainLevelButton, &QPushButton::clicked, this, [this] {
    for (std::size_t row : SelectedQueueRows()) {
      if (Queue_.Rows()[row].State == TQueueState::Waiting) Queue_.UseMainLevel(row);
    }
    ShowQueueTable();
  });
  connect(QueueRemoveButton, &QPushButton::clicked, this, [this] {
    if (Busy()) return;
    std::vector<std::size_t> rows = SelectedQueueRows();
    std::sort(rows.rbegin(), rows.rend());
    for (std::size_t row : rows) Queue_.Remove(row);
    ShowQueueTable();
  });
  connect(QueueStartButton, &QPushButton::clicked, this, &TForm1::StartQueue);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* item :
       {QueueMeasureButton, QueueMeasureAllButton, QueueMainLevelButton, QueueRemoveButton}) {
    buttons->addWidget(item);
  }
  buttons->addStretch(1);
  buttons->addWidget(QueueStartButton);
  auto* page = new QVBoxLayout(QueuePage);
  page->setContentsMargins(4, 4, 4, 4);
  page->addWidget(QueueTable, 1);
  page->addLayout(buttons);
  // Shown as a tab of its own once the first files are queued.
  QueuePage->hide();
}

QDoubleSpinBox* TForm1::QueueLevelBox(int row) const {
  return qobject_cast<QDoubleSpinBox*>(QueueTable->cellWidget(row, kLevelColumn));
}

void TForm1::QueueFiles(const QStringList& inputs) {
  if (Busy() || inputs.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& input : inputs) paths.push_back(LocalPath(input));
  Queue_.Add(paths);
  for (std::size_t i = 0; i < Queue_.Size(); ++i) ProbeInput(Queue_.Row(i));
  InputFolder_ = QFileInfo(inputs.front()).absolutePath();

  if (LowerTabs->indexOf(QueuePage) < 0) LowerTabs->addTab(QueuePage, QStringLiteral("Queue"));
  LowerTabs->setCurrentWidget(QueuePage);
  ShowQueueTable();
  ClearStatus();
  ShowStatus(QStringLiteral("Queue: %1 files; set their levels, then Start Queue")
                 .arg(static_cast<qsizetype>(Queue_.Size())),
             false);
  DoneLabel->show();
}

void TForm1::ShowQueueTable() {
  QueueTable->setRowCount(static_cast<int>(Queue_.Size()));
  for (std::size_t i = 0; i < Queue_.Size(); ++i) {
    const int row = static_cast<int>(i);
    for (int column = 0; column < kColumns; ++column) {
      if (column != kLevelColumn && QueueTable->item(row, column) == nullptr) {
        QueueTable->setItem(row, column, new QTableWidgetItem);
      }
    }
    // Levels per channel are shown as they are, channel by channel; one
    // level in a field of its own.
    delete QueueTable->takeItem(row, kLevelColumn);
    if (!Queue_.Rows()[i].ChannelLevelsDb.empty()) {
      QueueTable->removeCellWidget(row, kLevelColumn);
      QueueTable->setItem(row, kLevelColumn, new QTableWidgetItem);
      ShowQueueRow(i);
      continue;
    }
    // A field of its own per row, made anew: the rows may have moved.
    auto* level = new QDoubleSpinBox(QueueTable);
    level->setObjectName(QStringLiteral("QueueLevel%1").arg(row));
    level->setRange(kMainLevelValue, kMaxLevelDb);
    level->setDecimals(1);
    level->setSingleStep(0.1);
    level->setSuffix(QStringLiteral(" dB"));
    level->setSpecialValueText(QStringLiteral("main"));
    level->setKeyboardTracking(false);
    level->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(level, &QDoubleSpinBox::valueChanged, this, [this, i](double value) {
      if (i >= Queue_.Size() || Queue_.Rows()[i].State != TQueueState::Waiting) return;
      if (IsMainLevelValue(value)) {
        Queue_.UseMainLevel(i);
      } else {
        Queue_.SetLevel(i, std::round(value * 10.0) / 10.0);
      }
      ShowQueueRow(i);
    });
    QueueTable->setCellWidget(row, kLevelColumn, level);
    ShowQueueRow(i);
  }
  UpdateQueueButtons();
}

void TForm1::ShowQueueRow(std::size_t index) {
  const TQueueRow& row = Queue_.Rows()[index];
  const int r = static_cast<int>(index);
  const QString input = FromLocal(row.Input);
  const QString output = FromLocal(row.Output);
  const QString texts[kColumns] = {
      FileName(input),
      FromLocal(row.Format),
      row.Format.empty() ? QString() : HoursText(std::llround(row.Seconds)),
      row.ChannelLevelsDb.empty() ? QString() : Text(LevelsText(row.ChannelLevelsDb)),
      FileName(output),
      StateText(row)};
  const QBrush colour = row.State == TQueueState::Failed
                            ? QBrush(Qt::red)
                            : QueueTable->palette().brush(QPalette::Text);
  for (int column = 0; column < kColumns; ++column) {
    QTableWidgetItem* item = QueueTable->item(r, column);
    if (item == nullptr) continue;
    item->setText(texts[column]);
    item->setForeground(colour);
  }
  QueueTable->item(r, kNameColumn)->setToolTip(input);
  QueueTable->item(r, kOutputColumn)->setToolTip(output);
  QueueTable->item(r, kStateColumn)->setToolTip(StateText(row));
  QString channels;
  for (std::size_t c = 0; c < row.ChannelLevelsDb.size(); ++c) {
    channels += QStringLiteral("channel %1: %2 dB\n")
                    .arg(c + 1)
                    .arg(QLocale().toString(row.ChannelLevelsDb[c], 'f', 1));
  }
  if (QTableWidgetItem* levels = QueueTable->item(r, kLevelColumn)) {
    levels->setToolTip(channels.trimmed());
  }
  if (QDoubleSpinBox* level = QueueLevelBox(r)) {
    const QSignalBlocker quiet(level);
    level->setValue(row.LevelFrom == TRowLevel::Main ? kMainLevelValue : row.LevelDb);
    level->setToolTip(row.LevelFrom == TRowLevel::Main
                          ? QStringLiteral("The main control's level when the file is decoded")
                      : row.LevelNote.empty() ? QStringLiteral("Set for this file")
                                              : Text(row.LevelNote));
    level->setEnabled(row.State == TQueueState::Waiting && !QueueRunning_);
  }
}

std::vector<std::size_t> TForm1::SelectedQueueRows() const {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : QueueTable->selectionModel()->selectedRows()) {
    rows.push_back(static_cast<std::size_t>(index.row()));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TForm1::UpdateQueueButtons() {
  if (QueueTable == nullptr) return;
  const bool idle = !Busy();
  bool waitingSelected = false;
  for (std::size_t row : SelectedQueueRows()) {
    if (row < Queue_.Size() && Queue_.Rows()[row].State == TQueueState::Waiting) {
      waitingSelected = true;
    }
  }
  QueueMeasureButton->setEnabled(idle && waitingSelected);
  QueueMainLevelButton->setEnabled(idle && waitingSelected);
  QueueRemoveButton->setEnabled(idle && !SelectedQueueRows().empty());
  QueueMeasureAllButton->setEnabled(idle && Queue_.AnyWaiting());
  QueueStartButton->setEnabled(idle && Queue_.AnyWaiting());
  for (std::size_t i = 0; i < Queue_.Size(); ++i) {
    if (QDoubleSpinBox* level = QueueLevelBox(static_cast<int>(i))) {
      level->setEnabled(idle && Queue_.Rows()[i].State == TQueueState::Waiting);
    }
  }
}

void TForm1::MeasureQueueRows(const std::vector<std::size_t>& rows) {
  if (Busy()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (std::size_t row : rows) {
    if (row >= Queue_.Size() || Queue_.Rows()[row].State != TQueueState::Waiting) continue;
    // Every channel's tone: the level the whole file is decoded at.
    const TReferenceTone found = MeasureReferenceTone(Queue_.Rows()[row].Input);
    const std::string finding = DescribeReferenceTone(found, DecimalPoint());
    if (found.Suggestion.Verdict == TToneVerdict::Suggested) {
      // Each channel from its own tone, the others at the mean; kept when
      // the channels differ (the tracks of a multitrack master).
      std::vector<double> own;
      for (const TLevelSuggestion& channel : ChannelSuggestions(found)) {
        own.push_back(channel.Verdict == TToneVerdict::Suggested
                          ? std::round(channel.LevelDb * 10.0) / 10.0
                          : found.Suggestion.LevelDb);
      }
      Queue_.SetMeasuredLevel(row, found.Suggestion.LevelDb, finding, own);
    } else {
      // The level stays as it was; the row says why.
      Queue_.Row(row).LevelNote = finding + "; level unchanged";
    }
  }
  // A row may have levels per channel now, or no more.
  ShowQueueTable();
  QApplication::restoreOverrideCursor();
}

void TForm1::StartQueue() {
  if (Busy() || !Queue_.AnyWaiting()) return;
  // The outputs that exist, asked about one by one; a Skip keeps that file's
  // output and the rest of the queue.
  Queue_.BeginQuestions();
  std::vector<std::size_t> existing;
  for (std::size_t i = 0; i < Queue_.Size(); ++i) {
    const TQueueRow& row = Queue_.Rows()[i];
    if (row.State == TQueueState::Waiting && !row.ReplaceAgreed &&
        PathExists(FromLocal(row.Output))) {
      existing.push_back(i);
    }
  }
  for (std::size_t n = 0; n < existing.size(); ++n) {
    const std::size_t row = existing[n];
    Queue_.DecideReplace(row, [&] {
      return Dialogs_.AskReplaceOutput(
          this, QString::fromStdString(OverwriteQuestion(Queue_.Rows()[row].Output)),
          n + 1 < existing.size());
    });
    ShowQueueRow(row);
  }

  QueueCurrent_ = 0;
  QueueRunning_ = true;
  QueueAborted_ = false;
  // A queue run is a tape of its own: its first row never goes on from a
  // run before it.
  QueueTape_.Restart();
  LowerTabs->setCurrentWidget(QueuePage);
  // The files stay as they are until the queue has ended; Start reads Abort.
  ClearStatus();
  for (QWidget* button : {InputFileButton, OutPutFileButton}) button->setEnabled(false);
  for (QAction* item : {Open1, Save1}) item->setEnabled(false);
  ShowAbortButton();
  UpdateToolsEnabled();
  UpdateQueueButtons();
  // From the event loop: the click is answered before the first decode begins.
  QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
}

void TForm1::RunNextInQueue() {
  if (!QueueRunning_) return;
  const std::optional<std::size_t> next = Queue_.NextWaiting(QueueCurrent_);
  if (QueueAborted_ || !next) {
    EndQueue();
    return;
  }
  // A row passed over (skipped at the queue's start, or refused when it
  // was queued) is a part of the tape that was not decoded.
  for (std::size_t i = QueueCurrent_; i < *next; ++i) {
    const TQueueRow& passed = Queue_.Rows()[i];
    if (passed.State == TQueueState::Skipped || passed.State == TQueueState::Failed) {
      QueueTape_.PartNotDecoded(passed.Input, passed.State == TQueueState::Skipped
                                                  ? TPartEnding::Skipped
                                                  : TPartEnding::Refused);
    }
  }
  QueueCurrent_ = *next;
  TQueueRow& row = Queue_.Row(QueueCurrent_);
  // An output that appeared since Start is asked about now.
  if (!row.ReplaceAgreed && PathExists(FromLocal(row.Output)) &&
      !Queue_.DecideReplace(QueueCurrent_, [&] {
        return Dialogs_.AskReplaceOutput(this,
                                         QString::fromStdString(OverwriteQuestion(row.Output)),
                                         Queue_.NextWaiting(QueueCurrent_ + 1).has_value());
      })) {
    QueueTape_.PartNotDecoded(row.Input, TPartEnding::Skipped);
    ShowQueueRow(QueueCurrent_);
    QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
    return;
  }
  row.State = TQueueState::Decoding;
  ShowQueueRow(QueueCurrent_);
  QueueTable->scrollToItem(QueueTable->item(static_cast<int>(QueueCurrent_), kNameColumn));
  QueueFollowsMain_ = row.LevelFrom == TRowLevel::Main;
  QueueLevel_ = Queue_.LevelOf(QueueCurrent_, LevelDb());
  QueueChannelLevels_ = row.ChannelLevelsDb;

  // The file as if chosen in the dialogs, the replacement agreed already.
  ClearStatus();
  WavParamsLabel->clear();
  InputFileName_ = FromLocal(row.Input);
  CloseOutput(kNoFileSelected, false);
  History_.Start(0, 0, 0);
  ShowPlotFile(InputFileName_);
  GainPlot->update();
  LevelControl_->ShowFinding({}, false);
  QString refusal = OpenAndCheckInput(true);
  if (!refusal.isEmpty()) {
    RefuseInput(refusal);
  } else {
    SetFileLabel(InputFileLabel, InputFileName_, false);
    ShowWavParams();
    // Every queued file at its row's level: no other file's levels per channel.
    ShowChannelLevels(Input_.Channels());
    refusal = TakeOutputFile(FromLocal(row.Output));
  }
  bool created = true;
  if (refusal.isEmpty()) refusal = RunChosenFiles(created);
  if (!refusal.isEmpty()) {
    // Nothing was decoded; the queue goes on.
    Input_.CloseFile();
    row.State = TQueueState::Failed;
    row.Result = LocalPath(refusal);
    QueueTape_.PartNotDecoded(row.Input, TPartEnding::Refused);
    ShowQueueRow(QueueCurrent_);
    ++QueueCurrent_;
    ShowAbortButton();
    QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
  }
}

void TForm1::QueueEntryEnded() {
  TQueueRow& row = Queue_.Row(QueueCurrent_);
  const TRunStatus status = LastResult_ ? LastResult_->Status : TRunStatus::Idle;
  row.State = status == TRunStatus::Done      ? TQueueState::Decoded
              : status == TRunStatus::Aborted ? TQueueState::Aborted
                                              : TQueueState::Failed;
  row.Result = LocalPath(DoneLabel->text() + QStringLiteral(", ") + TimeLabel->text());
  // Where the row began, when its rows are the parts of one tape.
  if (!QueueRowNote_.empty()) row.Result += "; " + QueueRowNote_;
  if (status == TRunStatus::Done && LastResult_ && LastResult_->EndState) {
    QueueTape_.PartDecoded({row.Input, LastResult_->Md5.value_or(std::string()), QueueRowFormat_,
                            LastResult_->EndState});
  } else {
    QueueTape_.PartNotDecoded(
        row.Input, status == TRunStatus::Aborted ? TPartEnding::Interrupted : TPartEnding::Failed);
  }
  ShowQueueRow(QueueCurrent_);
  ++QueueCurrent_;
  // The next file from the event loop, once this run has let go of its files.
  if (!QueueAborted_) ShowAbortButton();
  QTimer::singleShot(0, this, &TForm1::RunNextInQueue);
}

void TForm1::EndQueue() {
  if (QueueAborted_) Queue_.MarkWaitingNotDecoded();
  const std::size_t decoded = Queue_.CountIn(TQueueState::Decoded);
  const bool failed = Queue_.CountIn(TQueueState::Failed) > 0;
  QueueRunning_ = false;
  QueueFollowsMain_ = true;
  ShowQueueTable();
  ResetControls();
  const QString totals = QStringLiteral("%1 of %2 files decoded")
                             .arg(static_cast<qsizetype>(decoded))
                             .arg(static_cast<qsizetype>(Queue_.Size()));
  ShowStatus(
      (QueueAborted_ ? QStringLiteral("Queue aborted: ") : QStringLiteral("Queue: ")) + totals,
      failed);
  DoneLabel->show();
  RunProgress->hide();
  // Each file's times are in its row.
  TimeLabel->clear();
  // The last file stays chosen, as after a run of its own (unless the
  // window was closed meanwhile).
  if (isVisible()) ProposeSameFiles();
  UpdateQueueButtons();
}

void TForm1::ShowPlotFile(const QString& path) {
  const int tab = LowerTabs->indexOf(GainPlot);
  if (tab < 0) return;
  LowerTabs->setTabText(tab, path.isEmpty() ? QStringLiteral("Band gains")
                                            : QStringLiteral("Band gains: ") + FileName(path));
}

}  // namespace zorv
