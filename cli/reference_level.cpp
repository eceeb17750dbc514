#include "cli/reference_level.h"

namespace zorv::cli {

std::string MeasurementLine(const std::string& input, const TReferenceTone& tone) {
  // An unreadable input's message already ends in its path.
  if (tone.Suggestion.Verdict == TToneVerdict::Unreadable) return tone.Error;
  return input + ": " + DescribeReferenceTone(tone);
}

bool MeasureLevels(const std::vector<std::string>& inputs, const TToneStretch& stretch,
                   std::ostream& out) {
  bool all = true;
  for (const std::string& input : inputs) {
    const TReferenceTone tone = MeasureReferenceTone(input, stretch);
    out << MeasurementLine(input, tone) << "\n" << std::flush;
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
      result.Report = MeasurementLine(input, tone) + "\n";
      break;
    case TToneVerdict::Unreadable:
      result.Report = tone.Error + "\n";
      break;
    case TToneVerdict::OutOfRange:
    case TToneVerdict::NoTone:
      result.Report =
          std::string(kNoUsableTone) + input + "\n  " + DescribeReferenceTone(tone) + "\n";
      break;
  }
  return result;
}

}  // namespace zorv::cli
