// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/al_progress_bar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zorv {
namespace {

constexpr QSize kNaturalSize{200, 20};

// Fills a rectangle given by its corner and extent; an empty extent fills
// nothing (QPainter would normalise a negative one).
void FillSpan(QPainter& painter, int x, int y, int width, int height, QRgb color) {
  if (width <= 0 || height <= 0) return;
  painter.fillRect(QRect(x, y, width, height), QColor(color));
}

// Position / 10 with one decimal, computed on the integer so that every
// value is exact: -350 -> "-35.0", 0 -> "0.0", 12345 -> "1234.5".
QString Tenths(std::int32_t position) {
  const std::int64_t value = position;
  const std::int64_t magnitude = value < 0 ? -value : value;
  return (value < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10) +
         QLocale().decimalPoint() + QString::number(magnitude % 10);
}

}  // namespace

TALProgressBar::TALProgressBar(QWidget* parent) : QWidget(parent) {
  // Every pixel comes from FrameBitmap; there is nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(kNaturalSize);
  Compose();
}

QSize TALProgressBar::sizeHint() const {
  return kNaturalSize;
}

void TALProgressBar::SetBackgroundColor(TColor value) {
  Assign(BackgroundColor_, value);
}
void TALProgressBar::SetBarBitmap(const QImage& value) {
  Assign(BarBitmap_, value);
}
void TALProgressBar::SetBarColor1(TColor value) {
  Assign(BarColor1_, value);
}
void TALProgressBar::SetBarColor2(TColor value) {
  Assign(BarColor2_, value);
}
void TALProgressBar::SetBarColor3(TColor value) {
  Assign(BarColor3_, value);
}
void TALProgressBar::SetBarColorStyle(TBarColorStyle value) {
  Assign(BarColorStyle_, value);
}
void TALProgressBar::SetBorderColor1(TColor value) {
  Assign(BorderColor1_, value);
}
void TALProgressBar::SetBorderColor2(TColor value) {
  Assign(BorderColor2_, value);
}
void TALProgressBar::SetDirection(TProgressDirection value) {
  Assign(Direction_, value);
}
void TALProgressBar::SetMax(std::int32_t value) {
  Assign(Max_, value);
}
void TALProgressBar::SetMin(std::int32_t value) {
  Assign(Min_, value);
}
void TALProgressBar::SetPercentage(bool value) {
  Assign(Percentage_, value);
}
void TALProgressBar::SetDecimal(bool value) {
  Assign(Decimal_, value);
}
void TALProgressBar::SetPosTextPrefix(const QString& value) {
  Assign(PosTextPrefix_, value);
}
void TALProgressBar::SetPosTextSuffix(const QString& value) {
  Assign(PosTextSuffix_, value);
}
void TALProgressBar::SetShowBorder(bool value) {
  Assign(ShowBorder_, value);
}
void TALProgressBar::SetShowPosText(bool value) {
  Assign(ShowPosText_, value);
}

void TALProgressBar::SetPosition(std::int32_t value) {
  if (value == Position_) return;
  if (value > Max_) {
    value = Max_;
  } else if (value < Min_) {
    value = Min_;
  }
  Position_ = value;
  RebuildBarImage_ = false;
  Compose();
  RebuildBarImage_ = true;
}

QString TALProgressBar::PosText() const {
  QString value;
  if (Percentage_) {
    if (Max_ == 0) return {};
    const double percent =
        std::nearbyint(static_cast<double>(Position_) / static_cast<double>(Max_) * 100.0);
    value = QString::number(static_cast<qint64>(percent));
  } else if (Decimal_) {
    value = Tenths(Position_);
  } else {
    value = QString::number(Position_);
  }
  return PosTextPrefix_ + value + PosTextSuffix_;
}

void TALProgressBar::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), FrameBitmap_, event->rect());
}

void TALProgressBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Compose();
}

void TALProgressBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The text is measured and drawn in the control's font; system colours
  // resolve through its palette.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) Compose();
}

QRgb TALProgressBar::Rgb(TColor color) const {
  return ToQRgb(color, palette());
}

void TALProgressBar::Compose() {
  ++CompositionCount_;
  if (FrameBitmap_.size() != size()) FrameBitmap_ = QImage(size(), QImage::Format_RGB32);
  if (FrameBitmap_.isNull()) {
    update();
    return;  // no pixels to draw on
  }
  {
    QPainter painter(&FrameBitmap_);
    DrawBar(painter, RebuildBarImage_);
    if (ShowBorder_) DrawBorder(painter);
    if (ShowPosText_) DrawPosText(painter);
  }
  update();
}

int TALProgressBar::FilledLength(int trackLength) const {
  if (Position_ <= Min_ || Max_ == Min_) return 0;
  const double span = std::abs(static_cast<double>(Max_) - static_cast<double>(Min_));
  const double filled =
      std::nearbyint((static_cast<double>(Position_) - static_cast<double>(Min_)) / span *
                     static_cast<double>(trackLength));
  // Beyond the track (Max lowered below Position) the whole track is bar.
  return filled >= trackLength ? trackLength : static_cast<int>(filled);
}

void TALProgressBar::DrawBar(QPainter& painter, bool rebuild) {
  const int width = FrameBitmap_.width();
  const int height = FrameBitmap_.height();

  // The bar layer covers the whole control. A cached BarImage of another size
  // (the control was resized while hidden) is stale and drawn afresh.
  const bool stale = BarImage_.size() != FrameBitmap_.size();
  if (!BarBitmap_.isNull() || BarColorStyle_ != cs1Color) {
    if (rebuild || stale) {
      if (!BarBitmap_.isNull()) {
        TileBarBitmap();
      } else {
        BuildGradient();
      }
    }
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, BarImage_);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  } else {
    FillSpan(painter, 0, 0, width, height, Rgb(BarColor1_));
  }

  // Cover the unfilled end of the track, away from the bar's origin.
  const int frame = ShowBorder_ ? 1 : 0;
  const int trackLength = std::max(0, (Vertical() ? height : width) - 2 * frame);
  const int unfilled = trackLength - FilledLength(trackLength);
  const int innerWidth = width - 2 * frame;
  const int innerHeight = height - 2 * frame;
  const QRgb background = Rgb(BackgroundColor_);
  switch (Direction_) {
    case pdLeftToRight:
      FillSpan(painter, frame + trackLength - unfilled, frame, unfilled, innerHeight, background);
      break;
    case pdRightToLeft:
      FillSpan(painter, frame, frame, unfilled, innerHeight, background);
      break;
    case pdBottomToTop:
      FillSpan(painter, frame, frame, innerWidth, unfilled, background);
      break;
    case pdTopToBottom:
      FillSpan(painter, frame, frame + trackLength - unfilled, innerWidth, unfilled, background);
      break;
  }
}

// Starts a new drawing of BarImage, at the control's size.
void TALProgressBar::StartBarImage() {
  ++BarImageBuildCount_;
  if (BarImage_.size() != FrameBitmap_.size()) {
    BarImage_ = QImage(FrameBitmap_.size(), QImage::Format_RGB32);
  }
}

void TALProgressBar::BuildGradient() {
  StartBarImage();
  const int width = BarImage_.width();
  const int height = BarImage_.height();
  const bool vertical = Vertical();
  const int length = vertical ? height : width;
  const bool threeColors = BarColorStyle_ == cs3Colors;
  const int firstRun = threeColors ? length / 2 : length;

  // Runs go along the image from its left or top end. BarColor1 lies at the
  // bar's origin, which is that end for pdLeftToRight and pdTopToBottom and
  // the opposite end for the other two directions.
  const bool originFirst = Direction_ == pdLeftToRight || Direction_ == pdTopToBottom;
  const TColor farEnd = threeColors ? BarColor3_ : BarColor2_;
  const TColor imageStart = originFirst ? BarColor1_ : farEnd;
  const TColor imageEnd = originFirst ? farEnd : BarColor1_;
  // The first run ends in the middle colour (cs3Colors) or at the image's end.
  const TColor firstRunEnd = threeColors ? BarColor2_ : imageEnd;

  QPainter painter(&BarImage_);
  const QPalette& colors = palette();
  const auto line = [&](int index, TColor color) {
    const QRgb rgb = ToQRgb(color, colors);
    if (vertical) {
      FillSpan(painter, 0, index, width, 1, rgb);
    } else {
      FillSpan(painter, index, 0, 1, height, rgb);
    }
  };
  for (int k = 1; k <= firstRun; ++k) {
    line(k - 1, GradientColor(imageStart, firstRunEnd, k, firstRun, colors));
  }
  if (threeColors) {
    const int secondRun = length - firstRun;
    for (int k = 1; k <= secondRun; ++k) {
      line(firstRun + k - 1, GradientColor(BarColor2_, imageEnd, k, secondRun, colors));
    }
  }
}

void TALProgressBar::TileBarBitmap() {
  StartBarImage();
  BarImage_.fill(Rgb(BackgroundColor_));  // seen through transparent parts of the tile
  QPainter painter(&BarImage_);
  const int tileWidth = BarBitmap_.width();
  const int tileHeight = BarBitmap_.height();
  for (int row = 0; row <= BarImage_.height() / tileHeight; ++row) {
    for (int column = 0; column <= BarImage_.width() / tileWidth; ++column) {
      painter.drawImage(column * tileWidth, row * tileHeight, BarBitmap_);
    }
  }
}

void TALProgressBar::DrawBorder(QPainter& painter) {
  const int width = FrameBitmap_.width();
  const int height = FrameBitmap_.height();
  // BorderColor1 first, so that BorderColor2 wins where the lines meet on a
  // control one pixel wide or high.
  const QRgb topLeft = Rgb(BorderColor1_);
  const QRgb bottomRight = Rgb(BorderColor2_);
  FillSpan(painter, 1, 0, width - 1, 1, topLeft);               // top row, x = 1..W-1
  FillSpan(painter, 0, 0, 1, height, topLeft);                  // left column, y = 0..H-1
  FillSpan(painter, 1, height - 1, width - 2, 1, bottomRight);  // bottom row, x = 1..W-2
  FillSpan(painter, width - 1, 1, 1, height - 1, bottomRight);  // right column, y = 1..H-1
}

void TALProgressBar::DrawPosText(QPainter& painter) {
  const QString text = PosText();
  if (text.isEmpty()) return;
  const QFontMetrics metrics(font(), &FrameBitmap_);
  const int x = FrameBitmap_.width() / 2 - metrics.horizontalAdvance(text) / 2;
  const int y = FrameBitmap_.height() / 2 - metrics.height() / 2;
  painter.setFont(font());
  painter.setPen(palette().color(foregroundRole()));  // the window text colour
  painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

}  // namespace zorv
