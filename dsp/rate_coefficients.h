// SPDX-License-Identifier: GPL-3.0-or-later
// The coefficients of a rate, from the tables the decoder has always had
// (44.1, 48, 96 kHz) or from the derived ones (32, 88.2, 176.4, 192 kHz).
#pragma once

#include "dsp/derived_coefficients.h"
#include "dsp/filter_section.h"
#include "dsp/sample_rates.h"
#include "dsp/split_coefficients.h"
#include "dsp/weighting_coefficients.h"

namespace zorv {

// rateIndex: RateIndex of the rate, 0 .. kRateCount - 1.
constexpr const TSectionCoefficients& SplitCoefficientsAt(int section, int rateIndex) {
  return rateIndex < kSpecifiedRateCount
             ? kSplitCoefficients[section][rateIndex]
             : kDerivedSplitCoefficients[section][rateIndex - kSpecifiedRateCount];
}

constexpr const TWeightingChain& WeightingChainAt(int band, int rateIndex) {
  return rateIndex < kSpecifiedRateCount
             ? kWeightingChains[band][rateIndex]
             : kDerivedWeightingChains[band][rateIndex - kSpecifiedRateCount];
}

}  // namespace zorv
