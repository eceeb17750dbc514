// SPDX-License-Identifier: GPL-3.0-or-later
// The window's plot of the band gains of a decode over the whole file, for
// one channel pair; it shows a history that its owner fills, and is brought
// up to date by update(). A cursor line marks a place on the time axis (what
// is being heard); a click on the panels tells the place clicked.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace zorv {

class TGainHistory;

class TGainHistoryPlot : public QWidget {
  Q_OBJECT

 public:
  explicit TGainHistoryPlot(QWidget* parent = nullptr);

  // history must outlive the plot (or be replaced first); null shows nothing.
  void SetHistory(const TGainHistory* history);
  const TGainHistory* History() const { return History_; }
  // The first channel of the pair shown (0-based).
  void SetFirstChannel(int channel);
  int FirstChannel() const { return FirstChannel_; }

  // The cursor at a share of the time axis (0 its start, 1 its end); a
  // negative share hides it.
  void SetCursor(double share);
  double Cursor() const { return Cursor_; }
  // The share of the time axis at x (clamped to the panels' width).
  double ShareAt(int x) const;

  // The picture as the plot shows it, at any size.
  QImage Render(const QSize& size) const;
  // The picture at the plot's size; false when the file cannot be written.
  bool SavePng(const QString& path) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // A click with the left button at a share of the time axis.
  void AxisClicked(double share);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  const TGainHistory* History_ = nullptr;
  int FirstChannel_ = 0;
  double Cursor_ = -1.0;
};

}  // namespace zorv
