// SPDX-License-Identifier: GPL-3.0-or-later
// Programmes of many channels for the decoder's tests, and a bitwise
// comparison of decoded signals.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/support/test_signal.h"

namespace zorv::test {

// Channel c's programme: its own noise and its own swell in every band.
inline std::vector<std::vector<double>> ChannelProgrammes(std::uint32_t channels,
                                                          std::uint32_t rate, std::size_t frames) {
  std::vector<std::vector<double>> in;
  for (std::uint32_t c = 0; c < channels; ++c) {
    in.push_back(Programme(rate, frames, 1000 + c, 0.1 + 0.5 * (c % 5) / 4));
  }
  return in;
}

inline bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace zorv::test
