// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/gain_history_plot.h"

#include <QPaintEvent>
#include <QPainter>

#include "app/gain_history.h"
#include "widgets/gain_history_picture.h"

namespace zorv {
namespace {

// What an unset plot shows: the axes of an empty decode.
const TGainHistory& NoHistory() {
  static const TGainHistory empty(2);
  return empty;
}

}  // namespace

TGainHistoryPlot::TGainHistoryPlot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGainHistoryPlot::SetHistory(const TGainHistory* history) {
  History_ = history;
  update();
}

void TGainHistoryPlot::SetFirstChannel(int channel) {
  FirstChannel_ = channel;
  update();
}

QImage TGainHistoryPlot::Render(const QSize& size) const {
  return GainHistoryImage(History_ != nullptr ? *History_ : NoHistory(), FirstChannel_, size,
                          font());
}

bool TGainHistoryPlot::SavePng(const QString& path) const {
  return Render(size()).save(path, "PNG");
}

QSize TGainHistoryPlot::sizeHint() const {
  return {880, 260};
}

QSize TGainHistoryPlot::minimumSizeHint() const {
  return {320, 160};
}

void TGainHistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawGainHistory(painter, rect(), History_ != nullptr ? *History_ : NoHistory(), FirstChannel_,
                  font());
}

}  // namespace zorv
