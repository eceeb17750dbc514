// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic test signals: tones and noise that need no files.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zorv::test {

// A small linear congruential generator: the same noise on every platform.
class TNoise {
 public:
  explicit TNoise(std::uint64_t seed) : State_(seed) {}
  // Uniform in [-1, 1).
  double Next() {
    State_ = State_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(State_ >> 11) * 0x1.0p-52 - 1.0;
  }

 private:
  std::uint64_t State_;
};

inline std::vector<double> Tone(double frequency, double amplitude, double sampleRate,
                                std::size_t frames, double phase = 0.0) {
  std::vector<double> out(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    out[i] =
        amplitude *
        std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate + phase);
  }
  return out;
}

// Tones in all four bands plus noise, with a slow level swell so that the
// control voltages move: the kind of programme material a tape holds.
inline std::vector<double> Programme(double sampleRate, std::size_t frames, std::uint64_t seed,
                                     double level = 0.3) {
  TNoise noise(seed);
  std::vector<double> out(frames);
  const double freq[4] = {90.0, 900.0, 3500.0, 9000.0};
  const double amp[4] = {0.35, 0.25, 0.15, 0.1};
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double swell = 0.55 + 0.45 * std::sin(2.0 * std::numbers::pi * 0.7 * t + seed);
    double s = 0.05 * noise.Next();
    for (int b = 0; b < 4; ++b) {
      s += amp[b] * std::sin(2.0 * std::numbers::pi * freq[b] * t + b);
    }
    out[i] = level * swell * s;
  }
  return out;
}

}  // namespace zorv::test
