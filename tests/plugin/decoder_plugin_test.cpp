// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin driven the way a host drives it: through the bundle's own
// library, its descriptors and ports.
#include "plugin/decoder_plugin.h"

#include <gtest/gtest.h>
#include <lv2/log/log.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <tuple>

#include "dsp/sample_rates.h"
#include "dsp/channel_decoder.h"
#include "dsp/detector_constants.h"
#include "dsp/zorv_calc.h"
#include "plugin/plugin_uris.h"
#include "tests/plugin/lv2_host.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/support/recording_meters.h"

namespace zorv {
namespace {

using test::TChannels;
using test::TPluginInstance;

constexpr std::uint32_t kRate = 44100;

// An activated instance with a host log of its own.
struct TActivePlugin {
  explicit TActivePlugin(std::uint32_t channels) : Plugin(channels, kRate, Host.WithLog()) {
    Plugin.Activate();
  }
  test::THostFeatures Host;
  TPluginInstance Plugin;
};

TEST(PluginBundle, OffersTheStereoAndTheMonoPluginAndNothingElse) {
  ASSERT_NE(test::PluginAt(0), nullptr);
  ASSERT_NE(test::PluginAt(1), nullptr);
  EXPECT_STREQ(test::PluginAt(0)->URI, plugin::kStereoUri);
  EXPECT_STREQ(test::PluginAt(1)->URI, plugin::kMonoUri);
  EXPECT_EQ(test::PluginAt(2), nullptr);
}

// Whatever the host's blocks (one frame, a few, above the decoder's
// capacity), on every arithmetic path, the output is the core's decode in
// the command line's blocks.
TEST(PluginDecode, EqualsTheDecoderCoreWhateverTheHostBlocksOnEveryPath) {
  const TChannels in = test::FloatProgramme(2, kRate, 22050);
  for (const TDecodePath path : test::SupportedPaths()) {
    SCOPED_TRACE(PathName(path));
    const TChannels expected = test::CoreDecode(in, kRate, path);
    test::TForcedPath forced(path);
    for (const std::uint32_t block : {1u, 7u, 64u, 4096u, 9600u, 9601u, 16384u}) {
      SCOPED_TRACE(block);
      test::THostFeatures host;
      TPluginInstance plugin(2, kRate, host.WithLog());
      ASSERT_TRUE(plugin.Instantiated());
      plugin.Activate();
      EXPECT_EQ(plugin.Decode(in, block), expected);
      EXPECT_TRUE(host.Messages.empty());
    }
  }
}

TEST(PluginDecode, MonoEqualsTheDecoderCoreAtEveryRate) {
  for (const std::uint32_t rate : {44100u, 48000u, 96000u}) {
    SCOPED_TRACE(rate);
    const TChannels in = test::FloatProgramme(1, rate, rate / 2);
    test::THostFeatures host;
    TPluginInstance plugin(1, rate, host.WithLog());
    ASSERT_TRUE(plugin.Instantiated());
    plugin.Activate();
    EXPECT_EQ(plugin.Decode(in, 1000), test::CoreDecode(in, rate, DefaultArithmetic()));
  }
}

TEST(PluginDecode, ProcessesInPlaceWhenTheHostGivesOneBufferForInputAndOutput) {
  const TChannels in = test::FloatProgramme(2, kRate, 12000);
  TActivePlugin active(2);
  TPluginInstance& plugin = active.Plugin;
  TChannels buffers = in;
  for (std::uint32_t c = 0; c < 2; ++c) {
    plugin.Connect(1 + c, buffers[c].data());
    plugin.Connect(3 + c, buffers[c].data());
  }
  plugin.RunConnected(12000);
  EXPECT_EQ(buffers, test::CoreDecode(in, kRate, DefaultArithmetic()));
}

// The level applies from the next block the host hands over.
TEST(PluginLevel, AppliesFromTheNextBlockAsTheDecoderCoreDoes) {
  const TChannels in = test::FloatProgramme(2, kRate, 8820);
  TActivePlugin active(2);
  TPluginInstance& plugin = active.Plugin;
  plugin.Level = -20.0F;
  const TChannels decoded = plugin.Decode(in, 4410);

  // The core: -10 dB is never used, -20 from the first block on.
  EXPECT_EQ(decoded, test::CoreDecode(in, kRate, DefaultArithmetic(), {-20.0}));
  EXPECT_NE(decoded, test::CoreDecode(in, kRate, DefaultArithmetic(), {-10.0}));

  // A change between two blocks: the first at -20, the second at -12.3.
  TActivePlugin other(2);
  TPluginInstance& changed = other.Plugin;
  TChannels halves = in;
  for (std::uint32_t c = 0; c < 2; ++c) {
    changed.Connect(1 + c, halves[c].data());
    changed.Connect(3 + c, halves[c].data());
  }
  changed.Level = -20.0F;
  changed.RunConnected(4410);
  for (std::uint32_t c = 0; c < 2; ++c) {
    changed.Connect(1 + c, halves[c].data() + 4410);
    changed.Connect(3 + c, halves[c].data() + 4410);
  }
  changed.Level = -12.3F;
  changed.RunConnected(4410);
  EXPECT_EQ(halves, test::CoreDecode(in, kRate, DefaultArithmetic(), {-20.0, -12.3}));
}

// A value between steps, beyond the range, or not a number is taken as the
// window's scroll bar would hold it.
TEST(PluginLevel, ControlValuesAreRoundedToTenthsAndKeptInRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    float control;
    double previous;
    double level;
  } cases[] = {
      {-20.0F, -10.0, -20.0},    {-12.3F, -10.0, -12.3}, {-12.34F, -10.0, -12.3},
      {-12.36F, -10.0, -12.4},   {0.0F, -10.0, 0.0},     {5.0F, -10.0, 0.0},
      {-30.0F, -10.0, -30.0},    {-45.0F, -10.0, -30.0}, {static_cast<float>(nan), -17.5, -17.5},
      {-INFINITY, -10.0, -30.0}, {INFINITY, -10.0, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plugin::LevelOfControl(c.control, c.previous), c.level) << c.control;
  }
}

// The band gains of the outputs are the latest meter positions / 10 of each
// block, the start-up state's -31.9 dB (the lowest a meter reports) before
// any has been handed over; the latency is 0.
// The bundle's description states the range and the default of the level
// control as literals; they are the program's own.
TEST(PluginLevel, TheBundleStatesTheProgramsLevelRange) {
  std::ifstream file(std::string(ZORV_LV2_BUNDLE) + "/zorv.ttl");
  ASSERT_TRUE(file) << "the bundle's zorv.ttl";
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto valueAfter = [&](std::size_t from, const std::string& key) {
    const std::size_t at = text.find(key, from);
    EXPECT_NE(at, std::string::npos) << key;
    return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + key.size()));
  };
  int ports = 0;
  for (std::size_t at = text.find("lv2:symbol \"level\""); at != std::string::npos;
       at = text.find("lv2:symbol \"level\"", at + 1)) {
    ++ports;
    EXPECT_EQ(valueAfter(at, "lv2:default "), kDefaultLevelDb);
    EXPECT_EQ(valueAfter(at, "lv2:minimum "), kMinLevelDb);
    EXPECT_EQ(valueAfter(at, "lv2:maximum "), kMaxLevelDb);
  }
  EXPECT_EQ(ports, 2) << "the stereo and the mono plugin";
}

TEST(PluginControls, BandGainsAreTheLatestMeterPositionsOfTheBlock) {
  const TChannels in = test::FloatProgramme(2, kRate, 30000);
  TActivePlugin active(2);
  TPluginInstance& plugin = active.Plugin;
  plugin.Run(0);
  for (const auto& channel : plugin.Gain) {
    for (const float gain : channel) EXPECT_EQ(gain, plugin::kGainBeforeFirstBlock);
  }
  EXPECT_EQ(plugin.Latency, 0.0F);
  EXPECT_EQ(plugin::kGainBeforeFirstBlock,
            static_cast<float>(MeterPositionOf(detector::kVoltageMin)) / 10.0F);

  // The core, fed the same pieces: 250 frames, then 16384 (cut at BlockCapacity).
  TZorvCalc calc;
  test::TRecordingMeters meters;
  calc.SetPath(DefaultArithmetic());
  calc.SetMeterListener(&meters);
  calc.Prepare(kRate, 2, 0);
  std::size_t start = 0;
  for (const std::uint32_t block : {250u, 16384u}) {
    for (int c = 0; c < 2; ++c) {
      plugin.In[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                          in[c].begin() + static_cast<std::ptrdiff_t>(start + block));
    }
    plugin.Run(block);
    for (std::uint32_t done = 0; done < block;) {
      const std::uint32_t piece = std::min(block - done, TZorvCalc::BlockCapacity);
      std::vector<double> x[2], y[2];
      for (int c = 0; c < 2; ++c) {
        x[c].assign(plugin.In[c].begin() + done, plugin.In[c].begin() + done + piece);
        y[c].resize(piece);
      }
      calc.ProcessBlock(x[0].data(), x[1].data(), y[0].data(), y[1].data(), piece);
      done += piece;
    }
    float latest[2][4];
    for (const test::TMeterUpdate& u : meters.Updates) {
      latest[u.channel][u.band] = static_cast<float>(u.position) / 10.0F;
    }
    for (int c = 0; c < 2; ++c) {
      for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(plugin.Gain[c][b], latest[c][b]) << block << " " << c << " " << b;
        EXPECT_NE(plugin.Gain[c][b], plugin::kGainBeforeFirstBlock);
      }
    }
    EXPECT_EQ(plugin.Latency, 0.0F);
    start += block;
  }
}

TEST(PluginControls, MonoHasFourBandGains) {
  TActivePlugin active(1);
  TPluginInstance& plugin = active.Plugin;
  plugin.In[0].assign(4410, 0.0F);
  plugin.Run(4410);
  // Silence settles every band at the lower limit: -31.9 dB.
  for (const float gain : plugin.Gain[0]) EXPECT_FLOAT_EQ(gain, -31.9F);
  for (const float gain : plugin.Gain[1]) EXPECT_EQ(gain, 0.0F) << "not a port of the mono plugin";
  EXPECT_EQ(plugin.Latency, 0.0F);
}

// An activation starts from the decoder's start-up state: a second pass
// over the same samples differs (the states carry over), a pass after a
// re-activation does not.
TEST(PluginActivation, StartsFromTheStartUpStateEveryTime) {
  const TChannels in = test::FloatProgramme(2, kRate, 6000);
  TActivePlugin active(2);
  TPluginInstance& plugin = active.Plugin;
  plugin.Level = -16.0F;
  const TChannels first = plugin.Decode(in, 512);
  EXPECT_EQ(first, test::CoreDecode(in, kRate, DefaultArithmetic(), {-16.0}));
  EXPECT_NE(plugin.Decode(in, 512), first);

  plugin.Deactivate();
  plugin.Activate();
  EXPECT_EQ(plugin.Decode(in, 512), first);
  plugin.Deactivate();
  plugin.Activate();
  plugin.Run(0);
  for (const float gain : plugin.Gain[0]) EXPECT_EQ(gain, plugin::kGainBeforeFirstBlock);
}

TEST(PluginRates, EveryRateOfTheDecoderInstantiates) {
  for (const std::uint32_t channels : {1u, 2u}) {
    for (const std::uint32_t rate : kSupportedRates) {
      test::THostFeatures host;
      TPluginInstance plugin(channels, rate, host.WithLog());
      EXPECT_TRUE(plugin.Instantiated()) << channels << " " << rate;
      EXPECT_TRUE(host.Messages.empty());
    }
  }
}

TEST(PluginRates, AnyOtherRateFailsWithTheMessageThroughTheHostsLog) {
  const std::pair<double, const char*> cases[] = {
      {22050.0, "Not supported sampling rate: 22050\n"},
      {88000.0, "Not supported sampling rate: 88000\n"},
      {384000.0, "Not supported sampling rate: 384000\n"},
      {0.0, "Not supported sampling rate: 0\n"},
      {44100.5, "Not supported sampling rate: 44100.500000\n"},
      {-44100.0, "Not supported sampling rate: -44100\n"},
  };
  for (const std::uint32_t channels : {1u, 2u}) {
    for (const auto& [rate, message] : cases) {
      test::THostFeatures host;
      TPluginInstance plugin(channels, rate, host.WithLog());
      EXPECT_FALSE(plugin.Instantiated()) << rate;
      ASSERT_EQ(host.Messages.size(), 1u) << rate;
      EXPECT_EQ(host.Messages[0].Type, LV2_LOG__Error);
      EXPECT_EQ(host.Messages[0].Text, message);
    }
  }
}

TEST(PluginRates, WithoutAHostLogTheMessageGoesToStandardError) {
  test::THostFeatures host;
  testing::internal::CaptureStderr();
  TPluginInstance plugin(2, 22050.0, host.None());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(plugin.Instantiated());
  EXPECT_EQ(err, "Not supported sampling rate: 22050\n");
}

// A host that breaks the rules gets silence, not a crash.
TEST(PluginMisuse, MissingAudioPortsOrNoActivationGiveSilence) {
  test::THostFeatures host;
  TPluginInstance notActivated(2, kRate, host.WithLog());
  notActivated.In[0].assign(1000, 0.5F);
  notActivated.In[1].assign(1000, 0.5F);
  notActivated.Run(1000);
  for (const auto& out : notActivated.Out) EXPECT_EQ(out, std::vector<float>(1000, 0.0F));

  TActivePlugin active(2);
  TPluginInstance& plugin = active.Plugin;
  std::vector<float> left(1000, 0.5F), outL(1000, 1.0F), outR(1000, 1.0F);
  plugin.Connect(1, left.data());
  plugin.Connect(2, nullptr);  // right input missing
  plugin.Connect(3, outL.data());
  plugin.Connect(4, outR.data());
  plugin.RunConnected(1000);
  EXPECT_EQ(outL, std::vector<float>(1000, 0.0F));
  EXPECT_EQ(outR, std::vector<float>(1000, 0.0F));
  plugin.Connect(99, left.data());  // no such port: ignored

  // The silent block left the decoder as it was.
  const TChannels in = test::FloatProgramme(2, kRate, 3000);
  EXPECT_EQ(plugin.Decode(in, 1000), test::CoreDecode(in, kRate, DefaultArithmetic()));
}

// Input samples a host may hand over that the decoder must not see: NaN and
// infinities become silence, magnitudes above +60 dBFS become +60 dBFS, in
// run and without a word there; the count goes to the host's log once, when
// the instance is deactivated. The output is the decode of the input with
// those samples replaced, so never NaN or infinite, on every path.
TEST(PluginInput, NonFiniteAndTooLoudSamplesAreReplacedAndToldOnDeactivation) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // frame, channel, value: at the start, within and across host blocks, the end.
  const std::tuple<std::size_t, std::uint32_t, float> pokes[] = {
      {0, 0, nan},     {100, 0, 3.4e38F}, {4095, 0, inf},      {4096, 0, -inf},
      {4096, 1, nan},  {9000, 1, -1e30F}, {15000, 0, 1e30F},   {15001, 1, -3.4e38F},
      {22049, 0, nan}, {22049, 1, 2e3F},  {15002, 0, -1000.0F}};
  for (const std::uint32_t channels : {1u, 2u}) {
    const TChannels clean = test::FloatProgramme(channels, kRate, 22050);
    TChannels poisoned = clean, sanitised = clean;
    std::size_t nonFinite = 0, clamped = 0;
    for (const auto& [frame, channel, value] : pokes) {
      if (channel >= channels) continue;
      poisoned[channel][frame] = value;
      sanitised[channel][frame] =
          !std::isfinite(value) ? 0.0F : std::clamp(value, -1000.0F, 1000.0F);
      nonFinite += !std::isfinite(value);
      clamped += std::isfinite(value) && std::fabs(value) > 1000.0F;
    }
    for (const TDecodePath path : test::SupportedPaths()) {
      SCOPED_TRACE(std::string(PathName(path)) + ", " + std::to_string(channels) + " channels");
      const TChannels expected = test::CoreDecode(sanitised, kRate, path);
      test::TForcedPath forced(path);
      test::THostFeatures host;
      TPluginInstance plugin(channels, kRate, host.WithLog());
      plugin.Activate();
      const TChannels got = plugin.Decode(poisoned, 4096);
      for (const auto& channel : got) {
        EXPECT_TRUE(
            std::all_of(channel.begin(), channel.end(), [](float x) { return std::isfinite(x); }));
      }
      EXPECT_EQ(got, expected);
      EXPECT_TRUE(host.Messages.empty()) << "nothing said while running";
      plugin.Deactivate();
      ASSERT_EQ(host.Messages.size(), 2u);
      EXPECT_EQ(host.Messages[0].Type, LV2_LOG__Warning);
      EXPECT_EQ(host.Messages[0].Text,
                "Zorv decoder: " + std::to_string(nonFinite) +
                    " non-finite input samples decoded as silence, first at 0:00.000 (since the "
                    "activation)\n");
      EXPECT_EQ(host.Messages[1].Text,
                "Zorv decoder: " + std::to_string(clamped) +
                    " input samples above +60 dBFS clamped to +60 dBFS, first at 0:00.002 (since "
                    "the activation)\n");
      // Told once: a second activation starts counting afresh.
      plugin.Activate();
      EXPECT_EQ(plugin.Decode(sanitised, 4096), expected);
      plugin.Deactivate();
      EXPECT_EQ(host.Messages.size(), 2u);
    }
  }
}

}  // namespace
}  // namespace zorv
