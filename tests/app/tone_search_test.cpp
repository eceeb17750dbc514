// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tone_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "app/fft.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

TEST(Fft, AgreesWithTheDirectTransform) {
  for (std::size_t size : {2U, 8U, 64U, 1024U}) {
    test::TNoise noise(size);
    std::vector<std::complex<double>> data(size);
    for (auto& x : data) x = {noise.Next(), noise.Next()};
    std::vector<std::complex<double>> direct(size);
    for (std::size_t k = 0; k < size; ++k) {
      for (std::size_t n = 0; n < size; ++n) {
        direct[k] +=
            data[n] * std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k * n) /
                                          static_cast<double>(size));
      }
    }
    TFft(size).Forward(data.data());
    for (std::size_t k = 0; k < size; ++k) {
      ASSERT_NEAR(std::abs(data[k] - direct[k]), 0.0, 1e-9 * static_cast<double>(size))
          << "size " << size << ", bin " << k;
    }
  }
  EXPECT_THROW(TFft(12), std::invalid_argument);

  // Real samples through the half-size transform: the first half of the
  // complex transform's bins, Nyquist included.
  for (std::size_t size : {4U, 16U, 2048U}) {
    test::TNoise noise(size + 1);
    std::vector<double> samples(size);
    for (double& x : samples) x = noise.Next();
    std::vector<std::complex<double>> full(size);
    for (std::size_t n = 0; n < size; ++n) full[n] = samples[n];
    TFft(size).Forward(full.data());
    std::vector<std::complex<double>> half(size / 2 + 1);
    TRealFft(size).Forward(samples.data(), half.data());
    for (std::size_t k = 0; k <= size / 2; ++k) {
      ASSERT_NEAR(std::abs(half[k] - full[k]), 0.0, 1e-10 * static_cast<double>(size))
          << "size " << size << ", bin " << k;
    }
  }
  EXPECT_EQ(PowerOfTwoBelow(4410), 4096U);
  EXPECT_EQ(PowerOfTwoBelow(8192), 8192U);
}

TEST(ToneWindow, AnySineBetweenTheBinsIsMeasuredExactly) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    TToneWindowAnalyser analyser(rate, static_cast<std::size_t>(rate / 10));
    for (double frequency : {25.0, 397.3, 1000.0, 9999.1, 19000.0}) {
      for (double phase : {0.0, 1.3}) {
        auto x = test::Tone(frequency, 0.25, rate, analyser.Frames(), phase);
        for (double& v : x) v += 0.01;  // an offset, as converters leave it
        const TToneWindow w = analyser.Analyse(x.data());
        EXPECT_NEAR(w.Frequency, frequency, 0.01) << rate << " Hz rate, " << frequency << " Hz";
        EXPECT_NEAR(w.Amplitude, 0.25, 1e-6) << rate << " Hz rate, " << frequency << " Hz";
        EXPECT_GT(w.Share, 0.9999);
      }
    }
  }
}

TEST(ToneWindow, EachWindowFindsItsOwnSineWhateverCameBefore) {
  // Windows in order: a tone, another tone, a chord, the first tone again,
  // a near neighbour of it; the sine carrying the last window is tried first.
  TToneWindowAnalyser analyser(48000, 4800);
  const struct {
    double frequency, amplitude;
  } windows[] = {{1000, 0.3}, {1000, 0.3}, {6300, 0.1}, {1000, 0.2}, {1004, 0.2}, {250, 0.05}};
  for (const auto& w : windows) {
    const auto x = test::Tone(w.frequency, w.amplitude, 48000, 4800, 0.7);
    const TToneWindow result = analyser.Analyse(x.data());
    EXPECT_NEAR(result.Frequency, w.frequency, 0.01) << w.frequency;
    EXPECT_NEAR(result.Amplitude, w.amplitude, 1e-6) << w.frequency;
  }
  // Two sines, the second twice as strong as the one before: the strong one.
  auto x = test::Tone(1000, 0.1, 48000, 4800);
  const auto strong = test::Tone(3000, 0.2, 48000, 4800);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] += strong[i];
  const TToneWindow mixed = analyser.Analyse(x.data());
  EXPECT_NEAR(mixed.Frequency, 3000, 0.1);
  EXPECT_NEAR(mixed.Share, 0.8, 0.01);
}

TEST(ToneWindow, NoiseAndChordsAreNoTone) {
  TToneWindowAnalyser analyser(44100, 4410);
  test::TNoise noise(3);
  std::vector<double> x(4410);
  for (double& v : x) v = 0.1 * noise.Next();
  EXPECT_LT(analyser.Analyse(x.data()).Share, 0.05);

  const auto a = test::Tone(1000, 0.2, 44100, 4410);
  const auto b = test::Tone(1500, 0.2, 44100, 4410);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = a[i] + b[i];
  const TToneWindow chord = analyser.Analyse(x.data());
  EXPECT_NEAR(chord.Share, 0.5, 0.05);

  std::fill(x.begin(), x.end(), 0.0);
  const TToneWindow silence = analyser.Analyse(x.data());
  EXPECT_EQ(silence.Share, 0.0);
  EXPECT_EQ(silence.Amplitude, 0.0);
}

TEST(ToneWindow, HissFortyDecibelsDownMovesTheLevelByHundredthsOfADecibel) {
  TToneWindowAnalyser analyser(48000, 4800);
  test::TNoise noise(5);
  double worst = 0.0;
  for (int window = 0; window < 20; ++window) {
    auto x = test::Tone(1000, 0.1, 48000, 4800, window);
    // Uniform noise of RMS 0.001: 37 dB below the sine's RMS.
    for (double& v : x) v += 0.001 * std::sqrt(3.0) * noise.Next();
    const TToneWindow w = analyser.Analyse(x.data());
    worst = std::max(worst, std::abs(20.0 * std::log10(w.Amplitude / 0.1)));
    EXPECT_GT(w.Share, 0.99);
  }
  EXPECT_LT(worst, 0.02);
}

std::vector<TToneWindow> Windows(const std::vector<double>& levelsDb, double frequency = 1000.0) {
  std::vector<TToneWindow> windows;
  for (double db : levelsDb) windows.push_back({frequency, std::pow(10.0, db / 20.0), 1.0});
  return windows;
}

TEST(SteadyTone, TheLongestRunWithinTheLevelSpan) {
  TSteadyToneRules rules;
  rules.MinWindows = 3;
  // A ramp by 0.1 dB: six windows span 0.5 dB, seven 0.6 dB.
  auto windows = Windows({-20, -20.1, -20.2, -20.3, -20.4, -20.5, -20.6, -20.7});
  auto tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->FirstWindow, 0U);
  EXPECT_EQ(tone->Windows, 6U);
  EXPECT_NEAR(tone->LevelDb, -20.25, 1e-9);  // median of an even count

  // Two runs of three: the earlier; a longer one later wins.
  windows = Windows({-10, -10, -10, -30, -30, -30});
  tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->FirstWindow, 0U);
  EXPECT_EQ(tone->Windows, 3U);
  windows = Windows({-10, -10, -10, -30, -30, -30, -30.2});
  tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->FirstWindow, 3U);
  EXPECT_EQ(tone->Windows, 4U);
  EXPECT_NEAR(tone->LevelDb, -30.0, 1e-9);

  rules.MinWindows = 5;
  EXPECT_FALSE(LongestSteadyTone(windows, rules).has_value());
  EXPECT_FALSE(LongestSteadyTone({}, rules).has_value());
}

TEST(SteadyTone, AWindowWithoutToneOrAnotherFrequencyBreaksTheRun) {
  TSteadyToneRules rules;
  rules.MinWindows = 1;
  auto windows = Windows({-10, -10, -10, -10, -10, -10, -10});
  windows[3].Share = 0.8;  // programme in between
  auto tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->Windows, 3U);

  windows = Windows({-10, -10, -10, -10, -10, -10, -10});
  windows[0].Frequency = windows[1].Frequency = 1005.0;  // within 1 %: one tone
  windows[5].Frequency = windows[6].Frequency = 1011.0;  // 1.1 % above 1000
  tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->FirstWindow, 0U);
  EXPECT_EQ(tone->Windows, 5U);
  EXPECT_NEAR(tone->Frequency, 1000.0, 1e-9);

  windows = Windows({-55, -55, -55, -49, -49});  // below the floor of -50 dBFS
  tone = LongestSteadyTone(windows, rules);
  ASSERT_TRUE(tone.has_value());
  EXPECT_EQ(tone->FirstWindow, 3U);
}

}  // namespace
}  // namespace zorv
