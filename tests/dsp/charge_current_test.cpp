// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/charge_current.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zorv {
namespace {

struct TBandCurve {
  int band;
  const TCurrentTable* table;
};
const TBandCurve kBands[] = {
    {0, &CurrentTableAB}, {1, &CurrentTableAB}, {2, &CurrentTableC}, {3, &CurrentTableD}};

// The level whose offset from 0.138 rounds to exactly the double d.
double LevelWithOffset(double d) {
  double level = d + 0.138;
  for (int i = 0; i < 64; ++i) {
    const double got = static_cast<double>(static_cast<long double>(level) - 0.138L);
    if (got == d) return level;
    level = std::nextafter(level, got < d ? 10.0 : -10.0);
  }
  ADD_FAILURE() << "no level gives offset " << d;
  return level;
}

TEST(ChargeCurrent, IsZeroBelowTheCurveStart) {
  for (const TBandCurve& c : kBands) {
    for (double level : {0.0, 0.05, 0.1379, std::nextafter(0.138, 0.0)}) {
      EXPECT_EQ(ChargeCurrent(c.band, level), 0.0) << "band " << c.band << " level " << level;
    }
  }
}

TEST(ChargeCurrent, ExactlyAtTheStartGivesATinyPositiveCurrent) {
  // The double 0.138 lies above the extended-precision offset.
  for (const TBandCurve& c : kBands) {
    const double current = ChargeCurrent(c.band, 0.138);
    EXPECT_GT(current, 0.0);
    EXPECT_LT(current, 1e-20);
  }
}

TEST(ChargeCurrent, InterpolatesLinearlyInTheFirstInterval) {
  for (const TBandCurve& c : kBands) {
    EXPECT_NEAR(ChargeCurrent(c.band, 0.188), 1.32e-08, 1.32e-08 * 1e-15) << c.band;
  }
}

TEST(ChargeCurrent, ReachesEachBreakpointValueAtTheBreakpoint) {
  for (const TBandCurve& c : kBands) {
    const double breakpoints[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};
    for (int k = 1; k <= 7; ++k) {
      const double level = breakpoints[k - 1] + 0.138;
      EXPECT_NEAR(ChargeCurrent(c.band, level), (*c.table)[k], (*c.table)[k] * 1e-12)
          << "band " << c.band << " k " << k;
    }
  }
}

TEST(ChargeCurrent, StaircaseHoldsTheValueOfTheBreakpointBelow) {
  struct TCase {
    double offset;
    int k;
  };
  const TCase cases[] = {{0.75, 7}, {0.85, 8},   {0.95, 9}, {1.05, 10}, {1.15, 11}, {1.25, 12},
                         {1.4, 13}, {1.954, 14}, {2.5, 15}, {3.5, 16},  {4.5, 17},  {100.0, 17}};
  for (const TBandCurve& c : kBands) {
    for (const TCase& t : cases) {
      EXPECT_EQ(ChargeCurrent(c.band, t.offset + 0.138), (*c.table)[t.k])
          << "band " << c.band << " offset " << t.offset;
    }
  }
}

TEST(ChargeCurrent, ListedLevelsGiveTheListedCurrents) {
  EXPECT_EQ(ChargeCurrent(0, 1.088), 3.63e-05);
  EXPECT_EQ(ChargeCurrent(2, 1.088), 3.63e-05);
  EXPECT_EQ(ChargeCurrent(3, 1.088), 2.495e-05);
  EXPECT_EQ(ChargeCurrent(0, 2.092), 0.00064);
  EXPECT_EQ(ChargeCurrent(1, 2.092), 0.00064);
  EXPECT_EQ(ChargeCurrent(2, 2.092), 0.000337);
  EXPECT_EQ(ChargeCurrent(3, 2.092), 0.0001404);
}

// Breakpoints are held in extended precision: the doubles nearest 0.8, 0.9,
// 1.1 and 1.3 lie above them, those nearest 0.7 and 1.2 below.
TEST(ChargeCurrent, BreakpointsCompareInExtendedPrecision) {
  for (const TBandCurve& c : kBands) {
    const TCurrentTable& t = *c.table;
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(0.8)), t[8]);
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(0.9)), t[9]);
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(1.1)), t[11]);
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(1.3)), t[13]);
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(1.2)), t[11]);
    // Just below 0.7 the interpolation is within a hair of T[7]; the staircase
    // starts with the same value, so the curve is continuous there.
    EXPECT_NEAR(ChargeCurrent(c.band, LevelWithOffset(0.7)), t[7], t[7] * 1e-12);
    EXPECT_EQ(ChargeCurrent(c.band, LevelWithOffset(std::nextafter(0.7, 1.0))), t[7]);
  }
}

TEST(ChargeCurrent, RisesMonotonicallyOverTheDetectorRange) {
  for (const TBandCurve& c : kBands) {
    double previous = 0.0;
    for (int i = 0; i <= 20920; ++i) {
      const double current = ChargeCurrent(c.band, i * 1e-4);
      ASSERT_GE(current, previous) << "band " << c.band << " level " << i * 1e-4;
      previous = current;
    }
  }
}

TEST(ChargeCurrent, BandBSharesBandACurveAndOtherIndicesGiveNothing) {
  for (int i = 0; i <= 600; ++i) {
    const double level = i * 0.01;
    EXPECT_EQ(ChargeCurrent(1, level), ChargeCurrent(0, level));
    EXPECT_EQ(ChargeCurrent(4, level), 0.0);
    EXPECT_EQ(ChargeCurrent(-1, level), 0.0);
    EXPECT_EQ(ChargeCurrent(1000, level), 0.0);
  }
}

}  // namespace
}  // namespace zorv
