// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of zorv-decode, parsed into plain settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dsp/reference_level_range.h"

namespace zorv::cli {

struct TCliOptions {
  std::vector<std::string> Inputs;
  std::optional<std::string> Output;     // -o: one input only; a name ending in .wav or .flac
  std::optional<std::string> OutputDir;  // -d: the outputs go into this folder
  // --format: "wav" or "flac", the type of the outputs named from their
  // inputs (-d and the default name); none: the input's own extension.
  std::optional<std::string> Format;
  double LevelDb = kDefaultLevelDb;  // -l: kMinLevelDb .. kMaxLevelDb in tenths
  // -l DB,DB,...: one level per channel, from channel 1 (an input with
  // another number of channels is refused). Empty: every channel at LevelDb.
  std::vector<double> ChannelLevelsDb;
  // -l N=DB (repeatable): channel N (from 1) at its own level, over the rest.
  std::vector<std::pair<std::uint32_t, double>> ChannelLevelOverrides;
  bool LevelFromTone = false;  // -l tone: each input's measured level
  // --per-channel (with -l tone): each channel at the level of its own tone.
  bool PerChannel = false;
  // --fallback mean: a channel without a usable tone takes the mean of those
  // with one (otherwise the input is refused).
  bool FallbackMean = false;
  bool MeasureLevel = false;  // --measure-level: measure, decode nothing
  // --tone-start, --tone-length: where the reference tone is looked for, in
  // seconds from the start of the input.
  double ToneStartSeconds = 0.0;
  double ToneLengthSeconds = 60.0;
  std::uint32_t DebugBand = 0;          // --debug-band: 0 none, 1..4 = A..D
  bool Force = false;                   // -f: replace an existing output
  bool SkipExisting = false;            // --skip-existing: an existing output is skipped
  unsigned Jobs = 0;                    // -j: 0 = one per core
  std::optional<std::string> MeterLog;  // --meter-log: one input only
  std::optional<std::string> Report;    // --report: JSON Lines, one object per input ("-": stdout)
  std::optional<std::string> Plot;      // --plot: the band gains as PNG, one input only
  // --exact: the extended-precision reference arithmetic instead of the
  // fastest path (same output files, several times slower).
  bool Exact = false;
  bool Float = false;  // --float: 32-bit float output whatever the input's format
  // --canonical-header: the 44-byte header of format fields and data only,
  // whatever other chunks the input has.
  bool CanonicalHeader = false;
  // --continue: the inputs are consecutive parts of one tape, decoded in the
  // order given, each from the state the decode of the one before ended in.
  bool Continue = false;
  bool Quiet = false;  // -q: errors and warnings only
  // --strict: a decode with a warning fails, and its output is not kept.
  bool Strict = false;
  bool Help = false;
  bool Version = false;
};

struct TParseResult {
  TCliOptions Options;
  std::string Error;  // empty when the command line is usable
  bool Ok() const { return Error.empty(); }
};

// args: the words after the program name. Options may stand before or after
// the inputs; "--" ends the options. "-" as the input is standard input and
// needs -o; "-o -" is standard output.
TParseResult ParseCommandLine(const std::vector<std::string>& args);

// The name that stands for standard input or output.
inline constexpr const char* kStandardStream = "-";

std::string UsageText();

// True when name ends in ".wav", in any case.
bool HasWavExtension(const std::string& name);
// True when name ends in ".flac", in any case.
bool HasFlacExtension(const std::string& name);
// True when name ends in extension (".png", say), in any case.
bool HasExtension(const std::string& name, const std::string& extension);

}  // namespace zorv::cli
