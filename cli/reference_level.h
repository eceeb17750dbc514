// SPDX-License-Identifier: GPL-3.0-or-later
// The reference level taken from each input's own reference tone:
// --measure-level reports it, --level tone decodes with it.
#pragma once

#include <atomic>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/level_range.h"
#include "app/reference_tone.h"

namespace zorv::cli {

// Refusal of --level tone for an input without a usable tone (path appended).
inline constexpr std::string_view kNoUsableTone = "No usable reference tone: ";

// "FILE: reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:32.0); reference level -14.3 dB",
// or what was found instead; then, with a range, "; levels -19.4 .. -8.1 dB
// keep every band inside its range; the tone's level -14.3 dB lies inside it".
// For an unreadable input its refusal.
std::string MeasurementLine(const std::string& input, const TReferenceTone& tone,
                            const std::optional<TLevelRange>& range = std::nullopt);

// --measure-level: one line per input on out, in input order, with the tone
// and the range of levels that keep every band inside its range (one decode
// of the whole input); an unreadable input's refusal on err. Stops between
// inputs when stop is set. True when every input's tone gave a reference
// level.
// With a report, each input's findings go there too as one JSON object.
bool MeasureLevels(const std::vector<std::string>& inputs, const TToneStretch& stretch,
                   std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
                   std::ostream* report = nullptr);

struct TToneLevel {
  std::optional<double> LevelDb;  // the level to decode with
  // What was measured (one line, without the input's name), or the
  // refusal's lines.
  std::vector<std::string> Lines;
};

// The level of input's reference tone, or why there is none.
TToneLevel LevelFromTone(const std::string& input, const TToneStretch& stretch);

}  // namespace zorv::cli
