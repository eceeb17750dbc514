// SPDX-License-Identifier: GPL-3.0-or-later
// Generated transfers for the reference-tone tests: a lead-in of hiss, a
// tone in hiss, then programme, per channel, encoded as a WAV image.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "app/sample_conversion.h"
#include "tests/support/test_signal.h"
#include "tools/wav_test_file.h"

namespace zorv::test {

inline double FromDb(double db) {
  return std::pow(10.0, db / 20.0);
}

// One channel, built piece by piece.
class TChannelBuilder {
 public:
  TChannelBuilder(double sampleRate, std::uint64_t seed, double hissDbfs = -55.0)
      : Rate_(sampleRate), Noise_(seed), Seed_(seed), Hiss_(FromDb(hissDbfs) * std::sqrt(3.0)) {}

  // Hiss only (uniform white noise of that RMS level).
  TChannelBuilder& Silence(double seconds) {
    for (std::size_t i = 0, n = Frames(seconds); i < n; ++i) Samples.push_back(Hiss());
    return *this;
  }
  // A sine of that peak level, in hiss. The level may glide to endDbfs.
  TChannelBuilder& Tone(double frequency, double peakDbfs, double seconds, double phase = 0.4) {
    return Glide(frequency, peakDbfs, peakDbfs, seconds, phase);
  }
  TChannelBuilder& Glide(double frequency, double fromDbfs, double toDbfs, double seconds,
                         double phase = 0.4) {
    const std::size_t n = Frames(seconds);
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / Rate_;
      const double db =
          fromDbfs + (toDbfs - fromDbfs) * static_cast<double>(i) / static_cast<double>(n);
      Samples.push_back(FromDb(db) * std::sin(2.0 * std::numbers::pi * frequency * t + phase) +
                        Hiss());
    }
    return *this;
  }
  TChannelBuilder& Music(double seconds) {
    for (double x : Programme(Rate_, Frames(seconds), Seed_)) Samples.push_back(x + Hiss());
    return *this;
  }

  std::vector<double> Samples;

 private:
  std::size_t Frames(double seconds) const {
    return static_cast<std::size_t>(std::llround(seconds * Rate_));
  }
  double Hiss() { return Hiss_ * Noise_.Next(); }

  double Rate_;
  TNoise Noise_;
  std::uint64_t Seed_;
  double Hiss_;
};

// The channels (one or two, of equal length) as a WAV image in the format,
// converted by the program's own sample conversion.
// A WAV file of the given channels' samples, all of one length.
inline TBytes ToneFile(TWavFormat format, const std::vector<std::vector<double>>& channels) {
  format.Channels = static_cast<std::uint16_t>(channels.size());
  const TFrameLayout layout = FrameLayoutOf(format.FrameBytes(), format.Channels, format.Tag);
  std::vector<const double*> buffers;
  for (const std::vector<double>& samples : channels) buffers.push_back(samples.data());
  TBytes data(channels.front().size() * format.FrameBytes());
  MergeBlock(buffers.data(), static_cast<std::uint32_t>(data.size()), layout, data.data());
  return WavBytes(format, data);
}

inline TBytes ToneFile(TWavFormat format, const std::vector<double>& left,
                       const std::vector<double>* right = nullptr) {
  std::vector<std::vector<double>> channels{left};
  if (right != nullptr) channels.push_back(*right);
  return ToneFile(format, channels);
}

}  // namespace zorv::test
