// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a decode as one JSON object on one line: what the command
// line's --report file holds per input (JSON Lines) and what the window's
// record copies.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/channel_levels.h"
#include "app/decode_run.h"
#include "app/level_range.h"
#include "app/limit_counter.h"
#include "app/reference_tone.h"
#include "app/run_warning.h"

namespace zorv {

// What a decode found and did, for the record.
struct TDecodeFacts {
  std::uint32_t SampleRate = 0;
  std::uint32_t Channels = 0;
  std::string Format;            // of the input: "int16", "int24", "int32", "float32"
  std::string OutputFormat;      // of the output
  std::uint64_t Frames = 0;      // written
  std::string Arithmetic;        // "extended", "portable", "avx2", "avx512"
  std::vector<double> LevelsDb;  // the reference level of each channel decoded with
  std::uint64_t ClippedSamples = 0;
  std::optional<double> PeakDbfs;  // none for silence
  std::int64_t ElapsedMs = 0;
  std::optional<std::string> Md5;           // of the output's audio data, when it was kept
  std::string InputMd5;                     // of the input's audio data as it was read
  std::optional<std::uint64_t> InputSize;   // bytes of the input file (none for a stream)
  std::optional<std::uint64_t> OutputSize;  // bytes of the kept output file
  std::vector<TLevelChange> Levels;         // the level history of the decode
  // Per channel and band, the time at the floor and at the ceiling (after
  // the first second, outside digital silence), and each channel's silence.
  TLimitTimes Limits;
  // Of a decode split along time (none otherwise): segments, the seconds
  // each joined one took to agree, those that never did, seconds redone.
  int Segments = 0;
  std::vector<double> JoinedAfter;
  int NotJoined = 0;
  double RedoneSeconds = 0.0;
};

// "4 segments, joined after 6.1, 7.3, 5.9 s; 19.3 s decoded twice" (and
// how many never joined); empty for a decode not split along time.
std::string TimeSplitText(int segments, const std::vector<double>& joinedAfter, int notJoined,
                          double redoneSeconds);

// Bytes of the file at path; none when it is not a regular file.
std::optional<std::uint64_t> FileBytes(const std::string& path);

// "int16", "int24", "int32", "float32"
std::string FormatName(std::uint32_t tag, std::uint32_t bits);

// The facts of a decode that ran, as its result and the limit count give
// them; the input's format tag and bits name its format; the output is
// float or of the input's format. The MD5 and the sizes are the caller's
// to set (they depend on what was kept).
TDecodeFacts DecodeFactsOf(const TRunResult& decoded, std::uint32_t formatTag,
                           std::uint32_t bitsPerSample, bool floatOutput,
                           const TLimitCounter& limits);

// One decode's record.
struct TReportEntry {
  std::string Input;
  std::optional<std::string> Output;  // the file that holds the result (a partial one too)
  std::string Status;                 // "decoded", "skipped", "refused", "failed", "interrupted"
  std::string Message;
  std::vector<TRunWarning> Warnings;
  std::optional<TDecodeFacts> Facts;  // once the decode began
  // A part of a tape decoded on from the part before: that part's input and
  // its output's MD5.
  std::optional<std::string> ContinuedFrom;
  std::string ContinuedFromMd5;
  std::string Tool;  // "zorv-decode 0.9.1"
  std::chrono::system_clock::time_point Started;
  std::chrono::system_clock::time_point Finished;
};

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
std::string ReportLine(const TReportEntry& entry);

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

}  // namespace zorv
