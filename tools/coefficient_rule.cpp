// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/coefficient_rule.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "dsp/derived_coefficients.h"
#include "dsp/sample_rates.h"
#include "dsp/split_coefficients.h"
#include "dsp/weighting_coefficients.h"

namespace zorv::rule {
namespace {

using K = TSectionKind;

// The one Q of band B's Filter2 and of band C's and band D's resonant sections.
constexpr long double kSharedQ = 1.4837443542L;

constexpr TSectionDesign First(TSectionKind kind, long double corner) {
  return {kind, corner, 0};
}
constexpr TSectionDesign Second(TSectionKind kind, long double corner, long double q) {
  return {kind, corner, q};
}
constexpr TSectionDesign kNotLoaded{};

const char* const kBandNames[4] = {"A", "B", "C", "D"};

std::string Describe(const TSectionDesign& d) {
  char text[96];
  switch (d.Kind) {
    case K::Identity:
      return "identity";
    case K::FirstLowPass:
    case K::FirstHighPass:
      std::snprintf(text, sizeof text, "first-order %s %Lg Hz",
                    d.Kind == K::FirstLowPass ? "low-pass" : "high-pass", d.CornerHz);
      return text;
    case K::SecondLowPass:
    case K::SecondHighPass:
      std::snprintf(text, sizeof text, "second-order %s %Lg Hz, Q %.12Lg",
                    d.Kind == K::SecondLowPass ? "low-pass" : "high-pass", d.CornerHz, d.Q);
      return text;
  }
  return {};
}

std::string SplitName(int section) {
  return "split " + std::to_string(section);
}
std::string WeightingName(int band, int filter) {
  return std::string("band ") + kBandNames[band] + " Filter" + std::to_string(filter + 1);
}

const TSectionCoefficients& ChainSection(const TWeightingChain& chain, int filter) {
  const TSectionCoefficients* sections[5] = {&chain.Filter1, &chain.Filter2, &chain.Filter3,
                                             &chain.Filter4, &chain.Filter5};
  return *sections[filter];
}

constexpr std::uint32_t kSpecifiedRates[kSpecifiedRateCount] = {44100, 48000, 96000};

template <typename SplitTable, typename ChainTable>
std::vector<TTableEntry> Entries(const SplitTable& split, const ChainTable& chains,
                                 const std::uint32_t* rates, int rateCount) {
  std::vector<TTableEntry> entries;
  for (int r = 0; r < rateCount; ++r) {
    for (int s = 0; s < kSplitSections; ++s) {
      entries.push_back({SplitName(s), rates[r], split[s][r], kSplitDesigns[s]});
    }
    for (int band = 0; band < 4; ++band) {
      for (int f = 0; f < 5; ++f) {
        const TSectionDesign& design = kWeightingDesigns[band][f];
        if (design.Kind == K::Identity) continue;
        entries.push_back(
            {WeightingName(band, f), rates[r], ChainSection(chains[band][r], f), design});
      }
    }
  }
  return entries;
}

// "%.17g" of a coefficient: the shortest text that reads back as exactly
// the double would do too, but 17 digits say plainly how it was made.
std::string Printed(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string SectionText(const TSectionCoefficients& c) {
  std::string text = "{";
  for (const double value : {c.b0, c.gain, c.b1, c.a1, c.b2, c.a2}) {
    if (text.size() > 1) text += ", ";
    text += Printed(value);
  }
  text += "}";
  return text;
}

}  // namespace

const TSectionDesign kSplitDesigns[7] = {
    First(K::FirstHighPass, 1),    First(K::FirstLowPass, 213),   First(K::FirstHighPass, 212),
    First(K::FirstLowPass, 1320),  First(K::FirstHighPass, 1440), First(K::FirstLowPass, 3300),
    First(K::FirstHighPass, 4750),
};

const TSectionDesign kWeightingDesigns[4][5] = {
    {First(K::FirstHighPass, 5), kNotLoaded, First(K::FirstLowPass, 210),
     Second(K::SecondLowPass, 360, 1.38659070423L), First(K::FirstHighPass, 7.5L)},
    {First(K::FirstHighPass, 220), Second(K::SecondHighPass, 125, kSharedQ),
     First(K::FirstLowPass, 1320), Second(K::SecondLowPass, 2800, 1.46875115698L),
     First(K::FirstHighPass, 30)},
    {First(K::FirstHighPass, 1500), Second(K::SecondHighPass, 858, kSharedQ),
     First(K::FirstLowPass, 3100), Second(K::SecondLowPass, 5890, kSharedQ),
     First(K::FirstHighPass, 64)},
    {First(K::FirstHighPass, 4800), Second(K::SecondHighPass, 2570, kSharedQ),
     First(K::FirstLowPass, 30000), kNotLoaded, First(K::FirstHighPass, 100)},
};

TExactCoefficients DesignExact(const TSectionDesign& d, std::uint32_t sampleRate) {
  const long double fs = sampleRate;
  if (d.Kind == K::Identity || sampleRate == 0 || !(d.CornerHz < fs / 2)) {
    return {1, 1, 0, 0, 0, 0};
  }
  const long double warped = std::tan(std::numbers::pi_v<long double> * d.CornerHz / fs);
  switch (d.Kind) {
    case K::FirstLowPass:
    case K::FirstHighPass: {
      const long double k = warped;
      const long double a1 = (k - 1) / (k + 1);
      const long double b0 = d.Kind == K::FirstLowPass ? k / (1 + k) : 1 / (1 + k);
      return {b0, 1, d.Kind == K::FirstLowPass ? b0 : -b0, a1, 0, 0};
    }
    case K::SecondLowPass:
    case K::SecondHighPass: {
      const bool low = d.Kind == K::SecondLowPass;
      const long double q = d.Q;
      const long double r = std::sqrt(2 - 1 / (q * q));
      const long double f0 = low ? d.CornerHz / r : d.CornerHz * r;
      const long double k = f0 / d.CornerHz * warped;
      const long double n = 1 + k / q + k * k;
      const long double a1 = 2 * (k * k - 1) / n;
      const long double a2 = (1 - k / q + k * k) / n;
      const long double peak = std::sqrt(1 - 1 / (4 * q * q)) / q;
      const long double b0 = low ? peak * k * k / n : peak / n;
      return {b0, kSecondOrderGain, low ? 2 * b0 : -2 * b0, a1, b0, a2};
    }
    case K::Identity:
      break;
  }
  return {1, 1, 0, 0, 0, 0};
}

TSectionCoefficients Design(const TSectionDesign& design, std::uint32_t sampleRate) {
  const TExactCoefficients c = DesignExact(design, sampleRate);
  return {static_cast<double>(c.b0), static_cast<double>(c.gain), static_cast<double>(c.b1),
          static_cast<double>(c.a1), static_cast<double>(c.b2),   static_cast<double>(c.a2)};
}

double HalfUnitOfLastDigit(double value) {
  if (value == 0) return 0;
  // The shortest form that reads back as value, in scientific notation:
  // "4.14329e-02" has its last digit at 10^(-2 - 5).
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  const std::string form(text, result.ptr);
  const std::size_t e = form.find('e');
  const std::size_t point = form.find('.');
  const int decimals = point == std::string::npos ? 0 : static_cast<int>(e - point - 1);
  const int exponent = std::stoi(form.substr(e + 1));
  return 0.5 * std::pow(10.0, exponent - decimals);
}

std::vector<TTableEntry> SpecifiedEntries() {
  return Entries(kSplitCoefficients, kWeightingChains, kSpecifiedRates, kSpecifiedRateCount);
}

std::vector<TTableEntry> DerivedEntries() {
  return Entries(kDerivedSplitCoefficients, kDerivedWeightingChains, kDerivedRates,
                 kDerivedRateCount);
}

std::vector<std::string> RuleMisses(const TTableEntry& entry) {
  const TExactCoefficients rule = DesignExact(entry.Design, entry.SampleRate);
  const double given[6] = {entry.Given.b0, entry.Given.gain, entry.Given.b1,
                           entry.Given.a1, entry.Given.b2,   entry.Given.a2};
  const long double derived[6] = {rule.b0, rule.gain, rule.b1, rule.a1, rule.b2, rule.a2};
  const char* const names[6] = {"b0", "gain", "b1", "a1", "b2", "a2"};
  std::vector<std::string> misses;
  for (int k = 0; k < 6; ++k) {
    const long double off = std::fabs(static_cast<long double>(given[k]) - derived[k]);
    if (off <= HalfUnitOfLastDigit(given[k])) continue;
    char text[200];
    std::snprintf(text, sizeof text, "%s at %u Hz (%s): %s is %.17g, the rule gives %.17Lg",
                  entry.Name.c_str(), entry.SampleRate, Describe(entry.Design).c_str(), names[k],
                  given[k], derived[k]);
    misses.push_back(text);
  }
  return misses;
}

std::string DerivedHeaderText() {
  std::string rates;
  for (int r = 0; r < kDerivedRateCount; ++r) {
    rates += (r == 0 ? "" : ", ") + std::to_string(kDerivedRates[r]);
  }
  std::string text =
      "// SPDX-License-Identifier: GPL-3.0-or-later\n"
      "// Written by zorv-derive-coefficients (tools/derive_coefficients.cpp) from the\n"
      "// design rule in tools/coefficient_rule.h, which gives every coefficient of\n"
      "// the 44.1, 48 and 96 kHz tables to within half a unit of its last digit.\n"
      "// Do not edit: run the program again. Values at 17 significant digits, in the\n"
      "// order b0, gain, b1, a1, b2, a2.\n"
      "#pragma once\n"
      "\n"
      "#include \"dsp/filter_section.h\"\n"
      "#include \"dsp/sample_rates.h\"\n"
      "#include \"dsp/split_coefficients.h\"\n"
      "#include \"dsp/weighting_coefficients.h\"\n"
      "\n"
      "namespace zorv {\n"
      "\n"
      "// clang-format off\n"
      "\n"
      "// [section][" +
      rates +
      " Hz]\n"
      "inline constexpr TSectionCoefficients "
      "kDerivedSplitCoefficients[kSplitSections][kDerivedRateCount] = {\n";
  for (int s = 0; s < kSplitSections; ++s) {
    text += "    // " + SplitName(s) + ": " + Describe(kSplitDesigns[s]) + "\n    {\n";
    for (int r = 0; r < kDerivedRateCount; ++r) {
      text += "        " + SectionText(Design(kSplitDesigns[s], kDerivedRates[r])) + ",\n";
    }
    text += "    },\n";
  }
  text +=
      "};\n"
      "\n"
      "// [band A..D][" +
      rates +
      " Hz]; band A's Filter2 and band D's\n"
      "// Filter4 are not loaded (the identity); band D's Filter3 is the identity\n"
      "// where 30 kHz does not lie below half the rate.\n"
      "inline constexpr TWeightingChain kDerivedWeightingChains[4][kDerivedRateCount] = {\n";
  for (int band = 0; band < 4; ++band) {
    text += std::string("    // band ") + kBandNames[band] + "\n    {\n";
    for (int r = 0; r < kDerivedRateCount; ++r) {
      text += "        // " + std::to_string(kDerivedRates[r]) + " Hz\n        {\n";
      for (int f = 0; f < 5; ++f) {
        const TSectionDesign& design = kWeightingDesigns[band][f];
        const bool above =
            design.Kind != K::Identity && !(design.CornerHz < kDerivedRates[r] / 2.0L);
        text += "            " + SectionText(Design(design, kDerivedRates[r])) + ",  // Filter" +
                std::to_string(f + 1) + ": " + (above ? "identity, the " : "") + Describe(design) +
                (above ? " lies above half the rate" : "") + "\n";
      }
      text += "        },\n";
    }
    text += "    },\n";
  }
  text +=
      "};\n"
      "\n"
      "// clang-format on\n"
      "\n"
      "}  // namespace zorv\n";
  return text;
}

}  // namespace zorv::rule
