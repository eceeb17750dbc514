// The lane kernel built for the Avx512 instruction set.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "dsp/fast/lane_state.h"

// The kernel passes vectors between its own functions only.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {
#include "dsp/fast/lane_kernel.inl"
}  // namespace

namespace zorv::fast {

void DecodeLanesAvx512x4(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<4, 1>(state, block);
}
// Two channels as two groups of four lanes: on the processors measured so far
// (AVX-512 executed as two 256-bit halves) this beats one vector of eight.
void DecodeLanesAvx512x8(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<4, 2>(state, block);
}

}  // namespace zorv::fast
