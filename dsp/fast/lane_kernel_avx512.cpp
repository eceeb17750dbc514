// SPDX-License-Identifier: GPL-3.0-or-later
// The lane kernel built for the AVX-512 instruction set.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "dsp/fast/lane_state.h"

// The kernel passes vectors between its own functions only.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <immintrin.h>

#define ZORV_LANE_AVX 1

namespace {
#include "dsp/fast/lane_kernel.inl"
}  // namespace

namespace zorv::fast {

void DecodeLanesAvx512(const TLaneBlock& block) {
  DecodeAnyLanes(block);
}

}  // namespace zorv::fast
