// SPDX-License-Identifier: GPL-3.0-or-later
// The search for a steady tone in one channel. Every window of the input
// (normally 100 ms) is looked at on its own: its strongest frequency, the
// amplitude of a sine of that frequency fitted to it, and how much of the
// window's energy that sine explains. The longest stretch of windows that hold
// one steady tone is then picked out of the windows' results.
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include "app/fft.h"

namespace zorv {

struct TToneWindow {
  double Frequency = 0.0;  // Hz, of the strongest sine
  double Amplitude = 0.0;  // of that sine (its peak), full scale 1.0
  double Share = 0.0;      // of the window's energy (about its mean) that the sine explains, 0..1
};

class TToneWindowAnalyser {
 public:
  // Frequencies looked for: 20 Hz up to 20 kHz, and below 0.45 x the rate.
  static constexpr double kLowestFrequency = 20.0;
  static constexpr double kHighestFrequency = 20000.0;

  // frames: samples per window, at least 64. A window too faint to hold a
  // sine of floorDbfs peak level is not looked at further (its result is all
  // zero): the leader's hiss costs nothing.
  TToneWindowAnalyser(double sampleRate, std::size_t frames, double floorDbfs = -50.0);

  std::size_t Frames() const { return Frames_; }
  // samples: Frames() values of one channel. Windows are handed over in
  // order: a sine that carried most of the last window is looked for first,
  // and when it carries most of this one too, it is the strongest there and
  // the spectrum is not needed.
  TToneWindow Analyse(const double* samples);

 private:
  double CoarseFrequency(const double* x, double mean);
  double RefinedFrequency(const double* x, double mean, double frequency) const;
  TToneWindow Fit(const double* x, double frequency) const;
  // The sine near frequency, refined and fitted.
  TToneWindow Polish(const double* x, double mean, double frequency) const;

  double SampleRate_;
  std::size_t Frames_;
  double FloorEnergy_;  // of a sine at the floor level over a window
  TRealFft Fft_;
  std::vector<double> FftWindow_;   // Hann, over the transform's length
  std::vector<double> HalfWindow_;  // Hann, over half a window
  std::vector<double> Windowed_;
  std::vector<std::complex<double>> Spectrum_;
  double LastFrequency_ = 0.0;  // of the sine that carried the last window; 0: none did
};

struct TSteadyToneRules {
  double LevelSpanDb = 0.5;     // the windows' levels lie within this span
  double FrequencySpan = 0.01;  // the windows' frequencies within this share of the lowest
  std::size_t MinWindows = 20;  // the shortest tone, in windows
  double MinShare = 0.9;        // a window holds a tone when its sine explains this much
  double FloorDb = -50.0;       // fainter sines (hum, whistle in the hiss) are no tone
                                // (TToneWindowAnalyser's floor is the same)
};

struct TSteadyTone {
  std::size_t FirstWindow = 0;
  std::size_t Windows = 0;
  double Frequency = 0.0;  // Hz, the median of the windows'
  double LevelDb = 0.0;    // dBFS of the sine's peak, the median of the windows'
};

// The longest run of consecutive windows that hold one steady tone by the
// rules, the earliest of several as long; none shorter than MinWindows.
std::optional<TSteadyTone> LongestSteadyTone(const std::vector<TToneWindow>& windows,
                                             const TSteadyToneRules& rules = {});

}  // namespace zorv
