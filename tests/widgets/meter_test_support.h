// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the bar meter tests.
#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QSize>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "widgets/al_progress_bar.h"

inline void PrintTo(const QSize& size, std::ostream* os) {
  *os << size.width() << " x " << size.height();
}

namespace zorv::test {

// "#rrggbb", so that a failing pixel check reads as a colour.
inline std::string Hex(const QColor& color) {
  return color.name().toStdString();
}
inline std::string Hex(TColor rgb) {
  return Hex(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
}
inline std::string Hex(const QImage& image, int x, int y) {
  return Hex(QColor(image.pixel(x, y)));
}

// A band gain meter as the main window shows it: 300 x 20, -35.0 to +10.0 dB.
inline std::unique_ptr<TALProgressBar> MakeGainMeter() {
  auto bar = std::make_unique<TALProgressBar>();
  bar->resize(300, 20);
  bar->SetBarColorStyle(cs2Colors);
  bar->SetMin(-350);
  bar->SetDecimal(true);
  bar->SetPosTextSuffix(" dB");
  bar->SetPosition(-350);
  return bar;
}

// Walks `length` pixels of a track from the bar's origin (at(0)) outwards:
// pixels showing BarImage come first, then only background. Returns how many
// show the bar, or -1 when the track is not of that shape.
inline int MeasuredFill(const TALProgressBar& bar, int length,
                        const std::function<QPoint(int)>& at) {
  const QImage& frame = bar.FrameBitmap();
  const QRgb background = bar.palette().color(QPalette::Button).rgb();
  int filled = 0;
  while (filled < length && frame.pixel(at(filled)) != background &&
         frame.pixel(at(filled)) == bar.BarImage().pixel(at(filled))) {
    ++filled;
  }
  for (int i = filled; i < length; ++i) {
    if (frame.pixel(at(i)) != background) return -1;
  }
  return filled;
}

// The same along the middle row of a bordered bar growing from the left.
inline int RowFill(const TALProgressBar& bar) {
  const int y = bar.height() / 2;
  return MeasuredFill(bar, bar.width() - 2, [y](int i) { return QPoint(1 + i, y); });
}

}  // namespace zorv::test
