// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/plugin_parameters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "dsp/reference_level_range.h"
#include "plugin/decoder_plugin.h"

namespace zorv::plugin {
namespace {

constexpr std::string_view kStateHeader = "zorv-audio-decoder-state 1\n";
constexpr std::string_view kStateLevel = "level ";
constexpr double kGainMax = 10.0;

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// A whole finite number, nothing else.
std::optional<double> NumberOf(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<TParameter> ParameterOf(std::uint32_t channels, std::uint32_t id) {
  if (id == kLevelId) {
    return TParameter{kLevelId,
                      "Reference level",
                      "Level",
                      kMinLevelDb,
                      kMaxLevelDb,
                      kDefaultLevelDb,
                      static_cast<std::uint32_t>(std::lround((kMaxLevelDb - kMinLevelDb) * 10.0)),
                      false};
  }
  if (id >= ParameterCount(channels)) return std::nullopt;
  const std::uint32_t channel = (id - 1) / kBands;
  const char band = static_cast<char>('A' + (id - 1) % kBands);
  std::string name = std::string("Band ") + band + " gain";
  std::string shortName = std::string("Gain ") + band;
  if (channels == 2) {
    name += channel == 0 ? " (left)" : " (right)";
    shortName += channel == 0 ? " L" : " R";
  }
  // The outputs' lowest value as the Turtle file states it, in tenths.
  const double lowest = std::round(static_cast<double>(kGainBeforeFirstBlock) * 10.0) / 10.0;
  return TParameter{id,
                    std::move(name),
                    std::move(shortName),
                    lowest,
                    kGainMax,
                    lowest,
                    static_cast<std::uint32_t>(std::lround((kGainMax - lowest) * 10.0)),
                    true};
}

void ValueText(double value, char* out, std::size_t size) {
  // Tenths, and never "-0.0".
  const double tenths = std::round(value * 10.0) / 10.0;
  std::snprintf(out, size, "%.1f", tenths == 0.0 ? 0.0 : tenths);
}

std::optional<double> ValueOfText(std::string_view text) {
  text = Trimmed(text);
  if (text.size() >= 2 &&
      (text.substr(text.size() - 2) == "dB" || text.substr(text.size() - 2) == "db")) {
    text = Trimmed(text.substr(0, text.size() - 2));
  }
  return NumberOf(text);
}

double Normalised(const TParameter& parameter, double value) {
  return std::clamp((value - parameter.Min) / (parameter.Max - parameter.Min), 0.0, 1.0);
}

double ValueOfNormalised(const TParameter& parameter, double normalised) {
  // The nearest step: a whole number of tenths from the minimum.
  const double step = std::round(std::clamp(normalised, 0.0, 1.0) * parameter.Steps);
  return (std::round(parameter.Min * 10.0) + step) / 10.0;
}

std::string StateOf(double levelDb) {
  char text[32];
  ValueText(levelDb, text, sizeof text);
  return std::string(kStateHeader) + std::string(kStateLevel) + text + "\n";
}

std::optional<double> LevelOfState(std::string_view bytes) {
  if (bytes.size() > kMaxStateBytes || bytes.substr(0, kStateHeader.size()) != kStateHeader) {
    return std::nullopt;
  }
  bytes.remove_prefix(kStateHeader.size());
  // Lines "key value"; keys this version does not know are passed over.
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view line = bytes.substr(0, end);
    if (line.substr(0, kStateLevel.size()) == kStateLevel) {
      return NumberOf(Trimmed(line.substr(kStateLevel.size())));
    }
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return std::nullopt;
}

}  // namespace zorv::plugin
