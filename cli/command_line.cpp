// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/arithmetic.h"
#include "app/continuation.h"
#include "app/messages.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "app/run_report.h"
#include "cli/batch_plan.h"
#include "cli/decode_job.h"
#include "cli/error_line.h"
#include "cli/fd_stream.h"
#include "cli/gain_plot_file.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/reference_level.h"
#include "cli/report_target.h"
#include "cli/terminal_text.h"
#include "zorv_version.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

// One line, and where to read more.
int UsageError(std::ostream& err, const std::string& message) {
  err << kProgramPrefix << Escaped(message) << '\n' << kTryHelp << '\n';
  err.flush();
  return exUsageError;
}

// A refusal of the whole call, before any input is decoded: one line,
// "zorv-decode: FILE: reason".
int CallRefused(std::ostream& err, const std::string& line) {
  err << Escaped(line) << '\n';
  err.flush();
  return exFailed;
}

bool IsLink(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Why the report cannot go to name, as its line; empty when it can. A
// stream (standard output, a device, a pipe) is written as it is; a file
// is never an input, a link or (without -f) an existing file.
std::string ReportRefusal(const std::string& name, const TCliOptions& options) {
  if (IsStreamTarget(name)) return {};
  const std::string key = PathKey(name);
  for (const std::string& input : options.Inputs) {
    if (input != kStandardStream && (key == PathKey(input) || SameFile(input, name))) {
      return ErrorLine(messages::kInputAsOutput, name);
    }
  }
  if (IsLink(name)) return ErrorLine(kOutputIsLink, name);
  std::error_code error;
  if (!options.Force && fs::exists(name, error)) return ErrorLine(kOutputExists, name);
  if (NameTooLong(name)) {
    return ErrorLine(messages::kCannotCreate, name, std::strerror(ENAMETOOLONG));
  }
  return {};
}

// True when name, or the partial file an interrupted run keeps in its place,
// is the file of key (a PathKey). Only a name that ends alike has its folder
// resolved: a batch of many inputs is compared at little cost.
bool Writes(const std::optional<std::string>& name, const std::string& key) {
  if (!name) return false;
  const std::string file = fs::path(key).filename().string();
  for (const std::string& written : {*name, PartialName(*name)}) {
    if (fs::path(written).filename().string() == file && PathKey(written) == key) return true;
  }
  return false;
}

// The meter log or the plot: a name that cannot be created refuses the call.
std::optional<std::string> SideFileRefusal(const std::optional<std::string>& name) {
  if (!name || !NameTooLong(*name)) return std::nullopt;
  return ErrorLine(messages::kCannotCreate, *name, std::strerror(ENAMETOOLONG));
}

// The per-file reports in the order of the inputs, whatever order the jobs
// end in; the report file's lines in the same order; the totals.
class TResults {
 public:
  TResults(std::vector<TPlannedJob>& jobs, TProgressBoard& board, const TCliOptions& options,
           std::ostream* report)
      : Jobs_(jobs), Results_(jobs.size()), Board_(board), Options_(options), Report_(report) {}

  void Finish(std::size_t i, TJobResult result) {
    const std::lock_guard lock(Mutex_);
    Results_[i] = std::move(result);
    while (Next_ < Results_.size() && Results_[Next_]) Emit(Next_++);
  }

  std::size_t Count(TJobStatus status) const { return Counts_[static_cast<std::size_t>(status)]; }
  bool AnyFailure() const { return Count(TJobStatus::Refused) + Count(TJobStatus::Failed) > 0; }

  // "27 decoded, 2 skipped, 1 refused": the decoded always, the rest when any.
  std::string Totals() const {
    std::string text = std::to_string(Count(TJobStatus::Decoded)) + " decoded";
    for (const TJobStatus status :
         {TJobStatus::Skipped, TJobStatus::Refused, TJobStatus::Failed, TJobStatus::Interrupted}) {
      if (Count(status) > 0) {
        text += ", " + std::to_string(Count(status)) + " " + std::string(JobStatusName(status));
      }
    }
    return text;
  }

 private:
  void Emit(std::size_t i) {
    const TJobResult& result = *Results_[i];
    ++Counts_[static_cast<std::size_t>(result.Status)];
    // Quiet keeps what went wrong and what warns.
    const bool show = !Options_.Quiet || result.Failure() || result.Warned ||
                      result.Status == TJobStatus::Interrupted;
    if (show) Board_.Report(ShownLines(result));
    if (Report_ != nullptr) *Report_ << ReportLine(ReportEntryOf(Jobs_[i].Input, result));
  }

  // The job's lines; quiet, of a decode that only warned, the first (which
  // names the files) and the warnings.
  std::string ShownLines(const TJobResult& result) const {
    const bool onlyWarned = Options_.Quiet && !result.Failure() &&
                            result.Status != TJobStatus::Interrupted && !result.Lines.empty();
    std::string text;
    if (onlyWarned) {
      text = Escaped(result.Lines.front()) + "\n";
      for (const TRunWarning& warning : result.Warnings) text += Escaped(warning.Message) + "\n";
      return text;
    }
    for (const std::string& line : result.Lines) text += Escaped(line) + "\n";
    return text;
  }

  std::mutex Mutex_;
  std::vector<TPlannedJob>& Jobs_;
  std::vector<std::optional<TJobResult>> Results_;
  std::size_t Next_ = 0;
  std::size_t Counts_[5] = {};
  TProgressBoard& Board_;
  const TCliOptions& Options_;
  std::ostream* Report_;
};

// How a part of a tape that no part may go on from ended.
TPartEnding EndingOf(const std::string& input, const TJobResult& result) {
  switch (result.Status) {
    case TJobStatus::Skipped:
      return TPartEnding::Skipped;
    case TJobStatus::Interrupted:
      return TPartEnding::Interrupted;
    case TJobStatus::Refused: {
      std::error_code error;
      const bool missing =
          input != kStandardStream && !fs::exists(fs::symlink_status(input, error));
      return missing ? TPartEnding::Missing : TPartEnding::Refused;
    }
    default:
      return TPartEnding::Failed;
  }
}

// --continue: the next part goes on from the end of a part decoded whole,
// at the level of the first part's tone when the level is measured (a tape
// has its tone at its start); no part goes on after any other.
void NextPart(TContinuation& tape, TJobSettings& settings, const std::string& input,
              const TJobResult& result) {
  if (result.Status != TJobStatus::Decoded || !result.EndState || !result.Format || !result.Facts) {
    tape.PartNotDecoded(input, EndingOf(input, result));
    return;
  }
  tape.PartDecoded(
      {input, result.Facts->Md5.value_or(std::string()), *result.Format, result.EndState});
  if (settings.LevelFromTone && !result.Facts->LevelsDb.empty()) {
    settings.LevelFromTone = false;
    settings.LevelDb = result.Facts->LevelsDb.front();
    settings.ChannelLevelsDb = result.Facts->LevelsDb;
  }
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool errIsTerminal, const TStopRequest& stopRequest,
                   const TRunEnvironment& environment) {
  const std::atomic<bool>& stop = stopRequest.Stop;
  const auto interrupted = [&] { return exSignal + stopRequest.Signal.load(); };
  const TParseResult parsed = ParseCommandLine(args);
  if (!parsed.Ok()) return UsageError(err, parsed.Error);
  const TCliOptions& options = parsed.Options;
  if (options.Help || options.Version) {
    out << (options.Help ? UsageText()
                         : std::string("zorv-decode " ZORV_VERSION_TEXT "\n" ZORV_VERSION_NOTICE));
    out.flush();
    return out ? exDecoded : exFailed;
  }
  if (!environment.Warning.empty()) {
    err << kProgramPrefix << "warning: " << Escaped(environment.Warning) << '\n' << std::flush;
  }

  // A report on standard output has it to itself.
  const bool reportToOut = options.Report && WritesToStandardOutput(*options.Report);
  if (reportToOut && options.Output && *options.Output == kStandardStream) {
    return UsageError(err, "--report " + *options.Report +
                               " and -o - both write to standard output: give one a file");
  }
  if (options.MeasureLevel) {
    TReportTarget report;
    if (options.Report) {
      if (const std::string why = ReportRefusal(*options.Report, options); !why.empty()) {
        return CallRefused(err, why);
      }
      if (auto why = report.Open(*options.Report)) {
        return stop ? interrupted() : CallRefused(err, *why);
      }
    }
    const bool all = MeasureLevels(
        options.Inputs, {options.ToneStartSeconds, options.ToneLengthSeconds},
        reportToOut ? err : out, err, stop, options.Report ? &report.Stream() : nullptr);
    bool reportFailed = false;
    if (options.Report) {
      if (auto why = report.Finish(options.Force)) {
        err << Escaped(*why) << '\n' << std::flush;
        reportFailed = true;
      }
    }
    if (stop) return interrupted();
    return all && !reportFailed && (reportToOut ? err : out) ? exDecoded : exFailed;
  }
  if (options.Plot) {
    if (const std::string why = PlotsUnavailable(); !why.empty()) return UsageError(err, why);
  }

  std::optional<std::vector<TPlannedJob>> planned = PlanJobs(options, stop);
  if (!planned) return interrupted();
  std::vector<TPlannedJob>& jobs = *planned;

  // No input is ever written, whatever ends the call: not as the partial
  // file of an output, nor as a file beside the outputs.
  if (auto why = InputWritten(options.Inputs, WrittenNames(options, jobs))) {
    return CallRefused(err, *why);
  }
  // The files beside the outputs: checked, like everything else, before any
  // decode begins.
  if (options.MeterLog && PathKey(*options.MeterLog) == PathKey(jobs.front().Output)) {
    return UsageError(err, "the meter log and the output must be different files");
  }
  if (options.Plot) {
    const std::string key = PathKey(*options.Plot);
    if (options.MeterLog && key == PathKey(*options.MeterLog)) {
      return UsageError(err, "the plot and the meter log must be different files");
    }
    if (options.Report && key == PathKey(*options.Report)) {
      return UsageError(err, "the plot and the report must be different files");
    }
  }
  for (const auto& side : {options.MeterLog, options.Plot}) {
    if (auto why = SideFileRefusal(side)) return CallRefused(err, *why);
  }
  if (options.Report) {
    // Nor what an interrupted run keeps in their place.
    const std::string key = PathKey(*options.Report);
    if (Writes(options.MeterLog, key)) {
      return UsageError(err, "the report and the meter log must be different files");
    }
    if (Writes(options.Plot, key)) {
      return UsageError(err, "the plot and the report must be different files");
    }
    for (const TPlannedJob& job : jobs) {
      if (Writes(job.Output, key)) {
        return UsageError(err, "the report and the outputs must be different files");
      }
    }
    if (const std::string why = ReportRefusal(*options.Report, options); !why.empty()) {
      return CallRefused(err, why);
    }
  }
  if (options.OutputDir) {
    std::error_code error;
    fs::create_directories(*options.OutputDir, error);
    if (error || !fs::is_directory(*options.OutputDir)) {
      return CallRefused(err, ErrorLine(messages::kCannotCreate, *options.OutputDir,
                                        error ? error.message() : std::strerror(ENOTDIR)));
    }
  }
  TReportTarget reportTarget;
  std::ostream* report = nullptr;
  if (options.Report) {
    if (auto why = reportTarget.Open(*options.Report)) {
      return stop ? interrupted() : CallRefused(err, *why);
    }
    report = &reportTarget.Stream();
  }
  if (stop) return interrupted();

  unsigned threads = options.Jobs != 0 ? options.Jobs : std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  if (threads > jobs.size()) threads = static_cast<unsigned>(jobs.size());
  // The parts of one tape follow each other: one at a time.
  if (options.Continue) threads = 1;
  // One pool for the channels of every file: one file at a time spreads its
  // channels over the cores, several at once share the same threads.
  const unsigned workers = DefaultWorkers(environment, threads);
  TWorkerPool pool(workers);

  TJobSettings settings;
  settings.LevelDb = options.LevelDb;
  settings.DebugBand = options.DebugBand;
  settings.Force = options.Force;
  settings.SkipExisting = options.SkipExisting;
  settings.ChannelLevelsDb = options.ChannelLevelsDb;
  settings.ChannelLevelOverrides = options.ChannelLevelOverrides;
  settings.LevelFromTone = options.LevelFromTone;
  settings.PerChannel = options.PerChannel;
  settings.FallbackMean = options.FallbackMean;
  settings.ToneStretch = {options.ToneStartSeconds, options.ToneLengthSeconds};
  settings.MeterLog = options.MeterLog;
  settings.Plot = options.Plot;
  settings.Exact = options.Exact;
  settings.Arithmetic = environment.Arithmetic;
  settings.StageSplit = environment.StageSplit;
  settings.TimeSplit = environment.TimeSplit;
  settings.Float = options.Float;
  settings.CanonicalHeader = options.CanonicalHeader;
  settings.Strict = options.Strict;
  settings.Pool = workers > 0 ? &pool : nullptr;
  // Only the report states the outputs' MD5.
  settings.Digest = options.Report.has_value();

  // --continue: the inputs are the parts of one tape, in order.
  TContinuation tape;
  if (options.Continue) settings.Continuation = &tape;

  TProgressBoard board(err, errIsTerminal && !options.Quiet);
  TResults results(jobs, board, options, report);
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      const TPlannedJob& job = jobs[i];
      const auto started = std::chrono::system_clock::now();
      // A part after one that was not decoded whole is not begun.
      const std::optional<std::string> broken =
          options.Continue && !job.Decided ? tape.Broken() : std::nullopt;
      TJobResult result = job.Decided ? *job.Decided
                          : broken    ? Refused({}, job.Input, *broken)
                                      : DecodeFile(job.Input, job.Output, settings, board, stop);
      result.Started = started;
      result.Finished = std::chrono::system_clock::now();
      // With --continue (one thread), the next part goes on from where the
      // last one decoded ended.
      if (options.Continue) NextPart(tape, settings, job.Input, result);
      results.Finish(i, std::move(result));
    }
  };
  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  helpers.clear();  // joins

  if (jobs.size() > 1 && !options.Quiet) board.Report(results.Totals() + "\n");
  board.Finish();

  bool reportFailed = false;
  if (report) {
    if (auto why = reportTarget.Finish(options.Force)) {
      board.Report(Escaped(*why) + "\n");
      reportFailed = true;
    }
  }
  if (stop) return interrupted();
  if (results.AnyFailure() || reportFailed || board.WriteFailed()) return exFailed;
  return exDecoded;
}

}  // namespace zorv::cli
