// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder with many channels: every channel decodes exactly as it would
// alone, on every arithmetic path, and the meters arrive channel by channel.
// (The same on worker threads: tests/app/block_pipeline_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dsp/zorv_calc.h"
#include "tests/support/many_channels.h"
#include "tests/support/recording_meters.h"

namespace zorv {
namespace {

using test::TMeterUpdate;
using test::TRecordingMeters;

struct TDecoded {
  std::vector<std::vector<double>> Out;
  std::vector<TMeterUpdate> Meters;
};

using test::SameBits;

std::vector<std::vector<double>> Inputs(std::uint32_t channels, std::uint32_t rate,
                                        std::size_t frames) {
  return test::ChannelProgrammes(channels, rate, frames);
}

// Decodes in blocks; each channel at its level of levels when given.
TDecoded Decode(TDecodePath path, std::uint32_t rate, const std::vector<std::vector<double>>& in,
                std::uint32_t block, std::uint32_t debug = 0,
                const std::vector<double>& levels = {}) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  const std::size_t frames = in.front().size();
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(path);
  for (std::uint32_t c = 0; c < levels.size(); ++c) calc.SetChannelLevel(c, levels[c]);
  calc.Prepare(rate, channels, debug);
  TDecoded out;
  out.Out.assign(channels, std::vector<double>(frames, 0.0));
  std::vector<const double*> inBlock(channels);
  std::vector<double*> outBlock(channels);
  for (std::size_t start = 0; start < frames; start += block) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - start));
    for (std::uint32_t c = 0; c < channels; ++c) {
      inBlock[c] = in[c].data() + start;
      outBlock[c] = out.Out[c].data() + start;
    }
    EXPECT_EQ(calc.ProcessBlock(inBlock.data(), outBlock.data(), n), static_cast<std::int32_t>(n));
  }
  out.Meters = meters.Updates;
  return out;
}

// The meter updates of one channel, in order, as if it were channel 0.
std::vector<TMeterUpdate> MetersOf(const std::vector<TMeterUpdate>& all, int channel) {
  std::vector<TMeterUpdate> one;
  for (TMeterUpdate u : all) {
    if (u.channel != channel) continue;
    u.channel = 0;
    one.push_back(u);
  }
  return one;
}

struct TChannelCase {
  std::uint32_t Channels;
  std::uint32_t Rate;
  std::uint32_t Block;  // the run's block at that width: 38400 bytes at most
};
void PrintTo(const TChannelCase& c, std::ostream* os) {
  *os << c.Channels << " channels at " << c.Rate << " Hz";
}

constexpr TDecodePath kFastPaths[] = {TDecodePath::Portable, TDecodePath::Avx2,
                                      TDecodePath::Avx512};

class ManyChannels : public testing::TestWithParam<TChannelCase> {};

TEST_P(ManyChannels, EveryChannelIsItsOwnMonoDecodeOnEveryFastPath) {
  const TChannelCase& c = GetParam();
  // Four blocks, at most 50 ms.
  const auto in = Inputs(c.Channels, c.Rate, std::min(c.Rate / 20, 4 * c.Block));
  for (TDecodePath path : kFastPaths) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded alone = Decode(path, c.Rate, in, c.Block);
    for (std::uint32_t ch = 0; ch < c.Channels; ++ch) {
      const TDecoded mono = Decode(path, c.Rate, {in[ch]}, 4410);
      ASSERT_TRUE(SameBits(alone.Out[ch], mono.Out[0])) << "channel " << ch;
    }
    // Meters: channel by channel after each block, each channel's the same
    // as alone.
    for (std::uint32_t ch = 0; ch < c.Channels; ch += c.Channels - 1) {
      EXPECT_EQ(MetersOf(alone.Meters, static_cast<int>(ch)),
                Decode(path, c.Rate, {in[ch]}, c.Block).Meters)
          << "channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, ManyChannels,
                         testing::Values(TChannelCase{3, 44100, 4410}, TChannelCase{6, 48000, 3200},
                                         TChannelCase{8, 96000, 1600}, TChannelCase{24, 48000, 533},
                                         TChannelCase{64, 96000, 150}),
                         [](const auto& info) {
                           return std::to_string(info.param.Channels) + "Channels" +
                                  std::to_string(info.param.Rate);
                         });

TEST(ManyChannelsReference, EveryChannelIsItsOwnMonoDecode) {
  const auto in = Inputs(5, 48000, 2400);
  const TDecoded alone = Decode(TDecodePath::Extended, 48000, in, 1600);
  for (std::uint32_t ch = 0; ch < in.size(); ++ch) {
    const TDecoded mono = Decode(TDecodePath::Extended, 48000, {in[ch]}, 4800);
    EXPECT_TRUE(SameBits(alone.Out[ch], mono.Out[0])) << "channel " << ch;
  }
}

// Each channel at a level of its own decodes as it would alone at that
// level, on every path (the lanes of one kernel call carry different
// levels); levels all equal are the one level, bit for bit.
TEST(ManyChannels, EveryChannelAtItsOwnLevelIsItsOwnMonoDecode) {
  const auto in = Inputs(6, 48000, 4800);
  const std::vector<double> levels = {-12.5, -14.0, -9.3, -20.1, -16.8, -11.0};
  for (const TDecodePath path :
       {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded apart = Decode(path, 48000, in, 1600, 0, levels);
    for (std::uint32_t ch = 0; ch < in.size(); ++ch) {
      const TDecoded mono = Decode(path, 48000, {in[ch]}, 1600, 0, {levels[ch]});
      EXPECT_TRUE(SameBits(apart.Out[ch], mono.Out[0])) << "channel " << ch;
      EXPECT_EQ(MetersOf(apart.Meters, static_cast<int>(ch)), mono.Meters) << "channel " << ch;
    }
    const TDecoded equal = Decode(path, 48000, in, 1600, 0, std::vector<double>(6, -10.0));
    const TDecoded plain = Decode(path, 48000, in, 1600);
    for (std::uint32_t ch = 0; ch < in.size(); ++ch) {
      EXPECT_TRUE(SameBits(equal.Out[ch], plain.Out[ch])) << "channel " << ch;
    }
  }
  // One channel's level set, then every channel's again: the one level.
  TZorvCalc calc;
  calc.SetChannelLevel(2, -20.0);
  EXPECT_EQ(calc.LevelDb(2), -20.0);
  EXPECT_EQ(calc.LevelDb(1), -10.0);
  calc.SetLevel(-7.0);
  EXPECT_EQ(calc.LevelFactor(2), calc.LevelFactor(0));
  EXPECT_EQ(calc.LevelFactor(0), TZorvCalc::LevelFactorOf(-7.0));
}

TEST(ManyChannels, RefusesMissingBuffersAndTooManyChannels) {
  const auto in = Inputs(3, 44100, 100);
  std::vector<double> out0(100), out1(100), out2(100);
  TZorvCalc calc;
  calc.Prepare(44100, 3, 0);
  const double* inBlock[3] = {in[0].data(), nullptr, in[2].data()};
  double* outBlock[3] = {out0.data(), out1.data(), out2.data()};
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 0);
  inBlock[1] = in[1].data();
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 100);
  EXPECT_EQ(calc.ProcessBlock(nullptr, outBlock, 100), 0);

  calc.Prepare(44100, kMaxChannels + 1, 0);
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 0);
}

// The debug output is channel 2's place in a stereo block, as with the
// two-channel call.
TEST(ManyChannels, DebugOutputMatchesTheStereoCall) {
  const auto in = Inputs(2, 48000, 4800);
  for (TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    const TDecoded many = Decode(path, 48000, in, 4800, 2);
    TZorvCalc stereo;
    stereo.SetPath(path);
    stereo.Prepare(48000, 2, 2);
    std::vector<double> left(4800), right(4800);
    stereo.ProcessBlock(in[0].data(), in[1].data(), left.data(), right.data(), 4800);
    EXPECT_TRUE(SameBits(many.Out[0], left));
    EXPECT_TRUE(SameBits(many.Out[1], right));
  }
}

// Channels are added when a run has more of them, and keep their state.
TEST(ManyChannels, ChannelsKeepTheirStateAcrossRunsOfOtherWidths) {
  const auto in = Inputs(4, 44100, 8820);
  TZorvCalc calc;
  calc.SetPath(FastestPath());
  // A two-channel run, then a four-channel run over the second half.
  calc.Prepare(44100, 2, 0);
  std::vector<std::vector<double>> out(4, std::vector<double>(4410));
  const double* a[2] = {in[0].data(), in[1].data()};
  double* b[2] = {out[0].data(), out[1].data()};
  calc.ProcessBlock(a, b, 4410);
  calc.Prepare(44100, 4, 0);
  const double* c[4] = {in[0].data() + 4410, in[1].data() + 4410, in[2].data() + 4410,
                        in[3].data() + 4410};
  double* d[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
  calc.ProcessBlock(c, d, 4410);

  const TDecoded continuous = Decode(FastestPath(), 44100, in, 4410);
  // Channels 1 and 2 go on where the first run left them.
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_TRUE(std::equal(out[ch].begin(), out[ch].end(), continuous.Out[ch].begin() + 4410));
  }
  // Channels 3 and 4 start from the power-on state.
  for (int ch = 2; ch < 4; ++ch) {
    std::vector<double> second(in[ch].begin() + 4410, in[ch].end());
    EXPECT_TRUE(SameBits(out[ch], Decode(FastestPath(), 44100, {second}, 4410).Out[0]));
  }
}

}  // namespace
}  // namespace zorv
