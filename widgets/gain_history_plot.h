// SPDX-License-Identifier: GPL-3.0-or-later
// The window's plot of the band gains of a decode over the whole file, for
// one channel pair; it shows a history that its owner fills, and is brought
// up to date by update().
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

  // The picture as the plot shows it, at any size.
  QImage Render(const QSize& size) const;
  // The picture at the plot's size; false when the file cannot be written.
  bool SavePng(const QString& path) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const TGainHistory* History_ = nullptr;
  int FirstChannel_ = 0;
};

}  // namespace zorv
