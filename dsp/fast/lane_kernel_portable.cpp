// The lane kernel built for the Portable instruction set.
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

void DecodeLanesPortable4(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<4, 1>(state, block);
}
void DecodeLanesPortable8(TLaneState& state, const TLaneBlock& block) {
  DecodeLanes<8, 1>(state, block);
}

}  // namespace zorv::fast

namespace zorv::fast {

double LanePow10(double x) {
  TLanes<4>::V v = TLanes<4>::Splat(x);
  return Pow10<4>(v)[0];
}

}  // namespace zorv::fast
