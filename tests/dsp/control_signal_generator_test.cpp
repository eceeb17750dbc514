// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/control_signal_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/test_signal.h"

namespace zorv {
namespace {

constexpr std::uint32_t kRates[] = {44100, 48000, 96000};

TControlSignalGenerator SetUpGenerator(int band, std::uint32_t rate) {
  TControlSignalGenerator g;
  g.Setup(band, rate);
  return g;
}

// Mean control voltage over the last `tail` samples of a steady input.
double SettledVoltage(TControlSignalGenerator& g, int band, std::uint32_t law,
                      const std::vector<double>& input, std::size_t tail) {
  double sum = 0.0;
  for (std::size_t i = 0; i < input.size(); ++i) {
    g.Step(band, law, input[i]);
    if (i >= input.size() - tail) sum += g.Voltage;
  }
  return sum / static_cast<double>(tail);
}

TEST(ControlSignalGenerator, StartsAtTheLowerLimitWithBandBValuesAt96k) {
  TControlSignalGenerator g;
  EXPECT_EQ(g.Voltage, -5.824);
  EXPECT_EQ(g.ControlVoltage(), -5.824);
  EXPECT_EQ(g.VoltageMax, 1.82);
  EXPECT_EQ(g.InputScale, 0.523);
  EXPECT_EQ(g.Capacitance, 6.8e-8);
  EXPECT_EQ(g.SampleRate, 96000.0);
  EXPECT_NEAR(g.LeakStep, 1.079266237745098e-4, 1e-19);
  EXPECT_NEAR(g.GainFactor, std::pow(10.0, 1.6), 1e-12);
  EXPECT_EQ(g.ChargeStep, 0.0);
  EXPECT_EQ(g.Filter2.Coefficients.b0, 1.0);
}

TEST(ControlSignalGenerator, SilenceStaysAtTheLowerLimit) {
  for (int band = 0; band < 4; ++band) {
    for (std::uint32_t rate : kRates) {
      TControlSignalGenerator g = SetUpGenerator(band, rate);
      for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(g.Step(band, 0, 0.0), g.GainFactor);
      }
      EXPECT_EQ(g.Voltage, -5.824);
      EXPECT_EQ(g.RectifierLevel, 0.0);
      EXPECT_NEAR(g.GainFactor, std::pow(10.0, 1.6), 1e-12);
    }
  }
}

// Release: with nothing to rectify the capacitor discharges linearly at the
// constant current over its capacitance.
TEST(ControlSignalGenerator, ReleaseFallsAtTheBandsDischargeSlope) {
  const double slopeVoltsPerSecond[4] = {1.49903, 10.361, 70.4545, 213.498};
  for (int band = 0; band < 4; ++band) {
    for (std::uint32_t rate : kRates) {
      TControlSignalGenerator g = SetUpGenerator(band, rate);
      g.Voltage = 1.0;
      const int samples = static_cast<int>(rate / 100);  // 10 ms
      for (int i = 0; i < samples; ++i) g.Step(band, 0, 0.0);
      const double slope = (1.0 - g.Voltage) * rate / samples;
      EXPECT_NEAR(slope, slopeVoltsPerSecond[band], slopeVoltsPerSecond[band] * 2e-5)
          << "band " << band << " at " << rate;
      EXPECT_EQ(g.ChargeStep, 0.0);
    }
  }
}

TEST(ControlSignalGenerator, ReleaseStopsAtTheLowerLimit) {
  TControlSignalGenerator g = SetUpGenerator(3, 44100);
  g.Voltage = -5.8;
  for (int i = 0; i < 100; ++i) g.Step(3, 0, 0.0);
  EXPECT_EQ(g.Voltage, -5.824);
}

TEST(ControlSignalGenerator, ALoudInputIsClampedEverywhere) {
  for (int band = 0; band < 4; ++band) {
    TControlSignalGenerator g = SetUpGenerator(band, 48000);
    const std::vector<double> input = test::Programme(48000, 48000, 3, 400.0);
    double highest = -10.0;
    for (double x : input) {
      const double gain = g.Step(band, 0, x);
      ASSERT_LE(std::fabs(g.RectifierInput), 2.092);
      ASSERT_EQ(g.RectifierLevel, std::fabs(g.RectifierInput));
      ASSERT_LE(g.Voltage, 1.82);
      ASSERT_GE(g.Voltage, -5.824);
      ASSERT_GE(gain, std::pow(10.0, -0.5) * (1 - 1e-15));
      highest = std::max(highest, g.Voltage);
    }
    EXPECT_EQ(highest, 1.82) << "band " << band;
  }
}

TEST(ControlSignalGenerator, FeedbackLawChoosesSquareOrCubeOfThePreviousGain) {
  const std::vector<double> input = test::Programme(44100, 3000, 5);
  TControlSignalGenerator square = SetUpGenerator(1, 44100);
  for (double x : input) square.Step(1, 0, x);
  TControlSignalGenerator cube = square;
  const double g = square.GainFactor;
  square.Step(1, 0, 0.2);
  cube.Step(1, 7, 0.2);
  ASSERT_NE(square.RectifierInput, 0.0);
  if (std::fabs(square.RectifierInput) < 2.092 && std::fabs(cube.RectifierInput) < 2.092) {
    EXPECT_NEAR(cube.RectifierInput / square.RectifierInput, g, g * 1e-14);
  }
}

TEST(ControlSignalGenerator, SetupLoadsTheBandsChainAndResetsUnusedSections) {
  TControlSignalGenerator a;
  a.Filter2.SetCoefficients({0.5, 2.0, 0.1, 0.2, 0.3, 0.4});
  a.Filter2.Y1 = 3.0;
  a.Setup(0, 44100);
  EXPECT_EQ(a.Filter2.Coefficients.b0, 1.0);
  EXPECT_EQ(a.Filter2.Coefficients.a1, 0.0);
  EXPECT_EQ(a.Filter2.Y1, 0.0);
  EXPECT_EQ(a.Filter1.Coefficients.b0, 0.99964394);
  EXPECT_EQ(a.Capacitance, 4.7e-7);

  TControlSignalGenerator d44 = SetUpGenerator(3, 44100);
  EXPECT_EQ(d44.Filter3.Coefficients.b0, 1.0);
  EXPECT_EQ(d44.Filter3.Coefficients.a1, 0.0);
  EXPECT_EQ(d44.Filter4.Coefficients.b0, 1.0);
  TControlSignalGenerator d96 = SetUpGenerator(3, 96000);
  EXPECT_EQ(d96.Filter3.Coefficients.b0, 0.5994561837);
  EXPECT_EQ(d96.Filter3.Coefficients.a1, 0.1989123674);
  EXPECT_EQ(d96.Filter2.Coefficients.gain, 1.56675);
}

TEST(ControlSignalGenerator, SetupAtAnUnknownRateLeavesTheSections) {
  TControlSignalGenerator g = SetUpGenerator(2, 48000);
  const TFilterSection before = g.Filter4;
  g.Setup(2, 22050);
  EXPECT_EQ(g.SampleRate, 22050.0);
  EXPECT_EQ(g.Capacitance, 1e-8);
  EXPECT_DOUBLE_EQ(g.LeakStep, 7.04545e-7 / 22050 / 1e-8);
  EXPECT_EQ(g.Filter4.Coefficients.b0, before.Coefficients.b0);
}

TEST(ControlSignalGenerator, ASecondSetupContinuesSmoothly) {
  const std::vector<double> input = test::Programme(96000, 4000, 9);
  for (int band = 0; band < 4; ++band) {
    TControlSignalGenerator once = SetUpGenerator(band, 96000);
    TControlSignalGenerator twice = SetUpGenerator(band, 96000);
    for (std::size_t i = 0; i < input.size(); ++i) {
      if (i == input.size() / 2) twice.Setup(band, 96000);
      ASSERT_EQ(once.Step(band, 0, input[i]), twice.Step(band, 0, input[i])) << band << " " << i;
    }
    EXPECT_EQ(once.Voltage, twice.Voltage);
  }
}

// The expansion law: the filter chain is linear and the rectifier sees the
// input through the square of the gain factor, so a steady input ten times
// louder settles 1.82 V higher (3.64 / 3 V with the cube).
struct TToneCase {
  int band;
  double frequency;
  std::uint32_t rate;
};

class ExpansionLaw : public testing::TestWithParam<TToneCase> {};

TEST_P(ExpansionLaw, TenfoldInputMovesTheSettledVoltageByTheLaw) {
  const TToneCase c = GetParam();
  const std::size_t frames = c.rate * 4;
  const std::size_t tail = c.rate;
  for (std::uint32_t law : {0u, 1u}) {
    TControlSignalGenerator quiet = SetUpGenerator(c.band, c.rate);
    TControlSignalGenerator loud = SetUpGenerator(c.band, c.rate);
    const double vQuiet =
        SettledVoltage(quiet, c.band, law, test::Tone(c.frequency, 0.1, c.rate, frames), tail);
    const double vLoud =
        SettledVoltage(loud, c.band, law, test::Tone(c.frequency, 1.0, c.rate, frames), tail);
    const double expected = law == 0 ? 1.82 : 3.64 / 3.0;
    EXPECT_NEAR(vLoud - vQuiet, expected, 0.03) << "law " << law;
    EXPECT_GT(vQuiet, -5.824);
    EXPECT_LT(vLoud, 1.82);
  }
}

INSTANTIATE_TEST_SUITE_P(Bands, ExpansionLaw,
                         testing::Values(TToneCase{0, 100.0, 44100}, TToneCase{1, 1000.0, 48000},
                                         TToneCase{2, 3500.0, 96000}, TToneCase{3, 10000.0, 44100}),
                         [](const auto& info) { return std::string(1, "ABCD"[info.param.band]); });

// In equilibrium the mean charging current equals the discharge current,
// whatever the capacitance: the mean charge step equals the leak step.
TEST(ControlSignalGenerator, EquilibriumChargeBalancesTheDischarge) {
  for (int band = 0; band < 4; ++band) {
    const double freq[4] = {100.0, 1000.0, 3500.0, 10000.0};
    TControlSignalGenerator g = SetUpGenerator(band, 48000);
    const std::vector<double> tone = test::Tone(freq[band], 0.5, 48000, 48000 * 4);
    double chargeSum = 0.0;
    const std::size_t tail = 48000;
    double vStart = 0.0;
    for (std::size_t i = 0; i < tone.size(); ++i) {
      g.Step(band, 0, tone[i]);
      if (i == tone.size() - tail) vStart = g.Voltage;
      if (i > tone.size() - tail) chargeSum += g.ChargeStep;
    }
    const double leak = g.LeakStep * (tail - 1);
    // Charge in, minus leak out, equals the (small) drift of the voltage.
    EXPECT_NEAR(chargeSum - leak, g.Voltage - vStart, 1e-9) << band;
    EXPECT_NEAR(chargeSum / leak, 1.0, 0.02) << band;
  }
}

}  // namespace
}  // namespace zorv
