// SPDX-License-Identifier: GPL-3.0-or-later
// The inputs of one call, checked against each other before any decode: the
// output of each, and what must not be decoded at all. Linear in the number
// of inputs (hashes of paths and of file identities).
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "cli/decode_job.h"
#include "cli/options.h"

namespace zorv::cli {

struct TPlannedJob {
  std::string Input;
  std::string Output;
  std::optional<TJobResult> Decided;  // skipped or refused before any decode
};

// The output of an input: the input's name with "_dec" before its extension
// (the extension of format, "wav" or "flac", when one is given), in folder
// when one is given, else beside the input (however long its path).
std::string DecodedName(const std::string& input, const std::optional<std::string>& folder,
                        const std::optional<std::string>& format = std::nullopt);

// A key that is equal for two spellings of one path that need not exist:
// the folder resolved (links, "..", relative paths), the name as it is.
std::string PathKey(const std::string& path);

// Every input with its output; refused are an output that an earlier input
// already has and an output that is another input of the call; an input that
// is the output of another input is skipped when it exists (an earlier run's
// output) and refused when it does not (it would be read while written); an
// output whose name is too long to be created is refused.
// Empty when stop was set meanwhile.
std::optional<std::vector<TPlannedJob>> PlanJobs(const TCliOptions& options,
                                                 const std::atomic<bool>& stop);

// A file the call may write besides the outputs, and what it is ("the
// partial file of an interrupted decode into tape.wav").
struct TWrittenName {
  std::string Path;
  std::string Role;
};

// The names the call may write besides the outputs, the meter log and the
// plot (checked with their jobs): each output's partial name, the meter
// log's and the plot's.
std::vector<TWrittenName> WrittenNames(const TCliOptions& options,
                                       const std::vector<TPlannedJob>& jobs);

// The refusal line of the first of written that is an input of the call, by
// its name or as the same file under another name (a link, a hard link);
// none when no input is ever written.
std::optional<std::string> InputWritten(const std::vector<std::string>& inputs,
                                        const std::vector<TWrittenName>& written);

}  // namespace zorv::cli
