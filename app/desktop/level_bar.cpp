// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/level_bar.h"

#include <QPainter>

namespace zorv {

TLevelBar::TLevelBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
  setFocusPolicy(Qt::StrongFocus);
  // Right, up and Page Up raise the level (a scroll bar's own keys run the
  // other way).
  setInvertedControls(false);
}

void TLevelBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

}  // namespace zorv
