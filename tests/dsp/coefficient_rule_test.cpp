// SPDX-License-Identifier: GPL-3.0-or-later
// The design rule regenerates the 44.1, 48 and 96 kHz tables to within half a
// unit of their last digit, the derived rates' tables are what it gives, and
// the decoder loads them at those rates.
#include "tools/coefficient_rule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "dsp/channel_decoder.h"
#include "dsp/derived_coefficients.h"
#include "dsp/rate_coefficients.h"
#include "dsp/sample_rates.h"

namespace zorv::rule {
namespace {

std::string EntryName(const TTableEntry& e) {
  return e.Name + " at " + std::to_string(e.SampleRate) + " Hz";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(HalfUnitOfLastDigit, IsTakenFromTheDigitsTheTableGives) {
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(0.0414329), 5e-8);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(-0.9171342), 5e-8);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(6.26493428e-05), 5e-14);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(0.000294476413), 5e-13);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(1.56675), 5e-6);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(-1.259547), 5e-7);
  EXPECT_DOUBLE_EQ(HalfUnitOfLastDigit(1.0), 0.5);
  EXPECT_EQ(HalfUnitOfLastDigit(0.0), 0.0);
}

// Every section the decoder loads at 44.1, 48 and 96 kHz: 7 split sections
// and 18 weighting sections per rate (band A's Filter2 and band D's Filter4
// are not loaded; band D's Filter3 is, as the identity at 44.1 and 48 kHz).
TEST(CoefficientRule, RegeneratesEverySpecifiedCoefficient) {
  const std::vector<TTableEntry> entries = SpecifiedEntries();
  ASSERT_EQ(entries.size(), 3u * (7u + 18u));
  for (const TTableEntry& entry : entries) {
    EXPECT_EQ(Joined(RuleMisses(entry)), "") << EntryName(entry);
  }
}

// The tolerance is tight enough to tell a design from its neighbours: a
// corner 0.1 % away, a Q 0.01 % away or the neighbouring rate miss every
// section that is not the identity.
TEST(CoefficientRule, ANeighbouringDesignMissesTheTables) {
  for (TTableEntry entry : SpecifiedEntries()) {
    if (entry.Given.b0 == 1.0 && entry.Given.a1 == 0.0) continue;  // band D's identity Filter3
    SCOPED_TRACE(EntryName(entry));
    TTableEntry corner = entry;
    corner.Design.CornerHz *= 1.001L;
    EXPECT_FALSE(RuleMisses(corner).empty()) << "corner";
    if (entry.Design.Kind == TSectionKind::SecondLowPass ||
        entry.Design.Kind == TSectionKind::SecondHighPass) {
      TTableEntry q = entry;
      q.Design.Q *= 1.0001L;
      EXPECT_FALSE(RuleMisses(q).empty()) << "Q";
    }
    TTableEntry rate = entry;
    rate.SampleRate = entry.SampleRate == 48000 ? 44100 : 48000;
    EXPECT_FALSE(RuleMisses(rate).empty()) << "rate";
  }
}

TEST(CoefficientRule, TheDerivedTablesAreWhatTheRuleGives) {
  const std::vector<TTableEntry> entries = DerivedEntries();
  ASSERT_EQ(entries.size(), 4u * (7u + 18u));
  for (const TTableEntry& entry : entries) {
    SCOPED_TRACE(EntryName(entry));
    const TSectionCoefficients rule = Design(entry.Design, entry.SampleRate);
    const double given[6] = {entry.Given.b0, entry.Given.gain, entry.Given.b1,
                             entry.Given.a1, entry.Given.b2,   entry.Given.a2};
    const double want[6] = {rule.b0, rule.gain, rule.b1, rule.a1, rule.b2, rule.a2};
    for (int k = 0; k < 6; ++k) {
      // Printed at 17 digits and read back: the double itself, or at most
      // its neighbour where another mathematics library rounds the tangent
      // the other way.
      EXPECT_LE(std::fabs(given[k] - want[k]), std::fabs(want[k]) * 2.3e-16) << k;
    }
    // The first-order and second-order shapes the decoder relies on.
    EXPECT_TRUE(entry.Given.b1 == entry.Given.b0 || entry.Given.b1 == -entry.Given.b0 ||
                entry.Given.b1 == 2 * entry.Given.b0 || entry.Given.b1 == -2 * entry.Given.b0 ||
                (entry.Given.b0 == 1 && entry.Given.b1 == 0));
  }
}

TEST(CoefficientRule, Band30kHzLowPassOnlyWhereItLiesBelowHalfTheRate) {
  const int kBandD = 3;
  for (int r = 0; r < kRateCount; ++r) {
    const std::uint32_t rate = kSupportedRates[r];
    const TSectionCoefficients& f3 = WeightingChainAt(kBandD, RateIndex(rate)).Filter3;
    SCOPED_TRACE(rate);
    if (rate > 60000) {
      EXPECT_LT(f3.b0, 1.0);
      EXPECT_EQ(f3.b1, f3.b0);
    } else {
      EXPECT_EQ(f3.b0, 1.0);
      EXPECT_EQ(f3.b1, 0.0);
      EXPECT_EQ(f3.a1, 0.0);
    }
    EXPECT_EQ(f3.gain, 1.0);
  }
}

TEST(CoefficientRule, TheCheckedInHeaderIsWhatTheProgramWrites) {
  std::ifstream file(ZORV_SOURCE_DIR "/dsp/derived_coefficients.h", std::ios::binary);
  ASSERT_TRUE(file) << "cannot read dsp/derived_coefficients.h";
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_TRUE(text.str() == DerivedHeaderText())
      << "dsp/derived_coefficients.h is not what zorv-derive-coefficients writes now";
}

TEST(RateIndex, NamesEveryRateWithTablesAndNoOther) {
  std::vector<int> seen;
  for (const std::uint32_t rate : kSupportedRates) {
    EXPECT_TRUE(IsSupportedRate(rate)) << rate;
    seen.push_back(RateIndex(rate));
  }
  std::sort(seen.begin(), seen.end());
  for (int k = 0; k < kRateCount; ++k) EXPECT_EQ(seen[static_cast<std::size_t>(k)], k);
  EXPECT_EQ(RateIndex(44100), 0);
  EXPECT_EQ(RateIndex(48000), 1);
  EXPECT_EQ(RateIndex(96000), 2);
  for (const std::uint32_t rate : {0u, 8000u, 22050u, 31999u, 88000u, 176000u, 384000u}) {
    EXPECT_EQ(RateIndex(rate), -1) << rate;
  }
}

// Coefficients that a table holds for the design at the rate: to the table's
// digits for the given rates, to the double for the derived ones.
std::string Differences(const TSectionCoefficients& got, const TSectionDesign& design,
                        std::uint32_t rate) {
  if (RateIndex(rate) < kSpecifiedRateCount) {
    return Joined(RuleMisses(TTableEntry{"", rate, got, design}));
  }
  const TSectionCoefficients want = Design(design, rate);
  const double a[6] = {got.b0, got.gain, got.b1, got.a1, got.b2, got.a2};
  const double b[6] = {want.b0, want.gain, want.b1, want.a1, want.b2, want.a2};
  std::string text;
  for (int k = 0; k < 6; ++k) {
    if (std::fabs(a[k] - b[k]) > std::fabs(b[k]) * 2.3e-16) {
      text += "coefficient " + std::to_string(k) + " is " + std::to_string(a[k]) + "\n";
    }
  }
  return text;
}

// A channel decoder set up for a rate holds that rate's split sections and
// detector chains, whichever table they come from.
TEST(CoefficientRule, TheDecoderLoadsTheTablesOfEveryRate) {
  for (const std::uint32_t rate : kSupportedRates) {
    SCOPED_TRACE(rate);
    TChannelDecoder decoder;
    decoder.Setup(rate);
    for (int s = 0; s < kSplitSections; ++s) {
      EXPECT_EQ(Differences(decoder.Split[s].Coefficients, kSplitDesigns[s], rate), "")
          << "split " << s;
    }
    for (int band = 0; band < 4; ++band) {
      const TControlSignalGenerator& g = decoder.Generator[band];
      const TFilterSection* sections[5] = {&g.Filter1, &g.Filter2, &g.Filter3, &g.Filter4,
                                           &g.Filter5};
      for (int f = 0; f < 5; ++f) {
        EXPECT_EQ(Differences(sections[f]->Coefficients, kWeightingDesigns[band][f], rate), "")
            << "band " << band << " Filter" << f + 1;
      }
      EXPECT_EQ(g.SampleRate, static_cast<double>(rate));
    }
  }
}

}  // namespace
}  // namespace zorv::rule
