// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/level_entry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace zorv {
namespace {

QString Tenths(int tenths) {
  return QLocale().toString(tenths / 10.0, 'f', 1);
}

// Decimal commas read as points, a typographic minus as a plain one.
QString Plain(QString text) {
  text = text.trimmed();
  text.replace(QLatin1Char(','), QLatin1Char('.'));
  text.replace(QChar(0x2212), QLatin1Char('-'));
  return text;
}

}  // namespace

TEntryField::TEntryField(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::editingFinished, this, &TEntryField::Complete);
}

void TEntryField::ShowValue(const QString& text) {
  Shown_ = text;
  const bool refused = Refusing();
  Refusal_.clear();
  setText(text);
  SetRed(false);
  setToolTip(Hint_);
  if (refused) emit RefusalChanged();
}

void TEntryField::Refuse(const QString& why) {
  Refusal_ = why;
  SetRed(true);
  setToolTip(why);
  emit RefusalChanged();
}

void TEntryField::SetHint(const QString& hint) {
  Hint_ = hint;
  if (!Refusing()) setToolTip(hint);
}

void TEntryField::SetRed(bool red) {
  // The base and text colours only: the style's frame and focus stay.
  QPalette colours = palette();
  const QPalette normal = QApplication::palette(this);
  colours.setColor(QPalette::Base, red ? QColor(255, 220, 220) : normal.color(QPalette::Base));
  colours.setColor(QPalette::Text,
                   red ? QColor(Qt::red).darker(130) : normal.color(QPalette::Text));
  setPalette(colours);
}

void TEntryField::Complete() {
  // Leaving a field whose text is the value shown (or the entry refused
  // already) changes nothing.
  if (text() == Shown_) {
    if (Refusing()) ShowValue(Shown_);
    return;
  }
  if (Refusing() && !isModified()) return;
  setModified(false);
  emit Entered(text());
}

void TEntryField::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      emit Stepped(1);
      return;
    case Qt::Key_Down:
      emit Stepped(-1);
      return;
    case Qt::Key_PageUp:
      emit Stepped(10);
      return;
    case Qt::Key_PageDown:
      emit Stepped(-10);
      return;
    case Qt::Key_Escape:
      if (text() != Shown_ || Refusing()) {
        ShowValue(Shown_);
        return;
      }
      break;
    default:
      break;
  }
  QLineEdit::keyPressEvent(event);
}

QString ReadLevelEntry(const QString& typed, int minTenths, int maxTenths, int& tenths) {
  QString text = Plain(typed);
  if (text.endsWith(QStringLiteral("db"), Qt::CaseInsensitive)) text = text.chopped(2).trimmed();
  const QString range =
      Tenths(minTenths) + QStringLiteral(" to ") + Tenths(maxTenths) + QStringLiteral(" dB");
  static const QRegularExpression number(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?$"));
  const QRegularExpressionMatch match = number.match(text);
  const QString whole = match.captured(2);
  const QString fraction = match.captured(3);
  if (!match.hasMatch() || (whole.isEmpty() && fraction.isEmpty())) {
    return QStringLiteral("\"%1\" is not a level: type one from %2").arg(typed.trimmed(), range);
  }
  const double value = text.toDouble();
  // Compared as typed: -30.05 lies outside -30.0, however it would round.
  if (!std::isfinite(value) || value < minTenths / 10.0 || value > maxTenths / 10.0) {
    return QStringLiteral("%1 dB lies outside the levels the decoder takes: %2")
        .arg(typed.trimmed(), range);
  }
  for (qsizetype i = 1; i < fraction.size(); ++i) {
    if (fraction[i] != QLatin1Char('0')) {
      return QStringLiteral("The level goes in steps of 0.1 dB, from %1").arg(range);
    }
  }
  const int magnitude = static_cast<int>(std::lround(std::fabs(value) * 10.0));
  tenths = match.captured(1) == QLatin1String("-") ? -magnitude : magnitude;
  return {};
}

QString ReadTimeEntry(const QString& typed, double endSeconds, const QString& endText,
                      double& seconds) {
  const QStringList parts = Plain(typed).split(QLatin1Char(':'));
  const QString shape = QStringLiteral(
                            "\"%1\" is not a time: type minutes:seconds (1:02.5) or "
                            "seconds (62.5)")
                            .arg(typed.trimmed());
  if (parts.size() > 3) return shape;
  static const QRegularExpression number(QStringLiteral("^\\d+(\\.\\d*)?$|^\\.\\d+$"));
  double total = 0.0;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const QString part = parts[i].trimmed();
    // Only the last part has a fraction; minutes and seconds below 60.
    const bool last = i + 1 == parts.size();
    if (!number.match(part).hasMatch() || (!last && part.contains(QLatin1Char('.')))) return shape;
    const double value = part.toDouble();
    if (i > 0 && value >= 60.0) return shape;
    total = total * 60.0 + value;
  }
  if (!std::isfinite(total)) return shape;
  if (total > endSeconds) {
    return QStringLiteral("%1 lies past the end of the input (%2)").arg(typed.trimmed(), endText);
  }
  seconds = total;
  return {};
}

}  // namespace zorv
