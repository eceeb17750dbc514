// SPDX-License-Identifier: GPL-3.0-or-later
// The limit count fed from a decode run: the block in hand and its input.
#pragma once

#include "app/decode_run.h"
#include "app/limit_counter.h"

namespace zorv {

// Starts counter for the run about to decode (its input open); the counter
// then asks run for the block in hand at every meter point.
void StartLimitCount(TLimitCounter& counter, const TDecodeRun& run, TGainHistory* marks);

}  // namespace zorv
