// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level's scroll bar: a horizontal scroll bar that shows when
// it has the keyboard focus (the style draws no focus on scroll bars).
#pragma once

#include <QScrollBar>

namespace zorv {

class TLevelBar : public QScrollBar {
  Q_OBJECT

 public:
  explicit TLevelBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace zorv
