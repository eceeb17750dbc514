// SPDX-License-Identifier: GPL-3.0-or-later
// The bound that README, --help and the manual page state for a float sample
// of a fast path against --exact: one unit in the last place, and for a
// sample below -120 dBFS (where bands that nearly cancel keep their rounding
// error) one unit in the last place of a float at -120 dBFS, 2^-43 of full
// scale.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zorv::test {

inline constexpr double kQuietFloat = 1e-6;  // -120 dBFS, within [2^-20, 2^-19)
inline constexpr double kQuietFloatError = 0x1p-43;

// Floats in the order of their values as integers: neighbours differ by one,
// across zero too.
inline std::int64_t OrderedFloat(float f) {
  std::int32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits < 0 ? -static_cast<std::int64_t>(bits & 0x7FFFFFFF) : bits;
}

inline std::int64_t UnitsApart(float a, float b) {
  return std::llabs(OrderedFloat(a) - OrderedFloat(b));
}

inline bool WithinStatedFloatBound(float fast, float reference) {
  if (std::fabs(reference) < kQuietFloat) {
    return std::fabs(static_cast<double>(fast) - reference) <= kQuietFloatError;
  }
  return UnitsApart(fast, reference) <= 1;
}

}  // namespace zorv::test
