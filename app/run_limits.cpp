// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_limits.h"

#include <algorithm>

namespace zorv {

TLimitCounter::TBlockInHand BlockInHand(const TProcessingRun& run, int channel) {
  TLimitCounter::TBlockInHand block;
  block.FirstFrame = run.BlockFirstFrame();
  // The frames read up to the end of the block in hand: its data, without
  // what a short last block holds behind it.
  const std::uint64_t read = run.FramesRead();
  block.Frames = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(read > block.FirstFrame ? read - block.FirstFrame : 0,
                              static_cast<std::uint64_t>(std::max(run.FramesPerBlock(), 0))));
  block.Samples = run.In(static_cast<std::uint32_t>(channel));
  return block;
}

void StartLimitCount(TLimitCounter& counter, TProcessingRun& run, TGainHistory* marks) {
  counter.Start(
      run.Reader().Channels(), run.Reader().SampleRate(), 0, TZorvCalc::kMeterInterval,
      [&run](int channel) { return BlockInHand(run, channel); }, marks);
}

}  // namespace zorv
