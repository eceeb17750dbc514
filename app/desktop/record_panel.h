// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a finished run, in a tab under the controls: what was
// decoded into what, each channel's reference level and its changes, the
// output's peak, clipped samples and MD5, the bands at their limits, the
// warnings and the time taken; Copy puts it on the clipboard as the JSON
// line zorv-decode --report writes of the same decode.
#pragma once

#include <QString>
#include <QWidget>

#include "app/decode_run.h"

class QPlainTextEdit;
class QPushButton;

namespace zorv {

// What the window knows of a run beside its result.
struct TRunRecord {
  QString Input;
  QString Output;  // the output asked for
  QString Status;  // the status line's text
  QString Limits;  // "A1 floor 3.2 s, ..." or empty
};

// The record as lines of text.
QString RunRecordText(const TRunRecord& record, const TRunResult& result);

class TRecordPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TRecordPanel(QWidget* parent = nullptr);

  // The record as text, and as the JSON line that Copy puts on the
  // clipboard.
  void Show(const QString& text, const QString& jsonLine);
  QString Text() const;
  QString JsonLine() const { return JsonLine_; }

  QPlainTextEdit* RecordText = nullptr;
  QPushButton* CopyButton = nullptr;

 private:
  QString JsonLine_;
};

}  // namespace zorv
