// SPDX-License-Identifier: GPL-3.0-or-later
// The position text: its wording and where it is drawn.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QRect>

#include "tests/widgets/meter_test_support.h"
#include "widgets/al_progress_bar.h"

namespace zorv {
namespace {

using test::MakeGainMeter;

TEST(PosText, ShowsTheValueAsConfigured) {
  const struct {
    bool percentage, decimal;
    int min, max, position;
    const char* prefix;
    const char* text;
  } cases[] = {
      {false, true, -350, 100, -350, "", "-35.0 dB"},
      {false, true, -350, 100, -123, "", "-12.3 dB"},
      {false, true, -350, 100, 0, "", "0.0 dB"},
      {false, true, -350, 100, 100, "", "10.0 dB"},
      {false, true, -350, 100, -5, "", "-0.5 dB"},
      {false, true, -20000, 20000, -12345, "", "-1234.5 dB"},
      {false, false, -350, 100, -123, "Gain ", "Gain -123 dB"},
      {true, true, 0, 100, 50, "", "50 dB"},          // percentage over decimal
      {true, false, -350, 100, -350, "", "-350 dB"},  // relative to Max alone
      {true, false, 0, 8, 1, "", "12 dB"},            // 12.5: ties to even
      {true, false, 0, 8, 3, "", "38 dB"},            // 37.5
      {true, false, -10, 0, -5, "", ""},              // no percentage of Max = 0
  };
  for (const auto& c : cases) {
    TALProgressBar bar;
    bar.SetPercentage(c.percentage);
    bar.SetDecimal(c.decimal);
    bar.SetMin(c.min);
    bar.SetMax(c.max);
    bar.SetPosition(c.position);
    bar.SetPosTextPrefix(QString::fromUtf8(c.prefix));
    bar.SetPosTextSuffix(QStringLiteral(" dB"));
    EXPECT_EQ(bar.PosText().toStdString(), c.text) << "position " << c.position;
  }
}

TEST(PosText, UsesTheLocaleDecimalSeparator) {
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto bar = MakeGainMeter();
  bar->SetPosition(-123);
  EXPECT_EQ(bar->PosText().toStdString(), "-12,3 dB");
  QLocale::setDefault(previous);
}

// Pixels where two compositions of the same meter differ.
QRect DifferingPixels(const QImage& a, const QImage& b) {
  QRect box;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

TEST(PosText, IsDrawnCentredOnlyWhenShown) {
  auto bar = MakeGainMeter();
  bar->SetPosition(-123);
  const QImage withText = bar->FrameBitmap().copy();
  bar->SetShowPosText(false);
  const QImage withoutText = bar->FrameBitmap().copy();

  const QRect text = DifferingPixels(withText, withoutText);
  ASSERT_FALSE(text.isEmpty());
  EXPECT_NEAR(text.center().x(), 150, 3);
  EXPECT_NEAR(text.center().y(), 10, 3);
  const QFontMetrics metrics(bar->font(), &withText);
  EXPECT_LE(text.width(), metrics.horizontalAdvance(bar->PosText()) + 1);

  // The bar keeps moving without its text.
  bar->SetPosition(0);
  EXPECT_EQ(test::RowFill(*bar), 232);
}

TEST(PosText, FollowsTheFont) {
  auto bar = MakeGainMeter();
  bar->SetShowPosText(false);
  const QImage plain = bar->FrameBitmap().copy();
  bar->SetShowPosText(true);
  const int smallWidth = DifferingPixels(plain, bar->FrameBitmap()).width();

  QFont large = bar->font();
  large.setPixelSize(18);
  const auto compositions = bar->CompositionCount();
  bar->setFont(large);
  EXPECT_GT(bar->CompositionCount(), compositions);
  EXPECT_GT(DifferingPixels(plain, bar->FrameBitmap()).width(), smallWidth);
}

}  // namespace
}  // namespace zorv
