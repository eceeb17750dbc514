// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/level_control.h"

#include <QLabel>
#include <QLocale>
#include <QScrollBar>

#include "app/desktop/level_entry.h"

namespace zorv {
namespace {

void SetRed(QLabel& label, bool red) {
  QPalette colours = label.palette();
  const QColor colour =
      red ? QColor(Qt::red)
          : label.parentWidget()->palette().color(QPalette::Active, QPalette::WindowText);
  colours.setColor(QPalette::Active, QPalette::WindowText, colour);
  colours.setColor(QPalette::Inactive, QPalette::WindowText, colour);
  label.setPalette(colours);
}

}  // namespace

TLevelControl::TLevelControl(QScrollBar& bar, TEntryField& field, QLabel& note, QObject* parent)
    : QObject(parent), Bar_(bar), Field_(field), Note_(note) {
  Field_.SetHint(QStringLiteral("The reference level: type one from %1 to %2 and press Enter")
                     .arg(LevelText(Bar_.minimum()), LevelText(Bar_.maximum())));
  Field_.ShowValue(LevelText(Bar_.value()));
  connect(&Bar_, &QScrollBar::valueChanged, this, &TLevelControl::BarMoved);
  connect(&Field_, &TEntryField::Entered, this, &TLevelControl::Entered);
  connect(&Field_, &TEntryField::Stepped, this,
          [this](int steps) { Bar_.setValue(Bar_.value() + steps); });
  connect(&Field_, &TEntryField::RefusalChanged, this, &TLevelControl::ShowNote);
}

QString TLevelControl::LevelText(int tenths) {
  return QLocale().toString(tenths / 10.0, 'f', 1) + QStringLiteral(" dB");
}

void TLevelControl::BarMoved(int position) {
  Field_.ShowValue(LevelText(position));
  Restored_ = false;
  ShowNote();
}

void TLevelControl::Entered(const QString& text) {
  int tenths = 0;
  const QString refusal = ReadLevelEntry(text, Bar_.minimum(), Bar_.maximum(), tenths);
  if (!refusal.isEmpty()) {
    Field_.Refuse(refusal + QStringLiteral("; the level stays ") + LevelText(Bar_.value()) +
                  QLatin1Char('.'));
    return;
  }
  if (tenths == Bar_.value()) {
    BarMoved(tenths);  // the same level: only the field and the mark change
  } else {
    Bar_.setValue(tenths);
  }
}

void TLevelControl::ShowRestored(int tenths) {
  Bar_.setValue(tenths);
  Restored_ = true;
  ShowNote();
}

void TLevelControl::ShowFinding(const QString& text, bool error) {
  Finding_ = text;
  FindingIsError_ = error;
  ShowNote();
}

void TLevelControl::ShowNote() {
  if (Field_.Refusing()) {
    Note_.setText(Field_.Refusal());
    SetRed(Note_, true);
  } else if (!Finding_.isEmpty()) {
    Note_.setText(Finding_);
    SetRed(Note_, FindingIsError_);
  } else if (Restored_) {
    Note_.setText(QStringLiteral("The reference level %1 is the one last used: measure it or set "
                                 "the one of this tape.")
                      .arg(LevelText(Bar_.value())));
    SetRed(Note_, false);
  } else {
    Note_.clear();
    SetRed(Note_, false);
  }
}

}  // namespace zorv
