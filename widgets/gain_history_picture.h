// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of a decode's band gains over the whole file: one panel per
// shown channel (a channel pair, or the one channel of a mono input), time
// across, dB up on the meters' scale (-35 .. +10 dB), the four bands each in
// a colour of its own with a legend. Where a band sat at its floor (-32 dB)
// or its ceiling (+10 dB), a strip in its colour shades the panel's bottom or
// top edge. Drawn with QPainter onto any paint
// device, so the window, a PNG file and the command line share one picture.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

#include "app/gain_history.h"

class QFontMetrics;
class QPainter;

namespace zorv {

// The meters' range, in tenths of a dB.
inline constexpr int kPlotMinPosition = -350;
inline constexpr int kPlotMaxPosition = 100;

// Band A..D.
QColor BandColour(int band);

struct TGainPlotLayout {
  QRect Legend;                 // the row of band names above the panels
  std::vector<QRect> Captions;  // above each panel: which channel it shows
  std::vector<QRect> Panels;    // the traces' areas, top to bottom
  QRect TimeAxis;               // the time labels under the last panel
};

// The panels a picture of area holds: one per channel shown.
TGainPlotLayout LayOutGainPlot(const QRect& area, const QFontMetrics& metrics, int panels);

// The row of a panel for a meter position (clamped to the meters' range):
// +10 dB the panel's top row, -35 dB its bottom row.
int PlotRow(const QRect& panel, double position);

// The channels a picture shows: firstChannel and the one after it, when the
// history holds it. Empty when the history has no such channel; a history
// that has not started shows the empty panels of a pair.
std::vector<int> ShownChannels(const TGainHistory& history, int firstChannel);

// "Gain (dB) Ch 1 (left)", "Gain (dB) Ch 2 (right)"; "Gain (dB) Ch 3" beyond.
QString PanelCaption(int channel, int channels);

// "1:05", "1:00:00".
QString PlotTimeText(double seconds);

void DrawGainHistory(QPainter& painter, const QRect& area, const TGainHistory& history,
                     int firstChannel, const QFont& font);

// The picture on a white image of the given size.
QImage GainHistoryImage(const TGainHistory& history, int firstChannel, const QSize& size,
                        const QFont& font = QFont());

}  // namespace zorv
