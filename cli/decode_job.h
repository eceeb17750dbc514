// One input of zorv-decode: checked in full, then decoded into its output by a
// processing run of its own (as the first run of a freshly started program).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/progress.h"

namespace zorv::cli {

// The command line's own messages (path appended).
inline constexpr std::string_view kOutputExists = "Output file exists (use -f to overwrite): ";
inline constexpr std::string_view kOutputTwice = "Output file already used for another input: ";
inline constexpr std::string_view kNotDecoded = "Not decoded, interrupted: ";
inline constexpr std::string_view kCannotWrite = "Cannot write: ";
inline constexpr std::string_view kLogIsOutput = "Cannot use the output file as meter log: ";

struct TJobSettings {
  double LevelDb = -10.0;
  std::uint32_t DebugBand = 0;
  bool Force = false;
  std::optional<std::string> MeterLog;
  bool Exact = false;
  bool ChannelThreads = false;  // decode the second channel on a thread of its own
};

struct TJobResult {
  bool Decoded = false;  // the whole input went into a complete output
  std::string Report;    // lines for stderr
};

// Refuses before anything is created when the input is unusable, the output
// is the input or exists (without Force), or the stop flag is set. Once
// decoding, the stop flag aborts the run like the window's Abort.
TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop);

}  // namespace zorv::cli
