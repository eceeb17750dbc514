// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic of a plugin instance: the path ZORV_ARITHMETIC forces (for
// tests and benchmarks), read when the instance is made, else the fastest.
#pragma once

#include <cstdlib>

#include "app/arithmetic.h"

namespace zorv {

inline TDecodePath DefaultArithmetic() {
  return ArithmeticOf(ParseRunEnvironment(std::getenv(kArithmeticVariable), nullptr, nullptr));
}

}  // namespace zorv
