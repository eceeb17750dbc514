// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zorv {
namespace {

// The drawing in the 128 x 128 units of the SVG.
constexpr int kUnits = 128;
constexpr int kBarLengths[4] = {78, 58, 88, 44};

QPixmap Paint(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(static_cast<double>(size) / kUnits, static_cast<double>(size) / kUnits);

  QLinearGradient face(0, 6, 0, 122);
  face.setColorAt(0, QColor(0x3a, 0x47, 0x57));
  face.setColorAt(1, QColor(0x1f, 0x27, 0x32));
  painter.setPen(Qt::NoPen);
  painter.setBrush(face);
  painter.drawRoundedRect(QRectF(6, 6, 116, 116), 20, 20);

  QPainterPath wave(QPointF(16, 38));
  wave.cubicTo(24, 14, 30, 14, 36, 38);
  wave.cubicTo(42, 62, 48, 62, 56, 38);
  wave.cubicTo(64, 18, 68, 18, 76, 38);
  wave.cubicTo(84, 54, 88, 54, 96, 38);
  wave.cubicTo(104, 28, 106, 28, 112, 38);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0x8f, 0xd3, 0xff), 5, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(wave);

  QLinearGradient bar(16, 0, 112, 0);
  bar.setColorAt(0, QColor(0, 128, 0));
  bar.setColorAt(1, QColor(255, 255, 0));
  painter.setPen(Qt::NoPen);
  for (int band = 0; band < 4; ++band) {
    const double top = 62 + 14 * band;
    painter.setBrush(QColor(0x10, 0x16, 0x1d));
    painter.drawRoundedRect(QRectF(16, top, 96, 10), 2, 2);
    painter.setBrush(bar);
    painter.drawRoundedRect(QRectF(16, top, kBarLengths[band], 10), 2, 2);
  }
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Paint(size));
  return icon;
}

}  // namespace zorv
