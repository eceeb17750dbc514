// SPDX-License-Identifier: GPL-3.0-or-later
// The VST3 module and the CLAP file driven as hosts drive them (no CLAP
// host is packaged for this system, so the CLAP side has only the tests'
// own host): what they declare, their decode against zorv-decode's output
// and against the decoder core with the level changing, their state.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "plugin/plugin_arithmetic.h"
#include "plugin/plugin_uris.h"
#include "tests/app/scratch_dir.h"
#include "tests/cli/child_process.h"
#include "tests/plugin/clap_host.h"
#include "tests/plugin/lv2_host.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/plugin/sound_file.h"
#include "tests/plugin/vst3_host.h"

namespace zorv {
namespace {

using test::TChannels;
using test::TLevelPoint;

constexpr std::uint32_t kRate = 44100;

std::string Ascii(const std::int16_t* text) {
  std::string out;
  for (std::size_t i = 0; i < 128 && text[i] != 0; ++i) out += static_cast<char>(text[i]);
  return out;
}

// Host block sizes from a fixed seed: one frame first, then anything up to
// beyond what the decoder takes at once.
std::vector<std::uint32_t> RandomBlocks(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint32_t> blocks = {1};
  for (int i = 0; i < 40; ++i) {
    blocks.push_back(i % 8 == 3 ? 1
                                : std::uniform_int_distribution<std::uint32_t>(1, 12000)(random));
  }
  return blocks;
}

// The channels as a float file, decoded by zorv-decode --float -l levelDb.
TChannels CommandLineDecode(const std::string& dir, const TChannels& in, double levelDb) {
  const std::string input = dir + "/in.wav";
  const std::string output = dir + "/out.wav";
  test::WriteFloatSound(input, in, kRate);
  char level[16];
  std::snprintf(level, sizeof level, "%.1f", levelDb);
  const test::TChildResult run = test::RunProgram(
      ZORV_DECODE_PATH, {"-q", "-f", "--float", "-l", level, "-o", output, input}, dir);
  EXPECT_EQ(run.ExitStatus, 0) << run.Err;
  const test::TSound sound = test::ReadSound(output);
  TChannels out(in.size());
  for (std::size_t i = 0; i < sound.Floats.size(); ++i) {
    out[i % in.size()].push_back(sound.Floats[i]);
  }
  return out;
}

class PluginFormats : public testing::Test {
 protected:
  std::string Scratch() const { return Dir_.Path().string(); }

 private:
  test::TScratchDir Dir_{ZORV_PLUGIN_SCRATCH};
};

// -- VST3 --------------------------------------------------------------------

TEST(Vst3Module, ListsTheStereoAndTheMonoClassAsRestorationEffects) {
  v3_plugin_factory** factory = test::Vst3Factory();
  v3_factory_info info{};
  ASSERT_EQ(v3_cpp_obj(factory)->get_factory_info(factory, &info), V3_OK);
  EXPECT_STREQ(info.vendor, plugin::kMaker);
  ASSERT_EQ(v3_cpp_obj(factory)->num_classes(factory), 2);
  v3_plugin_factory_2** factory2 = nullptr;
  ASSERT_EQ(v3_cpp_obj_query_interface(factory, v3_plugin_factory_2_iid, &factory2), V3_OK);
  const char* names[] = {plugin::kStereoName, plugin::kMonoName};
  for (std::int32_t i = 0; i < 2; ++i) {
    v3_class_info_2 c{};
    ASSERT_EQ(v3_cpp_obj(factory2)->get_class_info_2(factory2, i, &c), V3_OK);
    EXPECT_STREQ(c.name, names[i]);
    EXPECT_STREQ(c.category, "Audio Module Class");
    EXPECT_STREQ(c.sub_categories, "Fx|Restoration");
  }
  v3_class_info none{};
  EXPECT_NE(v3_cpp_obj(factory)->get_class_info(factory, 2, &none), V3_OK);
}

// Buses, parameters (the level automatable in 301 steps of 0.1 dB from -30
// to 0, default -10; the band gains read-only), and no latency.
TEST(Vst3Module, DescribesBusesParametersAndLatency) {
  for (const std::uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(channels);
    test::TVst3Plugin plugin(channels, kRate);
    ASSERT_TRUE(plugin.Ready());
    v3_bus_info bus{};
    ASSERT_EQ(
        v3_cpp_obj(plugin.Component)->get_bus_info(plugin.Component, V3_AUDIO, V3_OUTPUT, 0, &bus),
        V3_OK);
    EXPECT_EQ(bus.channel_count, static_cast<std::int32_t>(channels));
    EXPECT_EQ(v3_cpp_obj(plugin.Component)->get_bus_count(plugin.Component, V3_EVENT, V3_INPUT), 0);
    EXPECT_EQ(v3_cpp_obj(plugin.Processor)->get_latency_samples(plugin.Processor), 0u);

    v3_edit_controller** controller = plugin.Controller;
    ASSERT_EQ(v3_cpp_obj(controller)->get_parameter_count(controller),
              static_cast<std::int32_t>(1 + 4 * channels));
    v3_param_info level{};
    ASSERT_EQ(v3_cpp_obj(controller)->get_parameter_info(controller, 0, &level), V3_OK);
    EXPECT_EQ(Ascii(level.title), "Reference level");
    EXPECT_EQ(Ascii(level.units), "dB");
    EXPECT_EQ(level.step_count, 300);
    EXPECT_EQ(level.flags, V3_PARAM_CAN_AUTOMATE);
    const auto plain = [&](double n) {
      return v3_cpp_obj(controller)->normalised_parameter_to_plain(controller, 0, n);
    };
    EXPECT_EQ(plain(level.default_normalised_value), -10.0);
    EXPECT_EQ(plain(0.0), -30.0);
    EXPECT_EQ(plain(1.0), 0.0);
    EXPECT_EQ(plain(175.4 / 300.0), -12.5) << "the nearest tenth";
    EXPECT_EQ(plugin.Value(0), -10.0);

    v3_str_128 text{};
    v3_cpp_obj(controller)->get_parameter_string_for_value(controller, 0, 175.0 / 300.0, text);
    EXPECT_EQ(Ascii(text), "-12.5");
    std::int16_t typed[16] = {};
    for (std::size_t i = 0; i < 8; ++i) typed[i] = static_cast<std::int16_t>("-12.5 dB"[i]);
    double normalised = 0.0;
    ASSERT_EQ(
        v3_cpp_obj(controller)->get_parameter_value_for_string(controller, 0, typed, &normalised),
        V3_OK);
    EXPECT_EQ(plain(normalised), -12.5);

    const std::string last = channels == 2 ? "Band D gain (right)" : "Band D gain";
    v3_param_info gain{};
    ASSERT_EQ(v3_cpp_obj(controller)->get_parameter_info(controller, 4 * channels, &gain), V3_OK);
    EXPECT_EQ(Ascii(gain.title), last);
    EXPECT_EQ(gain.flags, V3_PARAM_READ_ONLY);
    EXPECT_EQ(plugin.Value(gain.param_id), -31.9) << "before the first block";
    EXPECT_NE(v3_cpp_obj(controller)->set_parameter_normalised(controller, gain.param_id, 0.5),
              V3_OK);
  }
}

TEST(Vst3Module, RefusesARateOrSampleSizeItCannotDecode) {
  testing::internal::CaptureStderr();
  test::TVst3Plugin plugin(2, 22050);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not supported sampling rate: 22050\n");
  EXPECT_FALSE(plugin.Ready());
  EXPECT_NE(v3_cpp_obj(plugin.Processor)->can_process_sample_size(plugin.Processor, V3_SAMPLE_64),
            V3_OK);
  // Not set up: silence, whatever the input.
  std::vector<float> in(64, 0.5F), out(64, 1.0F);
  const float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {out.data(), out.data()};
  EXPECT_EQ(plugin.Process(inputs, outputs, 64), V3_OK);
  EXPECT_EQ(out, std::vector<float>(64, 0.0F));
}

TEST_F(PluginFormats, Vst3AtAFixedLevelEqualsZorvDecodeWhateverTheBlocks) {
  for (const std::uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(channels);
    const TChannels in = test::FloatProgramme(channels, kRate, 44100);
    test::TVst3Plugin plugin(channels, kRate);
    ASSERT_TRUE(plugin.Ready());
    const TChannels got = test::HostDecode(plugin, in, RandomBlocks(channels), {{0, -12.5}});
    EXPECT_TRUE(got == CommandLineDecode(Scratch(), in, -12.5));
    EXPECT_FALSE(got == CommandLineDecode(Scratch(), in, -10.0)) << "the level made no difference";
  }
}

// A point at a block's first frame applies to that block, a later one from
// the next block on; between steps it is taken to the nearest tenth. On the
// controller, a level applies from the next block.
TEST(Vst3Level, ChangesApplyFromTheBlockBoundaryAtOrAfterThem) {
  const TChannels in = test::FloatProgramme(2, kRate, 20000);
  test::TVst3Plugin plugin(2, kRate);
  ASSERT_TRUE(plugin.Ready());
  const std::vector<std::uint32_t> blocks = {3000};
  const TChannels got =
      test::HostDecode(plugin, in, blocks, {{3000, -20.0}, {7000, -12.34}, {9000, -5.0}});
  EXPECT_EQ(got,
            test::CoreDecodeFrom(in, kRate, DefaultArithmetic(), {{3000, -20.0}, {9000, -5.0}}));
  EXPECT_EQ(plugin.Value(0), -5.0);

  v3_cpp_obj(plugin.Controller)->set_parameter_normalised(plugin.Controller, 0, 0.5);
  EXPECT_EQ(plugin.Value(0), -15.0);
  const TChannels more = test::HostDecode(plugin, in, blocks);
  TChannels twice = in;
  for (auto& channel : twice) channel.insert(channel.end(), channel.begin(), channel.end());
  const TChannels whole = test::CoreDecodeFrom(twice, kRate, DefaultArithmetic(),
                                               {{3000, -20.0}, {9000, -5.0}, {20000, -15.0}});
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::equal(more[c].begin(), more[c].end(), whole[c].begin() + 20000)) << c;
  }
}

// What the processor reports for the read-only band gains is what the LV2
// plugin's outputs show after the same blocks.
TEST(Vst3Level, ReportsTheBandGainsTheLv2OutputsShow) {
  const TChannels in = test::FloatProgramme(2, kRate, 30000);
  test::TVst3Plugin plugin(2, kRate);
  test::THostFeatures host;
  test::TPluginInstance lv2(2, kRate, host.WithLog());
  lv2.Activate();
  test::HostDecode(plugin, in, {3000});
  lv2.Decode(in, 3000);
  for (int i = 0; i < 8; ++i) {
    const double tenths = std::round(lv2.Gain[i / 4][i % 4] * 10.0) / 10.0;
    EXPECT_EQ(plugin.Reported[i], tenths) << i;
    EXPECT_EQ(plugin.Value(static_cast<v3_param_id>(1 + i)), tenths) << i;
    EXPECT_NE(lv2.Gain[i / 4][i % 4], -31.9F) << "the programme moves every band";
  }
}

// The state holds the level: a new instance takes it and decodes at it;
// bytes that are not a state are refused and change nothing.
TEST(Vst3State, TheSavedLevelComesBackInANewInstance) {
  const TChannels in = test::FloatProgramme(1, kRate, 8000);
  std::string state;
  {
    test::TVst3Plugin plugin(1, kRate);
    test::HostDecode(plugin, in, {512}, {{0, -12.5}});
    state = plugin.State();
  }
  EXPECT_NE(state.find("level -12.5"), std::string::npos) << state;
  test::TVst3Plugin restored(1, kRate);
  ASSERT_EQ(restored.SetState(state), V3_OK);
  EXPECT_EQ(restored.Value(0), -12.5);
  EXPECT_EQ(test::HostDecode(restored, in, {512}),
            test::CoreDecodeFrom(in, kRate, DefaultArithmetic(), {{0, -12.5}}));

  for (const std::string& bad : {std::string(), std::string("level -3\n"),
                                 state.substr(0, state.size() - 6), std::string(5000, 'x')}) {
    EXPECT_NE(restored.SetState(bad), V3_OK) << bad;
    EXPECT_EQ(restored.Value(0), -12.5);
  }
  // The controller takes the component's state as the host hands it over.
  test::TVst3Stream stream;
  stream.Bytes = "zorv-audio-decoder-state 1\nlevel -3.0\n";
  ASSERT_EQ(v3_cpp_obj(restored.Controller)
                ->set_component_state(restored.Controller, reinterpret_cast<v3_bstream**>(&stream)),
            V3_OK);
  EXPECT_EQ(restored.Value(0), -3.0);
}

// -- CLAP --------------------------------------------------------------------

TEST(ClapFile, ListsTheStereoAndTheMonoPluginAsRestorationEffects) {
  const clap_plugin_factory_t* factory = test::ClapFactory();
  ASSERT_EQ(factory->get_plugin_count(factory), 2u);
  const char* ids[] = {plugin::kStereoClapId, plugin::kMonoClapId};
  const char* layouts[] = {"stereo", "mono"};
  for (std::uint32_t i = 0; i < 2; ++i) {
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->id, ids[i]);
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f != nullptr; ++f) features.emplace_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "restoration", layouts[i]}));
  }
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 2), nullptr);
  clap_host_t host{};
  host.clap_version = CLAP_VERSION;
  EXPECT_EQ(factory->create_plugin(factory, &host, "org.example.other"), nullptr);
}

TEST(ClapFile, DescribesPortsParametersAndLatency) {
  for (const std::uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(channels);
    test::TClapPlugin plugin(channels, kRate);
    ASSERT_TRUE(plugin.Ready());
    const clap_plugin_t* p = plugin.Plugin;
    clap_audio_port_info_t port{};
    ASSERT_TRUE(plugin.AudioPorts->get(p, 0, false, &port));
    EXPECT_EQ(port.channel_count, channels);
    EXPECT_EQ(port.in_place_pair, 0u);
    EXPECT_EQ(plugin.Latency->get(p), 0u);
    ASSERT_EQ(plugin.Params->count(p), 1 + 4 * channels);
    clap_param_info_t level{};
    ASSERT_TRUE(plugin.Params->get_info(p, 0, &level));
    EXPECT_STREQ(level.name, "Reference level");
    EXPECT_EQ(level.flags, static_cast<clap_param_info_flags>(CLAP_PARAM_IS_AUTOMATABLE));
    EXPECT_EQ(level.min_value, -30.0);
    EXPECT_EQ(level.max_value, 0.0);
    EXPECT_EQ(level.default_value, -10.0);
    clap_param_info_t gain{};
    ASSERT_TRUE(plugin.Params->get_info(p, 4 * channels, &gain));
    EXPECT_EQ(gain.flags, static_cast<clap_param_info_flags>(CLAP_PARAM_IS_READONLY));
    EXPECT_EQ(gain.min_value, -31.9);
    EXPECT_EQ(plugin.Value(gain.id), -31.9);
    EXPECT_FALSE(plugin.Params->get_info(p, 1 + 4 * channels, &gain));
    char text[32];
    ASSERT_TRUE(plugin.Params->value_to_text(p, 0, -12.5, text, sizeof text));
    EXPECT_STREQ(text, "-12.5 dB");
    double value = 0.0;
    ASSERT_TRUE(plugin.Params->text_to_value(p, 0, " -12.5 dB", &value));
    EXPECT_EQ(value, -12.5);
    EXPECT_FALSE(plugin.Params->text_to_value(p, 0, "loud", &value));
  }
}

TEST(ClapFile, RefusesARateItCannotDecode) {
  testing::internal::CaptureStderr();
  test::TClapPlugin plugin(1, 22050);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not supported sampling rate: 22050\n");
  EXPECT_FALSE(plugin.Ready());
  EXPECT_TRUE(plugin.Activate(48000));
}

TEST_F(PluginFormats, ClapAtAFixedLevelEqualsZorvDecodeWhateverTheBlocks) {
  for (const std::uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(channels);
    const TChannels in = test::FloatProgramme(channels, kRate, 44100);
    test::TClapPlugin plugin(channels, kRate);
    ASSERT_TRUE(plugin.Ready());
    const TChannels got = test::HostDecode(plugin, in, RandomBlocks(10 + channels), {{0, -12.5}});
    EXPECT_TRUE(got == CommandLineDecode(Scratch(), in, -12.5));
  }
}

// Mid-stream: an event at a block's first frame applies to it, a later one
// from the next block; a flush outside processing from the next block.
TEST(ClapLevel, ChangesApplyFromTheBlockBoundaryAtOrAfterThem) {
  const TChannels in = test::FloatProgramme(2, kRate, 24000);
  test::TClapPlugin plugin(2, kRate);
  ASSERT_TRUE(plugin.Ready());
  const TChannels first =
      test::HostDecode(plugin, in, {1, 4095, 4000, 7}, {{1, -20.0}, {4100, -3.26}, {8103, -29.0}});
  // Blocks start at 0, 1, 4096, 8096, 8103, 8104, ...
  EXPECT_EQ(first, test::CoreDecodeFrom(in, kRate, DefaultArithmetic(),
                                        {{1, -20.0}, {8096, -3.3}, {8103, -29.0}}));
  plugin.Flush(-7.0);
  EXPECT_EQ(plugin.Value(0), -7.0);
  test::TClapPlugin other(2, kRate);
  other.Flush(-7.0);
  EXPECT_EQ(test::HostDecode(other, in, {700}),
            test::CoreDecodeFrom(in, kRate, DefaultArithmetic(), {{0, -7.0}}));
}

TEST(ClapLevel, ReportsTheBandGainsTheLv2OutputsShow) {
  const TChannels in = test::FloatProgramme(1, kRate, 20000);
  test::TClapPlugin plugin(1, kRate);
  test::THostFeatures host;
  test::TPluginInstance lv2(1, kRate, host.WithLog());
  lv2.Activate();
  test::HostDecode(plugin, in, {4096});
  lv2.Decode(in, 20000);
  for (int b = 0; b < 4; ++b) {
    const double tenths = std::round(lv2.Gain[0][b] * 10.0) / 10.0;
    EXPECT_EQ(plugin.Reported[b], tenths) << b;
    EXPECT_EQ(plugin.Value(static_cast<clap_id>(1 + b)), tenths) << b;
    EXPECT_NE(tenths, -31.9) << "the programme moves every band";
  }
}

// The state holds the level (read and written a few bytes at a time); a
// reset goes back to the start-up state with the level kept.
TEST(ClapState, TheSavedLevelComesBackAndAResetStartsAfresh) {
  const TChannels in = test::FloatProgramme(2, kRate, 9000);
  test::TClapPlugin plugin(2, kRate);
  test::HostDecode(plugin, in, {1000}, {{0, -12.5}});
  const std::string state = plugin.SaveState();
  test::TClapPlugin restored(2, kRate);
  ASSERT_TRUE(restored.LoadState(state)) << state;
  EXPECT_EQ(restored.Value(0), -12.5);
  const TChannels expected = test::CoreDecodeFrom(in, kRate, DefaultArithmetic(), {{0, -12.5}});
  EXPECT_EQ(test::HostDecode(restored, in, {333}), expected);
  EXPECT_FALSE(restored.LoadState("zorv-audio-decoder-state 1\nlevel loud\n"));
  EXPECT_FALSE(restored.LoadState("zorv-audio-decoder-state 2\nlevel -3\n"));
  EXPECT_EQ(restored.Value(0), -12.5);

  restored.Plugin->reset(restored.Plugin);
  EXPECT_EQ(test::HostDecode(restored, in, {2048}), expected);
  EXPECT_NE(test::HostDecode(restored, in, {2048}), expected) << "the state carries over";
}

TEST(ClapMisuse, BuffersThatDoNotFitAreAnErrorAndWriteNothing) {
  test::TClapPlugin plugin(2, kRate);
  std::vector<float> in(64, 0.5F), out(64, 1.0F);
  const float* inputs[2] = {in.data(), nullptr};
  float* outputs[2] = {out.data(), out.data()};
  EXPECT_EQ(plugin.Process(inputs, outputs, 64, {{0, -20.0}}), CLAP_PROCESS_ERROR);
  EXPECT_EQ(out, std::vector<float>(64, 1.0F));
  EXPECT_EQ(plugin.Value(0), -20.0) << "the level still taken";
}

}  // namespace
}  // namespace zorv
