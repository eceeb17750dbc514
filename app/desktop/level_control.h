// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level's row as the user sees it: the scroll bar and the
// field beside it kept in step, a typed level applied exactly or refused
// (the field red, the reason and the range in the line under the row, the
// level as it was), and that line's other contents: what Measure found, or,
// at start-up, that the level shown is the one last used (until one is
// measured, typed or moved to).
#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QScrollBar;

namespace zorv {

class TEntryField;

class TLevelControl : public QObject {
  Q_OBJECT

 public:
  // bar in tenths of a dB; note: the line under the row.
  TLevelControl(QScrollBar& bar, TEntryField& field, QLabel& note, QObject* parent);

  // "-12.5 dB" in the user's locale.
  static QString LevelText(int tenths);
  // The level restored from the last session, marked so.
  void ShowRestored(int tenths);
  // What a measurement found (error: nothing was set, in red); empty clears it.
  void ShowFinding(const QString& text, bool error);

 private:
  void BarMoved(int position);
  void Entered(const QString& text);
  // The line under the row: a refused entry, else the finding, else the mark.
  void ShowNote();

  QScrollBar& Bar_;
  TEntryField& Field_;
  QLabel& Note_;
  QString Finding_;
  bool FindingIsError_ = false;
  bool Restored_ = false;
};

}  // namespace zorv
