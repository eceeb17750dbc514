// SPDX-License-Identifier: GPL-3.0-or-later
// The design rule behind the decoder's coefficient tables, for the rates that
// have no table of their own in the decoder's history. Used only by the
// program that writes dsp/derived_coefficients.h and by the tests that check
// it; the decoder itself designs nothing.
//
// First order, corner fc: K = tan(pi fc / fs), a1 = (K - 1) / (K + 1);
// low-pass b0 = b1 = K / (1 + K); high-pass b0 = -b1 = 1 / (1 + K).
//
// Second order (output gain 1.56675, b2 = b0): prewarped at fc, the frequency
// where the resonant response comes back to its passband level, which lies
// above the pole frequency f0 of a low-pass and below that of a high-pass:
// f0 = fc / r (low-pass) or fc r (high-pass), r = sqrt(2 - 1 / Q^2).
// K = (f0 / fc) tan(pi fc / fs), n = 1 + K / Q + K^2, a1 = 2 (K^2 - 1) / n,
// a2 = (1 - K / Q + K^2) / n; the numerator scaled to a peak of 1 by
// N = sqrt(1 - 1 / (4 Q^2)) / Q: low-pass b0 = N K^2 / n, b1 = 2 b0;
// high-pass b0 = N / n, b1 = -2 b0.
//
// A section whose corner does not lie below half the rate is the identity
// (band D's 30 kHz low-pass at 44.1 and 48 kHz).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/filter_section.h"

namespace zorv::rule {

enum class TSectionKind {
  Identity,  // not loaded: the generator resets it to the pass-through
  FirstLowPass,
  FirstHighPass,
  SecondLowPass,
  SecondHighPass,
};

struct TSectionDesign {
  TSectionKind Kind = TSectionKind::Identity;
  long double CornerHz = 0;  // fc
  long double Q = 0;         // second order only
};

// The output gain of every second-order section.
inline constexpr long double kSecondOrderGain = 1.56675L;

// The band split's seven sections, in the order of kSplitCoefficients.
extern const TSectionDesign kSplitDesigns[7];
// Filter1..Filter5 of bands A..D, in the order of kWeightingChains.
extern const TSectionDesign kWeightingDesigns[4][5];

// The coefficients by the rule, in extended precision.
struct TExactCoefficients {
  long double b0, gain, b1, a1, b2, a2;
};
TExactCoefficients DesignExact(const TSectionDesign& design, std::uint32_t sampleRate);
// The same, each rounded to double.
TSectionCoefficients Design(const TSectionDesign& design, std::uint32_t sampleRate);

// Half a unit of the last digit of value's shortest decimal form, the form
// in which the tables give it (0.0414329: 5e-8).
double HalfUnitOfLastDigit(double value);

// One section of the decoder's own tables at one rate, with the design it
// follows. Sections that are not loaded (band A's Filter2, band D's Filter4)
// are not listed.
struct TTableEntry {
  std::string Name;  // "split 3", "band B Filter4"
  std::uint32_t SampleRate = 0;
  TSectionCoefficients Given{};
  TSectionDesign Design;
};
// The 44.1, 48 and 96 kHz tables, as the decoder has them.
std::vector<TTableEntry> SpecifiedEntries();
// The derived rates' tables, as dsp/derived_coefficients.h has them.
std::vector<TTableEntry> DerivedEntries();

// Coefficients of an entry that differ from the rule by more than half a
// unit of their last digit, described one line each; empty when none does.
std::vector<std::string> RuleMisses(const TTableEntry& entry);

// The text of dsp/derived_coefficients.h: the tables of kDerivedRates by the
// rule, every value at 17 significant digits.
std::string DerivedHeaderText();

}  // namespace zorv::rule
