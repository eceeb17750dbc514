// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/error_line.h"

#include <cctype>
#include <utility>

#include "app/messages.h"
#include "cli/decode_job.h"
#include "cli/reference_level.h"

namespace zorv::cli {
namespace {

struct TWording {
  std::string_view Message;
  std::string_view Reason;
  bool SystemReason;  // the detail is the system's reason, after a colon
};

// The window's texts and the command line's own, as reasons after the path.
constexpr TWording kWordings[] = {
    {messages::kCannotOpen, "cannot open", true},
    {messages::kCannotRead, "cannot read", true},
    {messages::kNoRiffFile, "not a RIFF file", false},
    {messages::kNoWavFile, "not a WAV file", false},
    {messages::kNoFmtChunk, "no fmt chunk", false},
    {messages::kNoDataChunk, "no data chunk", false},
    {messages::kUnsupportedFormat, "audio format not supported", false},
    {messages::kUnsupportedChannels, "number of channels not supported", false},
    {messages::kUnsupportedRate, "sampling rate not supported", false},
    {messages::kCannotCreate, "cannot create", true},
    {messages::kInputAsOutput, "the input file cannot be an output", false},
    {kOutputExists, "output file exists (use -f to overwrite)", false},
    {kOutputTwice, "output file already used for another input", false},
    {kNotDecoded, "not decoded, interrupted", false},
    {kCannotWrite, "cannot write", true},
    {kLogIsOutput, "the output file cannot be the meter log", false},
    {kOutputIsLink, "output is a symbolic link", false},
    {kInputIsTerminal, "cannot read a WAV stream from a terminal", false},
    {kOutputIsTerminal, "cannot write a WAV stream to a terminal", false},
    {kNoUsableTone, "no usable reference tone", false},
    {kNotMeasured, "not measured, interrupted", false},
};

// The reason of a message the table does not hold: "Unusable WAV File
// (two data chunks): " and "Cannot read (reason): " carry what they found
// inside; any other loses its ": " and its capital.
std::pair<std::string, bool> ReasonOf(std::string_view message) {
  for (const TWording& wording : kWordings) {
    if (message == wording.Message) return {std::string(wording.Reason), wording.SystemReason};
  }
  if (message.ends_with(": ")) message.remove_suffix(2);
  if (message.starts_with(messages::kCannotReadBecause) && message.ends_with(")")) {
    message.remove_prefix(messages::kCannotReadBecause.size());
    message.remove_suffix(1);
    return {"cannot read: " + std::string(message), false};
  }
  for (const auto& [unusable, reason] :
       {std::pair{messages::kUnusableWav, "unusable WAV file ("},
        std::pair{messages::kUnusableFlac, "unusable FLAC file ("}}) {
    if (!message.starts_with(unusable)) continue;
    message.remove_prefix(unusable.size());
    return {reason + std::string(message), false};
  }
  std::string reason(message);
  if (reason.size() > 1 && !std::isupper(static_cast<unsigned char>(reason[1]))) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  return {reason, false};
}

}  // namespace

std::string ErrorText(std::string_view message, const std::string& path,
                      const std::string& detail) {
  const auto [reason, system] = ReasonOf(message);
  if (reason.empty()) return path + ": " + detail;
  std::string text = path + ": " + reason;
  if (!detail.empty()) text += system ? ": " + detail : " (" + detail + ")";
  return text;
}

std::string ErrorLine(std::string_view message, const std::string& path,
                      const std::string& detail) {
  return std::string(kProgramPrefix) + ErrorText(message, path, detail);
}

}  // namespace zorv::cli
