// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder core's fast paths: the state of a job's channels is laid out
// in lanes, decoded by the kernel of the chosen instruction set, and laid back.
#include "dsp/fast/kernel_for.h"
#include "dsp/zorv_calc.h"

namespace zorv {

fast::TKernel fast::KernelFor(TDecodePath path) {
  switch (path) {
#if defined(__x86_64__)
    case TDecodePath::Avx512:
      return DecodeLanesAvx512;
    case TDecodePath::Avx2:
      return DecodeLanesAvx2;
#endif
    default:
      return DecodeLanesPortable;
  }
}

void TZorvCalc::DecodeLanes(TBlock& block, int first, int channels, fast::TLaneStage stage) {
  fast::TLaneBlock lanes{};
  lanes.Channels = channels;
  lanes.Stage = stage;
  for (int g = 0; g < channels; ++g) {
    TChannelDecoder& decoder = Decoders_[first + g];
    decoder.PackLanes(stage);
    if (stage != fast::TLaneStage::Whole) lanes.Weighted[g] = block.WeightedOf(first + g);
    lanes.State[g] = &decoder.Lanes;
    lanes.In[g] = block.In[first + g];
    lanes.Out[g] = block.Out[first + g];
    lanes.MeterVolts[g] = block.Meters[first + g].At;
    lanes.Level[g] = block.Level[first + g];
  }
  double* const debugOut = first == 0 ? block.DebugOut : nullptr;
  lanes.DebugVolts = debugOut;
  lanes.DebugLane = block.DebugBand;
  lanes.Count = block.Count;

  fast::KernelFor(block.Path)(lanes);

  for (int g = 0; g < channels; ++g) Decoders_[first + g].UnpackLanes(stage);
  if (debugOut != nullptr) {
    // The voltages as samples, rounded as the reference rounds them.
    for (std::uint32_t i = 0; i < block.Count; ++i) {
      debugOut[i] = Store(Extended{debugOut[i]} / kDebugFullScale);
    }
  }
}

}  // namespace zorv
