// Which arithmetic a run's decoder uses.
#pragma once

#include "dsp/decode_path.h"

namespace zorv {

// Names a path ("extended", "portable", "avx2", "avx512") to force it, for
// tests and benchmarks.
inline constexpr const char* kArithmeticVariable = "ZORV_ARITHMETIC";

// The path of the environment variable when it names one, else the fastest
// path this processor runs. Every path gives the same output files as the
// extended-precision reference; the reference itself is the slowest.
TDecodePath DefaultArithmetic();

}  // namespace zorv
