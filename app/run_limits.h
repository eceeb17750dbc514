// SPDX-License-Identifier: GPL-3.0-or-later
// The limit count fed from a processing run: the block in hand and its input.
#pragma once

#include "app/limit_counter.h"
#include "app/processing_run.h"

namespace zorv {

// The block whose meter points the decoder hands over, as the run holds it
// while it finishes the block: its first frame, its frames of data, the
// input samples of channel.
TLimitCounter::TBlockInHand BlockInHand(const TProcessingRun& run, int channel);

// Starts counter for the run about to be started (its reader open); the
// counter then asks run for every block.
void StartLimitCount(TLimitCounter& counter, TProcessingRun& run, TGainHistory* marks);

}  // namespace zorv
