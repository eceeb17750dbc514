// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/input_faults.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zorv {

void TInputFaults::Add(const TInputFaults& block, std::uint64_t offset) {
  if (block.NonFinite != 0) {
    const std::uint64_t first = offset + block.FirstNonFinite;
    FirstNonFinite = NonFinite == 0 ? first : std::min(FirstNonFinite, first);
    NonFinite += block.NonFinite;
  }
  if (block.Clamped != 0) {
    const std::uint64_t first = offset + block.FirstClamped;
    FirstClamped = Clamped == 0 ? first : std::min(FirstClamped, first);
    Clamped += block.Clamped;
  }
}

TInputFaults SanitiseInput(double* samples, std::uint32_t count, std::uint32_t counted) {
  TInputFaults faults;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double x = samples[i];
    // One compare for the usual sample: not a number fails it too.
    if (std::fabs(x) <= kInputLimit) continue;
    const bool finite = std::isfinite(x);
    samples[i] = !finite ? 0.0 : x > 0 ? kInputLimit : -kInputLimit;
    if (i >= counted) continue;
    std::uint64_t& number = finite ? faults.Clamped : faults.NonFinite;
    if (number++ == 0) (finite ? faults.FirstClamped : faults.FirstNonFinite) = i;
  }
  return faults;
}

std::string FaultTimeText(std::uint64_t frame, std::uint32_t sampleRate) {
  const std::uint64_t ms =
      sampleRate == 0 ? 0 : static_cast<std::uint64_t>(frame * 1000.0L / sampleRate);
  const std::uint64_t hours = ms / 3600000;
  const std::uint64_t minutes = ms / 60000 % 60;
  const std::uint64_t seconds = ms / 1000 % 60;
  char text[64];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(hours), static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(seconds),
                  static_cast<unsigned long long>(ms % 1000));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu", static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(seconds),
                  static_cast<unsigned long long>(ms % 1000));
  }
  return text;
}

std::vector<std::string> InputFaultNotes(const TInputFaults& faults, std::uint32_t sampleRate) {
  std::vector<std::string> lines;
  const auto samples = [](std::uint64_t n, const char* kind) {
    return std::to_string(n) + kind + (n == 1 ? " input sample" : " input samples");
  };
  if (faults.NonFinite != 0) {
    lines.push_back(samples(faults.NonFinite, " non-finite") + " decoded as silence, first at " +
                    FaultTimeText(faults.FirstNonFinite, sampleRate));
  }
  if (faults.Clamped != 0) {
    lines.push_back(samples(faults.Clamped, "") + " above +60 dBFS clamped to +60 dBFS, first at " +
                    FaultTimeText(faults.FirstClamped, sampleRate));
  }
  return lines;
}

}  // namespace zorv
