// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/zorv_calc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp/power_of_ten.h"
#include "tests/support/recording_meters.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

using test::TMeterUpdate;
using test::TRecordingMeters;

constexpr double kSentinel = 12345.0;

// Decodes whole signals through a decoder, in blocks of a given size.
struct TDecode {
  std::vector<double> left, right;
};

TDecode DecodeInBlocks(TZorvCalc& calc, const std::vector<double>& inL,
                       const std::vector<double>* inR, std::size_t block) {
  TDecode out;
  out.left.assign(inL.size(), kSentinel);
  out.right.assign(inL.size(), kSentinel);
  for (std::size_t start = 0; start < inL.size(); start += block) {
    const auto n = static_cast<std::uint32_t>(std::min(block, inL.size() - start));
    const std::int32_t done =
        calc.ProcessBlock(inL.data() + start, inR != nullptr ? inR->data() + start : nullptr,
                          out.left.data() + start, out.right.data() + start, n);
    EXPECT_EQ(done, static_cast<std::int32_t>(n));
  }
  return out;
}

TEST(MeterPosition, TruncatesTheExtendedQuotient) {
  EXPECT_EQ(MeterPositionOf(-5.824), -319);
  EXPECT_EQ(MeterPositionOf(1.82), 100);
  EXPECT_EQ(MeterPositionOf(0.0), 0);
  EXPECT_EQ(MeterPositionOf(-1.82), -100);
  EXPECT_EQ(MeterPositionOf(0.0182), 1);
  EXPECT_EQ(MeterPositionOf(-0.0181), 0);
}

// Positions are worked out in doubles away from the steps: across the whole
// range, and at the doubles nearest every step, they must be the extended
// quotient's.
TEST(MeterPosition, AgreesWithTheExtendedQuotientEverywhere) {
  const auto extended = [](double v) {
    return static_cast<std::int32_t>(Extended{v} * detector::kMeterScale /
                                     detector::kVoltsPerDecade);
  };
  std::mt19937_64 random(20261211);
  std::uniform_real_distribution<double> voltage(detector::kVoltageMin, detector::kVoltageMax);
  for (int i = 0; i < 200000; ++i) {
    const double v = voltage(random);
    ASSERT_EQ(MeterPositionOf(v), extended(v)) << v;
  }
  int fromBelow = 0;
  for (int n = -320; n <= 100; ++n) {
    double v = static_cast<double>(static_cast<Extended>(n) * detector::kVoltsPerDecade /
                                   detector::kMeterScale);
    for (int k = 0; k < 16; ++k) v = std::nextafter(v, -10.0);
    for (int k = 0; k < 32; ++k, v = std::nextafter(v, 10.0)) {
      if (v < detector::kVoltageMin || v > detector::kVoltageMax) continue;
      ASSERT_EQ(MeterPositionOf(v), extended(v)) << std::hexfloat << v;
      fromBelow += extended(v) != extended(std::nextafter(v, -10.0));
    }
  }
  // The doubles walked really cross the steps (all but 0, where positions
  // of -0 and +0 are alike).
  EXPECT_GE(fromBelow, 400);
}

TEST(ZorvCalc, StartsAtMinusTenDecibelsAndConvertsLevels) {
  TZorvCalc calc;
  EXPECT_EQ(calc.LevelDb(), -10.0);
  EXPECT_NEAR(calc.LevelFactor(), 0.31622776601683794, 1e-16);
  calc.SetLevel(-20.0);
  EXPECT_EQ(calc.LevelDb(), -20.0);
  EXPECT_NEAR(calc.LevelFactor(), 0.1, 1e-17);
  calc.SetLevel(0.0);
  EXPECT_EQ(calc.LevelFactor(), 1.0);
  // The factor is the reference power of ten, rounded once.
  calc.SetLevel(-10.9);
  EXPECT_EQ(calc.LevelDb(), -10.9);
  const long double dB = -10.9;
  EXPECT_EQ(calc.LevelFactor(), static_cast<double>(PowerOfTen(dB / 20.0L)));
  EXPECT_FALSE(calc.BuffersAllocated());
}

TEST(ZorvCalc, DoesNothingWhenNotReadyOrGivenNothing) {
  TRecordingMeters meters;
  const std::vector<double> in(200, 0.25);
  std::vector<double> outL(200, kSentinel), outR(200, kSentinel);

  TZorvCalc fresh;
  fresh.SetMeterListener(&meters);
  EXPECT_EQ(fresh.ProcessBlock(in.data(), in.data(), outL.data(), outR.data(), 200), 0);

  TZorvCalc calc;
  calc.SetMeterListener(&meters);
  calc.Prepare(44100, 2, 0);
  EXPECT_EQ(calc.ProcessBlock(in.data(), in.data(), outL.data(), outR.data(), 0), 0);
  EXPECT_EQ(calc.ProcessBlock(nullptr, in.data(), outL.data(), outR.data(), 200), 0);
  EXPECT_EQ(calc.ProcessBlock(in.data(), in.data(), nullptr, outR.data(), 200), 0);

  TZorvCalc noChannels;
  noChannels.Prepare(44100, 0, 0);
  EXPECT_EQ(noChannels.ProcessBlock(in.data(), in.data(), outL.data(), outR.data(), 200), 0);

  EXPECT_TRUE(meters.Updates.empty());
  EXPECT_TRUE(std::all_of(outL.begin(), outL.end(), [](double v) { return v == kSentinel; }));
  EXPECT_TRUE(std::all_of(outR.begin(), outR.end(), [](double v) { return v == kSentinel; }));
}

TEST(ZorvCalc, RefusesABlockLargerThanItsBuffers) {
  TZorvCalc calc;
  calc.Prepare(96000, 1, 0);
  std::vector<double> in(TZorvCalc::BlockCapacity + 1, 0.1), out(in.size(), kSentinel);
  EXPECT_EQ(
      calc.ProcessBlock(in.data(), nullptr, out.data(), nullptr, TZorvCalc::BlockCapacity + 1), 0);
  EXPECT_EQ(out.front(), kSentinel);
  EXPECT_EQ(calc.ProcessBlock(in.data(), nullptr, out.data(), nullptr, TZorvCalc::BlockCapacity),
            static_cast<std::int32_t>(TZorvCalc::BlockCapacity));
}

TEST(ZorvCalc, MonoLeavesTheRightOutputAndMetersAlone) {
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.Prepare(48000, 1, 0);
  const std::vector<double> in = test::Programme(48000, 1000, 1);
  const TDecode out = DecodeInBlocks(calc, in, nullptr, 1000);
  EXPECT_TRUE(
      std::all_of(out.right.begin(), out.right.end(), [](double v) { return v == kSentinel; }));
  EXPECT_NE(out.left[500], kSentinel);
  for (const TMeterUpdate& u : meters.Updates) EXPECT_EQ(u.channel, 0);
  EXPECT_EQ(meters.Updates.size(), 10u * 4u);
}

TEST(ZorvCalc, SilenceDecodesToSilenceWithEveryMeterAtMinus319) {
  for (std::uint32_t rate : {44100u, 48000u, 96000u}) {
    TZorvCalc calc;
    TRecordingMeters meters;
    calc.SetMeterListener(&meters);
    calc.Prepare(rate, 2, 0);
    const std::vector<double> silence(rate / 10, 0.0);
    const TDecode out = DecodeInBlocks(calc, silence, &silence, rate / 10);
    EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(), [](double v) { return v == 0.0; }));
    EXPECT_TRUE(std::all_of(out.right.begin(), out.right.end(), [](double v) { return v == 0.0; }));
    ASSERT_FALSE(meters.Updates.empty());
    for (const TMeterUpdate& u : meters.Updates) EXPECT_EQ(u.position, -319);
  }
}

// Meters are written at frames 0, 100, 200, ... of every block, bands A..D,
// the whole of channel 1 before channel 2.
TEST(ZorvCalc, MetersUpdateAtEveryHundredthFrameOfEachBlock) {
  struct TCase {
    std::uint32_t rate, block, perChannel;
  };
  for (const TCase c : {TCase{44100, 1, 1}, TCase{44100, 100, 1}, TCase{44100, 101, 2},
                        TCase{44100, 4410, 45}, TCase{96000, 9600, 96}}) {
    TZorvCalc calc;
    TRecordingMeters meters;
    calc.SetMeterListener(&meters);
    calc.Prepare(c.rate, 2, 0);
    const std::vector<double> in = test::Programme(c.rate, c.block, 2);
    DecodeInBlocks(calc, in, &in, c.block);
    ASSERT_EQ(meters.Updates.size(), 2u * 4u * c.perChannel) << "block " << c.block;
    for (std::size_t i = 0; i < meters.Updates.size(); ++i) {
      EXPECT_EQ(meters.Updates[i].band, static_cast<int>(i % 4));
      EXPECT_EQ(meters.Updates[i].channel, i < 4u * c.perChannel ? 0 : 1);
    }
  }
}

TEST(ZorvCalc, MeterPositionsFollowTheControlVoltageAfterTheSample) {
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.Prepare(44100, 2, 0);
  const std::vector<double> in = test::Programme(44100, 5000, 4);
  for (std::size_t i = 0; i < in.size(); ++i) {
    meters.Updates.clear();
    double outL, outR;
    calc.ProcessBlock(&in[i], &in[i], &outL, &outR, 1);
    ASSERT_EQ(meters.Updates.size(), 8u);
    for (const TMeterUpdate& u : meters.Updates) {
      ASSERT_EQ(u.position, MeterPositionOf(calc.Generator(u.channel, u.band).ControlVoltage()));
    }
  }
}

TEST(ZorvCalc, DebugModeWritesTheBandsControlVoltageIntoChannelTwo) {
  for (std::uint32_t debug = 1; debug <= 4; ++debug) {
    TZorvCalc calc;
    TRecordingMeters meters;
    calc.SetMeterListener(&meters);
    calc.Prepare(48000, 2, debug);
    TZorvCalc plain;
    plain.Prepare(48000, 2, 0);
    const std::vector<double> inL = test::Programme(48000, 2000, 11);
    const std::vector<double> inR = test::Programme(48000, 2000, 12);
    for (std::size_t i = 0; i < inL.size(); ++i) {
      double outL, outR, plainL, plainR;
      calc.ProcessBlock(&inL[i], &inR[i], &outL, &outR, 1);
      plain.ProcessBlock(&inL[i], &inR[i], &plainL, &plainR, 1);
      const double voltage = calc.Generator(0, static_cast<int>(debug) - 1).ControlVoltage();
      ASSERT_EQ(outR, static_cast<double>(static_cast<long double>(voltage) / 6.5536L));
      ASSERT_EQ(outL, plainL);
    }
    for (const TMeterUpdate& u : meters.Updates) EXPECT_EQ(u.channel, 0);
    // Channel 2's detectors never ran.
    EXPECT_EQ(calc.Generator(1, 0).Voltage, -5.824);
  }
}

TEST(ZorvCalc, OutputDoesNotDependOnTheBlockSize) {
  const std::vector<double> inL = test::Programme(44100, 20000, 21);
  const std::vector<double> inR = test::Programme(44100, 20000, 22);
  TZorvCalc reference;
  reference.Prepare(44100, 2, 0);
  const TDecode whole = DecodeInBlocks(reference, inL, &inR, 9600);
  for (std::size_t block : {1u, 7u, 4096u}) {
    TZorvCalc calc;
    calc.Prepare(44100, 2, 0);
    const TDecode got = DecodeInBlocks(calc, inL, &inR, block);
    EXPECT_EQ(got.left, whole.left) << "block " << block;
    EXPECT_EQ(got.right, whole.right) << "block " << block;
  }
}

TEST(ZorvCalc, ChannelsAreDecodedIndependently) {
  const std::vector<double> a = test::Programme(96000, 5000, 31);
  const std::vector<double> b = test::Programme(96000, 5000, 32);
  TZorvCalc stereo;
  stereo.Prepare(96000, 2, 0);
  const TDecode both = DecodeInBlocks(stereo, a, &b, 4800);
  TZorvCalc monoA;
  monoA.Prepare(96000, 1, 0);
  TZorvCalc monoB;
  monoB.Prepare(96000, 1, 0);
  EXPECT_EQ(DecodeInBlocks(monoA, a, nullptr, 4800).left, both.left);
  EXPECT_EQ(DecodeInBlocks(monoB, b, nullptr, 4800).left, both.right);
}

TEST(ZorvCalc, ASecondRunContinuesFromTheFirstRunsState) {
  const std::vector<double> in = test::Programme(44100, 8820, 41);
  TZorvCalc twoRuns;
  twoRuns.Prepare(44100, 1, 0);
  const TDecode first = DecodeInBlocks(twoRuns, in, nullptr, 4410);
  twoRuns.Prepare(44100, 1, 0);
  const TDecode second = DecodeInBlocks(twoRuns, in, nullptr, 4410);

  TZorvCalc oneRun;
  oneRun.Prepare(44100, 1, 0);
  std::vector<double> doubled = in;
  doubled.insert(doubled.end(), in.begin(), in.end());
  const TDecode continuous = DecodeInBlocks(oneRun, doubled, nullptr, 4410);

  EXPECT_NE(second.left, first.left);
  EXPECT_TRUE(std::equal(second.left.begin(), second.left.end(),
                         continuous.left.begin() + static_cast<std::ptrdiff_t>(in.size())));
}

// After Reset a decoder decodes as one made anew, bit for bit, whatever it
// decoded before: on each path, with more channels prepared before, and with
// the debug output (whose detector state would show any leftover first).
TEST(ZorvCalc, ResetGivesTheStartUpStateBack) {
  const std::vector<double> a = test::Programme(48000, 9600, 61, 0.8);
  const std::vector<double> b = test::Programme(48000, 9600, 62, 0.3);
  for (TDecodePath path : {TDecodePath::Extended, TDecodePath::Portable}) {
    for (std::uint32_t debug : {0u, 2u}) {
      SCOPED_TRACE(std::string(PathName(path)) + (debug != 0 ? ", debug" : ""));
      TZorvCalc fresh;
      TRecordingMeters freshMeters;
      fresh.SetMeterListener(&freshMeters);
      fresh.SetPath(path);
      fresh.Prepare(48000, 2, debug);
      const TDecode expected = DecodeInBlocks(fresh, b, &a, 4800);

      TZorvCalc used;
      TRecordingMeters meters;
      used.SetPath(path);
      // A first run at another rate and width, then one like the fresh one.
      used.Prepare(44100, 4, 0);
      const double* in[4] = {a.data(), b.data(), a.data(), b.data()};
      std::vector<double> scratch(4 * 4410);
      double* out[4] = {&scratch[0], &scratch[4410], &scratch[8820], &scratch[13230]};
      ASSERT_EQ(used.ProcessBlock(in, out, 4410), 4410);
      used.Prepare(48000, 2, debug);
      DecodeInBlocks(used, a, &b, 4800);
      used.Reset();
      used.SetMeterListener(&meters);
      const TDecode got = DecodeInBlocks(used, b, &a, 4800);

      EXPECT_EQ(std::memcmp(got.left.data(), expected.left.data(), b.size() * sizeof(double)), 0);
      EXPECT_EQ(std::memcmp(got.right.data(), expected.right.data(), b.size() * sizeof(double)), 0);
      EXPECT_EQ(meters.Updates, freshMeters.Updates);
      for (int band = 0; band < 4; ++band) {
        EXPECT_EQ(used.Generator(0, band).Voltage, fresh.Generator(0, band).Voltage);
        EXPECT_EQ(used.Generator(0, band).GainFactor, fresh.Generator(0, band).GainFactor);
      }
    }
  }
}

// Reset keeps what was set: the level, the path and the preparation.
TEST(ZorvCalc, ResetKeepsTheSettings) {
  TZorvCalc calc;
  calc.SetLevel(-14.3);
  calc.SetPath(TDecodePath::Portable);
  calc.Prepare(96000, 2, 0);
  calc.Reset();
  EXPECT_EQ(calc.LevelDb(), -14.3);
  EXPECT_EQ(calc.Path(), TDecodePath::Portable);
  EXPECT_TRUE(calc.BuffersAllocated());
  EXPECT_EQ(calc.SampleRate(), 96000u);
  // The band capacitances of 96 kHz stay loaded, not the power-on defaults.
  EXPECT_EQ(calc.Generator(1, 0).SampleRate, 96000.0);
  EXPECT_NE(calc.Generator(1, 0).Capacitance, calc.Generator(1, 1).Capacitance);
}

TEST(ZorvCalc, ReferenceLevelScalesInputAndOutput) {
  // Input at level L and the decoder set to L behaves as input at 1.0 with
  // the decoder at 0 dB, scaled by L.
  const std::vector<double> unit = test::Programme(48000, 6000, 51, 1.0);
  std::vector<double> scaled(unit.size());
  for (std::size_t i = 0; i < unit.size(); ++i) scaled[i] = unit[i] * 0.5;
  TZorvCalc atZero;
  atZero.SetLevel(0.0);
  atZero.Prepare(48000, 1, 0);
  TZorvCalc atLevel;
  atLevel.SetLevel(20.0 * std::log10(0.5));
  atLevel.Prepare(48000, 1, 0);
  const TDecode a = DecodeInBlocks(atZero, unit, nullptr, 4800);
  const TDecode b = DecodeInBlocks(atLevel, scaled, nullptr, 4800);
  for (std::size_t i = 0; i < unit.size(); ++i) {
    ASSERT_NEAR(b.left[i], a.left[i] * 0.5, 1e-12) << i;
  }
}

// A steady tone at the reference level in the middle of a band settles that
// band's gain near 0 dB.
TEST(ZorvCalc, ToneAtTheReferenceLevelSettlesNearUnityGain) {
  const double freq[4] = {100.0, 1000.0, 3500.0, 10000.0};
  for (int band = 0; band < 4; ++band) {
    TZorvCalc calc;
    TRecordingMeters meters;
    calc.SetMeterListener(&meters);
    calc.Prepare(44100, 1, 0);
    const std::vector<double> tone = test::Tone(freq[band], calc.LevelFactor(), 44100, 44100 * 6);
    DecodeInBlocks(calc, tone, nullptr, 4410);
    double sum = 0.0;
    int n = 0;
    for (std::size_t i = meters.Updates.size() / 2; i < meters.Updates.size(); ++i) {
      if (meters.Updates[i].band == band) {
        sum += meters.Updates[i].position;
        ++n;
      }
    }
    EXPECT_NEAR(sum / n, 0.0, 30.0) << "band " << band << " (tenths of a dB)";
  }
}

}  // namespace
}  // namespace zorv
