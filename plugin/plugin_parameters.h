// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin's controls as the parameters of the formats that have no
// control ports (VST3, CLAP): the reference level, which the host sets,
// automates and saves, and the band gains, which the plugin reports and the
// host only shows. Names, ranges and units are the LV2 ports'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dsp/zorv_calc.h"

namespace zorv::plugin {

// Ids: the level 0, the band gains 1 + 4 x channel + band (channel 1 A..D,
// then channel 2 A..D); the parameters are listed in that order.
inline constexpr std::uint32_t kLevelId = 0;
constexpr std::uint32_t GainId(std::uint32_t channel, std::uint32_t band) {
  return 1 + kBands * channel + band;
}
constexpr std::uint32_t ParameterCount(std::uint32_t channels) {
  return 1 + kBands * channels;
}

struct TParameter {
  std::uint32_t Id = 0;
  std::string Name;
  std::string ShortName;
  double Min = 0.0;
  double Max = 0.0;
  double Default = 0.0;
  // The value moves in tenths of a dB: Steps + 1 values from Min to Max.
  std::uint32_t Steps = 0;
  bool ReadOnly = false;
};

// The parameter with the id, for a plugin of channels (1 or 2); nothing
// for an id it does not have.
std::optional<TParameter> ParameterOf(std::uint32_t channels, std::uint32_t id);

// A value as a host shows it beside the unit, "-12.5", into out (size
// bytes, at least 2), and the value of what a user typed ("-12.5",
// "-12.5 dB"); nothing for text that is not a number.
void ValueText(double value, char* out, std::size_t size);
std::optional<double> ValueOfText(std::string_view text);

// 0..1 over the parameter's range, as VST3 hosts hand values over, and back
// (to the nearest tenth of a dB).
double Normalised(const TParameter& parameter, double value);
double ValueOfNormalised(const TParameter& parameter, double normalised);

// What the host saves with its session: the level, as text
// "zorv-audio-decoder-state 1\nlevel -12.5\n". The level of saved bytes,
// nothing for bytes that are not such a state.
std::string StateOf(double levelDb);
std::optional<double> LevelOfState(std::string_view bytes);
// Bytes beyond this are not a state of ours.
inline constexpr std::size_t kMaxStateBytes = 4096;

}  // namespace zorv::plugin
