// SPDX-License-Identifier: GPL-3.0-or-later
// The run's files as WAV or FLAC: an input opened for the WAV reader (a WAV
// file as it is, a FLAC file as the WAV file it was packed from,
// wav/flac_source.h), and what keeps an output from being written as FLAC.
// Every front end opens its inputs this way.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "wav/flac_source.h"
#include "wav/wav_file_in.h"

namespace zorv {

// Why a file is not taken: the message ("Cannot open: ") is followed by the
// path; detail, when not empty, says more ("found 22050 Hz; accepted:
// 44100, 48000, 96000 Hz", or the system's reason).
struct TRefusal {
  // What refused it: the file did not open (the detail is the system's
  // reason), its header is not a usable WAV header, its format is not one
  // the decoder takes, or something else (a setting, the output).
  enum class TStage { Open, Header, Format, Other };

  std::string Message;
  std::string Path;
  std::string Detail;
  TStage Stage = TStage::Other;

  std::string Line() const { return Message + Path; }
};

// Opens path for reader (a WAV file as it is, a FLAC file as the WAV file it
// was packed from), reads its header and checks its format: nothing when it
// can be decoded (reader then open, its header read), else why not (reader
// closed). flac, when given, receives what a FLAC file's source found.
std::optional<TRefusal> OpenDecodableInput(TWavFileIn& reader, const std::string& path,
                                           std::shared_ptr<const TFlacFindings>* flac = nullptr);
// The same for what the caller opened for reader (a memory image, a
// stream), named name; start, when known, holds its first bytes (up to 12),
// to name what kind of file a refused one is.
std::optional<TRefusal> CheckDecodable(TWavFileIn& reader, const std::string& name,
                                       const std::string& start = {});

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
// The same as a byte source for a reader (a FLAC file's source presents the
// WAV file it was packed from); null when file says it was not opened.
std::unique_ptr<TByteSource> OpenInputSource(const std::string& path, TInputFile& file);
// The refusal of the input file at path that was not opened.
TRefusal InputRefusal(const TInputFile& file, const std::string& path);
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
