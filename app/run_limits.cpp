// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_limits.h"

namespace zorv {

void StartLimitCount(TLimitCounter& counter, const TDecodeRun& run, TGainHistory* marks) {
  counter.Start(
      run.Input().Channels(), run.Input().SampleRate(), 0, TZorvCalc::kMeterInterval,
      [&run](int channel) { return run.BlockInHand(channel); }, marks);
}

}  // namespace zorv
