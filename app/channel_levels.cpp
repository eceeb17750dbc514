// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/channel_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace zorv {
namespace {

// "0:04:30.0": hours, minutes, seconds and tenths of a frame's time.
std::string TimeOfFrame(std::uint64_t frame, std::uint32_t sampleRate) {
  const std::uint64_t tenths = sampleRate == 0 ? 0 : frame * 10 / sampleRate;
  char text[48];
  std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%llu",
                static_cast<unsigned long long>(tenths / 36000),
                static_cast<unsigned long long>(tenths / 600 % 60),
                static_cast<unsigned long long>(tenths / 10 % 60),
                static_cast<unsigned long long>(tenths % 10));
  return text;
}

// The levels are whole tenths of a dB.
std::string Tenths(double dB) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::round(10.0 * dB) / 10.0 + 0.0);
  return text;
}

std::string DbText(double dB) {
  return Tenths(dB) + " dB";
}

}  // namespace

bool LevelsEqual(const std::vector<double>& levelsDb) {
  return std::adjacent_find(levelsDb.begin(), levelsDb.end(), std::not_equal_to<>()) ==
         levelsDb.end();
}

std::string LevelsText(const std::vector<double>& levelsDb) {
  if (levelsDb.empty()) return {};
  if (LevelsEqual(levelsDb)) return DbText(levelsDb.front());
  std::string text;
  for (const double dB : levelsDb) {
    if (!text.empty()) text += '/';
    text += Tenths(dB);
  }
  return text + " dB";
}

std::string ReferenceLevelsText(const std::vector<double>& levelsDb) {
  return (LevelsEqual(levelsDb) ? "reference level " : "reference levels ") + LevelsText(levelsDb);
}

std::string LevelHistoryText(const std::vector<TLevelChange>& levels, std::uint32_t sampleRate) {
  std::string text;
  for (const TLevelChange& change : levels) {
    if (!text.empty()) text += "; ";
    text += LevelsText(change.LevelsDb);
    if (change.Frame != 0) text += " from " + TimeOfFrame(change.Frame, sampleRate);
  }
  return text;
}

std::string ReferenceLevelHistoryText(const std::vector<TLevelChange>& levels,
                                      std::uint32_t sampleRate) {
  const bool apart = std::any_of(levels.begin(), levels.end(), [](const TLevelChange& change) {
    return !LevelsEqual(change.LevelsDb);
  });
  return (apart ? "reference levels " : "reference level ") + LevelHistoryText(levels, sampleRate);
}

}  // namespace zorv
