// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/filter_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zorv {
namespace {

TFilterSection Section(const TSectionCoefficients& c) {
  TFilterSection s;
  s.Init();
  s.SetCoefficients(c);
  return s;
}

TEST(FilterSection, InitPassesEveryInputThroughBothSteps) {
  const std::vector<double> inputs = {0.0, 1.0, -0.75, 1e-300, 123456.789, -1e9, 0.1};
  TFilterSection first;
  first.Init();
  TFilterSection second;
  second.Init();
  for (double x : inputs) {
    EXPECT_EQ(first.FirstOrderStep(x), x);
    EXPECT_EQ(second.SecondOrderStep(x), x);
  }
}

TEST(FilterSection, FirstOrderImpulseResponseIgnoresTheGain) {
  for (double gain : {1.0, 7.0}) {
    TFilterSection s = Section({1.0, gain, 0.0, -0.5, 0.0, 0.0});
    EXPECT_EQ(s.FirstOrderStep(1.0), 1.0);
    EXPECT_EQ(s.FirstOrderStep(0.0), 0.5);
    EXPECT_EQ(s.FirstOrderStep(0.0), 0.25);
    EXPECT_EQ(s.FirstOrderStep(0.0), 0.125);
  }
}

TEST(FilterSection, SecondOrderGainStaysOutsideTheFeedbackLoop) {
  TFilterSection s = Section({1.0, 2.0, 0.0, -1.0, 0.0, 0.0});
  EXPECT_EQ(s.SecondOrderStep(1.0), 2.0);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s.SecondOrderStep(0.0), 2.0);
    EXPECT_EQ(s.Y1, 1.0);
  }
}

TEST(FilterSection, SecondOrderFeedForwardSumsThreeInputs) {
  TFilterSection s = Section({1.0, 1.0, 1.0, 0.0, 1.0, 0.0});
  EXPECT_EQ(s.SecondOrderStep(1.0), 1.0);
  EXPECT_EQ(s.SecondOrderStep(2.0), 3.0);
  EXPECT_EQ(s.SecondOrderStep(3.0), 6.0);
  EXPECT_EQ(s.SecondOrderStep(4.0), 9.0);
}

TEST(FilterSection, SecondOrderDelayLinesShiftInOrder) {
  TFilterSection s = Section({0.5, 1.0, 0.25, -0.5, 0.125, 0.25});
  s.SecondOrderStep(1.0);
  const double y1 = s.Y1;
  s.SecondOrderStep(2.0);
  EXPECT_EQ(s.X0, 2.0);
  EXPECT_EQ(s.X1, 2.0);
  EXPECT_EQ(s.X2, 1.0);
  EXPECT_EQ(s.Y2, y1);
  // y = 0.5*3 + 0.25*2 + 0.125*1 + 0.5*y[n-1] - 0.25*y[n-2]
  const double expected = 0.5 * 3 + 0.25 * 2 + 0.125 * 1 + 0.5 * s.Y1 - 0.25 * s.Y2;
  EXPECT_DOUBLE_EQ(s.SecondOrderStep(3.0), expected);
}

TEST(FilterSection, SetCoefficientsMidStreamKeepsTheState) {
  TFilterSection s = Section({0.3, 1.0, 0.2, -0.9, 0.0, 0.0});
  for (double x : {1.0, -0.5, 0.25}) s.FirstOrderStep(x);
  const TFilterSection before = s;
  s.SetCoefficients({2.0, 1.0, -1.0, 0.5, 0.0, 0.0});
  EXPECT_EQ(s.X0, before.X0);
  EXPECT_EQ(s.X1, before.X1);
  EXPECT_EQ(s.Y1, before.Y1);
  // The next output mixes the new weights with the old delayed values.
  EXPECT_DOUBLE_EQ(s.FirstOrderStep(0.5), 2.0 * 0.5 - 1.0 * before.X1 - 0.5 * before.Y1);
}

TEST(FilterSection, FirstOrderStepNeverTouchesTheSecondDelays) {
  TFilterSection s = Section({0.5, 3.0, 0.5, -0.25, 9.0, 9.0});
  s.X2 = 11.0;
  s.Y2 = -13.0;
  s.Spare = 17.0;
  for (int i = 0; i < 10; ++i) s.FirstOrderStep(i * 0.1);
  EXPECT_EQ(s.X2, 11.0);
  EXPECT_EQ(s.Y2, -13.0);
  EXPECT_EQ(s.Spare, 17.0);
}

// (1 + 2^-30)^2 - (1 + 2^-29) is 2^-60: held by a 64-bit significand, lost in
// plain double arithmetic. The step must round only where it stores.
TEST(FilterSection, StepsEvaluateInExtendedPrecisionAndRoundOnce) {
  const double u = 1.0 + std::ldexp(1.0, -30);
  const double v = 1.0 + std::ldexp(1.0, -29);

  TFilterSection first = Section({u, 1.0, 0.0, 1.0, 0.0, 0.0});
  first.Y1 = v;
  EXPECT_EQ(first.FirstOrderStep(u), std::ldexp(1.0, -60));

  TFilterSection second = Section({u, 1.0, 0.0, 1.0, 0.0, 0.0});
  second.Y1 = v;
  EXPECT_EQ(second.SecondOrderStep(u), std::ldexp(1.0, -60));
}

}  // namespace
}  // namespace zorv
