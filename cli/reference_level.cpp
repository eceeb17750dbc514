// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/reference_level.h"

#include "cli/terminal_text.h"

namespace zorv::cli {

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
                   std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
  bool all = true;
  for (const std::string& input : inputs) {
    if (stop) return false;
    const TReferenceTone tone = MeasureReferenceTone(input, stretch);
    // The whole input, decoded once: the levels that keep the bands inside.
    const std::optional<TLevelRange> range =
        tone.Suggestion.Verdict == TToneVerdict::Unreadable || stop ? std::nullopt
                                                                    : AnalyseLevelRange(input);
    std::ostream& to = tone.Suggestion.Verdict == TToneVerdict::Unreadable ? err : out;
    to << Escaped(MeasurementLine(input, tone, range)) << '\n' << std::flush;
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
