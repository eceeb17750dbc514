// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/gain_history_plot.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "app/gain_history.h"
#include "widgets/gain_history_picture.h"

namespace zorv {
namespace {

// What an unset plot shows: the axes of an empty decode.
const TGainHistory& NoHistory() {
  static const TGainHistory empty(2);
  return empty;
}

// The panels of the plot as drawn in area.
TGainPlotLayout PanelsOf(const QRect& area, const TGainHistory& history, int firstChannel,
                         const QFont& font, QPaintDevice* device) {
  const auto shown = static_cast<int>(ShownChannels(history, firstChannel).size());
  return LayOutGainPlot(area, QFontMetrics(font, device), std::max(shown, 1));
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

void TGainHistoryPlot::SetCursor(double share) {
  if (share == Cursor_) return;
  Cursor_ = share;
  update();
}

double TGainHistoryPlot::ShareAt(int x) const {
  const TGainPlotLayout layout =
      PanelsOf(rect(), History_ != nullptr ? *History_ : NoHistory(), FirstChannel_, font(),
               const_cast<TGainHistoryPlot*>(this));
  const QRect& panel = layout.Panels.front();
  if (panel.width() <= 1) return 0.0;
  return std::clamp(static_cast<double>(x - panel.left()) / panel.width(), 0.0, 1.0);
}

void TGainHistoryPlot::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    emit AxisClicked(ShareAt(static_cast<int>(event->position().x())));
  }
}

void TGainHistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TGainHistory& history = History_ != nullptr ? *History_ : NoHistory();
  DrawGainHistory(painter, rect(), history, FirstChannel_, font());
  if (Cursor_ < 0.0) return;
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  for (const QRect& panel : PanelsOf(rect(), history, FirstChannel_, font(), this).Panels) {
    const int x =
        panel.left() + std::min(static_cast<int>(Cursor_ * panel.width()), panel.width() - 1);
    painter.drawLine(x, panel.top(), x, panel.bottom());
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

}  // namespace zorv
