// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder core's fast paths: the state of a job's channels is laid out
// in lanes, decoded by the kernel of the chosen instruction set, and laid back.
#include "dsp/fast/lane_state.h"
#include "dsp/zorv_calc.h"

namespace zorv {
namespace {

using TKernel = void (*)(const fast::TLaneBlock&);

TKernel KernelFor(TDecodePath path) {
  switch (path) {
    case TDecodePath::Avx512:
      return fast::DecodeLanesAvx512;
    case TDecodePath::Avx2:
      return fast::DecodeLanesAvx2;
    default:
      return fast::DecodeLanesPortable;
  }
}

}  // namespace

void TZorvCalc::RunLanes(TBlockPlan& plan, int first, int channels) {
  fast::TLaneBlock block{};
  block.Channels = channels;
  for (int g = 0; g < channels; ++g) {
    TChannelDecoder& decoder = Decoders_[first + g];
    decoder.PackLanes();
    block.State[g] = &decoder.Lanes;
    block.In[g] = plan.In[first + g];
    block.Out[g] = plan.Out[first + g];
    block.MeterVolts[g] = plan.Meters[first + g].At;
  }
  double* const debugOut = first == 0 ? plan.DebugOut : nullptr;
  block.DebugVolts = debugOut;
  block.DebugLane = plan.DebugBand;
  block.Level = plan.Level;
  block.FeedbackLaw = FeedbackLaw_;
  block.Count = plan.Count;

  KernelFor(plan.Path)(block);

  for (int g = 0; g < channels; ++g) Decoders_[first + g].UnpackLanes();
  if (debugOut != nullptr) {
    // The voltages as samples, rounded as the reference rounds them.
    for (std::uint32_t i = 0; i < plan.Count; ++i) {
      debugOut[i] = Store(Extended{debugOut[i]} / kDebugFullScale);
    }
  }
}

}  // namespace zorv
