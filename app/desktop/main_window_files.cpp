// SPDX-License-Identifier: GPL-3.0-or-later
// The choice of the input and the output file.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "app/audio_files.h"
#include "app/desktop/file_dialogs.h"
#include "app/desktop/level_control.h"
#include "app/desktop/main_window.h"
#include "app/desktop/output_check.h"
#include "app/desktop/path_label.h"
#include "app/desktop/text_conversion.h"
#include "app/desktop/time_text.h"
#include "app/format_check.h"
#include "app/messages.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "app/refusal_detail.h"
#include "widgets/gain_history_plot.h"

namespace zorv {
namespace {

const QString kNoFileSelected = QStringLiteral("no file selected");

}  // namespace

void TForm1::SetTextColour(QLabel* label, bool error) {
  QPalette colours = label->palette();
  // Only the active and inactive colours: a disabled label stays greyed.
  const QColor textColour =
      error ? QColor(Qt::red) : palette().color(QPalette::Active, QPalette::WindowText);
  colours.setColor(QPalette::Active, QPalette::WindowText, textColour);
  colours.setColor(QPalette::Inactive, QPalette::WindowText, textColour);
  label->setPalette(colours);
}

void TForm1::SetFileLabel(TPathLabel* label, const QString& text, bool error) {
  label->SetPath(text);
  SetTextColour(label, error);
  label->setEnabled(true);
}

void TForm1::ClearStatus() {
  TimeLabel->clear();
  ShowStatus(QString(), false);
  RunProgress->hide();
}

void TForm1::ShowStatus(const QString& text, bool error) {
  DoneLabel->SetPath(text);
  SetTextColour(DoneLabel, error);
}

void TForm1::RefuseInput(const QString& message) {
  WavParamsLabel->setText(std::exchange(InputRefusalDetail_, QString()));
  SetTextColour(WavParamsLabel, true);
  SetFileLabel(InputFileLabel, message, true);
  StartButton->setEnabled(false);
  UpdateToolsEnabled();
}

void TForm1::CloseOutput(const QString& labelText, bool error) {
  StartButton->setEnabled(false);
  OutputFileName_.clear();
  OverwriteAgreed_ = false;
  SetFileLabel(OutputFileLabel, labelText, error);
}

std::uint64_t TForm1::InputFrames() {
  const TWavFileIn& reader = Input_;
  // The data the file holds (a header may declare more).
  const std::uint64_t held = reader.DeliverableDataBytes();
  return reader.BlockAlign() == 0 ? 0 : held / reader.BlockAlign();
}

void TForm1::ShowWavParams() {
  const TWavFileIn& reader = Input_;
  // The playing time of the data the file holds.
  std::string text = zorv::ShowWavParams(reader.HeaderImage()) + "  duration " +
                     HoursText(DurationSeconds(InputFrames(), reader.SampleRate())).toStdString();
  const std::string metadata = MetadataText(reader, CanonicalHeader_);
  if (!metadata.empty()) text += "  " + metadata;
  WavParamsLabel->setText(QString::fromStdString(text));
  SetTextColour(WavParamsLabel, false);
}

void TForm1::CanonicalHeader1Click(bool checked) {
  // The next run writes what the item says; the line tells what it keeps.
  CanonicalHeader_ = checked;
  if (!Busy() && Input_.IsOpen() && !WavParamsLabel->text().isEmpty()) ShowWavParams();
}

void TForm1::FileOpenInExecute() {
  if (Busy()) return;
  // Cancelling changes nothing: the files, the labels and Start stay.
  const QStringList chosen = Dialogs_.AskInputFiles(this, InputFileName_);
  if (chosen.size() == 1) OpenInputFile(chosen.front());
  if (chosen.size() > 1) QueueFiles(chosen);
}

QString TForm1::OpenAndCheckInput(bool resetMeters) {
  const std::optional<TRefusal> refusal = OpenDecodableInput(Input_, LocalPath(InputFileName_));
  if (resetMeters && (!refusal || refusal->Stage != TRefusal::TStage::Open)) ResetMeters();
  if (!refusal) return {};
  const QString line = Text(refusal->Message) + InputFileName_;
  switch (refusal->Stage) {
    case TRefusal::TStage::Open:
      // A folder, a device or a name that is not there refused with the
      // system's reason ("Cannot open: /mnt/reel: Is a directory").
      return line +
             (refusal->Detail.empty() ? QString() : QStringLiteral(": ") + Text(refusal->Detail));
    case TRefusal::TStage::Format:
      // What was found and what is accepted, under the file's line.
      InputRefusalDetail_ = Text(refusal->Detail);
      return line;
    case TRefusal::TStage::Header:
    case TRefusal::TStage::Other:
      break;
  }
  return line;
}

void TForm1::OpenInputFile(const QString& path) {
  if (Busy()) return;
  ClearStatus();
  WavParamsLabel->clear();
  ShowChannelPairs(0);
  SetFileLabel(InputFileLabel, QStringLiteral("processing..."), false);
  InputFileLabel->repaint();

  if (path != InputFileName_) {
    InputFileName_ = path;
    // The output chosen for the previous input is let go, so that a run
    // never writes a file the window does not show.
    CloseOutput(kNoFileSelected, false);
    // Nor do the plot and the measurement speak of another file.
    History_.Start(0, 0, 0);
    ShowPlotFile(QString());
    GainPlot->update();
    LevelControl_->ShowFinding({}, false);
  }

  const QString refusal = OpenAndCheckInput(true);
  if (!refusal.isEmpty()) {
    RefuseInput(refusal);
    return;
  }
  RememberInput(InputFileName_);
  SetFileLabel(InputFileLabel, InputFileName_, false);
  ShowWavParams();
  ShowChannelPairs(Input_.Channels());
  ShowChannelLevels(Input_.Channels());
  OutPutFileButton->setEnabled(true);
  Save1->setEnabled(true);
  if (OutputFileName_.isEmpty()) ProposeOutput();
  StartButton->setEnabled(!OutputFileName_.isEmpty());
  UpdateToolsEnabled();
}

void TForm1::ProposeOutput() {
  const std::string proposal = ProposeOutputName(LocalPath(InputFileName_));
  QString problem = QStringLiteral("Choose an output file first");
  if (!proposal.empty() && proposal.front() == '/') {
    const std::string reason = CreateProblem(proposal);
    if (reason.empty() && OutputRefusal(FromLocal(proposal)).isEmpty()) {
      OutputFileName_ = FromLocal(proposal);
      OverwriteAgreed_ = false;
      SetFileLabel(OutputFileLabel, OutputFileName_, false);
      OutputFileLabel->setToolTip(OutputFileName_ +
                                  QStringLiteral(" (proposed; an existing file is asked about)"));
      StartButton->setToolTip({});
      return;
    }
    problem += QStringLiteral(": ") + FromLocal(proposal) + QStringLiteral(" cannot be written (") +
               (reason.empty() ? QStringLiteral("it is not a file") : Text(reason)) +
               QStringLiteral(")");
  }
  StartButton->setToolTip(problem);
}

void TForm1::FileOpenOutExecute() {
  if (Busy()) return;
  ClearStatus();
  StartButton->setEnabled(false);
  QString proposal = FromLocal(ProposeOutputName(LocalPath(InputFileName_)));
  // In the folder where the last output went, when there was one.
  if (!OutputFolder_.isEmpty() && QFileInfo(OutputFolder_).isDir()) {
    proposal = QDir(OutputFolder_).filePath(QFileInfo(proposal).fileName());
  }
  const std::optional<QString> chosen = Dialogs_.AskOutputFile(this, proposal);
  ResetMeters();
  if (chosen) OpenOutputFile(*chosen);
}

void TForm1::OpenOutputFile(const QString& path) {
  if (Busy()) return;
  ClearStatus();
  StartButton->setEnabled(false);
  // Checked before anything is asked: the input is never touched.
  if (const QString refusal = OutputRefusal(path); !refusal.isEmpty()) {
    CloseOutput(refusal, true);
    return;
  }
  if (PathExists(path) && !Dialogs_.ConfirmOverwrite(
                              this, QString::fromStdString(OverwriteQuestion(LocalPath(path))))) {
    CloseOutput(kNoFileSelected, false);
    return;
  }
  if (TakeOutputFile(path).isEmpty()) RememberOutput(path);
}

QString TForm1::OutputRefusal(const QString& path) const {
  if (SameFile(LocalPath(path), LocalPath(InputFileName_))) {
    return Text(messages::kInputAsOutput) + path;
  }
  // Nor the output whose partial name is the input: an abort would replace
  // the input with its own part.
  if (const std::string partial = PartialName(LocalPath(path));
      SameFile(partial, LocalPath(InputFileName_))) {
    return Text(messages::kInputAsOutput) + FromLocal(partial) + QStringLiteral(" (") +
           Text(kPartialRole) + QStringLiteral(")");
  }
  // A folder, a device or a pipe is never replaced by the output.
  struct stat target {};
  if (::stat(LocalPath(path).c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    return Text(messages::kCannotCreate) + path + QStringLiteral(": ") +
           (S_ISDIR(target.st_mode) ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                    : QStringLiteral("not a regular file"));
  }
  return {};
}

QString TForm1::TakeOutputFile(const QString& path) {
  QString refusal = OutputRefusal(path);
  // Nothing is created or emptied yet: that waits for Start.
  if (const std::string problem = CreateProblem(LocalPath(path));
      refusal.isEmpty() && !problem.empty()) {
    refusal = Text(messages::kCannotCreate) + path + QStringLiteral(": ") + Text(problem);
  }
  if (!refusal.isEmpty()) {
    CloseOutput(refusal, true);
    return refusal;
  }
  OutputFileName_ = path;
  OverwriteAgreed_ = PathExists(path);
  SetFileLabel(OutputFileLabel, OutputFileName_, false);
  StartButton->setToolTip({});
  StartButton->setEnabled(Input_.IsOpen());
  return {};
}

bool TForm1::AgreeToOutput() {
  const std::string output = LocalPath(OutputFileName_);
  // The output may have become the input since it was chosen (a link made
  // in between).
  if (SameFile(output, LocalPath(InputFileName_))) {
    CloseOutput(Text(messages::kInputAsOutput) + OutputFileName_, true);
    return false;
  }
  if (const QString refusal = OutputRefusal(OutputFileName_); !refusal.isEmpty()) {
    CloseOutput(refusal, true);
    return false;
  }
  if (OverwriteAgreed_ || !PathExists(OutputFileName_)) return true;
  // The file of the last run, or one that appeared since the choice.
  if (!Dialogs_.ConfirmOverwrite(this, QString::fromStdString(OverwriteQuestion(output)))) {
    return false;
  }
  OverwriteAgreed_ = true;
  return true;
}

void TForm1::ProposeSameFiles() {
  // The run has closed the input; it is opened again as it is now.
  // The meters keep showing where the run ended.
  const QString refusal = OpenAndCheckInput(false);
  if (!refusal.isEmpty()) {
    RefuseInput(refusal);
    OutPutFileButton->setEnabled(false);
    Save1->setEnabled(false);
    return;
  }
  InputFileLabel->setEnabled(true);
  // The pair chosen stays, unless the file now has another channel count.
  const std::uint32_t channels = Input_.Channels();
  if (channels != InputChannels_) ShowChannelPairs(channels);
  OutPutFileButton->setEnabled(true);
  Save1->setEnabled(true);
  UpdateToolsEnabled();
  if (OutputFileName_.isEmpty()) return;
  // It holds this run's result now: replacing it is asked about at Start.
  OverwriteAgreed_ = false;
  OutputFileLabel->setEnabled(true);
  StartButton->setEnabled(true);
}

}  // namespace zorv
