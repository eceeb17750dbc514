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

#include "dsp/level_factors.h"
#include "dsp/reference_level_range.h"
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

}  // namespace
}  // namespace zorv
