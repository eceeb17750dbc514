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
// Refusal of --level tone --per-channel for an input of which a channel has
// no usable tone (path appended).
inline constexpr std::string_view kChannelWithoutTone = "No usable reference tone in a channel: ";
// --measure-level stopped by a signal before the input's measurement was
// complete (path appended).
inline constexpr std::string_view kNotMeasured = "Not measured, interrupted: ";

// "FILE: reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:32.0); reference level -14.3 dB",
// or what was found instead; then, with a range, "; levels -19.4 .. -8.1 dB
// keep every band inside its range; the tone's level -14.3 dB lies inside it".
// For an unreadable input its refusal.
std::string MeasurementLine(const std::string& input, const TReferenceTone& tone,
                            const std::optional<TLevelRange>& range = std::nullopt);

// For more than two channels, one line per channel after the input's:
// "FILE: channel 3: reference tone 1000 Hz at -14.3 dBFS (0:02.0-0:32.0);
// reference level -14.3 dB", or what was found in it instead. None for
// fewer channels or an unreadable input.
std::vector<std::string> ChannelMeasurementLines(const std::string& input,
                                                 const TReferenceTone& tone);

// --measure-level: one line per input on out, in input order, with the tone
// and the range of levels that keep every band inside its range (one decode
// of the whole input); an unreadable input's refusal on err: a read that
// fails in either pass refuses it, never a measurement of part of it. Once
// stop is set, the input in hand and those after it are not measured, and
// said so. True when every input's tone gave a reference level.
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

struct TToneLevels {
  std::optional<std::vector<double>> LevelsDb;  // one per channel
  // What was measured (one line, without the input's name), or the
  // refusal's lines: the input's, then one per channel without a usable tone.
  std::vector<std::string> Lines;
};

// --level tone --per-channel: each channel's level from its own reference
// tone. A channel without a usable one refuses the input, or with
// fallbackMean takes the level of the mean of the channels that have one;
// channels set by hand (byHand[c], as many as the channels or none) keep
// that level and need no tone.
TToneLevels LevelsFromTones(const std::string& input, const TToneStretch& stretch,
                            bool fallbackMean,
                            const std::vector<std::optional<double>>& byHand = {});
TToneLevels LevelsFromTones(const TReferenceTone& tone, const std::string& input, bool fallbackMean,
                            const std::vector<std::optional<double>>& byHand = {});

}  // namespace zorv::cli
