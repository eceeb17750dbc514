// SPDX-License-Identifier: GPL-3.0-or-later
// What the reference level does: inside the detectors' range a change of
// level is a pure gain of half the change; the floor and the ceiling of the
// control voltage are where it stops being one. The counts of those limits,
// and the range of levels the analysis suggests, are checked against decodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "app/gain_history.h"
#include "app/level_range.h"
#include "app/limit_counter.h"
#include "app/meter_fan_out.h"
#include "dsp/zorv_calc.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 4800;
constexpr std::size_t kMeterPoint = TZorvCalc::kMeterInterval;
using TProgramme = std::vector<std::vector<double>>;  // per channel

std::size_t Frames(double seconds) {
  return static_cast<std::size_t>(seconds * kRate);
}

double Amplitude(double dbfs) {
  return std::pow(10.0, dbfs / 20.0);
}

// White noise at a level (peak amplitude of the uniform noise).
std::vector<double> Hiss(double dbfs, std::size_t frames, std::uint64_t seed) {
  test::TNoise noise(seed);
  std::vector<double> out(frames);
  for (double& x : out) x = Amplitude(dbfs) * noise.Next();
  return out;
}

void MixInto(std::vector<double>& into, const std::vector<double>& what, std::size_t at = 0) {
  for (std::size_t i = 0; i < what.size() && at + i < into.size(); ++i) into[at + i] += what[i];
}

// Noise shaped by two one-pole filters into a voice's band and cut into
// syllables (about four a second, with short pauses), over a hiss floor.
std::vector<double> SpeechLike(double peakDbfs, double hissDbfs, double seconds,
                               std::uint64_t seed) {
  const std::size_t n = Frames(seconds);
  test::TNoise noise(seed);
  std::vector<double> out(n);
  double low = 0.0;
  double high = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double x = noise.Next();
    low += 0.08 * (x - low);      // below about 600 Hz
    high = 0.7 * high + x - low;  // and a little brightness
    const double syllable = std::sin(std::numbers::pi * std::fmod(t * 4.3, 1.0));
    const double phrase = std::fmod(t, 2.5) < 2.0 ? 1.0 : 0.0;
    out[i] = Amplitude(peakDbfs) * phrase * syllable * syllable * (3.0 * low + 0.2 * high);
  }
  MixInto(out, Hiss(hissDbfs, n, seed + 1));
  return out;
}

// Steady tones in every band, changing level every half second.
std::vector<double> Tones(double peakDbfs, double hissDbfs, double seconds) {
  const std::size_t n = Frames(seconds);
  std::vector<double> out(n);
  const double frequency[4] = {120.0, 700.0, 3300.0, 8000.0};
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const int step = static_cast<int>(t * 2.0);
    double s = 0.0;
    for (int b = 0; b < 4; ++b) {
      const double dB = -6.0 * ((step + b) % 4);
      s += Amplitude(dB) * std::sin(2.0 * std::numbers::pi * frequency[b] * t);
    }
    out[i] = Amplitude(peakDbfs) * s / 4.0;
  }
  MixInto(out, Hiss(hissDbfs, n, 11));
  return out;
}

// Bursts of noise, 200 ms of every 700 ms, over a hiss floor.
std::vector<double> NoiseBursts(double peakDbfs, double hissDbfs, double seconds) {
  const std::size_t n = Frames(seconds);
  std::vector<double> out = Hiss(hissDbfs, n, 21);
  test::TNoise noise(22);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    if (std::fmod(t, 0.7) < 0.2) out[i] += Amplitude(peakDbfs) * noise.Next();
  }
  return out;
}

struct TDecode {
  TProgramme Out;
  TLimitCounter Limits;
};

// A decode from the power-on state, in blocks of 100 ms, with its limits
// counted as a run counts them.
TDecode DecodeAt(const TProgramme& in, double levelDb, TDecodePath path = TDecodePath::Extended) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  const std::size_t frames = in[0].size();
  TZorvCalc calc;
  calc.SetPath(path);
  calc.Prepare(static_cast<std::uint32_t>(kRate), channels, 0);
  calc.SetLevel(levelDb);
  TDecode result;
  result.Out.assign(channels, std::vector<double>(frames));
  std::uint64_t first = 0;
  std::uint32_t count = 0;
  result.Limits.Start(channels, static_cast<std::uint32_t>(kRate), frames,
                      TZorvCalc::kMeterInterval, [&](int channel) {
                        return TLimitCounter::TBlockInHand{
                            first, count, in[static_cast<std::size_t>(channel)].data() + first};
                      });
  calc.SetMeterListener(&result.Limits);
  std::vector<double> inBlock(static_cast<std::size_t>(channels) * kBlock);
  std::vector<double> outBlock(static_cast<std::size_t>(channels) * kBlock);
  std::vector<const double*> inPointers(channels);
  std::vector<double*> outPointers(channels);
  for (first = 0; first < frames; first += count) {
    count = static_cast<std::uint32_t>(std::min<std::size_t>(kBlock, frames - first));
    for (std::uint32_t c = 0; c < channels; ++c) {
      inPointers[c] = in[c].data() + first;
      outPointers[c] = result.Out[c].data() + first;
    }
    EXPECT_EQ(calc.ProcessBlock(inPointers.data(), outPointers.data(), count),
              static_cast<std::int32_t>(count));
  }
  calc.SetMeterListener(nullptr);
  result.Limits.Stop();
  return result;
}

std::uint64_t LimitFrames(const TLimitCounter& limits) {
  std::uint64_t frames = 0;
  for (int c = 0; c < static_cast<int>(limits.Channels()); ++c) {
    for (int b = 0; b < 4; ++b) frames += limits.FloorFrames(c, b) + limits.CeilingFrames(c, b);
  }
  return frames;
}

// How far b is from a scaled by gain, relative to a, from frame on: dB.
double ResidualDb(const std::vector<double>& a, const std::vector<double>& b, double gain,
                  std::size_t from, std::size_t to = SIZE_MAX) {
  double error = 0.0;
  double signal = 0.0;
  for (std::size_t i = from; i < std::min(to, a.size()); ++i) {
    const double d = b[i] - gain * a[i];
    error += d * d;
    signal += a[i] * a[i];
  }
  return 10.0 * std::log10(std::max(error, 1e-300) / signal);
}

TLevelRange AnalyseProgramme(const TProgramme& in) {
  TLevelAnalysis analysis(static_cast<std::uint32_t>(in.size()), static_cast<std::uint32_t>(kRate),
                          kBlock);
  std::vector<const double*> pointers(in.size());
  for (std::size_t first = 0; first < in[0].size(); first += kBlock) {
    for (std::size_t c = 0; c < in.size(); ++c) pointers[c] = in[c].data() + first;
    analysis.AddBlock(pointers.data(), static_cast<std::uint32_t>(
                                           std::min<std::size_t>(kBlock, in[0].size() - first)));
  }
  return analysis.Range();
}

}  // namespace

// Every programme: decoded at L and at L +- 3 dB, the outputs after the
// settle are one output times half the level's change, on the reference and
// on the fastest path, as long as no band met a limit at either level.
TEST(LevelCovariance, InsideTheRangeALevelChangeIsHalfItsGain) {
  struct TCase {
    const char* Name;
    std::vector<double> Samples;
  };
  const double seconds = 6.0;
  const std::vector<TCase> cases = {
      {"speech-like", SpeechLike(-12.0, -62.0, seconds, 1)},
      {"tones", Tones(-14.0, -62.0, seconds)},
      {"noise bursts", NoiseBursts(-18.0, -62.0, seconds)},
      {"hiss floor", Hiss(-52.0, Frames(seconds), 31)},
  };
  const double level = -15.0;
  for (const TCase& c : cases) {
    for (const TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
      SCOPED_TRACE(std::string(c.Name) + ", " + std::string(PathName(path)));
      const TProgramme in{c.Samples};
      const TDecode at = DecodeAt(in, level, path);
      ASSERT_EQ(LimitFrames(at.Limits), 0u) << "the programme must stay inside the range";
      for (const double change : {-3.0, 3.0}) {
        const TDecode shifted = DecodeAt(in, level + change, path);
        ASSERT_EQ(LimitFrames(shifted.Limits), 0u);
        // A higher level: a lower gain, by half the change.
        const double gain = std::pow(10.0, -change / 40.0);
        EXPECT_LT(ResidualDb(at.Out[0], shifted.Out[0], gain, Frames(2.0)), -90.0)
            << "level change " << change << " dB";
        // Not any gain: a whole dB more is far off.
        EXPECT_GT(ResidualDb(at.Out[0], shifted.Out[0], gain * Amplitude(1.0), Frames(2.0)), -30.0);
      }
    }
  }
}

// A loud tone drives band B to its ceiling at one level and not at a level
// 3 dB higher: up to the ceiling the two decodes agree up to the gain; from
// the meter point that finds the band at its ceiling on, they part.
TEST(LevelCovariance, TheCeilingBreaksTheIdentityWhereItIsReached) {
  const double level = -15.0;
  // The tone's settled voltage, measured inside the range; the covariance
  // then gives the amplitude that settles 0.1 V over the ceiling.
  const std::size_t n = Frames(6.0);
  const double probe = Amplitude(-25.0);
  std::vector<double> tone = test::Tone(1000.0, probe, kRate, Frames(3.0));
  const TDecode probed = DecodeAt({tone}, level);
  ASSERT_EQ(probed.Limits.CeilingFrames(0, 1), 0u);
  TZorvCalc calc;
  calc.Prepare(static_cast<std::uint32_t>(kRate), 1, 0);
  calc.SetLevel(level);
  std::vector<double> out(kBlock);
  for (std::size_t first = 0; first < tone.size(); first += kBlock) {
    calc.ProcessBlock(tone.data() + first, nullptr, out.data(), nullptr, kBlock);
  }
  const double settled = calc.Generator(0, 1).ControlVoltage();
  const double loud = probe * std::pow(10.0, (1.82 + 0.1 - settled) / 1.82);

  // Speech, then the loud tone from 4 s on.
  std::vector<double> programme = SpeechLike(-16.0, -62.0, 6.0, 5);
  const std::size_t toneStart = Frames(4.0);
  for (std::size_t i = toneStart; i < n; ++i) {
    programme[i] =
        loud * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kRate);
  }
  const TDecode low = DecodeAt({programme}, level);
  const TDecode high = DecodeAt({programme}, level + 3.0);
  EXPECT_GT(low.Limits.CeilingFrames(0, 1), 0u);
  EXPECT_EQ(LimitFrames(high.Limits), 0u);

  const double gain = std::pow(10.0, -3.0 / 40.0);
  // The first frame whose outputs differ by more than the arithmetic's trace.
  std::size_t parted = n;
  for (std::size_t i = Frames(2.0); i < n; ++i) {
    if (std::abs(high.Out[0][i] - gain * low.Out[0][i]) > 1e-9) {
      parted = i;
      break;
    }
  }
  ASSERT_LT(parted, n);
  EXPECT_GE(parted, toneStart);
  EXPECT_LT(ResidualDb(low.Out[0], high.Out[0], gain, Frames(2.0), parted), -90.0);
  EXPECT_GT(ResidualDb(low.Out[0], high.Out[0], gain, parted, n), -60.0);
  // The count finds the band at its ceiling at the next meter point at the
  // latest, and not before the last few milliseconds of its approach (it
  // counts from a tenth of a dB under the ceiling).
  std::vector<double> upTo(programme.begin(),
                           programme.begin() + static_cast<std::ptrdiff_t>(parted + kMeterPoint));
  EXPECT_GT(DecodeAt({upTo}, level).Limits.CeilingFrames(0, 1), 0u);
  std::vector<double> before(
      programme.begin(), programme.begin() + static_cast<std::ptrdiff_t>(parted - Frames(0.005)));
  EXPECT_EQ(DecodeAt({before}, level).Limits.CeilingFrames(0, 1), 0u);
}

// A steady 1 kHz tone 25 dB over the reference settles band B 12.5 dB up:
// past its +10 dB ceiling, where it stays from its attack on. The first
// second is not counted.
TEST(LimitCounts, ASteadyToneFarOverTheReferencePinsItsBandAtTheCeiling) {
  const double level = -20.0;
  const std::vector<double> tone = test::Tone(1000.0, Amplitude(level + 25.0), kRate, Frames(5.0));
  const TDecode decode = DecodeAt({tone}, level);
  EXPECT_NEAR(decode.Limits.CeilingSeconds(0, 1), 4.0, 1e-9);
  EXPECT_EQ(decode.Limits.FloorFrames(0, 1), 0u);
  EXPECT_EQ(decode.Limits.SilenceSeconds(0), 0.0);
  // 5 dB under the reference the same tone keeps band B inside.
  const std::vector<double> quiet = test::Tone(1000.0, Amplitude(level - 5.0), kRate, Frames(5.0));
  const TDecode inside = DecodeAt({quiet}, level);
  EXPECT_EQ(inside.Limits.CeilingFrames(0, 1), 0u);
  EXPECT_EQ(inside.Limits.FloorFrames(0, 1), 0u);
}

// Tones in all bands drive every band to its ceiling; then a hiss far below
// anything that charges lets each band fall at its discharge slope: from
// +1.82 V to -5.824 V in the band's fall time (A 5.099 s, B 0.7378 s, C
// 0.1085 s, D 0.0358 s), after which it sits at its floor. Digital silence
// instead is told apart and not counted at the floor.
TEST(LimitCounts, QuietAfterProgrammePinsEveryBandAtTheFloorAfterItsFallTime) {
  const double level = -30.0;
  const double fall[4] = {5.099, 0.7378, 0.1085, 0.0358};
  const double frequency[4] = {100.0, 1000.0, 3500.0, 10000.0};
  const double loudSeconds = 2.0;
  const double quietSeconds = 7.0;
  for (const bool digitalSilence : {false, true}) {
    SCOPED_TRACE(digitalSilence ? "digital silence" : "hiss at -140 dBFS");
    std::vector<double> programme = digitalSilence
                                        ? std::vector<double>(Frames(loudSeconds + quietSeconds))
                                        : Hiss(-140.0, Frames(loudSeconds + quietSeconds), 41);
    for (const double f : frequency) {
      MixInto(programme, test::Tone(f, Amplitude(level + 25.0), kRate, Frames(loudSeconds)));
    }
    const TDecode decode = DecodeAt({programme}, level);
    for (int b = 0; b < 4; ++b) {
      SCOPED_TRACE(b);
      // Every band at its ceiling when the programme ends.
      EXPECT_NEAR(decode.Limits.CeilingSeconds(0, b), loudSeconds - 1.0, 0.05);
      if (digitalSilence) {
        EXPECT_EQ(decode.Limits.FloorFrames(0, b), 0u);
      } else {
        // The weighting filters' tails keep charging for a few milliseconds.
        EXPECT_NEAR(decode.Limits.FloorSeconds(0, b), quietSeconds - fall[b], 0.01);
      }
    }
    EXPECT_NEAR(decode.Limits.SilenceSeconds(0), digitalSilence ? quietSeconds : 0.0, 1e-9);
  }
}

// The counts as the command line tells them, and the marks a plot shades.
TEST(LimitCounts, ToldPerBandAndMarkedInTheHistory) {
  const double level = -20.0;
  const std::vector<double> tone = test::Tone(1000.0, Amplitude(level + 25.0), kRate, Frames(3.3));
  TGainHistory history(64);
  TGainHistoryRecorder recorder(history);
  recorder.Start(1, static_cast<std::uint32_t>(kRate), kBlock, tone.size(),
                 TZorvCalc::kMeterInterval);
  TLimitCounter limits;
  std::uint64_t first = 0;
  limits.Start(
      1, static_cast<std::uint32_t>(kRate), tone.size(), TZorvCalc::kMeterInterval,
      [&](int) {
        return TLimitCounter::TBlockInHand{first, kBlock, tone.data() + first};
      },
      &history);
  TMeterFanOut listeners;
  listeners.Add(&recorder);
  listeners.Add(&limits);
  TZorvCalc calc;
  calc.Prepare(static_cast<std::uint32_t>(kRate), 1, 0);
  calc.SetLevel(level);
  std::vector<double> out(kBlock);
  std::vector<double> in(kBlock);
  for (first = 0; first < tone.size(); first += kBlock) {
    std::fill(in.begin(), in.end(), 0.0);
    std::copy_n(tone.begin() + static_cast<std::ptrdiff_t>(first),
                std::min<std::size_t>(kBlock, tone.size() - first), in.begin());
    calc.SetMeterListener(&listeners);
    calc.ProcessBlock(in.data(), nullptr, out.data(), nullptr, kBlock);
  }
  const std::vector<std::string> lines = DescribeLimitTimes(limits);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "band B of channel 1 at its +10 dB ceiling for 2.3 s");
  EXPECT_EQ(DescribeLimitTimes(limits, ',').front(),
            "band B of channel 1 at its +10 dB ceiling for 2,3 s");
  EXPECT_NE(LimitSummary(limits).find("B1 ceiling 2.3 s"), std::string::npos);
  // Marked from the first second on, not before.
  bool markedEarly = false;
  bool markedLate = false;
  for (std::size_t column = 0; column < history.Columns(); ++column) {
    const auto span = history.At(0, 1, column);
    ASSERT_TRUE(span);
    const std::uint64_t end = (column + 1) * history.ColumnFrames();
    if (end <= Frames(1.0)) markedEarly = markedEarly || span->CeilingPoints > 0;
    if (column * history.ColumnFrames() >= Frames(1.1))
      markedLate = markedLate || span->CeilingPoints > 0;
  }
  EXPECT_FALSE(markedEarly);
  EXPECT_TRUE(markedLate);
}

// The range the analysis suggests: decoding at either end touches no limit;
// half a dB beyond the low end a band meets its ceiling, beyond the high end
// one sits at its floor. On the reference and on the fastest path.
TEST(LevelRange, ItsEndsTouchNoLimitAndHalfADecibelBeyondDoes) {
  const TProgramme programme{SpeechLike(4.0, -66.0, 8.0, 7), Tones(-2.0, -64.0, 8.0)};
  const TLevelRange range = AnalyseProgramme(programme);
  ASSERT_TRUE(range.Analysed);
  ASSERT_TRUE(range.Found) << DescribeLevelRange(range, std::nullopt);
  SCOPED_TRACE(DescribeLevelRange(range, std::nullopt));
  ASSERT_GE(range.LowestDb - 0.5, -30.0);
  ASSERT_LE(range.HighestDb + 0.5, 0.0);
  EXPECT_LT(range.LowestDb, range.HighestDb);
  for (const TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    SCOPED_TRACE(PathName(path));
    EXPECT_EQ(LimitFrames(DecodeAt(programme, range.LowestDb, path).Limits), 0u);
    EXPECT_EQ(LimitFrames(DecodeAt(programme, range.HighestDb, path).Limits), 0u);
    const TDecode below = DecodeAt(programme, range.LowestDb - 0.5, path);
    const TDecode above = DecodeAt(programme, range.HighestDb + 0.5, path);
    std::uint64_t ceiling = 0;
    std::uint64_t floor = 0;
    for (int c = 0; c < 2; ++c) {
      for (int b = 0; b < 4; ++b) {
        ceiling += below.Limits.CeilingFrames(c, b);
        floor += above.Limits.FloorFrames(c, b);
      }
    }
    EXPECT_GT(ceiling, 0u);
    EXPECT_GT(floor, 0u);
  }
  const std::string text = DescribeLevelRange(range, std::nullopt);
  EXPECT_EQ(text.rfind("levels ", 0), 0u) << text;
}

// Where no level keeps both, the level with the least time at a limit is
// named, and the time the histogram gives agrees with a decode there.
TEST(LevelRange, WithoutARangeTheLeastTimeAtALimitIsNamed) {
  // Loud bursts and long pauses of faint hiss: 18 dB of level would have to
  // serve 100 dB of dynamics.
  std::vector<double> programme = NoiseBursts(-3.0, -115.0, 10.0);
  const TLevelRange range = AnalyseProgramme({programme});
  ASSERT_TRUE(range.Analysed);
  ASSERT_FALSE(range.Found);
  EXPECT_GT(range.BestSeconds, 0.0);
  const TDecode decode = DecodeAt({programme}, range.BestDb);
  const double decoded = static_cast<double>(LimitFrames(decode.Limits)) / kRate;
  EXPECT_NEAR(decoded, range.BestSeconds, 0.05 * decoded + 0.05);
  for (const double other : {-30.0, -15.0, 0.0}) {
    EXPECT_GE(static_cast<double>(LimitFrames(DecodeAt({programme}, other).Limits)) / kRate,
              decoded * 0.95);
  }
  const std::string text = DescribeLevelRange(range, -14.0);
  EXPECT_EQ(text.rfind("no level keeps every band inside its range; ", 0), 0u) << text;
}

// The analysis's voltage shift is the covariance's: half the level's change
// in gain, 0.091 V per dB.
TEST(LevelRange, TheShiftIsHalfTheLevelChangeInGain) {
  EXPECT_NEAR(VoltageShift(-15.0, -25.0), 0.91, 1e-9);
  EXPECT_NEAR(VoltageShift(-15.0, -5.0), -0.91, 1e-9);
  EXPECT_EQ(VoltageShift(-12.3, -12.3), 0.0);
  // From the analysis level to every level of the grid: the extended
  // computation of the factors the decoder holds, rounded once (the table
  // every build reads); off the grid, the same computation.
  for (int tenths = -300; tenths <= 0; ++tenths) {
    const double dB = tenths / 10.0;
    const long double expected =
        3.64L / 2 *
        std::log10(static_cast<long double>(TZorvCalc::LevelFactorOf(-15.0)) /
                   static_cast<long double>(TZorvCalc::LevelFactorOf(dB)));
    ASSERT_EQ(VoltageShift(-15.0, dB), static_cast<double>(expected)) << dB;
  }
  const long double offGrid =
      3.64L / 2 *
      std::log10(static_cast<long double>(TZorvCalc::LevelFactorOf(-15.0)) /
                 static_cast<long double>(TZorvCalc::LevelFactorOf(-12.34)));
  EXPECT_EQ(VoltageShift(-15.0, -12.34), static_cast<double>(offGrid));
  TLevelRange range;
  range.Analysed = true;
  range.Found = true;
  range.LowestDb = -19.4;
  range.HighestDb = -8.1;
  EXPECT_EQ(DescribeLevelRange(range, std::nullopt),
            "levels -19.4 .. -8.1 dB keep every band inside its range");
  EXPECT_EQ(DescribeLevelRange(range, -14.3),
            "levels -19.4 .. -8.1 dB keep every band inside its range; the tone's level "
            "-14.3 dB lies inside it");
  EXPECT_EQ(DescribeLevelRange(range, -6.0, ','),
            "levels -19,4 .. -8,1 dB keep every band inside its range; the tone's level "
            "-6,0 dB lies outside it");
}

}  // namespace zorv
