// SPDX-License-Identifier: GPL-3.0-or-later
// The reference levels of a run's channels, and how the front ends, the
// report and the CodingHistory say them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorv {

// The level history of a run: the level of every channel from each frame on.
struct TLevelChange {
  std::uint64_t Frame = 0;
  std::vector<double> LevelsDb;  // one per channel

  friend bool operator==(const TLevelChange&, const TLevelChange&) = default;
};

// Every channel has the same level (or there is one channel).
bool LevelsEqual(const std::vector<double>& levelsDb);

// The levels of the channels as one text: "-10.0 dB" when they are equal
// (or there is one), "-12.5/-13.0/-11.8 dB" (channel by channel) when not.
// No commas: the text stands in the CodingHistory, whose fields commas part.
std::string LevelsText(const std::vector<double>& levelsDb);
// "reference level -10.0 dB", or "reference levels -12.5/-13.0/-11.8 dB".
std::string ReferenceLevelsText(const std::vector<double>& levelsDb);

// The reference levels of a run as the CodingHistory and the status say
// them: "-10.0 dB", or "-10.0 dB; -9.7 dB from 0:04:30.0"; per channel as
// LevelsText says them.
std::string LevelHistoryText(const std::vector<TLevelChange>& levels, std::uint32_t sampleRate);
// The same after "reference level " or, when any channels differ,
// "reference levels ".
std::string ReferenceLevelHistoryText(const std::vector<TLevelChange>& levels,
                                      std::uint32_t sampleRate);

}  // namespace zorv
