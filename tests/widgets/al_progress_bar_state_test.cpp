// SPDX-License-Identifier: GPL-3.0-or-later
// Setter rules and the work each write causes.
#include <gtest/gtest.h>

#include <QPalette>
#include <cstdint>
#include <limits>

#include "tests/widgets/meter_test_support.h"
#include "widgets/al_progress_bar.h"

namespace zorv {
namespace {

using test::Hex;
using test::MakeGainMeter;

TEST(MeterPosition, IsClampedToMaxFirstThenMin) {
  const struct {
    int min, max, written, stored;
  } cases[] = {{0, 100, 150, 100},
               {0, 100, -5, 0},
               {0, 100, 37, 37},
               {10, 0, 5, 0},  // inverted range: the Max test wins
               {10, 0, -5, 10}};
  for (const auto& c : cases) {
    TALProgressBar bar;
    bar.SetMin(c.min);
    bar.SetMax(c.max);
    bar.SetPosition(c.written);
    EXPECT_EQ(bar.Position(), c.stored) << c.written << " in " << c.min << ".." << c.max;
  }
}

TEST(MeterPosition, SameValueComposesNothingAndChangeReusesBarImage) {
  auto bar = MakeGainMeter();
  const std::uint64_t compositions = bar->CompositionCount();
  const std::uint64_t builds = bar->BarImageBuildCount();
  const qint64 barImageKey = bar->BarImage().cacheKey();

  bar->SetPosition(-350);
  EXPECT_EQ(bar->CompositionCount(), compositions);

  bar->SetPosition(-123);
  EXPECT_EQ(bar->CompositionCount(), compositions + 1);
  EXPECT_EQ(bar->BarImageBuildCount(), builds);
  EXPECT_EQ(bar->BarImage().cacheKey(), barImageKey);

  bar->SetBarColor2(RGBColor(0, 0, 255));  // any other write redraws the bar image
  EXPECT_EQ(bar->BarImageBuildCount(), builds + 1);
  EXPECT_EQ(Hex(bar->BarImage(), 299, 10), "#0000ff");
}

TEST(MeterRange, IsStoredWithoutClampingPosition) {
  TALProgressBar bar;
  bar.SetShowPosText(false);
  bar.SetPosition(80);
  bar.SetMax(50);
  EXPECT_EQ(bar.Max(), 50);
  EXPECT_EQ(bar.Position(), 80);
  // The bar would be longer than the track: all of the track shows it.
  EXPECT_EQ(test::RowFill(bar), 198);

  bar.SetMin(120);
  EXPECT_EQ(bar.Min(), 120);
  EXPECT_EQ(bar.Position(), 80);
}

TEST(MeterRange, ExtremeEndsDoNotOverflow) {
  TALProgressBar bar;
  bar.SetShowPosText(false);
  bar.SetMin(std::numeric_limits<std::int32_t>::min());
  bar.SetMax(std::numeric_limits<std::int32_t>::max());
  bar.SetPosition(std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(test::RowFill(bar), 198);
  bar.SetPosition(0);
  EXPECT_EQ(test::RowFill(bar), 99);
}

TEST(MeterSize, ResizeAndTinySizesComposeSafely) {
  const struct {
    int width, height;
    TBarColorStyle style;
  } cases[] = {{100, 20, cs2Colors}, {0, 0, cs3Colors}, {1, 1, cs3Colors},
               {2, 5, cs3Colors},    {3, 3, cs2Colors}, {1, 40, cs1Color}};
  for (const auto& c : cases) {
    TALProgressBar bar;
    bar.SetBarColorStyle(c.style);
    bar.resize(c.width, c.height);
    bar.SetPosition(60);
    EXPECT_EQ(bar.FrameBitmap().size(), QSize(c.width, c.height));
    if (c.style != cs1Color && c.width > 0) {
      EXPECT_EQ(bar.BarImage().size(), QSize(c.width, c.height));
    }
  }
  TALProgressBar single;  // a one-pixel run takes its start colour
  single.SetShowBorder(false);
  single.SetShowPosText(false);
  single.resize(1, 20);
  single.SetPosition(100);
  EXPECT_EQ(Hex(single.FrameBitmap(), 0, 10), "#ffff00");
}

TEST(MeterColours, SystemColoursFollowThePalette) {
  auto bar = MakeGainMeter();
  QPalette palette = bar->palette();
  palette.setColor(QPalette::Button, QColor(12, 34, 56));
  bar->setPalette(palette);
  EXPECT_EQ(Hex(bar->FrameBitmap(), 250, 10), "#0c2238");
}

}  // namespace
}  // namespace zorv
