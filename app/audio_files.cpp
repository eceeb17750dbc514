// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/audio_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

#include "app/format_check.h"
#include "app/messages.h"
#include "app/refusal_detail.h"
#include "wav/chunk_list.h"
#include "wav/flac_riff.h"

namespace zorv {
namespace {

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

// The header and the format of the opened input; the reader is closed when
// they refuse it. start: the input's first bytes, which name the kind of a
// refused one (read only then, when it is a file: startOf).
std::optional<TRefusal> CheckHeader(TWavFileIn& reader, const std::string& name,
                                    const std::function<std::string()>& startOf) {
  using TStage = TRefusal::TStage;
  std::optional<TRefusal> refusal;
  if (const TReadHeaderResult code = reader.ReadHeader(); code != TReadHeaderResult::Ok) {
    refusal = TRefusal{HeaderRefusal(reader, code), name, HeaderRefusalDetail(code, startOf()),
                       TStage::Header};
  } else if (const std::int32_t format = CheckFormat(reader.HeaderImage()); format != fcOk) {
    refusal = TRefusal{std::string(CheckFormatMessage(format)), name,
                       FormatRefusalDetail(format, reader.HeaderImage()), TStage::Format};
  }
  if (refusal) reader.CloseFile();
  return refusal;
}

}  // namespace

std::optional<TRefusal> OpenDecodableInput(TWavFileIn& reader, const std::string& path,
                                           std::shared_ptr<const TFlacFindings>* flac) {
  const TInputFile file = OpenInputFile(reader, path);
  if (flac != nullptr) *flac = file.Flac;
  if (file.Opened()) return CheckHeader(reader, path, [&] { return FileStart(path); });
  return InputRefusal(file, path);
}

std::optional<TRefusal> CheckDecodable(TWavFileIn& reader, const std::string& name,
                                       const std::string& start) {
  return CheckHeader(reader, name, [&] { return start; });
}

TRefusal InputRefusal(const TInputFile& file, const std::string& path) {
  std::string detail;
  std::string message = InputFileMessage(file, &detail);
  return TRefusal{std::move(message), path, std::move(detail), TRefusal::TStage::Open};
}

std::string InputProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (::access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  return {};
}

TInputFile OpenInputFile(TWavFileIn& reader, const std::string& path) {
  TInputFile input;
  reader.CloseFile();
  reader.Filename = path;
  if (std::unique_ptr<TByteSource> source = OpenInputSource(path, input)) {
    reader.OpenSource(std::move(source));
  }
  return input;
}

std::unique_ptr<TByteSource> OpenInputSource(const std::string& path, TInputFile& input) {
  using TResult = TInputFile::TResult;
  input = {};
  input.Problem = InputProblem(path);
  if (!input.Problem.empty()) return nullptr;
  std::unique_ptr<TByteSource> file = OpenFileSource(path);
  if (!file) {
    input.Problem = std::strerror(errno);
    return nullptr;
  }
  std::uint8_t start[4] = {};
  const bool whole = file->Read(start, sizeof start) == sizeof start;
  if (!whole && file->ReadErrno() != 0) {
    input.Result = TResult::CannotRead;
    input.Problem = file->ReadErrorText();
    return nullptr;
  }
  const bool flac = whole && IsFlacStart(start, 4);
  file->Seek(0);
  if (!flac) {
    input.Result = TResult::Opened;
    return file;
  }
  bool readFailed = false;
  std::unique_ptr<TFlacSource> source =
      TFlacSource::Open(std::move(file), input.Problem, readFailed);
  if (!source) {
    input.Result = readFailed ? TResult::CannotRead : TResult::UnusableFlac;
    return nullptr;
  }
  input.Flac = source->Findings();
  input.Result = TResult::Opened;
  return source;
}

std::string InputFileMessage(const TInputFile& file, std::string* detail) {
  using TResult = TInputFile::TResult;
  if (detail != nullptr) detail->clear();
  switch (file.Result) {
    case TResult::Opened:
      return {};
    case TResult::CannotOpen:
      if (detail != nullptr) *detail = file.Problem;
      return std::string(messages::kCannotOpen);
    case TResult::CannotRead:
      return std::string(messages::kCannotReadBecause) + file.Problem + "): ";
    case TResult::UnusableFlac:
      break;
  }
  return std::string(messages::kUnusableFlac) + file.Problem + "): ";
}

bool IsFlacName(const std::string& path) {
  constexpr std::string_view kExtension = ".flac";
  return path.size() >= kExtension.size() &&
         std::equal(kExtension.rbegin(), kExtension.rend(), path.rbegin(), [](char e, char c) {
           return e == std::tolower(static_cast<unsigned char>(c));
         });
}

std::string FlacOutputProblem(const TWavFileIn& input, bool floatOutput, bool canonical) {
  if (floatOutput || input.HeaderImage().FormatTag() == kFormatIeeeFloat) {
    return "32-bit float samples; FLAC holds integers: write WAV instead";
  }
  if (input.Channels() > kMaxFlacChannels) {
    return std::to_string(input.Channels()) + " channels; FLAC holds 1 to " +
           std::to_string(kMaxFlacChannels);
  }
  if (canonical) return {};
  // Room for the CodingHistory line a bext chunk gets.
  constexpr std::uint64_t kLineRoom = 4096;
  for (const TChunkInfo& chunk : input.Chunks()) {
    if (chunk.Is("data") || chunk.Is("ds64")) continue;
    const std::uint64_t room = kMaxFlacChunkBytes - (chunk.Is("bext") ? kLineRoom : 0);
    if (ChunkBytes(chunk.Size) > room) {
      return "a chunk '" + chunk.Name() + "' of " + std::to_string(chunk.Size) +
             " bytes; a FLAC metadata block holds " + std::to_string(room - 8);
    }
  }
  return {};
}

}  // namespace zorv
