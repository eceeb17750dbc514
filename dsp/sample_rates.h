// SPDX-License-Identifier: GPL-3.0-or-later
// The sample rates the decoder has coefficient tables for.
#pragma once

#include <cstdint>

namespace zorv {

// 44100, 48000 and 96000 Hz: the tables the decoder has always had
// (split_coefficients.h, weighting_coefficients.h).
inline constexpr int kSpecifiedRateCount = 3;
// The rates whose tables the design rule behind those gives
// (derived_coefficients.h, written by tools/derive_coefficients.cpp).
inline constexpr int kDerivedRateCount = 4;
inline constexpr std::uint32_t kDerivedRates[kDerivedRateCount] = {32000, 88200, 176400, 192000};
inline constexpr int kRateCount = kSpecifiedRateCount + kDerivedRateCount;

// Every rate the decoder takes, in ascending order.
inline constexpr std::uint32_t kSupportedRates[kRateCount] = {32000, 44100,  48000, 88200,
                                                              96000, 176400, 192000};

// Index into the per-rate coefficient tables: 44100, 48000, 96000 Hz give
// 0, 1, 2; 32000, 88200, 176400, 192000 Hz give 3 to 6 (the derived tables,
// from index kSpecifiedRateCount on); any other rate gives -1 (no
// coefficients).
constexpr int RateIndex(std::uint32_t sampleRate) {
  switch (sampleRate) {
    case 44100:
      return 0;
    case 48000:
      return 1;
    case 96000:
      return 2;
    default:
      break;
  }
  for (int k = 0; k < kDerivedRateCount; ++k) {
    if (kDerivedRates[k] == sampleRate) return kSpecifiedRateCount + k;
  }
  return -1;
}

constexpr bool IsSupportedRate(std::uint32_t sampleRate) {
  return RateIndex(sampleRate) >= 0;
}

}  // namespace zorv
