// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/qt_file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

namespace zorv {
namespace {

constexpr auto kInputTitle = "Input File";
constexpr auto kOutputTitle = "Output File";
constexpr auto kDefaultSuffix = "wav";

// The description without a pattern list that it shows at its end.
QString BareDescription(QString description) {
  description = description.trimmed();
  for (const auto& [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}}) {
    if (!description.endsWith(QLatin1Char(close))) continue;
    const auto start = description.lastIndexOf(QLatin1Char(open));
    if (start > 0) return description.left(start).trimmed();
  }
  return description;
}

// Selects the proposal's folder and name.
void Propose(QFileDialog& dialog, const QString& proposal) {
  if (proposal.isEmpty()) return;
  const QFileInfo info(proposal);
  if (info.isAbsolute()) dialog.setDirectory(info.absolutePath());
  dialog.selectFile(info.fileName());
}

std::optional<QString> Chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace

QString QtFileFilter(std::string_view pairs) {
  const QStringList parts =
      QString::fromUtf8(pairs.data(), static_cast<qsizetype>(pairs.size())).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << BareDescription(parts[i]) + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<QString> TQtFileDialogs::AskInputFile(QWidget* parent, const QString& proposal) {
  QFileDialog dialog(parent, QString::fromLatin1(kInputTitle));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QtFileFilter(kInputFileFilter));
  dialog.setDefaultSuffix(QString::fromLatin1(kDefaultSuffix));
  dialog.setSizeGripEnabled(true);
  Propose(dialog, proposal);
  return Chosen(dialog);
}

QStringList TQtFileDialogs::AskInputFiles(QWidget* parent, const QString& proposal) {
  QFileDialog dialog(parent, QString::fromLatin1(kInputTitle));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilter(QtFileFilter(kInputFileFilter));
  dialog.setDefaultSuffix(QString::fromLatin1(kDefaultSuffix));
  dialog.setSizeGripEnabled(true);
  Propose(dialog, proposal);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

std::optional<QString> TQtFileDialogs::AskPlotFile(QWidget* parent, const QString& proposal) {
  QFileDialog dialog(parent, QStringLiteral("Save Plot"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(QtFileFilter(kPlotFileFilter));
  dialog.setDefaultSuffix(QStringLiteral("png"));
  Propose(dialog, proposal);
  return Chosen(dialog);
}

std::optional<QString> TQtFileDialogs::AskOutputFile(QWidget* parent, const QString& proposal) {
  QFileDialog dialog(parent, QString::fromLatin1(kOutputTitle));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The window asks itself, after the dialog has closed.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(QtFileFilter(kOutputFileFilter));
  // A name typed without an extension gets the chosen filter's; the filter
  // shown first is the proposal's type.
  const auto suffixOf = [](const QString& filter) {
    return filter.contains(QStringLiteral("*.flac")) ? QStringLiteral("flac")
                                                     : QString::fromLatin1(kDefaultSuffix);
  };
  for (const QString& filter : dialog.nameFilters()) {
    if (suffixOf(filter) == QFileInfo(proposal).suffix().toLower()) {
      dialog.selectNameFilter(filter);
      break;
    }
  }
  dialog.setDefaultSuffix(suffixOf(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected,
                   [&](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
  Propose(dialog, proposal);
  return Chosen(dialog);
}

bool TQtFileDialogs::ConfirmOverwrite(QWidget* parent, const QString& question) {
  // Cancel is the default: Enter pressed by mistake loses no file.
  return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), question,
                               QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Cancel) == QMessageBox::Ok;
}

TReplaceChoice TQtFileDialogs::AskReplaceOutput(QWidget* parent, const QString& question,
                                                bool othersFollow) {
  QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), question,
                  QMessageBox::NoButton, parent);
  QPushButton* replace = box.addButton(QStringLiteral("&Replace"), QMessageBox::AcceptRole);
  // Skip is the default and what Esc or closing the question does: no file
  // is lost by mistake, and the rest of the queue stays.
  QPushButton* skip = box.addButton(QStringLiteral("&Skip"), QMessageBox::RejectRole);
  QPushButton* replaceAll =
      othersFollow ? box.addButton(QStringLiteral("Replace &All"), QMessageBox::YesRole) : nullptr;
  QPushButton* skipAll =
      othersFollow ? box.addButton(QStringLiteral("S&kip All"), QMessageBox::NoRole) : nullptr;
  box.setDefaultButton(skip);
  box.setEscapeButton(skip);
  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked == replace) return TReplaceChoice::Replace;
  if (clicked != nullptr && clicked == replaceAll) return TReplaceChoice::ReplaceAll;
  if (clicked != nullptr && clicked == skipAll) return TReplaceChoice::SkipAll;
  return TReplaceChoice::Skip;
}

bool TQtFileDialogs::ConfirmStopRun(QWidget* parent, const QString& question,
                                    const std::function<bool()>& running) {
  QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), question,
                  QMessageBox::Cancel, parent);
  QPushButton* stop = box.addButton(QStringLiteral("Stop"), QMessageBox::AcceptRole);
  // Cancel is the default: the decode goes on unless Stop is chosen.
  box.setDefaultButton(QMessageBox::Cancel);
  // The question goes with the run it asks about.
  bool ended = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &box, [&] {
    if (running()) return;
    ended = true;
    box.done(QDialog::Accepted);
  });
  watch.start(100);
  box.exec();
  return ended || box.clickedButton() == stop;
}

void TQtFileDialogs::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QGuiApplication::applicationDisplayName(), text);
}

bool TQtFileDialogs::ReportOpenFailure(QWidget* parent, const QString& text, bool offerViewer) {
  QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Close, parent);
  // The path or address can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  QPushButton* viewer =
      offerViewer ? box.addButton(QStringLiteral("Show in the &Program"), QMessageBox::AcceptRole)
                  : nullptr;
  if (viewer != nullptr) box.setDefaultButton(viewer);
  box.exec();
  return viewer != nullptr && box.clickedButton() == viewer;
}

}  // namespace zorv
