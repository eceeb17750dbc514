// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder's reference arithmetic: every formula is evaluated with a 64-bit
// significand and rounded to double exactly where its result is stored.
#pragma once

#include <limits>

namespace zorv {

using Extended = long double;

#ifndef ZORV_NO_EXTENDED
static_assert(std::numeric_limits<Extended>::digits == 64,
              "The reference decoder needs a long double with a 64-bit significand "
              "(80-bit x87 extended precision, as on x86-64 Linux). This platform's "
              "long double is different, so its decodes would not match bit for bit.");
#endif

// Rounds an extended-precision value to the double that is stored. Every call
// marks one rounding point of the decoder's contract.
inline double Store(Extended value) {
  return static_cast<double>(value);
}

}  // namespace zorv
