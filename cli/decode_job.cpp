// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/decode_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/arithmetic.h"
#include "app/format_check.h"
#include "app/gain_history.h"
#include "app/limit_counter.h"
#include "app/messages.h"
#include "app/meter_fan_out.h"
#include "app/output_name.h"
#include "app/processing_run.h"
#include "app/run_limits.h"
#include "cli/fd_stream.h"
#include "cli/gain_plot_file.h"
#include "cli/meter_log.h"
#include "cli/options.h"
#include "cli/pending_file.h"
#include "cli/reference_level.h"
#include "cli/refusal_detail.h"
#include "cli/terminal_text.h"
#include "wav/md5.h"

namespace zorv::cli {
namespace {

namespace fs = std::filesystem;

std::string Reason(int error) {
  return std::strerror(error);
}

TJobResult Refused(std::string_view message, const std::string& path, std::string detail = {}) {
  std::vector<std::string> lines{std::string(message) + path};
  if (!detail.empty()) lines.push_back(std::move(detail));
  return Decided(TJobStatus::Refused, std::move(lines));
}

// Why an input cannot be opened for reading; empty when it can.
std::string InputProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Reason(errno);
  if (S_ISDIR(info.st_mode)) return Reason(EISDIR);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (::access(path.c_str(), R_OK) != 0) return Reason(errno);
  return {};
}

// The file's first bytes, to tell what kind of file a refused one is.
std::string FileStart(const std::string& path) {
  std::string start(12, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  const ssize_t got = ::read(fd, start.data(), start.size());
  ::close(fd);
  start.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return start;
}

bool IsStandardStream(const std::string& path) {
  return path == kStandardStream;
}

std::string FormatName(std::uint32_t tag, std::uint32_t bits) {
  return (tag == kFormatIeeeFloat ? "float" : "int") + std::to_string(bits);
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

std::string PeakText(double dbfs) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f", dbfs);
  return text;
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

TJobResult Decided(TJobStatus status, std::vector<std::string> lines) {
  TJobResult result;
  result.Status = status;
  result.Message = lines;
  result.Lines = std::move(lines);
  return result;
}

TJobResult DecodeFile(const std::string& input, const std::string& output,
                      const TJobSettings& settings, TProgressBoard& board,
                      const std::atomic<bool>& stop) {
  if (stop) return Decided(TJobStatus::Interrupted, {std::string(kNotDecoded) + input});
  auto run = std::make_unique<TProcessingRun>();
  TWavFileIn& reader = run->Reader();

  const bool fromStream = IsStandardStream(input);
  const bool toStream = IsStandardStream(output);
  reader.Filename = input;
  if (fromStream) {
    // Nobody types a WAV file: a terminal would only keep the program waiting.
    if (::isatty(STDIN_FILENO) == 1) return Refused(kInputIsTerminal, input);
    reader.OpenStream(STDIN_FILENO);
  } else {
    if (const std::string problem = InputProblem(input); !problem.empty()) {
      return Refused(messages::kCannotOpen, input, problem);
    }
    if (!reader.OpenFile()) return Refused(messages::kCannotOpen, input, Reason(errno));
  }
  if (const std::int32_t code = reader.ReadHeader(); code != rhOk) {
    reader.CloseFile();
    return Refused(HeaderRefusal(reader, code), input,
                   HeaderRefusalDetail(code, fromStream ? std::string() : FileStart(input)));
  }
  if (const std::int32_t code = CheckFormat(reader.HeaderImage()); code != fcOk) {
    reader.CloseFile();
    return Refused(CheckFormatMessage(code), input,
                   FormatRefusalDetail(code, reader.HeaderImage()));
  }
  if (settings.DebugBand != 0 && reader.Channels() != 2) {
    return Decided(TJobStatus::Refused, {std::string(messages::kDebugNeedsStereo) + ": " + input});
  }
  if (toStream && ::isatty(STDOUT_FILENO) == 1) return Refused(kOutputIsTerminal, output);
  if (!fromStream && !toStream && SameFile(input, output)) {
    return Refused(messages::kInputAsOutput, output);
  }
  if (settings.MeterLog && !fromStream && SameFile(input, *settings.MeterLog)) {
    return Refused(messages::kInputAsOutput, *settings.MeterLog);
  }
  if (settings.MeterLog && !toStream && SameFile(output, *settings.MeterLog)) {
    return Refused(kLogIsOutput, *settings.MeterLog);
  }
  if (!toStream) {
    if (auto refusal = CheckTarget(output, settings, true)) return std::move(*refusal);
  }
  if (settings.MeterLog) {
    if (auto refusal = CheckTarget(*settings.MeterLog, settings, false)) return std::move(*refusal);
  }
  if (settings.Plot) {
    if (SameFile(input, *settings.Plot)) return Refused(messages::kInputAsOutput, *settings.Plot);
    if (auto refusal = CheckTarget(*settings.Plot, settings, false)) return std::move(*refusal);
  }
  double level = settings.LevelDb;
  std::optional<std::string> toneLine;
  if (settings.LevelFromTone) {
    TToneLevel tone = LevelFromTone(input, settings.ToneStretch);
    if (!tone.LevelDb) return Decided(TJobStatus::Refused, std::move(tone.Lines));
    level = *tone.LevelDb;
    toneLine = tone.Lines.front();
  }
  if (stop) return Decided(TJobStatus::Interrupted, {std::string(kNotDecoded) + input});

  // Everything is written under temporary names; nothing that exists is
  // touched before the decode is complete. Standard output is a stream of
  // its own, never a file.
  TPendingFile outputFile;
  if (!toStream && !outputFile.Create(output)) {
    return Refused(messages::kCannotCreate, output, Reason(outputFile.Error()));
  }
  TPendingFile logFile;
  std::unique_ptr<TFdStream> logStream;
  std::unique_ptr<TMeterLog> meterLog;
  if (settings.MeterLog) {
    if (!logFile.Create(*settings.MeterLog)) {
      return Refused(messages::kCannotCreate, *settings.MeterLog, Reason(logFile.Error()));
    }
    logStream = std::make_unique<TFdStream>(logFile.Descriptor());
    meterLog =
        std::make_unique<TMeterLog>(*logStream, *run, reader.SampleRate(), reader.Channels());
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
  run->SetMeterListener(&listeners);
  // The writer closes its own descriptor at the end of the run; outputFile
  // keeps one for the sync before the rename.
  if (toStream) {
    run->Writer().OpenStream(STDOUT_FILENO);
  } else if (!run->Writer().AdoptFile(::fcntl(outputFile.Descriptor(), F_DUPFD_CLOEXEC, 0),
                                      outputFile.TemporaryPath())) {
    return Refused(messages::kCannotCreate, output, Reason(errno));
  }
  TMd5 md5;
  run->Writer().OnBufferWritten = [&md5](const std::uint8_t* data, std::uint32_t size) {
    md5.Update(data, size);
  };

  run->SetDebugChannel(settings.DebugBand);
  run->SetOutputFloat(settings.Float);
  run->SetCanonicalHeader(settings.CanonicalHeader);
  const std::string metadata = MetadataText(reader, settings.CanonicalHeader);
  run->Decoder().SetLevel(level);
  if (settings.Exact) run->Decoder().SetPath(TDecodePath::Extended);
  run->Decoder().SetWorkerPool(settings.Pool);

  // A stream that runs to its end has no length to tell progress by.
  const std::uint64_t declared = reader.DataSizeKnown() ? reader.DataSize() : 0;
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
  TProcessingRun& r = *run;
  StartLimitCount(limits, r, settings.Plot ? &history : nullptr);
  run->SetEventPass([&] {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - began;
    board.Update(slot, {r.DataBytesRead(), total,
                        static_cast<double>(r.DataBytesRead()) / bytesPerSecond, wall.count()});
    if (stop) r.Abort();
  });

  TDecodeFacts facts;
  facts.SampleRate = reader.SampleRate();
  facts.Channels = reader.Channels();
  facts.Format = FormatName(reader.FormatTag(), reader.HeaderImage().BitsPerSample());
  facts.OutputFormat = settings.Float ? "float32" : facts.Format;
  facts.Arithmetic = std::string(PathName(run->Decoder().Path()));
  facts.LevelDb = level;

  if (run->Start() == TStartResult::Refused) {
    board.Remove(slot);
    return Decided(TJobStatus::Refused, {std::string(run->RefusalMessage()) + ": " + input});
  }
  run->StartProcess();
  // A stalled run is reset as the window's Abort button would.
  const bool stalled = run->Running();
  if (stalled) run->Abort();
  board.Remove(slot);
  run->SetMeterListener(nullptr);
  limits.Stop();
  if (meterLog) meterLog->Finish();

  facts.Frames = run->FramesRead();
  facts.ClippedSamples = run->OutputStats().Clipped;
  if (run->OutputStats().Peak > 0) facts.PeakDbfs = 20.0 * std::log10(run->OutputStats().Peak);
  facts.ElapsedMs = run->ElapsedTime();
  facts.Limits = LimitTimesOf(limits);

  TJobResult result;
  result.Facts = facts;
  result.Lines = {input + " -> " + output, std::string(run->StatusText())};
  result.Message = {std::string(run->StatusText())};
  const auto say = [&result](std::string line) {
    result.Lines.push_back(line);
    result.Message.push_back(std::move(line));
  };
  if (toneLine) say(*toneLine);
  for (std::string& line : DescribeLimitTimes(limits)) say(std::move(line));
  const TRunStatus status = run->Status();
  if (status == TRunStatus::WriteError) {
    // Past 4 GiB the output is RF64: a size is never the reason.
    say(Reason(run->Writer().WriteErrno() != 0 ? run->Writer().WriteErrno() : EIO));
  } else if (status == TRunStatus::ReadError) {
    say(reader.ReadFailure() == TReadFailure::Shrank
            ? "the input file became shorter during the decode"
            : Reason(reader.ReadErrno()));
  }
  if (!metadata.empty()) {
    result.Lines.push_back(metadata);
    result.Message.push_back(metadata);
  }
  // What was left out or changed besides decoding (a partial frame, a
  // chunk that ran past the end): warnings.
  for (const std::string& note : run->Notes()) say(note);
  if (!run->Notes().empty()) result.Warned = true;
  if (!stalled) result.Lines.push_back(run->ElapsedTimeText());

  const bool logFailed = logStream && (logStream->flush(), logStream->Error() != 0);
  if (status == TRunStatus::Done && !logFailed) {
    if (!toStream && !outputFile.Commit(settings.Force)) {
      const int error = outputFile.Error();
      say(error == EEXIST ? std::string(kOutputExists) + output
                          : std::string(kCannotWrite) + output + ": " + Reason(error));
      result.Status = error == EEXIST ? TJobStatus::Refused : TJobStatus::Failed;
      return result;
    }
    result.Status = TJobStatus::Decoded;
    result.Output = output;
    result.Facts->Md5 = HexDigest(md5.Digest());
    if (meterLog && !logFile.Commit(settings.Force)) {
      say(std::string(kCannotWrite) + *settings.MeterLog + ": " + Reason(logFile.Error()));
      result.Status = TJobStatus::Failed;
    }
    if (settings.Plot) {
      const bool drawn = WriteGainPlot(history, plotFile.Descriptor());
      const int error = drawn ? 0 : errno;
      if (!drawn || !plotFile.Commit(settings.Force)) {
        say(std::string(kCannotWrite) + *settings.Plot + ": " +
            Reason(drawn ? plotFile.Error() : error));
        result.Status = TJobStatus::Failed;
      }
    }
    if (facts.ClippedSamples > 0 && facts.PeakDbfs) {
      say("clipped " + std::to_string(facts.ClippedSamples) + " samples (peak " +
          PeakText(*facts.PeakDbfs) + " dBFS)");
      result.Warned = true;
    }
    if (frameBytes != 0 && total < declared && !fromStream) {
      say("input shorter than its header: " + std::to_string(facts.Frames) + " of " +
          std::to_string(declared / frameBytes) + " frames");
      result.Warned = true;
    }
  } else if (status == TRunStatus::Aborted && stop && !logFailed) {
    // Interrupted: what was decoded is a complete file under the partial name.
    const std::string partial = PartialName(output);
    result.Status = TJobStatus::Interrupted;
    if (toStream) {
      // The stream holds a complete WAV of what was decoded.
      result.Output = output;
      result.Facts->Md5 = HexDigest(md5.Digest());
      say("Interrupted; what was decoded went to standard output");
      if (meterLog) logFile.CommitAs(PartialName(*settings.MeterLog), true);
    } else if (outputFile.CommitAs(partial, true)) {
      result.Output = partial;
      result.Facts->Md5 = HexDigest(md5.Digest());
      say("Interrupted; what was decoded is in: " + partial);
      if (meterLog) logFile.CommitAs(PartialName(*settings.MeterLog), true);
      if (settings.Plot && WriteGainPlot(history, plotFile.Descriptor())) {
        plotFile.CommitAs(PartialName(*settings.Plot), true);
      }
    } else {
      say(std::string(kCannotWrite) + partial + ": " + Reason(outputFile.Error()));
    }
  } else {
    result.Status = TJobStatus::Failed;
    if (logFailed)
      say(std::string(kCannotWrite) + *settings.MeterLog + ": " + Reason(logStream->Error()));
  }
  return result;
}

}  // namespace zorv::cli
