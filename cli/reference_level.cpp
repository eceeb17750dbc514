// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reference_level.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "app/messages.h"
#include "cli/error_line.h"
#include "cli/run_report.h"
#include "cli/terminal_text.h"

namespace zorv::cli {
namespace {

// An unreadable input's line, "zorv-decode: FILE: reason": its message ends
// in the path; a file that cannot be opened gets the system's reason.
std::string UnreadableLine(const TReferenceTone& tone, const std::string& input) {
  if (!tone.Error.ends_with(input)) return tone.Error;
  const std::string message = tone.Error.substr(0, tone.Error.size() - input.size());
  std::string reason;
  if (message == messages::kCannotOpen) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0) {
      reason = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
      reason = std::strerror(EISDIR);
    } else if (::access(input.c_str(), R_OK) != 0) {
      reason = std::strerror(errno);
    }
  }
  return ErrorLine(message, input, reason);
}

}  // namespace

std::string MeasurementLine(const std::string& input, const TReferenceTone& tone,
                            const std::optional<TLevelRange>& range) {
  // An unreadable input's message already ends in its path.
  if (tone.Suggestion.Verdict == TToneVerdict::Unreadable) return tone.Error;
  std::string line = input + ": " + DescribeReferenceTone(tone);
  if (range) {
    const bool toneLevel = tone.Suggestion.Verdict == TToneVerdict::Suggested ||
                           tone.Suggestion.Verdict == TToneVerdict::OutOfRange;
    line +=
        "; " + DescribeLevelRange(*range, toneLevel ? std::optional<double>(tone.Suggestion.LevelDb)
                                                    : std::nullopt);
  }
  return line;
}

bool MeasureLevels(const std::vector<std::string>& inputs, const TToneStretch& stretch,
                   std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
                   std::ostream* report) {
  bool all = true;
  for (const std::string& input : inputs) {
    if (stop) return false;
    const auto started = std::chrono::system_clock::now();
    const TReferenceTone tone = MeasureReferenceTone(input, stretch);
    // The whole input, decoded once: the levels that keep the bands inside.
    const std::optional<TLevelRange> range =
        tone.Suggestion.Verdict == TToneVerdict::Unreadable || stop ? std::nullopt
                                                                    : AnalyseLevelRange(input);
    const bool unreadable = tone.Suggestion.Verdict == TToneVerdict::Unreadable;
    const std::string line =
        unreadable ? UnreadableLine(tone, input) : MeasurementLine(input, tone, range);
    (unreadable ? err : out) << Escaped(line) << '\n' << std::flush;
    if (report != nullptr) {
      const std::string text = unreadable && line.starts_with(kProgramPrefix)
                                   ? line.substr(kProgramPrefix.size())
                                   : line;
      *report << MeasurementReportLine(input, tone, range, text, started,
                                       std::chrono::system_clock::now());
    }
    all = all && tone.Suggestion.Verdict == TToneVerdict::Suggested;
  }
  return all;
}

TToneLevel LevelFromTone(const std::string& input, const TToneStretch& stretch) {
  const TReferenceTone tone = MeasureReferenceTone(input, stretch);
  TToneLevel result;
  switch (tone.Suggestion.Verdict) {
    case TToneVerdict::Suggested:
      result.LevelDb = tone.Suggestion.LevelDb;
      result.Lines = {DescribeReferenceTone(tone)};
      break;
    case TToneVerdict::Unreadable:
      result.Lines = {tone.Error};
      break;
    case TToneVerdict::OutOfRange:
    case TToneVerdict::NoTone:
      result.Lines = {std::string(kNoUsableTone) + input, DescribeReferenceTone(tone)};
      break;
  }
  return result;
}

}  // namespace zorv::cli
