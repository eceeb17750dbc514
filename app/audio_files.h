// SPDX-License-Identifier: GPL-3.0-or-later
// The run's files as WAV or FLAC: an input opened for the WAV reader (a WAV
// file as it is, a FLAC file as the WAV file it was packed from,
// wav/flac_source.h), and what keeps an output from being written as FLAC.
// Every front end opens its inputs this way.
#pragma once

#include <memory>
#include <string>

#include "wav/flac_source.h"
#include "wav/wav_file_in.h"

namespace zorv {

struct TInputFile {
  enum class TResult { Opened, CannotOpen, CannotRead, UnusableFlac };
  TResult Result = TResult::CannotOpen;
  // Why it was not opened: the system's reason, or what is wrong with a FLAC
  // file.
  std::string Problem;
  // For a FLAC file: its checksum's verdict and notes, once read.
  std::shared_ptr<const TFlacFindings> Flac;

  bool Opened() const { return Result == TResult::Opened; }
};

// A regular file that can be read is opened (a folder, a device or a pipe is
// not: CannotOpen with the reason).
TInputFile OpenInputFile(TWavFileIn& reader, const std::string& path);
// Why path cannot be opened as an input (not there, a folder, not a regular
// file, not readable), in the system's words; empty when it can.
std::string InputProblem(const std::string& path);
// The message of an input that was not opened, to be followed by its path
// ("Cannot open: ", "Unusable FLAC File (damaged FLAC metadata): "); detail
// gets the system's reason where the message does not hold it.
std::string InputFileMessage(const TInputFile& file, std::string* detail = nullptr);

// True when the name ends in ".flac", in any case: an output written as FLAC.
bool IsFlacName(const std::string& path);
// Why the output of the reader's input cannot be FLAC (float samples, more
// than 8 channels, a chunk larger than a metadata block); empty when it can.
std::string FlacOutputProblem(const TWavFileIn& input, bool floatOutput, bool canonical);

}  // namespace zorv
