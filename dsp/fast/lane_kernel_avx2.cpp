// The lane kernel built for the Avx2 instruction set.
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

void DecodeLanesAvx2x4(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<4, 1>(state, block);
}
void DecodeLanesAvx2x8(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<4, 2>(state, block);
}

}  // namespace zorv::fast
