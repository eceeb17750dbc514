// SPDX-License-Identifier: GPL-3.0-or-later
// A run's files: the input file (or a stream on a descriptor) opened as the
// run's byte source, and the output written under a temporary name beside
// its final one. Once the run has ended, a complete output takes the final
// name, the part a stopped run decoded the partial name (NAME.partial.wav,
// or the next free NAME.partial-2.wav, ...), and anything else is removed:
// a reader never finds an incomplete file under either name, and an existing
// output is replaced only by a complete one. The command line and the window
// both keep their runs' files this way.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/audio_files.h"
#include "app/decode_run.h"
#include "app/pending_file.h"
#include "wav/byte_sink.h"

namespace zorv {

class TFileTarget {
 public:
  TFileTarget() = default;
  // Removes a temporary file that was not committed.
  ~TFileTarget() = default;
  TFileTarget(const TFileTarget&) = delete;
  TFileTarget& operator=(const TFileTarget&) = delete;

  // Opens the file at path as run's input (a FLAC file as the WAV file it
  // was packed from): refused when it cannot be opened or read, is an
  // unusable FLAC file, or the run refuses its header or format.
  std::optional<TRefusal> OpenInput(TDecodeRun& run, const std::string& path);
  // A WAV stream on the descriptor fd (standard input), named name.
  std::optional<TRefusal> OpenInputStream(TDecodeRun& run, int fd, const std::string& name);

  // Checks path as the output of run's open input and creates the temporary
  // file beside it: refused when path is the input, or its partial name is
  // (the input would be replaced by its own part), when path is there and is
  // not a regular file, when a ".flac" name cannot hold the run's output, or
  // when the folder does not take the file.
  std::optional<TRefusal> CreateOutput(const TDecodeRun& run, const std::string& path);
  // The sink of the created temporary file (a FLAC sink for a ".flac"
  // name); null but once.
  std::unique_ptr<TByteSink> TakeSink();
  // CreateOutput, and the sink to the run.
  std::optional<TRefusal> OpenOutput(TDecodeRun& run, const std::string& path);
  // The output as a WAV stream on the descriptor fd (standard output).
  void OpenOutputStream(TDecodeRun& run, int fd, const std::string& name);

  // What becomes of the output once the run has ended with result: keep
  // false (the front end's own files failed, or it does not want a decode
  // that warned) removes it, and the result then names no digest and no
  // part. Sets result's Kept, or CommitErrno (the digest then withdrawn)
  // when the file could not take its name.
  void Commit(TRunResult& result, bool keep = true);
  // The run, then Commit.
  TRunResult Run(TDecodeRun& run, bool keep = true);

  const std::string& OutputPath() const { return OutputPath_; }
  // The temporary file's name while it is there.
  const std::string& TemporaryPath() const { return Output_.TemporaryPath(); }

 private:
  std::string OutputPath_;
  TPendingFile Output_;
  std::unique_ptr<TByteSink> Sink_;
  bool OutputFile_ = false;
  bool ReplaceOutput_ = false;
  bool ReplacePartial_ = false;
};

}  // namespace zorv
