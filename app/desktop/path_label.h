// SPDX-License-Identifier: GPL-3.0-or-later
// A label for a file path or a message ending in one: when the text is wider
// than the label, its middle is left out so that the file name stays visible
// (or, for a message that begins with what matters, its end). The whole text
// is the label's text() and its tool tip; however long, it never widens the
// window.
#pragma once

#include <QLabel>

namespace zorv {

class TPathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TPathLabel(const QString& text, QWidget* parent = nullptr);

  void SetPath(const QString& text);
  // Where the text is cut when it is too wide: Qt::ElideMiddle by default.
  void SetElideMode(Qt::TextElideMode mode) { Elide_ = mode; }
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Qt::TextElideMode Elide_ = Qt::ElideMiddle;
};

}  // namespace zorv
