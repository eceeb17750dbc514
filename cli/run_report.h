// SPDX-License-Identifier: GPL-3.0-or-later
// The --report file: one JSON object per input, one per line (JSON Lines).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/level_range.h"
#include "app/reference_tone.h"
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
// Then "warnings" after "message": [{"code":"clipped","message":"clipped 12
// samples (peak +0.4 dBFS)"}, ...], empty for a clean decode; "levels" after
// "reference_level_db": per channel the level from each frame on,
// [[{"frame":0,"level_db":-10.0}], ...]; "input_md5" (of the input's audio
// data as it was read), "input_size" and "output_size" (bytes of the files;
// null for a stream) after "md5"; and last "tool" ("zorv-decode 0.9.1"),
// "started" and "finished" (UTC, "2026-12-09T10:41:07.123Z").
std::string ReportLine(const std::string& input, const TJobResult& result);

// --measure-level --report: one object per input, {"input", "status"
// ("measured", "no_level" or "refused"), "message" (the printed line),
// "search_start_seconds", "search_end_seconds", "channels": [{"channel":1,
// "frequency_hz":1000, "level_dbfs":-14.32, "start_seconds":2.0,
// "end_seconds":32.0}, ...] (nulls in a channel without a tone),
// "suggested_level_db" (null when none), "no_level_reason" (null,
// "no_tone", "out_of_range" or "unreadable"), "tone_level_db" (the level out
// of range), "channel_spread_db", "level_range_db": {"lowest","highest"},
// "tool", "started", "finished"}. interrupted: the status "interrupted"
// (nothing measured, no reason for a level).
std::string MeasurementReportLine(const std::string& input, const TReferenceTone& tone,
                                  const std::optional<TLevelRange>& range,
                                  const std::string& message,
                                  std::chrono::system_clock::time_point started,
                                  std::chrono::system_clock::time_point finished,
                                  bool interrupted = false);

// "2026-12-09T10:41:07.123Z"
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// A channel's level from a frame on.
struct TChannelLevel {
  std::uint64_t Frame = 0;
  double LevelDb = 0.0;
};
// The level history of each channel of a decode, from the run's history of
// all channels' levels.
std::vector<std::vector<TChannelLevel>> LevelsPerChannel(const std::vector<TLevelChange>& history);

}  // namespace zorv::cli
