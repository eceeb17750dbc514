// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/path_label.h"

#include <QPainter>
#include <QStyle>

namespace zorv {

namespace {
constexpr int kMinimumCharacters = 12;
}

TPathLabel::TPathLabel(const QString& text, QWidget* parent) : QLabel(parent) {
  SetPath(text);
}

void TPathLabel::SetPath(const QString& text) {
  setText(text);
  setToolTip(text);
}

QSize TPathLabel::minimumSizeHint() const {
  return {fontMetrics().averageCharWidth() * kMinimumCharacters,
          QLabel::minimumSizeHint().height()};
}

void TPathLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Elide_, area.width());
  style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                        shown, foregroundRole());
}

}  // namespace zorv
