// SPDX-License-Identifier: GPL-3.0-or-later
// Pixels of the gain plot at known gains, its layout for one, two and more
// channels, and the PNG it saves.
#include "widgets/gain_history_plot.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <set>

#include "app/gain_history.h"
#include "tests/widgets/meter_test_support.h"
#include "widgets/gain_history_picture.h"

namespace zorv {
namespace {

using test::Hex;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint64_t kMinute = 60ULL * kRate;

// The row of a gain in a panel: +10 dB at the top row, -35 dB at the bottom.
int Row(const QRect& panel, int position) {
  return panel.top() +
         static_cast<int>(std::lround((100.0 - position) / 450.0 * (panel.height() - 1)));
}

// Positions every 100 frames over [0, frames), the same for the whole time.
void Fill(TGainHistory& history, std::uint64_t frames, int channel,
          const std::array<int, 4>& positions) {
  for (std::uint64_t frame = 0; frame < frames; frame += 100) {
    for (int band = 0; band < 4; ++band) history.Add(frame, channel, band, positions[band]);
  }
}

std::set<std::string> BandColours() {
  std::set<std::string> colours;
  for (int band = 0; band < 4; ++band) colours.insert(Hex(BandColour(band)));
  return colours;
}

TEST(GainPlot, EachBandIsALineAtItsGainInItsColour) {
  TGainHistory history;
  history.Start(2, kRate, kMinute);
  const std::array<int, 4> left = {-100, 0, 50, -300};
  const std::array<int, 4> right = {100, -319, -200, -50};  // +10 dB: the top row
  Fill(history, kMinute, 0, left);
  Fill(history, kMinute, 1, right);

  const QImage image = GainHistoryImage(history, 0, QSize(800, 420));
  const TGainPlotLayout layout = LayOutGainPlot(image.rect(), QFontMetrics(QFont()), 2);
  ASSERT_EQ(layout.Panels.size(), 2U);
  const std::set<std::string> bandColours = BandColours();
  for (int p = 0; p < 2; ++p) {
    const QRect& panel = layout.Panels[static_cast<std::size_t>(p)];
    ASSERT_GT(panel.height(), 100);
    const auto& positions = p == 0 ? left : right;
    std::set<int> rows;
    for (int band = 0; band < 4; ++band) rows.insert(Row(panel, positions[band]));
    ASSERT_EQ(rows.size(), 4U);
    for (int x : {panel.left(), panel.left() + panel.width() / 3, panel.right()}) {
      for (int band = 0; band < 4; ++band) {
        const int y = Row(panel, positions[band]);
        EXPECT_EQ(Hex(image, x, y), Hex(BandColour(band)))
            << "panel " << p << ", band " << band << ", x " << x << ", y " << y;
      }
      // Nowhere else in the column a trace.
      for (int y = panel.top(); y <= panel.bottom(); ++y) {
        if (rows.count(y) != 0) continue;
        EXPECT_EQ(bandColours.count(Hex(image, x, y)), 0U)
            << "panel " << p << ", x " << x << ", y " << y;
      }
    }
  }
}

TEST(GainPlot, DuringARunTheTracesReachAsFarAsTheDecode) {
  // Twenty of forty minutes decoded: the traces fill the left half.
  TGainHistory history;
  history.Start(1, kRate, 40 * kMinute);
  Fill(history, 20 * kMinute, 0, {-150, -150, -150, -150});
  const QImage image = GainHistoryImage(history, 0, QSize(700, 300));
  const QRect panel = LayOutGainPlot(image.rect(), QFontMetrics(QFont()), 1).Panels.at(0);
  const int y = Row(panel, -150);
  const std::string colourD = Hex(BandColour(3));  // drawn last, on top
  const int middle = panel.left() + panel.width() / 2;
  for (int x = panel.left(); x < middle - 1; ++x) {
    ASSERT_EQ(Hex(image, x, y), colourD) << "x " << x;
  }
  const std::set<std::string> bandColours = BandColours();
  for (int x = middle + 1; x <= panel.right(); ++x) {
    for (int row = panel.top(); row <= panel.bottom(); ++row) {
      ASSERT_EQ(bandColours.count(Hex(image, x, row)), 0U) << "x " << x << ", y " << row;
    }
  }
}

TEST(GainPlot, ARidingGainShowsItsRangeBehindTheMean) {
  // Band B alternates between -20 and 0 dB: a faint band between the two
  // rows, the mean line at -10 dB.
  TGainHistory history;
  history.Start(1, kRate, kMinute);
  for (std::uint64_t frame = 0; frame < kMinute; frame += 100) {
    history.Add(frame, 0, 1, (frame / 100) % 2 == 0 ? -200 : 0);
  }
  const QImage image = GainHistoryImage(history, 0, QSize(600, 300));
  const QRect panel = LayOutGainPlot(image.rect(), QFontMetrics(QFont()), 1).Panels.at(0);
  const int x = panel.left() + 100;
  // A column holds an odd or even count of the two values: its mean lies
  // within a few tenths of -10 dB.
  int meanRows = 0;
  for (int y = Row(panel, -80); y <= Row(panel, -120); ++y) {
    meanRows += Hex(image, x, y) == Hex(BandColour(1)) ? 1 : 0;
  }
  EXPECT_EQ(meanRows, 1);
  // Between the rows of -5 and -15 dB (no grid line there): the colour laid
  // thinly over white.
  const QColor tint = image.pixelColor(x, Row(panel, -50));
  const QColor band = BandColour(1);
  for (auto [got, full] : {std::pair{tint.red(), band.red()}, std::pair{tint.green(), band.green()},
                           std::pair{tint.blue(), band.blue()}}) {
    const double expected = 255.0 + (full - 255.0) * 70.0 / 255.0;
    EXPECT_NEAR(got, expected, 2.0);
  }
  // Above 0 dB and below -20 dB: nothing of it.
  EXPECT_EQ(Hex(image, x, Row(panel, 30)), "#ffffff");
  EXPECT_EQ(Hex(image, x, Row(panel, -250)), "#ffffff");
}

TEST(GainPlot, PanelsFollowTheChannelsShown) {
  TGainHistory four;
  four.Start(4, kRate, kMinute);
  EXPECT_EQ(ShownChannels(four, 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(ShownChannels(four, 2), (std::vector<int>{2, 3}));
  EXPECT_EQ(ShownChannels(four, 3), (std::vector<int>{3}));
  EXPECT_TRUE(ShownChannels(four, 4).empty());
  TGainHistory none;
  EXPECT_EQ(ShownChannels(none, 0), (std::vector<int>{0, 1})) << "empty axes before any run";

  EXPECT_EQ(PanelCaption(0, 2), "Gain (dB) Ch 1 (left)");
  EXPECT_EQ(PanelCaption(1, 2), "Gain (dB) Ch 2 (right)");
  EXPECT_EQ(PanelCaption(0, 1), "Gain (dB) Ch 1 (left)");
  EXPECT_EQ(PanelCaption(3, 4), "Gain (dB) Ch 4");

  // Channels 3 and 4 of four: their gains, not those of 1 and 2.
  Fill(four, kMinute, 0, {-300, -300, -300, -300});
  Fill(four, kMinute, 2, {-100, -100, -100, -100});
  Fill(four, kMinute, 3, {50, 50, 50, 50});
  const QImage image = GainHistoryImage(four, 2, QSize(600, 400));
  const TGainPlotLayout layout = LayOutGainPlot(image.rect(), QFontMetrics(QFont()), 2);
  const int x = layout.Panels[0].left() + 10;
  EXPECT_EQ(Hex(image, x, Row(layout.Panels[0], -100)), Hex(BandColour(3)));
  EXPECT_EQ(Hex(image, x, Row(layout.Panels[1], 50)), Hex(BandColour(3)));
  EXPECT_NE(Hex(image, x, Row(layout.Panels[0], -300)), Hex(BandColour(3)));

  // A mono decode: one panel taking the height of two.
  const auto one = LayOutGainPlot(QRect(0, 0, 600, 400), QFontMetrics(QFont()), 1);
  ASSERT_EQ(one.Panels.size(), 1U);
  EXPECT_GT(one.Panels[0].height(), 2 * layout.Panels[0].height());
  EXPECT_LT(one.TimeAxis.bottom(), 400);
  EXPECT_LT(layout.Panels[0].bottom(), layout.Panels[1].top());
}

TEST(GainPlot, TimesReadAsMinutesAndSeconds) {
  EXPECT_EQ(PlotTimeText(0), "0:00");
  EXPECT_EQ(PlotTimeText(65), "1:05");
  EXPECT_EQ(PlotTimeText(599.6), "10:00");
  EXPECT_EQ(PlotTimeText(3 * 3600 + 5), "3:00:05");
}

TEST(GainPlotWidget, ShowsAndSavesThePicture) {
  TGainHistory history;
  history.Start(2, kRate, 3 * kMinute);
  Fill(history, kMinute, 0, {-100, 0, 50, -300});
  Fill(history, kMinute, 1, {-120, -20, 30, -280});

  TGainHistoryPlot plot;
  plot.resize(640, 300);
  plot.SetHistory(&history);
  const QImage shown = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage rendered = plot.Render(plot.size());
  ASSERT_EQ(shown.size(), rendered.size());
  EXPECT_TRUE(shown == rendered) << "the widget paints what Render draws";

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("gains.png"));
  ASSERT_TRUE(plot.SavePng(path));
  QImage saved(path);
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(640, 300));
  EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) == rendered);
  EXPECT_FALSE(plot.SavePng(dir.filePath(QStringLiteral("no/such/folder/gains.png"))));

  // Another pair, and no history at all: the axes only.
  plot.SetFirstChannel(1);
  EXPECT_FALSE(plot.Render(plot.size()) == rendered);
  plot.SetHistory(nullptr);
  const QImage empty = plot.Render(plot.size());
  const QRect panel = LayOutGainPlot(empty.rect(), QFontMetrics(plot.font()), 2).Panels.at(0);
  const std::set<std::string> bandColours = BandColours();
  for (int y = panel.top(); y <= panel.bottom(); ++y) {
    ASSERT_EQ(bandColours.count(Hex(empty, panel.left() + 50, y)), 0U) << "y " << y;
  }
}

}  // namespace
}  // namespace zorv
