// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/decode_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/decode_run.h"
#include "app/file_target.h"
#include "app/format_check.h"
#include "app/gain_history.h"
#include "app/limit_counter.h"
#include "app/messages.h"
#include "app/meter_fan_out.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "app/refusal_detail.h"
#include "app/run_limits.h"
#include "app/run_report.h"
#include "cli/error_line.h"
#include "cli/fd_stream.h"
#include "cli/gain_plot_file.h"
#include "cli/meter_log.h"
#include "cli/options.h"
#include "cli/reference_level.h"
#include "cli/terminal_text.h"
#include "wav/md5.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

std::string Reason(int error) {
  return std::strerror(error);
}

bool IsStandardStream(const std::string& path) {
  return path == kStandardStream;
}

// What is at path, without following a link: nothing, a link, a folder or
// another file.
enum class TPathKind { None, Link, Folder, File };
TPathKind KindOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return TPathKind::None;
  if (S_ISLNK(info.st_mode)) return TPathKind::Link;
  if (S_ISDIR(info.st_mode)) return TPathKind::Folder;
  return TPathKind::File;
}

// Refuses a file the job is to write (the output, the meter log): never
// through a link, never into a folder, and an existing one only with Force.
std::optional<TJobResult> CheckTarget(const std::string& path, const TJobSettings& settings,
                                      bool skippable) {
  switch (KindOf(path)) {
    case TPathKind::None:
      return std::nullopt;
    case TPathKind::Link:
      return Refused(kOutputIsLink, path);
    case TPathKind::Folder:
      return Refused(messages::kCannotCreate, path, Reason(EISDIR));
    case TPathKind::File:
      if (settings.Force) return std::nullopt;
      if (skippable && settings.SkipExisting) {
        return Decided(TJobStatus::Skipped, {std::string(kSkippedExisting) + path});
      }
      return Refused(kOutputExists, path);
  }
  return std::nullopt;
}

}  // namespace

std::string_view JobStatusName(TJobStatus status) {
  switch (status) {
    case TJobStatus::Decoded:
      return "decoded";
    case TJobStatus::Skipped:
      return "skipped";
    case TJobStatus::Refused:
      return "refused";
    case TJobStatus::Failed:
      return "failed";
    case TJobStatus::Interrupted:
      return "interrupted";
  }
  return {};
}

TReportEntry ReportEntryOf(const std::string& input, const TJobResult& result) {
  TReportEntry entry;
  entry.Input = input;
  entry.Output = result.Output;
  entry.Status = std::string(JobStatusName(result.Status));
  for (const std::string& part : result.Message) {
    entry.Message += (entry.Message.empty() ? "" : "; ") + part;
  }
  entry.Warnings = result.Warnings;
  entry.Facts = result.Facts;
  entry.ContinuedFrom = result.ContinuedFrom;
  entry.ContinuedFromMd5 = result.ContinuedFromMd5;
  entry.Started = result.Started;
  entry.Finished = result.Finished;
  return entry;
}

TJobResult Decided(TJobStatus status, std::vector<std::string> lines) {
  TJobResult result;
  result.Status = status;
  result.Message = lines;
  result.Lines = std::move(lines);
  return result;
}

TJobResult Refused(std::string_view message, const std::string& path, std::string detail,
                   TJobStatus status) {
  TJobResult result;
  result.Status = status;
  result.Lines = {ErrorLine(message, path, detail)};
  result.Message = {ErrorText(message, path, detail)};
  return result;
}

namespace {

// The checks of the files the job writes besides the output, before
// anything is created.
std::optional<TJobResult> CheckSideFiles(const std::string& input, const std::string& output,
                                         const TJobSettings& settings, bool fromStream,
                                         bool toStream) {
  if (settings.MeterLog && !fromStream && SameFile(input, *settings.MeterLog)) {
    return Refused(messages::kInputAsOutput, *settings.MeterLog);
  }
  if (settings.MeterLog && !toStream && SameFile(output, *settings.MeterLog)) {
    return Refused(kLogIsOutput, *settings.MeterLog);
  }
  if (!toStream) {
    if (auto refusal = CheckTarget(output, settings, true)) return refusal;
  }
  if (settings.MeterLog) {
    if (auto refusal = CheckTarget(*settings.MeterLog, settings, false)) return refusal;
  }
  if (settings.Plot) {
    if (SameFile(input, *settings.Plot)) return Refused(messages::kInputAsOutput, *settings.Plot);
    if (auto refusal = CheckTarget(*settings.Plot, settings, false)) return refusal;
  }
  return std::nullopt;
}

TJobResult RefusalResult(const TRefusal& refusal) {
  return Refused(refusal.Message, refusal.Path, refusal.Detail);
}

// --level tone without a usable tone (per channel too): its first line ends
// in the path, what was found follows, on one line; an input that became
// unreadable meanwhile: its message, which ends in the path. A search cut
// short by a stop request found nothing: the input was not decoded.
TJobResult ToneRefusal(const std::vector<std::string>& lines, const std::string& input,
                       const std::atomic<bool>& stop) {
  if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);
  const std::string& first = lines.front();
  if (!first.ends_with(input)) return Decided(TJobStatus::Refused, lines);
  std::string found;
  for (std::size_t i = 1; i < lines.size(); ++i) found += (i == 1 ? "" : "; ") + lines[i];
  return Refused(first.substr(0, first.size() - input.size()), input, found);
}

// The level of each channel that the command line gave (the levels of a
// tone measured later replace all but the channels set one by one), or why
// the input's channels do not take them (its path appended to the message).
std::optional<std::string> GivenLevels(const TJobSettings& settings, std::uint32_t channels,
                                       std::vector<double>& levels,
                                       std::vector<std::optional<double>>& byHand) {
  const auto count = [](std::size_t n) {
    return std::to_string(n) + (n == 1 ? " channel" : " channels");
  };
  if (!settings.LevelFromTone && !settings.ChannelLevelsDb.empty() &&
      settings.ChannelLevelsDb.size() != channels) {
    return std::to_string(settings.ChannelLevelsDb.size()) + " levels given for " + count(channels);
  }
  levels = settings.ChannelLevelsDb.empty() || settings.LevelFromTone
               ? std::vector<double>(channels, settings.LevelDb)
               : settings.ChannelLevelsDb;
  byHand.assign(channels, std::nullopt);
  for (const auto& [channel, dB] : settings.ChannelLevelOverrides) {
    if (channel > channels) {
      return "a level for channel " + std::to_string(channel) + ", the input has " +
             count(channels);
    }
    levels[channel - 1] = dB;
    byHand[channel - 1] = dB;
  }
  return std::nullopt;
}

// The run's settings of a job, going on from previous when it is not null.
TRunSettings RunSettingsOf(const TJobSettings& settings, const TPartEnd* previous) {
  TRunSettings run;
  run.LevelDb = settings.LevelDb;
  run.Exact = settings.Exact;
  run.Arithmetic = settings.Arithmetic;
  run.StageSplit = settings.StageSplit;
  run.TimeSplit = settings.TimeSplit;
  run.DebugBand = settings.DebugBand;
  run.Float = settings.Float;
  run.CanonicalHeader = settings.CanonicalHeader;
  run.ReplaceOutput = settings.Force;
  run.ReplacePartial = settings.Force;
  run.Pool = settings.Pool;
  // No pool: the user asked for no worker threads (ZORV_WORKERS=0).
  run.ChannelThreads = settings.Pool != nullptr;
  run.Digests = settings.Digest;
  if (previous != nullptr) run.ContinueFrom = previous->State;
  return run;
}

// The checks of a job whose input is open, before anything is written.
std::optional<TJobResult> CheckOpenJob(const std::string& input, const std::string& output,
                                       const TJobSettings& settings, const TPartFormat& format,
                                       bool fromStream, bool toStream) {
  // A part of a tape that cannot go on from the part before is not decoded
  // from a state that is not the tape's.
  if (settings.Continuation != nullptr) {
    if (auto why = settings.Continuation->Refusal(format)) return Refused({}, input, *why);
  }
  if (toStream && ::isatty(STDOUT_FILENO) == 1) return Refused(kOutputIsTerminal, output);
  if (!fromStream && !toStream && SameFile(input, output)) {
    return Refused(messages::kInputAsOutput, output);
  }
  return CheckSideFiles(input, output, settings, fromStream, toStream);
}

// Sets the levels the run begins with: those given, or measured from the
// input's reference tone (then its line in toneLine).
std::optional<TJobResult> SetStartLevels(TDecodeRun& run, const std::string& input,
                                         const TJobSettings& settings,
                                         const std::atomic<bool>& stop,
                                         std::optional<std::string>& toneLine) {
  std::vector<double> levels;
  std::vector<std::optional<double>> byHand;
  if (auto mismatch = GivenLevels(settings, run.Input().Channels(), levels, byHand)) {
    return Refused(kLevelsNotChannels, input, std::move(*mismatch));
  }
  const bool oneByOne = std::any_of(byHand.begin(), byHand.end(),
                                    [](const std::optional<double>& dB) { return dB.has_value(); });
  if (settings.LevelFromTone && settings.PerChannel) {
    TToneLevels tones = LevelsFromTones(input, settings.ToneStretch, settings.FallbackMean, byHand);
    if (!tones.LevelsDb) return ToneRefusal(tones.Lines, input, stop);
    run.SetChannelLevels(std::move(*tones.LevelsDb));
    toneLine = tones.Lines.front();
  } else if (settings.LevelFromTone) {
    TToneLevel tone = LevelFromTone(input, settings.ToneStretch);
    if (!tone.LevelDb) return ToneRefusal(tone.Lines, input, stop);
    run.SetLevel(*tone.LevelDb);
    for (std::size_t c = 0; c < levels.size(); ++c) {
      if (!byHand[c]) levels[c] = *tone.LevelDb;
    }
    if (oneByOne) run.SetChannelLevels(std::move(levels));
    toneLine = tone.Lines.front();
  } else if (!settings.ChannelLevelsDb.empty() || oneByOne) {
    run.SetChannelLevels(std::move(levels));
  }
  return std::nullopt;
}

// What a job writes besides the output, and the listeners of the run's
// meters that feed them.
struct TSideFiles {
  TPendingFile LogFile;
  std::unique_ptr<TFdStream> LogStream;
  std::unique_ptr<TMeterLog> MeterLog;
  TPendingFile PlotFile;
  TGainHistory History;
  TGainHistoryRecorder Recorder{History};
  TLimitCounter Limits;
  TMeterFanOut Listeners;
};

// Creates the meter log's and the plot's temporary files and listens to
// the run's meters.
std::optional<TJobResult> OpenSideFiles(TSideFiles& side, TDecodeRun& run,
                                        const TJobSettings& settings) {
  const TWavFileIn& reader = run.Input();
  if (settings.MeterLog) {
    if (!side.LogFile.Create(*settings.MeterLog)) {
      return Refused(messages::kCannotCreate, *settings.MeterLog, Reason(side.LogFile.Error()));
    }
    side.LogStream = std::make_unique<TFdStream>(side.LogFile.Descriptor());
    side.MeterLog =
        std::make_unique<TMeterLog>(*side.LogStream, run, reader.SampleRate(), reader.Channels());
  }
  side.Listeners.Add(side.MeterLog.get());
  if (settings.Plot) {
    if (!side.PlotFile.Create(*settings.Plot)) {
      return Refused(messages::kCannotCreate, *settings.Plot, Reason(side.PlotFile.Error()));
    }
    side.Listeners.Add(&side.Recorder);
  }
  side.Listeners.Add(&side.Limits);
  run.SetMeterListener(&side.Listeners);
  return std::nullopt;
}

// The decode, its progress on the board.
TRunResult RunDecode(TDecodeRun& run, TSideFiles& side, const std::string& input,
                     const TJobSettings& settings, TProgressBoard& board,
                     const std::atomic<bool>& stop) {
  const TWavFileIn& reader = run.Input();
  // A stream that runs to its end has no length to tell progress by.
  const std::uint64_t total = reader.DataSizeKnown() ? reader.DeliverableDataBytes() : 0;
  const std::uint32_t frameBytes = reader.BlockAlign();
  if (settings.Plot) {
    side.Recorder.Start(reader.Channels(), reader.SampleRate(), reader.BlockFrames(),
                        frameBytes == 0 ? 0 : total / frameBytes, TZorvCalc::kMeterInterval);
  }
  const int slot = board.Add(Escaped(fs::path(input).filename().string()), total);
  const auto began = std::chrono::steady_clock::now();
  const double bytesPerSecond =
      static_cast<double>(reader.SampleRate()) * static_cast<double>(frameBytes);
  StartLimitCount(side.Limits, run, settings.Plot ? &side.History : nullptr);
  run.SetBlockCallback([&](std::uint64_t read) {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    board.Update(slot, {read, total, static_cast<double>(read) / bytesPerSecond, wall.count()});
  });
  run.SetStopFlag(&stop);

  TRunResult decoded = run.Run();
  board.Remove(slot);
  run.SetMeterListener(nullptr);
  side.Limits.Stop();
  if (side.MeterLog) side.MeterLog->Finish();
  return decoded;
}

// A line of the report that the message says too.
void Say(TJobResult& result, std::string line) {
  result.Lines.push_back(line);
  result.Message.push_back(std::move(line));
}

// A per-file error: "zorv-decode: FILE: reason" on stderr, without the
// program's name in the report.
void Fail(TJobResult& result, std::string_view message, const std::string& path,
          const std::string& detail) {
  result.Lines.push_back(ErrorLine(message, path, detail));
  result.Message.push_back(ErrorText(message, path, detail));
}

void Warn(TJobResult& result, const TRunWarning& warning) {
  Say(result, warning.Message);
  result.Warnings.push_back(warning);
  result.Warned = true;
}

// The lines of a decode, up to its time: what happened and what it warned of.
void DecodeLines(TJobResult& result, const TRunResult& decoded, const std::string& input,
                 const std::string& output, bool toStream,
                 const std::optional<std::string>& toneLine, const TLimitCounter& limits,
                 const std::string& metadata) {
  const std::string statusText(StatusText(decoded.Status));
  result.Lines = {input + " -> " + output, statusText};
  result.Message = {statusText};
  if (toneLine) Say(result, *toneLine);
  if (decoded.Status == TRunStatus::WriteError && !decoded.Reason.empty()) {
    Fail(result, kCannotWrite, output, decoded.Reason);
  } else if (decoded.Status == TRunStatus::ReadError && !decoded.Reason.empty()) {
    Fail(result, messages::kCannotRead, input, decoded.Reason);
  } else if (!decoded.Reason.empty()) {
    Say(result, decoded.Reason);
  }
  if (decoded.Status == TRunStatus::ReadError && toStream) {
    Say(result, std::string(kStreamNotTakenBack));
  }
  for (std::string& line : DescribeLimitTimes(limits)) Say(result, std::move(line));
  if (!metadata.empty()) Say(result, metadata);
  // What was left out or changed besides decoding (a partial frame, a
  // chunk that ran past the end): warnings.
  for (const TRunWarning& warning : decoded.Warnings) Warn(result, warning);
  const bool stalled = decoded.Status == TRunStatus::SampleCountError;
  if (!stalled) result.Lines.push_back(ElapsedTimeText(decoded.ElapsedMs));
  const TRunResult::TTimeSplit& split = decoded.TimeSplit;
  if (split.Segments > 0) {
    result.Lines.push_back(
        TimeSplitText(split.Segments, split.JoinedAfter, split.NotJoined, split.RedoneSeconds));
  }
}

// A complete decode whose output was committed (or not, CommitErrno): the
// side files take their names.
std::optional<TJobResult> KeepDone(TJobResult& result, TSideFiles& side, const TRunResult& decoded,
                                   const std::string& output, const TJobSettings& settings,
                                   bool toStream) {
  if (decoded.CommitErrno != 0) {
    const int error = decoded.CommitErrno;
    // Made meanwhile (by another run over the same inputs): what it was
    // told to skip. Its own decode is gone with its temporary file.
    if (error == EEXIST && settings.SkipExisting) {
      return Decided(TJobStatus::Skipped, {std::string(kSkippedExisting) + output});
    }
    if (error == EEXIST) {
      Fail(result, kOutputExists, output, {});
    } else {
      Fail(result, kCannotWrite, output, Reason(error));
    }
    result.Status = error == EEXIST ? TJobStatus::Refused : TJobStatus::Failed;
    return std::move(result);
  }
  result.Status = TJobStatus::Decoded;
  result.Output = output;
  result.Facts->Md5 = decoded.Md5;
  if (!toStream) result.Facts->OutputSize = FileBytes(output);
  if (side.MeterLog && !side.LogFile.Commit(settings.Force)) {
    Fail(result, kCannotWrite, *settings.MeterLog, Reason(side.LogFile.Error()));
    result.Status = TJobStatus::Failed;
  }
  if (settings.Plot) {
    side.History.SetTitle(ReferenceLevelHistoryText(decoded.Levels, decoded.SampleRate));
    const bool drawn = WriteGainPlot(side.History, side.PlotFile.Descriptor());
    const int error = drawn ? 0 : errno;
    if (!drawn || !side.PlotFile.Commit(settings.Force)) {
      Fail(result, kCannotWrite, *settings.Plot, Reason(drawn ? side.PlotFile.Error() : error));
      result.Status = TJobStatus::Failed;
    }
  }
  for (const TRunWarning& warning : decoded.OutputWarnings) Warn(result, warning);
  return std::nullopt;
}

// An interrupted decode: what was decoded is a complete file under the
// partial name, and so are the side files.
void KeepInterrupted(TJobResult& result, TSideFiles& side, const TRunResult& decoded,
                     const std::string& output, const TJobSettings& settings, bool toStream) {
  result.Status = TJobStatus::Interrupted;
  if (toStream) {
    // The stream holds a complete WAV of what was decoded.
    result.Output = output;
    result.Facts->Md5 = decoded.Md5;
    Say(result, "Interrupted; what was decoded went to standard output");
    if (side.MeterLog) side.LogFile.CommitPartial(settings.Force);
  } else if (decoded.Kept) {
    result.Output = *decoded.Kept;
    result.Facts->Md5 = decoded.Md5;
    result.Facts->OutputSize = FileBytes(*decoded.Kept);
    Say(result, "Interrupted; what was decoded is in: " + *decoded.Kept);
    if (side.MeterLog) side.LogFile.CommitPartial(settings.Force);
    side.History.SetTitle(ReferenceLevelHistoryText(decoded.Levels, decoded.SampleRate));
    if (settings.Plot && WriteGainPlot(side.History, side.PlotFile.Descriptor())) {
      side.PlotFile.CommitPartial(settings.Force);
    }
  } else {
    Fail(result, kCannotWrite, PartialName(output), Reason(decoded.CommitErrno));
  }
}

}  // namespace

TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop) {
  if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);
  const TPartEnd* previous =
      settings.Continuation != nullptr ? settings.Continuation->Previous() : nullptr;
  TDecodeRun run(RunSettingsOf(settings, previous));
  TFileTarget files;
  const TWavFileIn& reader = run.Input();

  // The checks: nothing is written before they pass.
  const bool fromStream = IsStandardStream(input);
  const bool toStream = IsStandardStream(output);
  // Nobody types a WAV file: a terminal would only keep the program waiting.
  if (fromStream && ::isatty(STDIN_FILENO) == 1) return Refused(kInputIsTerminal, input);
  if (auto refusal = fromStream ? files.OpenInputStream(run, STDIN_FILENO, input)
                                : files.OpenInput(run, input)) {
    // A signal while the header was read is no refusal of the input.
    if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);
    return RefusalResult(*refusal);
  }
  const TPartFormat format{reader.SampleRate(), reader.Channels(), reader.FormatTag(),
                           reader.HeaderImage().BitsPerSample()};
  if (auto refusal = CheckOpenJob(input, output, settings, format, fromStream, toStream)) {
    return std::move(*refusal);
  }
  std::optional<std::string> toneLine;
  if (auto refusal = SetStartLevels(run, input, settings, stop, toneLine)) {
    return std::move(*refusal);
  }
  if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);

  // Everything is written under temporary names; nothing that exists is
  // touched before the decode is complete. Standard output is a stream of
  // its own, never a file.
  if (toStream) {
    files.OpenOutputStream(run, STDOUT_FILENO, output);
  } else if (auto refusal = files.OpenOutput(run, output)) {
    return RefusalResult(*refusal);
  }
  TSideFiles side;
  if (auto refusal = OpenSideFiles(side, run, settings)) return std::move(*refusal);
  const std::string metadata = MetadataText(reader, settings.CanonicalHeader);

  // The one run.
  TRunResult decoded = RunDecode(run, side, input, settings, board, stop);

  // The lines.
  TJobResult result;
  result.Facts = DecodeFactsOf(decoded, reader.FormatTag(), reader.HeaderImage().BitsPerSample(),
                               settings.Float, side.Limits);
  if (!fromStream) result.Facts->InputSize = FileBytes(input);
  result.Format = format;
  if (previous != nullptr) {
    result.ContinuedFrom = previous->Input;
    result.ContinuedFromMd5 = previous->OutputMd5;
  }
  DecodeLines(result, decoded, input, output, toStream, toneLine, side.Limits, metadata);
  // --strict: a complete decode that warns is a failure and keeps nothing.
  const bool doubtful = settings.Strict && decoded.Status == TRunStatus::Done &&
                        (!decoded.Warnings.empty() || !decoded.OutputWarnings.empty());
  const bool logFailed = side.LogStream && (side.LogStream->flush(), side.LogStream->Error() != 0);
  files.Commit(decoded, !logFailed && !doubtful);
  if (logFailed) {
    result.Status = TJobStatus::Failed;
    Fail(result, kCannotWrite, *settings.MeterLog, Reason(side.LogStream->Error()));
  } else if (doubtful) {
    // The warnings of a complete decode, said below what its files did.
    for (const TRunWarning& warning : decoded.OutputWarnings) Warn(result, warning);
    result.Status = TJobStatus::Failed;
    Fail(result, {}, output,
         toStream ? "--strict and a warning: " + std::string(kStreamNotTakenBack)
                  : std::string("not kept (--strict and a warning)"));
  } else if (decoded.Status == TRunStatus::Done) {
    if (auto kept = KeepDone(result, side, decoded, output, settings, toStream)) return *kept;
  } else if (decoded.Status == TRunStatus::Aborted) {
    KeepInterrupted(result, side, decoded, output, settings, toStream);
  } else {
    result.Status = TJobStatus::Failed;
  }
  result.EndState = decoded.EndState;
  return result;
}

}  // namespace zorv::cli
