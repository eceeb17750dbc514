// SPDX-License-Identifier: GPL-3.0-or-later
// Fields where a value is typed: the reference level beside its scroll bar
// and the time to listen from. What is typed counts once it is complete
// (Enter, or the focus leaving the field), exactly as typed or not at all:
// an entry that cannot be read, or that lies outside its range, turns the
// field red with the reason and the range, and nothing is applied. Esc
// puts back the value applied.
#pragma once

#include <QLineEdit>
#include <QString>

namespace zorv {

class TEntryField : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEntryField(QWidget* parent = nullptr);

  // The value applied, as the field shows it; a refusal shown is cleared.
  void ShowValue(const QString& text);
  // The entry in the field is not applied: red, why in the tooltip.
  void Refuse(const QString& why);
  bool Refusing() const { return !Refusal_.isEmpty(); }
  const QString& Refusal() const { return Refusal_; }
  // The tooltip while nothing is refused.
  void SetHint(const QString& hint);

 signals:
  // An entry was completed that differs from the value shown.
  void Entered(const QString& text);
  // Up and Down (steps 1) and Page Up and Page Down (steps 10).
  void Stepped(int steps);
  // An entry was refused, or a refusal shown has gone.
  void RefusalChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Complete();
  void SetRed(bool red);

  QString Shown_;
  QString Refusal_;
  QString Hint_;
};

// A reference level as typed ("-12.5", "-12,5", "-12.5 dB"; a comma is a
// decimal mark): in tenths of a dB into tenths, or why it is not a level the
// decoder takes (between min and max tenths, in steps of 0.1 dB). Empty
// when it is one.
QString ReadLevelEntry(const QString& text, int minTenths, int maxTenths, int& tenths);

// A time to listen from ("1:02.5", "62,5", "0:01:02.5") in seconds, or why
// it is not one (negative, past endSeconds, which endText names, seconds or
// minutes of 60 and more). Empty when it is one.
QString ReadTimeEntry(const QString& text, double endSeconds, const QString& endText,
                      double& seconds);

}  // namespace zorv
