// SPDX-License-Identifier: GPL-3.0-or-later
// Pixels of the composed meter: the bar image, the filled length, the border.
#include <gtest/gtest.h>

#include <QPalette>
#include <cmath>

#include "tests/widgets/meter_test_support.h"
#include "widgets/al_progress_bar.h"

namespace zorv {
namespace {

using test::Hex;
using test::MakeGainMeter;
using test::MeasuredFill;

TEST(GainMeter, BarImageRunsFromGreenToYellow) {
  auto bar = MakeGainMeter();
  const QImage& image = bar->BarImage();
  ASSERT_EQ(image.size(), QSize(300, 20));
  EXPECT_EQ(Hex(image, 0, 5), "#008000");
  EXPECT_EQ(Hex(image, 150, 5), "#80c000");
  EXPECT_EQ(Hex(image, 299, 5), "#ffff00");
  for (int x = 0; x < 300; ++x) {
    const QColor expected(static_cast<int>(std::lround(x * 255.0 / 299)),
                          128 + static_cast<int>(std::lround(x * 127.0 / 299)), 0);
    for (int y : {0, 19}) ASSERT_EQ(Hex(image, x, y), Hex(expected)) << "column " << x;
  }
}

TEST(GainMeter, FilledLengthFollowsPosition) {
  const struct {
    int position, filled;
  } cases[] = {{-350, 0}, {-100, 166}, {0, 232}, {100, 298}, {-349, 1}};
  auto bar = MakeGainMeter();
  bar->SetShowPosText(false);
  for (const auto& c : cases) {
    bar->SetPosition(c.position);
    for (int y = 1; y <= 18; ++y) {
      ASSERT_EQ(MeasuredFill(*bar, 298, [y](int i) { return QPoint(1 + i, y); }), c.filled)
          << "position " << c.position << ", row " << y;
    }
  }
}

TEST(GainMeter, BorderLooksSunken) {
  auto bar = MakeGainMeter();
  bar->SetPosition(100);
  const QImage& frame = bar->FrameBitmap();
  const std::string shadow = Hex(bar->palette().color(QPalette::Dark));
  const std::string light = Hex(bar->palette().color(QPalette::Light));
  ASSERT_NE(shadow, light);
  for (int x = 0; x < 300; ++x) EXPECT_EQ(Hex(frame, x, 0), shadow) << "top, x " << x;
  for (int y = 0; y < 20; ++y) EXPECT_EQ(Hex(frame, 0, y), shadow) << "left, y " << y;
  for (int x = 1; x < 299; ++x) EXPECT_EQ(Hex(frame, x, 19), light) << "bottom, x " << x;
  for (int y = 1; y < 20; ++y) EXPECT_EQ(Hex(frame, 299, y), light) << "right, y " << y;
}

TEST(Meter, WithoutBorderTheTrackIsTheWholeControl) {
  auto bar = MakeGainMeter();
  bar->SetShowPosText(false);
  bar->SetShowBorder(false);
  const struct { int position, filled; } cases[] = {{0, 233}, {100, 300}, {-350, 0}};
  for (const auto& c : cases) {
    bar->SetPosition(c.position);
    for (int y : {0, 10, 19}) {
      EXPECT_EQ(MeasuredFill(*bar, 300, [y](int i) { return QPoint(i, y); }), c.filled)
          << "position " << c.position << ", row " << y;
    }
  }
}

// Every direction on a gain meter's range: the bar grows from its own edge,
// BarColor1 at that edge, and the filled length does not depend on it.
TEST(Meter, GrowsFromTheEdgeItsDirectionNames) {
  const struct {
    TProgressDirection direction;
    QSize size;
    QPoint origin, farEnd;  // of the bar image
    QPoint (*track)(int line, int i);
  } cases[] = {
      {pdLeftToRight, {300, 20}, {0, 9}, {299, 9}, [](int l, int i) { return QPoint(1 + i, l); }},
      {pdRightToLeft, {300, 20}, {299, 9}, {0, 9}, [](int l, int i) { return QPoint(298 - i, l); }},
      {pdTopToBottom, {20, 300}, {9, 0}, {9, 299}, [](int l, int i) { return QPoint(l, 1 + i); }},
      {pdBottomToTop, {20, 300}, {9, 299}, {9, 0}, [](int l, int i) { return QPoint(l, 298 - i); }},
  };
  for (const auto& c : cases) {
    auto bar = MakeGainMeter();
    bar->SetShowPosText(false);
    bar->resize(c.size);
    bar->SetDirection(c.direction);
    bar->SetPosition(-100);
    SCOPED_TRACE(testing::Message() << "direction " << int{c.direction});
    EXPECT_EQ(Hex(bar->BarImage(), c.origin.x(), c.origin.y()), "#008000");
    EXPECT_EQ(Hex(bar->BarImage(), c.farEnd.x(), c.farEnd.y()), "#ffff00");
    for (int line = 1; line <= 18; ++line) {
      ASSERT_EQ(MeasuredFill(*bar, 298, [&](int i) { return c.track(line, i); }), 166);
    }
  }
}

TEST(Meter, ThreeColoursMeetInTheMiddle) {
  const struct {
    TProgressDirection direction;
    const char* column0;
    const char* column199;
  } cases[] = {{pdLeftToRight, "#008000", "#ff0000"}, {pdRightToLeft, "#ff0000", "#008000"}};
  for (const auto& c : cases) {
    TALProgressBar bar;  // 200 x 20, cs3Colors
    EXPECT_EQ(bar.sizeHint(), QSize(200, 20));
    bar.SetDirection(c.direction);
    const QImage& image = bar.BarImage();
    EXPECT_EQ(Hex(image, 0, 10), c.column0);
    EXPECT_EQ(Hex(image, 99, 10), "#ffff00");
    EXPECT_EQ(Hex(image, 100, 10), "#ffff00");
    EXPECT_EQ(Hex(image, 199, 10), c.column199);
  }
}

TEST(Meter, BarBitmapIsTiledWhateverTheColourStyle) {
  QImage tile(3, 7, QImage::Format_RGB32);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 3; ++x) tile.setPixel(x, y, qRgb(10 * x, 20 * y, 200));
  }
  TALProgressBar bar;
  bar.SetBarColorStyle(cs1Color);
  bar.SetBarBitmap(tile);
  bar.SetShowPosText(false);
  bar.SetPosition(100);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 200; ++x) {
      ASSERT_EQ(bar.BarImage().pixel(x, y), tile.pixel(x % 3, y % 7)) << x << ", " << y;
    }
  }
  EXPECT_EQ(Hex(bar.FrameBitmap(), 100, 10), Hex(tile.pixelColor(100 % 3, 10 % 7)));

  bar.SetBarBitmap(QImage());  // without an image, cs1Color is one plain colour
  EXPECT_EQ(Hex(bar.FrameBitmap(), 100, 10), "#008000");
}

TEST(Meter, FilledLengthRoundsHalvesToEven) {
  const struct {
    int position, filled;
  } cases[] = {{1, 50}, {3, 148}};  // 49.5 and 148.5 of a 198-pixel track
  TALProgressBar bar;
  bar.SetShowPosText(false);
  bar.SetMax(4);
  for (const auto& c : cases) {
    bar.SetPosition(c.position);
    EXPECT_EQ(test::RowFill(bar), c.filled);
  }
}

TEST(Meter, NoBarWithoutRoomInTheRange) {
  const struct { int min, max, position; } cases[] = {{0, 100, 0}, {50, 50, 50}, {80, 100, 50}};
  for (const auto& c : cases) {
    TALProgressBar bar;
    bar.SetShowPosText(false);
    bar.SetPosition(c.position);
    bar.SetMin(c.min);
    bar.SetMax(c.max);
    EXPECT_EQ(test::RowFill(bar), 0) << c.min << ".." << c.max << " at " << c.position;
  }
}

}  // namespace
}  // namespace zorv
