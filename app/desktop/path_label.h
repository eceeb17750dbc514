// SPDX-License-Identifier: GPL-3.0-or-later
// A label for a file path or a message ending in one: when the text is wider
// than the label, its middle is left out so that the file name stays visible.
// The whole text is the label's text() and its tool tip.
#pragma once

#include <QLabel>

namespace zorv {

class TPathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TPathLabel(const QString& text, QWidget* parent = nullptr);

  void SetPath(const QString& text);
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace zorv
