#include "cli/command_line.h"

#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "app/messages.h"
#include "app/output_name.h"
#include "cli/decode_job.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "zorv_version.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

struct TPlannedJob {
  std::string Input;
  std::string Output;
  std::optional<std::string> Refusal;  // found before any decode starts
};

// The path a file would have, for telling whether two names of files that
// need not exist yet are the same.
fs::path Normal(const std::string& path) {
  std::error_code error;
  const fs::path normal = fs::weakly_canonical(fs::absolute(path), error);
  return error ? fs::absolute(path).lexically_normal() : normal;
}

// Outputs for every input; an output that is another input of this command,
// or the output of an earlier input, is refused before anything is written.
std::vector<TPlannedJob> Plan(const TCliOptions& options) {
  std::vector<TPlannedJob> jobs;
  for (const std::string& input : options.Inputs) {
    TPlannedJob job{input, options.Output.value_or(ProposeOutputName(input)), std::nullopt};
    const fs::path output = Normal(job.Output);
    for (const std::string& other : options.Inputs) {
      if (other != input && SameFile(other, job.Output)) {
        job.Refusal = std::string(messages::kInputAsOutput) + job.Output;
      }
    }
    for (const TPlannedJob& earlier : jobs) {
      if (!job.Refusal && !earlier.Refusal && Normal(earlier.Output) == output) {
        job.Refusal = std::string(kOutputTwice) + job.Output;
      }
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

int UsageError(std::ostream& err, const std::string& message) {
  err << "zorv-decode: " << message << "\n\n" << UsageText();
  return exUsageError;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool errIsTerminal, const std::atomic<bool>& stop) {
  const TParseResult parsed = ParseCommandLine(args);
  if (!parsed.Ok()) return UsageError(err, parsed.Error);
  const TCliOptions& options = parsed.Options;
  if (options.Help) {
    out << UsageText();
    return exDecoded;
  }
  if (options.Version) {
    out << ZORV_VERSION_TEXT << "\n";
    return exDecoded;
  }

  std::vector<TPlannedJob> jobs = Plan(options);
  if (options.MeterLog && Normal(*options.MeterLog) == Normal(jobs.front().Output)) {
    return UsageError(err, "the meter log and the output must be different files");
  }

  unsigned threads = options.Jobs != 0 ? options.Jobs : std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  if (threads > jobs.size()) threads = static_cast<unsigned>(jobs.size());
  // One file at a time: its two channels on two cores. Several at once: a
  // file per core (which is faster than a channel per core).
  const bool channelThreads = threads == 1 && std::thread::hardware_concurrency() >= 2;

  const TJobSettings settings{options.LevelDb,  options.DebugBand, options.Force,
                              options.MeterLog, options.Exact,     channelThreads};
  TProgressBoard board(err, errIsTerminal && !options.Quiet);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> allDecoded{true};
  auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      const TPlannedJob& job = jobs[i];
      TJobResult result;
      if (job.Refusal) {
        result.Report = *job.Refusal + "\n";
      } else {
        result = DecodeFile(job.Input, job.Output, settings, board, stop);
      }
      if (!result.Decoded) allDecoded = false;
      board.Report(result.Report);
    }
  };

  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  helpers.clear();  // joins
  board.Finish();
  return allDecoded && !stop ? exDecoded : exFailed;
}

}  // namespace zorv::cli
