// The choice of the input and the output file.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include "app/desktop/file_dialogs.h"
#include "app/desktop/main_window.h"
#include "app/desktop/path_label.h"
#include "app/format_check.h"
#include "app/messages.h"
#include "app/output_name.h"

namespace zorv {
namespace {

const QString kNoFileSelected = QStringLiteral("no file selected");

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString FromLocal(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TForm1::SetFileLabel(TPathLabel* label, const QString& text, bool error) {
  label->SetPath(text);
  QPalette colours = label->palette();
  // Only the active and inactive colours: a disabled label stays greyed.
  const QColor textColour =
      error ? QColor(Qt::red) : palette().color(QPalette::Active, QPalette::WindowText);
  colours.setColor(QPalette::Active, QPalette::WindowText, textColour);
  colours.setColor(QPalette::Inactive, QPalette::WindowText, textColour);
  label->setPalette(colours);
  label->setEnabled(true);
}

void TForm1::ClearStatus() {
  TimeLabel->clear();
  DoneLabel->clear();
  RunProgress->hide();
}

void TForm1::RefuseInput(const QString& message) {
  WavParamsLabel->clear();
  SetFileLabel(InputFileLabel, message, true);
  StartButton->setEnabled(false);
}

void TForm1::CloseOutput(const QString& labelText, bool error) {
  Run_.Writer().CloseFile();
  StartButton->setEnabled(false);
  OutputFileName_.clear();
  SetFileLabel(OutputFileLabel, labelText, error);
}

std::int32_t TForm1::CheckFormat() {
  return zorv::CheckFormat(Run_.Reader().HeaderImage());
}

void TForm1::ShowWavParams() {
  WavParamsLabel->setText(QString::fromStdString(zorv::ShowWavParams(Run_.Reader().HeaderImage())));
}

void TForm1::FileOpenInExecute() {
  if (Busy()) return;
  // Cancelling changes nothing: the files, the labels and Start stay.
  const std::optional<QString> chosen = Dialogs_.AskInputFile(this, InputFileName_);
  if (chosen) OpenInputFile(*chosen);
}

void TForm1::OpenInputFile(const QString& path) {
  if (Busy()) return;
  ClearStatus();
  WavParamsLabel->clear();
  SetFileLabel(InputFileLabel, QStringLiteral("processing..."), false);
  InputFileLabel->repaint();

  if (path != InputFileName_) {
    InputFileName_ = path;
    // The output chosen for the previous input is let go (it stays on disk as
    // created), so that a run never writes a file the window does not show.
    CloseOutput(kNoFileSelected, false);
  }

  TWavFileIn& reader = Run_.Reader();
  reader.Filename = LocalPath(InputFileName_);
  if (!reader.OpenFile()) {
    RefuseInput(Text(messages::kCannotOpen) + InputFileName_);
    return;
  }
  ResetMeters();
  SetFileLabel(InputFileLabel, InputFileName_, false);

  const std::int32_t header = reader.ReadHeader();
  if (header != rhOk) {
    reader.CloseFile();
    RefuseInput(Text(ReadHeaderMessage(header)) + InputFileName_);
    return;
  }
  const std::int32_t format = CheckFormat();
  if (format != fcOk) {
    reader.CloseFile();
    RefuseInput(Text(CheckFormatMessage(format)) + InputFileName_);
    return;
  }
  ShowWavParams();
  OutPutFileButton->setEnabled(reader.IsOpen());
  Save1->setEnabled(true);
}

void TForm1::FileOpenOutExecute() {
  if (Busy()) return;
  ClearStatus();
  StartButton->setEnabled(false);
  const QString proposal = FromLocal(ProposeOutputName(LocalPath(InputFileName_)));
  const std::optional<QString> chosen = Dialogs_.AskOutputFile(this, proposal);
  ResetMeters();
  if (chosen) OpenOutputFile(*chosen);
}

void TForm1::OpenOutputFile(const QString& path) {
  if (Busy()) return;
  ClearStatus();
  StartButton->setEnabled(false);

  // Checked before anything is created or emptied: the input is never touched.
  if (SameFile(LocalPath(path), LocalPath(InputFileName_))) {
    CloseOutput(Text(messages::kInputAsOutput) + path, true);
    return;
  }
  const QFileInfo target(path);
  if (target.isDir()) {
    CloseOutput(Text(messages::kCannotCreate) + path, true);
    return;
  }
  if (target.exists() && !Dialogs_.ConfirmOverwrite(
                             this, QString::fromStdString(OverwriteQuestion(LocalPath(path))))) {
    CloseOutput(kNoFileSelected, false);
    return;
  }

  OutputFileName_ = path;
  TWavFileOut& writer = Run_.Writer();
  if (!writer.OpenFileNamed(LocalPath(OutputFileName_))) {
    CloseOutput(Text(messages::kCannotCreate) + path, true);
    return;
  }
  SetFileLabel(OutputFileLabel, OutputFileName_, false);
  StartButton->setEnabled(Run_.Reader().IsOpen() && writer.IsOpen());
}

}  // namespace zorv
