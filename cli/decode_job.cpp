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
#include "app/format_check.h"
#include "app/gain_history.h"
#include "app/limit_counter.h"
#include "app/messages.h"
#include "app/meter_fan_out.h"
#include "app/output_name.h"
#include "app/pending_file.h"
#include "app/refusal_detail.h"
#include "app/run_limits.h"
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

}  // namespace

TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop) {
  if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);
  TRunSettings runSettings;
  runSettings.LevelDb = settings.LevelDb;
  runSettings.Exact = settings.Exact;
  runSettings.Arithmetic = settings.Arithmetic;
  runSettings.StageSplit = settings.StageSplit;
  runSettings.DebugBand = settings.DebugBand;
  runSettings.Float = settings.Float;
  runSettings.CanonicalHeader = settings.CanonicalHeader;
  runSettings.ReplaceOutput = settings.Force;
  runSettings.ReplacePartial = settings.Force;
  runSettings.Pool = settings.Pool;
  // No pool: the user asked for no worker threads (ZORV_WORKERS=0).
  runSettings.ChannelThreads = settings.Pool != nullptr;
  runSettings.Digests = settings.Digest;
  const TPartEnd* previous =
      settings.Continuation != nullptr ? settings.Continuation->Previous() : nullptr;
  if (previous != nullptr) runSettings.ContinueFrom = previous->State;
  TDecodeRun run(runSettings);
  const TWavFileIn& reader = run.Input();

  const bool fromStream = IsStandardStream(input);
  const bool toStream = IsStandardStream(output);
  // Nobody types a WAV file: a terminal would only keep the program waiting.
  if (fromStream && ::isatty(STDIN_FILENO) == 1) return Refused(kInputIsTerminal, input);
  if (auto refusal = fromStream ? run.OpenInputStream(STDIN_FILENO, input) : run.OpenInput(input)) {
    // A signal while the header was read is no refusal of the input.
    if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);
    return RefusalResult(*refusal);
  }
  const TPartFormat format{reader.SampleRate(), reader.Channels(), reader.FormatTag(),
                           reader.HeaderImage().BitsPerSample()};
  // A part of a tape that cannot go on from the part before is not decoded
  // from a state that is not the tape's.
  if (settings.Continuation != nullptr) {
    if (auto why = settings.Continuation->Refusal(format)) return Refused({}, input, *why);
  }
  if (toStream && ::isatty(STDOUT_FILENO) == 1) return Refused(kOutputIsTerminal, output);
  if (!fromStream && !toStream && SameFile(input, output)) {
    return Refused(messages::kInputAsOutput, output);
  }
  if (auto refusal = CheckSideFiles(input, output, settings, fromStream, toStream)) {
    return std::move(*refusal);
  }
  std::optional<std::string> toneLine;
  std::vector<double> levels;
  std::vector<std::optional<double>> byHand;
  if (auto mismatch = GivenLevels(settings, reader.Channels(), levels, byHand)) {
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
  if (stop) return Refused(kNotDecoded, input, {}, TJobStatus::Interrupted);

  // Everything is written under temporary names; nothing that exists is
  // touched before the decode is complete. Standard output is a stream of
  // its own, never a file.
  if (toStream) {
    run.OpenOutputStream(STDOUT_FILENO, output);
  } else if (auto refusal = run.OpenOutput(output)) {
    return RefusalResult(*refusal);
  }
  TPendingFile logFile;
  std::unique_ptr<TFdStream> logStream;
  std::unique_ptr<TMeterLog> meterLog;
  if (settings.MeterLog) {
    if (!logFile.Create(*settings.MeterLog)) {
      return Refused(messages::kCannotCreate, *settings.MeterLog, Reason(logFile.Error()));
    }
    logStream = std::make_unique<TFdStream>(logFile.Descriptor());
    meterLog = std::make_unique<TMeterLog>(*logStream, run, reader.SampleRate(), reader.Channels());
  }
  TPendingFile plotFile;
  TGainHistory history;
  TGainHistoryRecorder recorder(history);
  TLimitCounter limits;
  TMeterFanOut listeners;
  listeners.Add(meterLog.get());
  if (settings.Plot) {
    if (!plotFile.Create(*settings.Plot)) {
      return Refused(messages::kCannotCreate, *settings.Plot, Reason(plotFile.Error()));
    }
    listeners.Add(&recorder);
  }
  listeners.Add(&limits);
  run.SetMeterListener(&listeners);
  const std::string metadata = MetadataText(reader, settings.CanonicalHeader);

  // A stream that runs to its end has no length to tell progress by.
  const std::uint64_t total = reader.DataSizeKnown() ? reader.DeliverableDataBytes() : 0;
  const std::uint32_t frameBytes = reader.BlockAlign();
  if (settings.Plot) {
    recorder.Start(reader.Channels(), reader.SampleRate(), reader.BlockFrames(),
                   frameBytes == 0 ? 0 : total / frameBytes, TZorvCalc::kMeterInterval);
  }
  const int slot = board.Add(Escaped(fs::path(input).filename().string()), total);
  const auto began = std::chrono::steady_clock::now();
  const double bytesPerSecond =
      static_cast<double>(reader.SampleRate()) * static_cast<double>(frameBytes);
  StartLimitCount(limits, run, settings.Plot ? &history : nullptr);
  run.SetBlockCallback([&](std::uint64_t read) {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    board.Update(slot, {read, total, static_cast<double>(read) / bytesPerSecond, wall.count()});
  });
  run.SetStopFlag(&stop);

  TRunResult decoded = run.Decode();
  board.Remove(slot);
  run.SetMeterListener(nullptr);
  limits.Stop();
  if (meterLog) meterLog->Finish();

  TDecodeFacts facts = DecodeFactsOf(decoded, reader.FormatTag(),
                                     reader.HeaderImage().BitsPerSample(), settings.Float, limits);
  if (!fromStream) facts.InputSize = FileBytes(input);

  TJobResult result;
  result.Facts = facts;
  result.Format = format;
  if (previous != nullptr) {
    result.ContinuedFrom = previous->Input;
    result.ContinuedFromMd5 = previous->OutputMd5;
  }
  const std::string statusText(StatusText(decoded.Status));
  result.Lines = {input + " -> " + output, statusText};
  result.Message = {statusText};
  const auto say = [&result](std::string line) {
    result.Lines.push_back(line);
    result.Message.push_back(std::move(line));
  };
  // A per-file error: "zorv-decode: FILE: reason" on stderr, without the
  // program's name in the report.
  const auto fail = [&result](std::string_view message, const std::string& path,
                              const std::string& detail) {
    result.Lines.push_back(ErrorLine(message, path, detail));
    result.Message.push_back(ErrorText(message, path, detail));
  };
  const auto warn = [&](const TRunWarning& warning) {
    say(warning.Message);
    result.Warnings.push_back(warning);
    result.Warned = true;
  };
  if (toneLine) say(*toneLine);
  if (decoded.Status == TRunStatus::WriteError && !decoded.Reason.empty()) {
    fail(kCannotWrite, output, decoded.Reason);
  } else if (decoded.Status == TRunStatus::ReadError && !decoded.Reason.empty()) {
    fail(messages::kCannotRead, input, decoded.Reason);
  } else if (!decoded.Reason.empty()) {
    say(decoded.Reason);
  }
  if (decoded.Status == TRunStatus::ReadError && toStream) say(std::string(kStreamNotTakenBack));
  for (std::string& line : DescribeLimitTimes(limits)) say(std::move(line));
  if (!metadata.empty()) {
    result.Lines.push_back(metadata);
    result.Message.push_back(metadata);
  }
  // What was left out or changed besides decoding (a partial frame, a
  // chunk that ran past the end): warnings.
  for (const TRunWarning& warning : decoded.Warnings) warn(warning);
  const bool stalled = decoded.Status == TRunStatus::SampleCountError;
  if (!stalled) result.Lines.push_back(ElapsedTimeText(decoded.ElapsedMs));

  // The warnings of a complete decode, said below what its files did.
  const std::vector<TRunWarning>& late = decoded.OutputWarnings;
  // --strict: a complete decode that warns is a failure and keeps nothing.
  const bool doubtful = settings.Strict && decoded.Status == TRunStatus::Done &&
                        (!decoded.Warnings.empty() || !late.empty());

  const bool logFailed = logStream && (logStream->flush(), logStream->Error() != 0);
  run.Commit(decoded, !logFailed && !doubtful);
  if (logFailed) {
    result.Status = TJobStatus::Failed;
    fail(kCannotWrite, *settings.MeterLog, Reason(logStream->Error()));
  } else if (doubtful) {
    for (const TRunWarning& warning : late) warn(warning);
    result.Status = TJobStatus::Failed;
    if (toStream) {
      fail({}, output, "--strict and a warning: " + std::string(kStreamNotTakenBack));
    } else {
      fail({}, output, "not kept (--strict and a warning)");
    }
  } else if (decoded.Status == TRunStatus::Done) {
    if (decoded.CommitErrno != 0) {
      const int error = decoded.CommitErrno;
      // Made meanwhile (by another run over the same inputs): what it was
      // told to skip. Its own decode is gone with its temporary file.
      if (error == EEXIST && settings.SkipExisting) {
        return Decided(TJobStatus::Skipped, {std::string(kSkippedExisting) + output});
      }
      if (error == EEXIST) {
        fail(kOutputExists, output, {});
      } else {
        fail(kCannotWrite, output, Reason(error));
      }
      result.Status = error == EEXIST ? TJobStatus::Refused : TJobStatus::Failed;
      return result;
    }
    result.Status = TJobStatus::Decoded;
    result.Output = output;
    result.Facts->Md5 = decoded.Md5;
    if (!toStream) result.Facts->OutputSize = FileBytes(output);
    if (meterLog && !logFile.Commit(settings.Force)) {
      fail(kCannotWrite, *settings.MeterLog, Reason(logFile.Error()));
      result.Status = TJobStatus::Failed;
    }
    if (settings.Plot) {
      history.SetTitle(ReferenceLevelHistoryText(decoded.Levels, decoded.SampleRate));
      const bool drawn = WriteGainPlot(history, plotFile.Descriptor());
      const int error = drawn ? 0 : errno;
      if (!drawn || !plotFile.Commit(settings.Force)) {
        fail(kCannotWrite, *settings.Plot, Reason(drawn ? plotFile.Error() : error));
        result.Status = TJobStatus::Failed;
      }
    }
    for (const TRunWarning& warning : late) warn(warning);
  } else if (decoded.Status == TRunStatus::Aborted) {
    // Interrupted: what was decoded is a complete file under the partial name.
    result.Status = TJobStatus::Interrupted;
    if (toStream) {
      // The stream holds a complete WAV of what was decoded.
      result.Output = output;
      result.Facts->Md5 = decoded.Md5;
      say("Interrupted; what was decoded went to standard output");
      if (meterLog) logFile.CommitPartial(settings.Force);
    } else if (decoded.Kept) {
      result.Output = *decoded.Kept;
      result.Facts->Md5 = decoded.Md5;
      result.Facts->OutputSize = FileBytes(*decoded.Kept);
      say("Interrupted; what was decoded is in: " + *decoded.Kept);
      if (meterLog) logFile.CommitPartial(settings.Force);
      history.SetTitle(ReferenceLevelHistoryText(decoded.Levels, decoded.SampleRate));
      if (settings.Plot && WriteGainPlot(history, plotFile.Descriptor())) {
        plotFile.CommitPartial(settings.Force);
      }
    } else {
      fail(kCannotWrite, PartialName(output), Reason(decoded.CommitErrno));
    }
  } else {
    result.Status = TJobStatus::Failed;
  }
  result.EndState = decoded.EndState;
  return result;
}

}  // namespace zorv::cli
