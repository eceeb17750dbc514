// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reference_level.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "app/channel_levels.h"
#include "app/messages.h"
#include "cli/error_line.h"
#include "app/run_report.h"
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

std::vector<std::string> ChannelMeasurementLines(const std::string& input,
                                                 const TReferenceTone& tone) {
  std::vector<std::string> lines;
  if (tone.Suggestion.Verdict == TToneVerdict::Unreadable || tone.Channels.size() <= 2) {
    return lines;
  }
  for (std::size_t c = 0; c < tone.Channels.size(); ++c) {
    lines.push_back(input + ": channel " + std::to_string(c + 1) + ": " +
                    DescribeReferenceTone(ChannelsOf(tone, c, 1)));
  }
  return lines;
}

bool MeasureLevels(const std::vector<std::string>& inputs, const TToneStretch& stretch,
                   std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
                   std::ostream* report) {
  bool all = true;
  for (const std::string& input : inputs) {
    const auto started = std::chrono::system_clock::now();
    TReferenceTone tone = stop ? TReferenceTone{} : MeasureReferenceTone(input, stretch);
    // The whole input, decoded once: the levels that keep the bands inside.
    std::optional<TLevelRange> range;
    if (!stop && tone.Suggestion.Verdict != TToneVerdict::Unreadable) {
      range = AnalyseLevelRange(input);
      if (!range->Error.empty()) {
        tone = UnreadableTone(range->Error);
        range.reset();
      }
    }
    if (stop) {
      // Whatever the passes found before the signal is no measurement.
      const std::string line = ErrorLine(kNotMeasured, input);
      err << Escaped(line) << '\n' << std::flush;
      if (report != nullptr) {
        *report << MeasurementReportLine(input, UnreadableTone(line), std::nullopt,
                                         line.substr(kProgramPrefix.size()), started,
                                         std::chrono::system_clock::now(), true);
      }
      all = false;
      continue;
    }
    const bool unreadable = tone.Suggestion.Verdict == TToneVerdict::Unreadable;
    const std::string line =
        unreadable ? UnreadableLine(tone, input) : MeasurementLine(input, tone, range);
    std::ostream& to = unreadable ? err : out;
    to << Escaped(line) << '\n';
    if (!unreadable) {
      for (const std::string& channelLine : ChannelMeasurementLines(input, tone)) {
        to << Escaped(channelLine) << '\n';
      }
    }
    to << std::flush;
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

TToneLevels LevelsFromTones(const std::string& input, const TToneStretch& stretch,
                            bool fallbackMean, const std::vector<std::optional<double>>& byHand) {
  return LevelsFromTones(MeasureReferenceTone(input, stretch), input, fallbackMean, byHand);
}

TToneLevels LevelsFromTones(const TReferenceTone& tone, const std::string& input, bool fallbackMean,
                            const std::vector<std::optional<double>>& byHand) {
  TToneLevels result;
  if (tone.Suggestion.Verdict == TToneVerdict::Unreadable) {
    result.Lines = {tone.Error};
    return result;
  }
  const std::vector<TLevelSuggestion> channels = ChannelSuggestions(tone);
  std::vector<std::optional<TFoundTone>> usable;
  std::vector<std::size_t> missing;
  for (std::size_t c = 0; c < channels.size(); ++c) {
    if (channels[c].Verdict == TToneVerdict::Suggested) {
      usable.push_back(tone.Channels[c]);
    } else if (c >= byHand.size() || !byHand[c]) {
      missing.push_back(c);
    }
  }
  // The mean of the channels with a usable tone, each inside the range.
  const TLevelSuggestion mean = SuggestLevel(usable);
  if (!missing.empty() && (!fallbackMean || mean.Verdict != TToneVerdict::Suggested)) {
    result.Lines = {std::string(kChannelWithoutTone) + input};
    for (const std::size_t c : missing) {
      const TReferenceTone own = ChannelsOf(tone, c, 1);
      result.Lines.push_back("channel " + std::to_string(c + 1) + ": " +
                             (channels[c].Verdict == TToneVerdict::NoTone
                                  ? std::string("no reference tone found")
                                  : DescribeReferenceTone(own)));
    }
    return result;
  }
  std::vector<double> levels;
  for (std::size_t c = 0; c < channels.size(); ++c) {
    const bool own = channels[c].Verdict == TToneVerdict::Suggested;
    levels.push_back(c < byHand.size() && byHand[c] ? *byHand[c]
                     : own                          ? channels[c].LevelDb
                                                    : mean.LevelDb);
  }
  std::string line = "each channel at its own reference tone: " + ReferenceLevelsText(levels);
  result.LevelsDb = std::move(levels);
  if (!missing.empty()) {
    std::string names;
    for (const std::size_t c : missing)
      names += (names.empty() ? "" : ", ") + std::to_string(c + 1);
    line += (missing.size() == 1 ? " (channel " : " (channels ") + names +
            " without a usable tone: the mean of the others)";
  }
  result.Lines = {std::move(line)};
  return result;
}

}  // namespace zorv::cli
