// The command line of zorv-decode, parsed into plain settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::cli {

struct TCliOptions {
  std::vector<std::string> Inputs;
  std::optional<std::string> Output;     // -o: one input only; a name ending in .wav
  std::optional<std::string> OutputDir;  // -d: the outputs go into this folder
  double LevelDb = -10.0;                // -l: -30.0 .. 0.0 in steps of 0.1
  std::uint32_t DebugBand = 0;           // --debug-band: 0 none, 1..4 = A..D
  bool Force = false;                    // -f: replace an existing output
  bool SkipExisting = false;             // --skip-existing: an existing output is skipped
  unsigned Jobs = 0;                     // -j: 0 = one per core
  std::optional<std::string> MeterLog;   // --meter-log: one input only
  std::optional<std::string> Report;     // --report: JSON Lines, one object per input
  // --exact: the extended-precision reference arithmetic instead of the
  // fastest path (same output files, several times slower).
  bool Exact = false;
  bool Float = false;  // --float: 32-bit float output whatever the input's format
  bool Quiet = false;  // -q: errors and warnings only
  bool Help = false;
  bool Version = false;
};

struct TParseResult {
  TCliOptions Options;
  std::string Error;  // empty when the command line is usable
  bool Ok() const { return Error.empty(); }
};

// args: the words after the program name. Options may stand before or after
// the inputs; "--" ends the options.
TParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// True when name ends in ".wav", in any case.
bool HasWavExtension(const std::string& name);

}  // namespace zorv::cli
