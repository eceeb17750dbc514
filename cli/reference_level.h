// The reference level taken from each input's own reference tone:
// --measure-level reports it, --level tone decodes with it.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/reference_tone.h"

namespace zorv::cli {

// Refusal of --level tone for an input without a usable tone (path appended).
inline constexpr std::string_view kNoUsableTone = "No usable reference tone: ";

// "FILE: reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:32.0); reference level -14.3 dB"
std::string MeasurementLine(const std::string& input, const TReferenceTone& tone);

// One line per input on out, in input order. True when every input gave a
// reference level.
bool MeasureLevels(const std::vector<std::string>& inputs, const TToneStretch& stretch,
                   std::ostream& out);

struct TToneLevel {
  std::optional<double> LevelDb;  // the level to decode with
  std::string Report;             // lines for stderr: what was measured, or the refusal
};

// The level of input's reference tone, or why there is none.
TToneLevel LevelFromTone(const std::string& input, const TToneStretch& stretch);

}  // namespace zorv::cli
