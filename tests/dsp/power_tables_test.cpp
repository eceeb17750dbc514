// SPDX-License-Identifier: GPL-3.0-or-later
// The headers that zorv-power-tables writes hold what it writes now, and the
// level factors are the reference power of ten's, bit for bit, on the grid
// of levels and off it.
#include "tools/power_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "dsp/channel_decoder.h"
#include "dsp/control_signal_generator.h"
#include "dsp/level_factors.h"
#include "dsp/power_of_ten.h"
#include "dsp/reference_level_range.h"
#include "dsp/sample_rates.h"
#include "dsp/start_constants.h"
#include "dsp/start_values.h"
#include "dsp/zorv_calc.h"

namespace zorv {
namespace {

std::string FileText(const std::string& name) {
  std::ifstream file(std::string(ZORV_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(PowerTables, TheHeadersAreWhatTheProgramWrites) {
  EXPECT_TRUE(FileText("dsp/power_of_ten_table.h") == tables::PowerOfTenTableText())
      << "dsp/power_of_ten_table.h is not what zorv-power-tables powers writes now";
  EXPECT_TRUE(FileText("dsp/level_factors.h") == tables::LevelFactorsText())
      << "dsp/level_factors.h is not what zorv-power-tables levels writes now";
  EXPECT_TRUE(FileText("dsp/start_constants.h") == tables::StartConstantsText())
      << "dsp/start_constants.h is not what zorv-power-tables start writes now";
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(PowerTables, EveryLevelFactorIsThePowerOfTen) {
  for (int tenths = kMinLevelTenths; tenths <= kMaxLevelTenths; ++tenths) {
    const double dB = tenths / 10.0;
    const double power = TZorvCalc::LevelFactorByPower(dB);
    EXPECT_TRUE(SameBits(kLevelFactors[tenths - kMinLevelTenths], power)) << dB << " dB";
    EXPECT_TRUE(SameBits(TZorvCalc::LevelFactorOf(dB), power)) << dB << " dB";
  }
  // Off the grid and outside the range: the power of ten itself.
  for (const double dB : {-10.05, -0.04, -30.1, 0.1, 6.0, -29.999999999999996, -1e-300}) {
    EXPECT_TRUE(SameBits(TZorvCalc::LevelFactorOf(dB), TZorvCalc::LevelFactorByPower(dB))) << dB;
  }
  EXPECT_EQ(TZorvCalc::LevelFactorOf(-0.0), 1.0);
  EXPECT_EQ(TZorvCalc::LevelFactorOf(-20.0), 0.1);
}

// The values a decoder sets up are those the extended-precision formulas
// give, written out here independently of the table's own generator: the
// leak step, every charge step and slope of every band at every rate, and
// the resting gain factor; what a set-up decoder holds is the table's.
TEST(PowerTables, StartValuesAreTheExtendedFormulas) {
  using detector::kBandCapacitance;
  using detector::kCurveFirstStep;
  using detector::kCurvePoints;
  using detector::kVoltageMin;
  constexpr int kBands = detector::kBands;
  const double resting =
      static_cast<double>(PowerOfTen(-static_cast<long double>(kVoltageMin) / 3.64L));
  EXPECT_TRUE(SameBits(start::kRestingGainFactor, resting));
  EXPECT_TRUE(SameBits(TControlSignalGenerator().GainFactor, resting));
  for (const std::uint32_t rate : kSupportedRates) {
    const int index = RateIndex(rate);
    TChannelDecoder decoder;
    decoder.Init();
    decoder.Setup(rate);
    decoder.PackLanes(fast::TLaneStage::Whole);
    for (int band = 0; band < kBands; ++band) {
      const long double c = kBandCapacitance[band];
      const long double r = rate;
      const start::TBandSteps& steps = start::kBandSteps[index][band];
      const double leak = static_cast<double>(7.04545e-7L / r / c);
      EXPECT_TRUE(SameBits(steps.LeakStep, leak)) << rate << " Hz, band " << band;
      EXPECT_TRUE(SameBits(decoder.Generator[band].LeakStep, leak)) << rate << " Hz " << band;
      const TCurrentTable& curve = *CurrentTableForBand(band);
      for (int k = 0; k < kCurvePoints; ++k) {
        const double charge = static_cast<double>(static_cast<long double>(curve[k]) / r / c);
        const double slope =
            k < kCurveFirstStep
                ? static_cast<double>((static_cast<long double>(curve[k + 1]) - curve[k]) * 10.0L /
                                      r / c)
                : 0.0;
        EXPECT_TRUE(SameBits(steps.Charge[k], charge)) << rate << " Hz " << band << " " << k;
        EXPECT_TRUE(SameBits(steps.ChargeSlope[k], slope)) << rate << " Hz " << band << " " << k;
        EXPECT_TRUE(SameBits(decoder.Lanes.Curves.Charge[k][band], charge)) << rate << " " << k;
        EXPECT_TRUE(SameBits(decoder.Lanes.Curves.ChargeSlope[k][band], slope)) << rate << " " << k;
      }
    }
  }
  // Off the table (a rate without coefficients, a capacitance not the
  // band's): the formula itself.
  EXPECT_TRUE(SameBits(start_values::LeakStep(22050, 0, kBandCapacitance[0]),
                       static_cast<double>(7.04545e-7L / 22050 / kBandCapacitance[0])));
  EXPECT_TRUE(SameBits(start_values::LeakStep(44100, 0, kBandCapacitance[1]),
                       start_values::ReferenceLeakStep(44100, kBandCapacitance[1])));
  EXPECT_FALSE(SameBits(start_values::LeakStep(44100, 0, kBandCapacitance[1]),
                        start_values::LeakStep(44100, 0, kBandCapacitance[0])));
}

}  // namespace
}  // namespace zorv
