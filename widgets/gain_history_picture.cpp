// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/gain_history_picture.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace zorv {
namespace {

const QColor kBackground(0xff, 0xff, 0xff);
const QColor kFrame(0x90, 0x90, 0x90);
const QColor kGrid(0xe2, 0xe2, 0xe2);
const QColor kZeroLine(0xb4, 0xb4, 0xb4);
const QColor kText(0x20, 0x20, 0x20);
constexpr int kEnvelopeAlpha = 70;
constexpr int kLimitAlpha = 150;

constexpr const char* kBandNames[4] = {"A  20 - 215 Hz", "B  215 - 2450 Hz", "C  2450 - 4800 Hz",
                                       "D  4800 - 30000 Hz"};
// dB lines of the panels, in tenths.
constexpr int kGridPositions[] = {100, 0, -100, -200, -300};
// Spacings of the time labels, in seconds.
constexpr double kTimeSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,  300,
                                 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};

// One pixel column of a band's trace.
struct TColumn {
  int Min = std::numeric_limits<int>::max();
  int Max = std::numeric_limits<int>::min();
  double Sum = 0.0;
  int Count = 0;
  bool Floor = false;    // the band sat at its floor somewhere in the column
  bool Ceiling = false;  // ... at its ceiling
};

// The history's columns spread over the panel's pixel columns.
std::vector<TColumn> PixelColumns(const TGainHistory& history, int channel, int band, int width) {
  std::vector<TColumn> pixels(static_cast<std::size_t>(std::max(width, 0)));
  const std::uint64_t total = history.AxisFrames();
  if (total == 0 || width <= 0) return pixels;
  const auto pixelOf = [&](std::uint64_t frame) {
    return static_cast<int>(static_cast<long double>(frame) * width / total);
  };
  for (std::size_t i = 0; i < history.Columns(); ++i) {
    const auto span = history.At(channel, band, i);
    if (!span) continue;
    const std::uint64_t first = i * history.ColumnFrames();
    const int x0 = std::min(pixelOf(first), width - 1);
    const int x1 = std::clamp(pixelOf(first + history.ColumnFrames()), x0 + 1, width);
    for (int x = x0; x < x1; ++x) {
      TColumn& pixel = pixels[static_cast<std::size_t>(x)];
      pixel.Min = std::min(pixel.Min, span->Min);
      pixel.Max = std::max(pixel.Max, span->Max);
      pixel.Sum += span->Mean;
      ++pixel.Count;
      pixel.Floor = pixel.Floor || span->FloorPoints > 0;
      pixel.Ceiling = pixel.Ceiling || span->CeilingPoints > 0;
    }
  }
  return pixels;
}

void DrawTrace(QPainter& painter, const QRect& panel, const std::vector<TColumn>& pixels,
               const QColor& colour) {
  QColor envelope = colour;
  envelope.setAlpha(kEnvelopeAlpha);
  painter.setPen(QPen(envelope, 1));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const TColumn& pixel = pixels[i];
    if (pixel.Count == 0 || pixel.Max == pixel.Min) continue;
    const int x = panel.left() + static_cast<int>(i);
    painter.drawLine(x, PlotRow(panel, pixel.Max), x, PlotRow(panel, pixel.Min));
  }
  painter.setPen(QPen(colour, 1));
  std::vector<QPoint> run;
  const auto flush = [&] {
    if (run.size() == 1) painter.drawPoint(run.front());
    if (run.size() > 1) painter.drawPolyline(run.data(), static_cast<int>(run.size()));
    run.clear();
  };
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const TColumn& pixel = pixels[i];
    if (pixel.Count == 0) {
      flush();
      continue;
    }
    run.emplace_back(panel.left() + static_cast<int>(i), PlotRow(panel, pixel.Sum / pixel.Count));
  }
  flush();
}

// Where a band sat at a limit: a strip along the panel's top edge (the
// ceiling) or bottom edge (the floor) in the band's colour, band A nearest
// the edge, so that the four bands' strips lie side by side.
void DrawLimitMarks(QPainter& painter, const QRect& panel, const std::vector<TColumn>& pixels,
                    int band, const QColor& colour) {
  const int height = std::max(2, panel.height() / 36);
  QColor shade = colour;
  shade.setAlpha(kLimitAlpha);
  for (const bool ceiling : {true, false}) {
    const int top =
        ceiling ? panel.top() + band * height : panel.bottom() + 1 - (band + 1) * height;
    std::size_t i = 0;
    while (i < pixels.size()) {
      const auto marked = [&](std::size_t k) {
        return ceiling ? pixels[k].Ceiling : pixels[k].Floor;
      };
      if (!marked(i)) {
        ++i;
        continue;
      }
      const std::size_t first = i;
      while (i < pixels.size() && marked(i)) ++i;
      painter.fillRect(
          QRect(panel.left() + static_cast<int>(first), top, static_cast<int>(i - first), height),
          shade);
    }
  }
}

void DrawGrid(QPainter& painter, const QRect& panel, const QFontMetrics& metrics) {
  for (int position : kGridPositions) {
    const int y = PlotRow(panel, position);
    painter.setPen(position == 0 ? kZeroLine : kGrid);
    painter.drawLine(panel.left(), y, panel.right(), y);
    const QString label =
        (position > 0 ? QStringLiteral("+") : QString()) + QString::number(position / 10);
    painter.setPen(kText);
    const int width = metrics.horizontalAdvance(label);
    painter.drawText(panel.left() - 6 - width, y + metrics.ascent() / 2 - 1, label);
  }
}

void DrawTimeAxis(QPainter& painter, const TGainPlotLayout& layout, const TGainHistory& history,
                  const QFontMetrics& metrics) {
  const QRect& last = layout.Panels.back();
  const double seconds = history.SampleRate() == 0
                             ? 0.0
                             : static_cast<double>(history.AxisFrames()) / history.SampleRate();
  if (seconds <= 0.0) {
    painter.setPen(kText);
    painter.drawText(last.left(), layout.TimeAxis.top() + metrics.ascent(), PlotTimeText(0));
    return;
  }
  const double pixelsPerSecond = last.width() / seconds;
  const int labelWidth = metrics.horizontalAdvance(PlotTimeText(seconds)) + 24;
  double step = kTimeSteps[std::size(kTimeSteps) - 1];
  for (double candidate : kTimeSteps) {
    if (candidate * pixelsPerSecond >= labelWidth) {
      step = candidate;
      break;
    }
  }
  for (double t = 0.0; t <= seconds + 1e-9; t += step) {
    const int x = last.left() + static_cast<int>(std::lround(t * pixelsPerSecond));
    for (const QRect& panel : layout.Panels) {
      painter.setPen(kGrid);
      if (x > panel.left() && x < panel.right()) {
        painter.drawLine(x, panel.top() + 1, x, panel.bottom() - 1);
      }
    }
    const QString label = PlotTimeText(t);
    const int width = metrics.horizontalAdvance(label);
    const int left =
        std::clamp(x - width / 2, layout.TimeAxis.left(), layout.TimeAxis.right() - width);
    painter.setPen(kText);
    painter.drawText(left, layout.TimeAxis.top() + metrics.ascent() + 2, label);
  }
}

void DrawLegend(QPainter& painter, const QRect& legend, const QFontMetrics& metrics) {
  int x = legend.left();
  const int y = legend.top() + (legend.height() - metrics.height()) / 2;
  for (int band = 0; band < 4; ++band) {
    painter.fillRect(QRect(x, y + metrics.height() / 2 - 2, 18, 4), BandColour(band));
    x += 24;
    painter.setPen(kText);
    const QString name = QLatin1String(kBandNames[band]);
    painter.drawText(x, y + metrics.ascent(), name);
    x += metrics.horizontalAdvance(name) + 28;
  }
  // What the shaded edges mean, where the row has room for it.
  const QString limits = QStringLiteral("shaded edge: band at its +10 dB ceiling / -32 dB floor");
  if (x + metrics.horizontalAdvance(limits) <= legend.right()) {
    painter.setPen(kText);
    painter.drawText(x, y + metrics.ascent(), limits);
  }
}

}  // namespace

QColor BandColour(int band) {
  static const std::array<QColor, 4> colours = {QColor(0x1f, 0x5f, 0xbf), QColor(0x2a, 0x8c, 0x2a),
                                                QColor(0xd9, 0x76, 0x00), QColor(0xc0, 0x28, 0x3c)};
  return colours[static_cast<std::size_t>(std::clamp(band, 0, 3))];
}

TGainPlotLayout LayOutGainPlot(const QRect& area, const QFontMetrics& metrics, int panels) {
  panels = std::max(panels, 1);
  const int line = metrics.height();
  int labels = 0;
  for (const char* label : {"+10", "-30"}) {
    labels = std::max(labels, metrics.horizontalAdvance(QLatin1String(label)));
  }
  const int left = area.left() + labels + 12;
  const int right = area.right() - 12;  // room for the frame and the last time label
  const int legendHeight = line + 8;
  const int captionHeight = line + 4;
  const int axisHeight = line + 6;
  constexpr int kGap = 6;
  const int top = area.top() + 4;
  const int traces =
      area.height() - 4 - legendHeight - axisHeight - panels * captionHeight - (panels - 1) * kGap;
  const int panelHeight = std::max(traces / panels, 2);

  TGainPlotLayout layout;
  layout.Legend = QRect(left, top, right - left + 1, legendHeight);
  int y = layout.Legend.bottom() + 1;
  for (int p = 0; p < panels; ++p) {
    layout.Captions.emplace_back(left, y, right - left + 1, captionHeight);
    y += captionHeight;
    layout.Panels.emplace_back(left, y, right - left + 1, panelHeight);
    y += panelHeight + kGap;
  }
  layout.TimeAxis = QRect(area.left(), layout.Panels.back().bottom() + 1, area.width(), axisHeight);
  return layout;
}

int PlotRow(const QRect& panel, double position) {
  const double clamped = std::clamp(position, double{kPlotMinPosition}, double{kPlotMaxPosition});
  const double share = (kPlotMaxPosition - clamped) / (kPlotMaxPosition - kPlotMinPosition);
  return panel.top() + static_cast<int>(std::lround(share * (panel.height() - 1)));
}

std::vector<int> ShownChannels(const TGainHistory& history, int firstChannel) {
  const auto channels = static_cast<int>(history.Channels());
  if (channels == 0) return {0, 1};
  if (firstChannel < 0 || firstChannel >= channels) return {};
  if (firstChannel + 1 < channels) return {firstChannel, firstChannel + 1};
  return {firstChannel};
}

QString PanelCaption(int channel, int channels) {
  QString caption = QStringLiteral("Gain (dB) Ch %1").arg(channel + 1);
  if (channels <= 2)
    caption += channel == 0 ? QStringLiteral(" (left)") : QStringLiteral(" (right)");
  return caption;
}

QString PlotTimeText(double seconds) {
  const long long total = std::llround(std::max(0.0, seconds));
  const long long hours = total / 3600;
  const long long minutes = total / 60 % 60;
  const long long rest = total % 60;
  if (hours > 0) {
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
  }
  return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

void DrawGainHistory(QPainter& painter, const QRect& area, const TGainHistory& history,
                     int firstChannel, const QFont& font) {
  painter.save();
  painter.setFont(font);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QFontMetrics metrics(font, painter.device());
  painter.fillRect(area, kBackground);
  const std::vector<int> channels = ShownChannels(history, firstChannel);
  const TGainPlotLayout layout =
      LayOutGainPlot(area, metrics, std::max<int>(1, static_cast<int>(channels.size())));

  DrawLegend(painter, layout.Legend, metrics);
  for (std::size_t p = 0; p < layout.Panels.size(); ++p) {
    const QRect& panel = layout.Panels[p];
    if (p < channels.size()) {
      painter.setPen(kText);
      const QString caption = PanelCaption(channels[p], static_cast<int>(history.Channels()));
      painter.drawText(layout.Captions[p].left(), layout.Captions[p].top() + metrics.ascent(),
                       caption);
      // The title at the right of the first caption, shortened where it
      // does not fit beside it.
      if (p == 0 && !history.Title().empty()) {
        const QRect& row = layout.Captions[p];
        const int room = row.width() - metrics.horizontalAdvance(caption) - 24;
        const QString title = metrics.elidedText(QString::fromStdString(history.Title()),
                                                 Qt::ElideMiddle, std::max(room, 0));
        painter.drawText(row.right() - metrics.horizontalAdvance(title),
                         row.top() + metrics.ascent(), title);
      }
    }
    DrawGrid(painter, panel, metrics);
  }
  DrawTimeAxis(painter, layout, history, metrics);
  for (std::size_t p = 0; p < layout.Panels.size() && p < channels.size(); ++p) {
    const QRect& panel = layout.Panels[p];
    painter.setClipRect(panel);
    std::array<std::vector<TColumn>, 4> pixels;
    for (int band = 0; band < 4; ++band) {
      pixels[static_cast<std::size_t>(band)] =
          PixelColumns(history, channels[p], band, panel.width());
      DrawLimitMarks(painter, panel, pixels[static_cast<std::size_t>(band)], band,
                     BandColour(band));
    }
    for (int band = 0; band < 4; ++band) {
      DrawTrace(painter, panel, pixels[static_cast<std::size_t>(band)], BandColour(band));
    }
    painter.setClipping(false);
  }
  // The frame lies just outside the panel: a trace at the range's ends stays visible.
  painter.setPen(kFrame);
  painter.setBrush(Qt::NoBrush);
  for (const QRect& panel : layout.Panels) {
    painter.drawRect(
        QRect(panel.left() - 1, panel.top() - 1, panel.width() + 1, panel.height() + 1));
  }
  painter.restore();
}

QImage GainHistoryImage(const TGainHistory& history, int firstChannel, const QSize& size,
                        const QFont& font) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kBackground);
  QPainter painter(&image);
  DrawGainHistory(painter, image.rect(), history, firstChannel, font);
  return image;
}

}  // namespace zorv
