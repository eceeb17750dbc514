// SPDX-License-Identifier: GPL-3.0-or-later
// The sample rates the decoder has coefficient tables for.
#pragma once

#include <cstdint>

namespace zorv {

inline constexpr int kRateCount = 3;

// Index into the per-rate coefficient tables: 44100, 48000, 96000 Hz give
// 0, 1, 2; any other rate gives -1 (no coefficients).
constexpr int RateIndex(std::uint32_t sampleRate) {
  switch (sampleRate) {
    case 44100:
      return 0;
    case 48000:
      return 1;
    case 96000:
      return 2;
    default:
      return -1;
  }
}

}  // namespace zorv
