// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/decode_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/fast/lane_state.h"
#include "dsp/power_of_ten.h"
#include "dsp/zorv_calc.h"
#include "tests/support/float_bound.h"
#include "tests/support/recording_meters.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

using test::TMeterUpdate;
using test::TRecordingMeters;

struct TDecoded {
  std::vector<double> left, right;
  std::vector<TMeterUpdate> meters;
};

struct TScenario {
  const char* name;
  std::uint32_t rate;
  std::uint32_t channels;
  std::uint32_t debug;
  double levelDb;
  double signalLevel;
  std::uint32_t block;
};

// staged: each block planned in two stages and its jobs run in turn, as
// threads one block apart run them. secondLevelDb: the level from the
// second half of the blocks on (NaN: none).
TDecoded Decode(TDecodePath path, const TScenario& s, std::size_t frames, bool staged = false,
                double secondLevelDb = std::nan("")) {
  const std::vector<double> inL = test::Programme(s.rate, frames, 101, s.signalLevel);
  const std::vector<double> inR = test::Programme(s.rate, frames, 202, s.signalLevel * 0.7);
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(path);
  calc.SetLevel(s.levelDb);
  calc.Prepare(s.rate, s.channels, s.debug);
  TDecoded out;
  out.left.assign(frames, 0.0);
  out.right.assign(frames, 0.0);
  TZorvCalc::TBlock block;
  for (std::size_t start = 0; start < frames; start += s.block) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(s.block, frames - start));
    if (!std::isnan(secondLevelDb) && start >= frames / 2) calc.SetLevel(secondLevelDb);
    if (!staged) {
      EXPECT_EQ(
          calc.ProcessBlock(inL.data() + start, s.channels == 2 ? inR.data() + start : nullptr,
                            out.left.data() + start, out.right.data() + start, n),
          static_cast<std::int32_t>(n));
      continue;
    }
    const double* in[] = {inL.data() + start, inR.data() + start};
    double* outs[] = {out.left.data() + start, out.right.data() + start};
    EXPECT_TRUE(calc.PlanBlock(block, in, outs, n, 1, true));
    // Only the fast paths' decode of one or two channels has stages.
    EXPECT_EQ(block.Staged, path != TDecodePath::Extended && s.debug == 0);
    for (int job = 0; job < block.Jobs; ++job) calc.DecodeJob(block, job);
    calc.HandOverMeters(block);
  }
  out.meters = meters.Updates;
  return out;
}

// What a 24-bit integer output would hold: single-precision rounding, scaling
// and truncation toward zero.
std::int64_t As24Bit(double x) {
  return static_cast<std::int64_t>(static_cast<double>(static_cast<float>(x)) * 8388608.0);
}

const TScenario kScenarios[] = {
    {"Stereo44k", 44100, 2, 0, -10.0, 0.3, 4410},
    {"Stereo96kLoud", 96000, 2, 0, -20.0, 1.0, 4800},
    {"Mono48kQuiet", 48000, 1, 0, -3.0, 0.02, 4800},
    {"DebugBandC", 44100, 2, 3, -10.0, 0.3, 4410},
    {"OddBlocks", 48000, 2, 0, -15.0, 0.4, 333},
    // The derived rates' tables, in the blocks their files have.
    {"Stereo192k", 192000, 2, 0, -10.0, 0.3, 19200},
    {"Mono32kQuiet", 32000, 1, 0, -6.0, 0.05, 3200},
    {"OddBlocks88k2", 88200, 2, 0, -12.0, 0.5, 777},
    {"DebugBandD176k4", 176400, 2, 4, -10.0, 0.3, 17640},
};

class FastPath : public testing::TestWithParam<TScenario> {};

TEST_P(FastPath, AgreesWithTheExtendedReference) {
  const TScenario s = GetParam();
  const std::size_t frames = s.rate / 2;
  const TDecoded reference = Decode(TDecodePath::Extended, s, frames);
  for (TDecodePath path : {TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded got = Decode(path, s, frames);
    EXPECT_EQ(got.meters, reference.meters);
    std::size_t floatDiffs = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      for (auto [a, b] : {std::pair{got.left[i], reference.left[i]},
                          std::pair{got.right[i], reference.right[i]}}) {
        ASSERT_NEAR(a, b, 1e-13 + std::fabs(b) * 1e-12) << i;
        ASSERT_EQ(As24Bit(a), As24Bit(b)) << i;
        if (static_cast<float>(a) != static_cast<float>(b)) {
          ++floatDiffs;
          EXPECT_TRUE(test::WithinStatedFloatBound(static_cast<float>(a), static_cast<float>(b)))
              << i << ": " << a << " against " << b;
        }
      }
    }
    EXPECT_LE(floatDiffs, 2 * frames / 100000) << "float samples that differ";
  }
}

// The portable, AVX2 and AVX-512 kernels do the same arithmetic, operation
// for operation: the same bits and meters whatever the processor.
TEST_P(FastPath, EveryKernelGivesTheSameBits) {
  const TScenario s = GetParam();
  const std::size_t frames = s.rate / 4;
  const TDecoded portable = Decode(TDecodePath::Portable, s, frames);
  int compared = 0;
  for (TDecodePath path : {TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded got = Decode(path, s, frames);
    EXPECT_EQ(std::memcmp(got.left.data(), portable.left.data(), frames * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(got.right.data(), portable.right.data(), frames * sizeof(double)), 0);
    EXPECT_EQ(got.meters, portable.meters);
    ++compared;
  }
  if (compared == 0) GTEST_SKIP() << "needs a processor with AVX2";
}

// The weighting of a block run apart from the rest (a block ahead, on
// another thread) changes no bit and no meter, a level changed between
// blocks included.
TEST_P(FastPath, TheTwoStagesGiveTheBitsOfTheWholeDecode) {
  const TScenario s = GetParam();
  const std::size_t frames = s.rate / 4;
  for (TDecodePath path : {TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded whole = Decode(path, s, frames, false, s.levelDb - 7.5);
    const TDecoded staged = Decode(path, s, frames, true, s.levelDb - 7.5);
    EXPECT_EQ(std::memcmp(staged.left.data(), whole.left.data(), frames * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(staged.right.data(), whole.right.data(), frames * sizeof(double)), 0);
    EXPECT_EQ(staged.meters, whole.meters);
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, FastPath, testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FastPath, PathsCanChangeBetweenBlocks) {
  const std::vector<double> in = test::Programme(44100, 8820, 7);
  std::vector<double> reference(in.size()), mixed(in.size());
  TZorvCalc a;
  a.Prepare(44100, 1, 0);
  a.ProcessBlock(in.data(), nullptr, reference.data(), nullptr, 4410);
  a.ProcessBlock(in.data() + 4410, nullptr, reference.data() + 4410, nullptr, 4410);
  TZorvCalc b;
  b.Prepare(44100, 1, 0);
  b.SetPath(TDecodePath::Portable);
  b.ProcessBlock(in.data(), nullptr, mixed.data(), nullptr, 4410);
  b.SetPath(TDecodePath::Extended);
  b.ProcessBlock(in.data() + 4410, nullptr, mixed.data() + 4410, nullptr, 4410);
  for (std::size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(mixed[i], reference[i], 1e-13) << i;
  for (int band = 0; band < 4; ++band) {
    EXPECT_NEAR(b.Generator(0, band).Voltage, a.Generator(0, band).Voltage, 1e-12);
  }
}

// Over the whole range of control voltages, and a little beyond.
TEST(FastPath, GainFactorIsWithinOneAndAHalfUnitsInTheLastPlace) {
  const std::vector<std::pair<const char*, double (*)(double)>> builds = {
      {"portable", fast::LaneGainFactor}};
  for (const auto& [name, gainFactor] : builds) {
    double worst = 0.0;
    for (int i = 0; i <= 200000; ++i) {
      const double v = -6.0 + i * (8.0 / 200000);
      const long double exact = PowerOfTen(-static_cast<long double>(v) / 3.64L);
      const double got = gainFactor(v);
      const double ulp =
          std::nextafter(static_cast<double>(exact), 1e300) - static_cast<double>(exact);
      worst = std::max(worst, static_cast<double>(std::fabs(got - exact) / ulp));
    }
    EXPECT_LE(worst, 1.5) << name;
    RecordProperty(std::string("worst_ulp_") + name, std::to_string(worst));
    std::printf("gain factor (%s): worst error %.3f units in the last place\n", name, worst);
  }
}

}  // namespace
}  // namespace zorv
