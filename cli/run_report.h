// SPDX-License-Identifier: GPL-3.0-or-later
// The --report file: one JSON object per input, one per line (JSON Lines).
#pragma once

#include <string>

#include "cli/decode_job.h"

namespace zorv::cli {

// {"input":..., "output":..., "status":"decoded", "message":..., "rate":44100,
//  "channels":2, "format":"int16", "output_format":"int16", "frames":...,
//  "seconds":..., "reference_level_db":-10.0, "reference_levels_db":[-10.0,-10.0],
//  "arithmetic":"avx2",
//  "clipped_samples":0, "peak_dbfs":-3.2, "elapsed_ms":..., "md5":"...",
//  "floor_seconds":[[0.0,0.0,1.2,3.4],[...]], "ceiling_seconds":[[...],[...]],
//  "silence_seconds":[0.0,0.0]}
// and a newline; floor and ceiling per channel, bands A..D: the time a band
// sat at its -32 dB floor or +10 dB ceiling after the first second and
// outside digital silence (which silence_seconds gives per channel); the reference level is the one
// the input was decoded with (its own with --level tone): reference_levels_db
// gives each channel's, reference_level_db the one they share (null when the
// channels have levels of their own). Values a refused input does not have are
// null; names that are not UTF-8 have their stray bytes replaced by U+FFFD,
// and their bytes in hex in "input_bytes" (and "output_bytes") after
// "output", so that two such names stay apart and each can be found again.
std::string ReportLine(const std::string& input, const TJobResult& result);

}  // namespace zorv::cli
