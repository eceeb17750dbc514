// SPDX-License-Identifier: GPL-3.0-or-later
// One input of zorv-decode: checked in full, then decoded into its output by a
// decode run of its own (as the first run of a freshly started program).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/continuation.h"
#include "app/decode_run.h"
#include "app/limit_counter.h"
#include "app/reference_tone.h"
#include "app/run_report.h"
#include "app/run_settings.h"
#include "app/run_warning.h"
#include "app/worker_pool.h"
#include "cli/progress.h"

namespace zorv::cli {

// The command line's own messages (path appended).
inline constexpr std::string_view kOutputExists = "Output file exists (use -f to overwrite): ";
inline constexpr std::string_view kOutputTwice = "Output file already used for another input: ";
inline constexpr std::string_view kNotDecoded = "Not decoded, interrupted: ";
inline constexpr std::string_view kCannotWrite = "Cannot write: ";
inline constexpr std::string_view kLogIsOutput = "Cannot use the output file as meter log: ";
inline constexpr std::string_view kOutputIsLink = "Output is a symbolic link: ";
inline constexpr std::string_view kSkippedExisting = "Skipped, output file exists: ";
inline constexpr std::string_view kInputIsTerminal = "Cannot read a WAV stream from a terminal: ";
inline constexpr std::string_view kOutputIsTerminal = "Cannot write a WAV stream to a terminal: ";
inline constexpr std::string_view kStreamNotTakenBack =
    "what went to standard output cannot be taken back: discard it";

// Refusals of a level list that does not fit the input (path appended).
inline constexpr std::string_view kLevelsNotChannels = "Levels do not match the channels: ";

struct TJobSettings {
  double LevelDb = -10.0;
  // One level per channel (an input with another number of channels is
  // refused); empty: every channel at LevelDb.
  std::vector<double> ChannelLevelsDb;
  // Channels (from 1) at a level of their own, over the levels above.
  std::vector<std::pair<std::uint32_t, double>> ChannelLevelOverrides;
  // Each input decoded at the level of its own reference tone, looked for in
  // this stretch; an input without a usable tone is refused.
  bool LevelFromTone = false;
  // With LevelFromTone: each channel at the level of its own tone; a channel
  // without one refuses the input, or with FallbackMean takes the mean of
  // the channels with one.
  bool PerChannel = false;
  bool FallbackMean = false;
  TToneStretch ToneStretch;
  std::uint32_t DebugBand = 0;
  bool Force = false;
  bool SkipExisting = false;
  std::optional<std::string> MeterLog;
  std::optional<std::string> Plot;  // the band gains as a PNG picture
  bool Exact = false;
  // The arithmetic otherwise (forced for tests); none: the fastest.
  std::optional<TDecodePath> Arithmetic;
  // Off: no block decoded in two stages (for benchmarks).
  bool StageSplit = true;
  // Off: no file decoded in segments along time (for benchmarks).
  bool TimeSplit = true;
  bool Float = false;
  bool CanonicalHeader = false;
  // A decode with a warning fails, and its output is not kept (what went to
  // standard output cannot be taken back).
  bool Strict = false;
  // The MD5 of each input's and output's audio data in its result (the report states it).
  bool Digest = true;
  // The worker threads that decode the channels, shared by the files decoded
  // in parallel; null: each file on its own thread.
  TWorkerPool* Pool = nullptr;
  // Null: the decode begins from the decoder's start-up state. Otherwise
  // the parts of the tape so far (--continue): the input goes on from where
  // the decode of the part before ended, and is refused when it cannot.
  const TContinuation* Continuation = nullptr;
};

enum class TJobStatus { Decoded, Skipped, Refused, Failed, Interrupted };
// "decoded", "skipped", "refused", "failed", "interrupted"
std::string_view JobStatusName(TJobStatus status);

struct TJobResult {
  TJobStatus Status = TJobStatus::Refused;
  // The report for stderr, line by line, unescaped: "in -> out" and the
  // status first for a decode that began, else the refusal's message.
  std::vector<std::string> Lines;
  // Lines that are neither the "in -> out" line nor the elapsed time: the
  // report's message.
  std::vector<std::string> Message;
  bool Warned = false;                // a line warns (clipping, a short input)
  std::vector<TRunWarning> Warnings;  // the same warnings with their codes
  std::optional<std::string> Output;  // the file that holds the result (a partial one too)
  std::optional<TDecodeFacts> Facts;  // once the decode began
  // When the job began and ended (set by the caller; a job decided before
  // any decode begins and ends at once).
  std::chrono::system_clock::time_point Started;
  std::chrono::system_clock::time_point Finished;
  // Where the decoder's channels ended, for the next part of a tape, and
  // the input's format (once it was opened).
  std::shared_ptr<const TDecoderState> EndState;
  std::optional<TPartFormat> Format;
  // A part of a tape that went on from the part before: that part's input
  // and the MD5 of its output's audio data (empty when none was taken).
  std::optional<std::string> ContinuedFrom;
  std::string ContinuedFromMd5;

  bool Failure() const { return Status == TJobStatus::Refused || Status == TJobStatus::Failed; }
};

// The job's record for the --report file.
TReportEntry ReportEntryOf(const std::string& input, const TJobResult& result);

// A job decided before any decode: skipped, refused or interrupted with the
// message lines given.
TJobResult Decided(TJobStatus status, std::vector<std::string> lines);
// A job refused before any decode, or interrupted before it began: message
// and path (and detail) as one line, "zorv-decode: FILE: reason".
TJobResult Refused(std::string_view message, const std::string& path, std::string detail = {},
                   TJobStatus status = TJobStatus::Refused);

// Refuses before anything is created when the input is unusable, the output
// is the input, a link, or exists (without Force), or the stop flag is set.
// The output is written under a temporary name and renamed when complete;
// an interrupted decode keeps its part under the partial name, a failed one
// leaves nothing. Once decoding, the stop flag aborts the run like the
// window's Abort. "-" as the input is standard input, as the output standard
// output (written as a stream, never a file).
TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop);

}  // namespace zorv::cli
