// The command line of zorv-decode, parsed into plain settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::cli {

struct TCliOptions {
  std::vector<std::string> Inputs;
  std::optional<std::string> Output;    // -o: one input only
  double LevelDb = -10.0;               // -l: -30.0 .. 0.0 in steps of 0.1
  std::uint32_t DebugBand = 0;          // --debug-band: 0 none, 1..4 = A..D
  bool Force = false;                   // -f: overwrite an existing output
  unsigned Jobs = 0;                    // -j: 0 = one per core
  std::optional<std::string> MeterLog;  // --meter-log: one input only
  // --exact: the extended-precision reference arithmetic instead of the
  // fastest path (same output files, several times slower).
  bool Exact = false;
  bool Quiet = false;
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

}  // namespace zorv::cli
