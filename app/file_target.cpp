// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_target.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "app/messages.h"
#include "app/output_name.h"
#include "wav/flac_sink.h"

namespace zorv {
namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

}  // namespace

std::optional<TRefusal> TFileTarget::OpenInput(TDecodeRun& run, const std::string& path) {
  TInputFile file;
  std::unique_ptr<TByteSource> source = OpenInputSource(path, file);
  if (!source) return InputRefusal(file, path);
  return run.OpenInput(std::move(source), path);
}

std::optional<TRefusal> TFileTarget::OpenInputStream(TDecodeRun& run, int fd,
                                                     const std::string& name) {
  return run.OpenInput(StreamSource(fd), name);
}

std::optional<TRefusal> TFileTarget::CreateOutput(const TDecodeRun& run, const std::string& path) {
  Output_.Discard();
  Sink_.reset();
  OutputPath_ = path;
  OutputFile_ = false;
  const TRunSettings& settings = run.Settings();
  ReplaceOutput_ = settings.ReplaceOutput;
  ReplacePartial_ = settings.ReplacePartial;
  const std::string input = run.InputIsStream() ? std::string() : run.InputName();
  if (!input.empty() && SameFile(input, path)) {
    return TRefusal{std::string(messages::kInputAsOutput), path, {}};
  }
  // Nor where an interrupted run keeps what it decoded: the input would be
  // replaced by its own part.
  if (const std::string partial = PartialName(path); !input.empty() && SameFile(input, partial)) {
    return TRefusal{std::string(messages::kInputAsOutput), partial, std::string(kPartialRole)};
  }
  // The complete output takes the name by a rename: a device or a pipe of
  // that name would be replaced by a file.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return TRefusal{std::string(messages::kCannotCreate), path,
                    S_ISDIR(info.st_mode) ? Reason(EISDIR) : "not a regular file"};
  }
  const bool flac = IsFlacName(path);
  if (flac) {
    if (auto refusal = run.FlacRefusal(path)) return refusal;
  }
  if (!Output_.Create(path)) {
    return TRefusal{std::string(messages::kCannotCreate), path, Reason(Output_.Error())};
  }
  // The sink closes its own descriptor at the end of the run; the pending
  // file keeps one for the sync before the rename.
  const int fd = ::fcntl(Output_.Descriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    const int error = errno;
    Output_.Discard();
    return TRefusal{std::string(messages::kCannotCreate), path, Reason(error)};
  }
  Sink_ = flac ? TFlacSink::Create(FileSink(fd)) : FileSink(fd);
  OutputFile_ = true;
  return std::nullopt;
}

std::unique_ptr<TByteSink> TFileTarget::TakeSink() {
  return std::move(Sink_);
}

std::optional<TRefusal> TFileTarget::OpenOutput(TDecodeRun& run, const std::string& path) {
  if (auto refusal = CreateOutput(run, path)) return refusal;
  if (auto refusal = run.OpenOutput(TakeSink(), path)) {
    Output_.Discard();
    OutputFile_ = false;
    return refusal;
  }
  return std::nullopt;
}

void TFileTarget::OpenOutputStream(TDecodeRun& run, int fd, const std::string& name) {
  Output_.Discard();
  OutputPath_ = name;
  OutputFile_ = false;
  run.OpenOutput(StreamSink(fd), name);
}

void TFileTarget::Commit(TRunResult& result, bool keep) {
  const bool done = result.Status == TRunStatus::Done;
  const bool stopped = result.Status == TRunStatus::Aborted;
  if (!keep || (!done && !stopped)) {
    Output_.Discard();
    if (!keep) {
      result.Md5.reset();
      result.Partial = false;
    }
    return;
  }
  if (!OutputFile_) return;
  OutputFile_ = false;
  if (done) {
    if (!Output_.Commit(ReplaceOutput_)) {
      result.CommitErrno = Output_.Error();
      result.Md5.reset();
      Output_.Discard();
      return;
    }
    result.Kept = OutputPath_;
    return;
  }
  // Stopped: what was decoded is a complete file under the partial name. An
  // existing partial file is not this run's: it stays (unless it is to be
  // replaced), and the part takes the next free partial name.
  const std::optional<std::string> partial = Output_.CommitPartial(ReplacePartial_);
  if (!partial) {
    result.CommitErrno = Output_.Error();
    result.Md5.reset();
    Output_.Discard();
    return;
  }
  result.Kept = *partial;
}

TRunResult TFileTarget::Run(TDecodeRun& run, bool keep) {
  TRunResult result = run.Run();
  Commit(result, keep);
  return result;
}

}  // namespace zorv
