// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode with a level per channel (the tracks of a multitrack tape): a
// six-track transfer with a reference tone at a different level on every
// track, each track decoded as its own mono file would be at that level.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/app/scratch_dir.h"
#include "tests/app/tone_material.h"
#include "tests/cli/child_process.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TChannelBuilder;
using test::TChildResult;
using test::TWavFormat;

constexpr int kTracks = 6;
constexpr std::array<double, kTracks> kToneDbfs = {-12.5, -14.0, -9.3, -20.1, -16.8, -11.0};
constexpr std::array<const char*, kTracks> kToneText = {"-12.5", "-14.0", "-9.3",
                                                        "-20.1", "-16.8", "-11.0"};
const TWavFormat kFormat{1, kTracks, 44100, 16};

class PerChannelLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int c = 0; c < kTracks; ++c) {
      Tracks[c] = TChannelBuilder(kFormat.SampleRate, 11 + c)
                      .Silence(2.0)
                      .Tone(1000, kToneDbfs[c], 3.0)
                      .Music(1.0)
                      .Samples;
    }
    // The second tape's track 4 has no tone: hiss, then programme.
    Toneless = TChannelBuilder(kFormat.SampleRate, 99).Silence(2.0).Music(4.0).Samples;
    std::vector<std::vector<double>> six(Tracks.begin(), Tracks.end());
    std::vector<std::vector<double>> gap = six;
    gap[3] = Toneless;
    test::WriteFile(Dir.File("six.wav"), test::ToneFile(kFormat, six));
    test::WriteFile(Dir.File("gap.wav"), test::ToneFile(kFormat, gap));
  }

  TChildResult Run(const std::vector<std::string>& args) {
    test::TChildOptions options;
    options.WorkingDirectory = Dir.Path().string();
    return test::RunProgram(ZORV_DECODE_PATH, args, Dir.Path().string(), options);
  }

  // The data of one channel of a 16-bit file.
  TBytes Channel(const std::string& name, int channel) {
    const auto image = test::ParseCanonical(test::ReadFile(Dir.File(name)));
    EXPECT_TRUE(image.has_value()) << name;
    if (!image) return {};
    TBytes data;
    for (std::size_t i = channel * 2u; i + 1 < image->Data.size(); i += image->BlockAlign) {
      data.insert(data.end(), image->Data.begin() + i, image->Data.begin() + i + 2);
    }
    return data;
  }

  // The mono decode of a track at a level ("tone": its own measured one).
  TBytes MonoDecode(const std::vector<double>& samples, int track, const std::string& level) {
    const std::string in = "track" + std::to_string(track + 1) + ".wav";
    TWavFormat mono = kFormat;
    mono.Channels = 1;
    test::WriteFile(Dir.File(in), test::ToneFile(mono, std::vector<std::vector<double>>{samples}));
    const TChildResult r = Run({"-q", "-f", "-l", level, in, "-o", "mono.wav"});
    EXPECT_EQ(r.ExitStatus, 0) << r.Err;
    return Channel("mono.wav", 0);
  }

  nlohmann::json Report(const std::string& name) {
    return nlohmann::json::parse(std::ifstream(Dir.File(name)));
  }

  test::TScratchDir Dir{ZORV_CLI_SCRATCH};
  std::array<std::vector<double>, kTracks> Tracks;
  std::vector<double> Toneless;
};

// Each track at its own tone's level, the list typed by hand, and the mono
// decode of every track at its measured level: the same bytes.
TEST_F(PerChannelLevel, EachTrackDecodesAsItsMonoFileAtItsOwnLevel) {
  TChildResult r =
      Run({"-l", "tone", "--per-channel", "six.wav", "-o", "tone.wav", "--report", "tone.jsonl"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Err.find("each channel at its own reference tone: reference levels "
                       "-12.5/-14.0/-9.3/-20.1/-16.8/-11.0 dB\n"),
            std::string::npos)
      << r.Err;
  const nlohmann::json report = Report("tone.jsonl");
  EXPECT_TRUE(report["reference_level_db"].is_null());
  EXPECT_EQ(report["reference_levels_db"],
            nlohmann::json::parse("[-12.5,-14.0,-9.3,-20.1,-16.8,-11.0]"));

  std::string list;
  for (const char* level : kToneText) {
    if (!list.empty()) list += ',';
    list += level;
  }
  r = Run({"-q", "-l", list, "six.wav", "-o", "list.wav"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(test::ReadFile(Dir.File("list.wav")), test::ReadFile(Dir.File("tone.wav")));

  for (int c = 0; c < kTracks; ++c) {
    SCOPED_TRACE(c + 1);
    const TBytes own = Channel("tone.wav", c);
    EXPECT_EQ(own, MonoDecode(Tracks[c], c, "tone"));
    EXPECT_EQ(own, MonoDecode(Tracks[c], c, kToneText[c]));
    EXPECT_NE(own, MonoDecode(Tracks[c], c, "-10"));
  }

  // One track set by hand over the default: that track at its level, the
  // rest at the default's.
  r = Run({"-q", "-l", "4=-20.1", "-l", "-9.3", "six.wav", "-o", "one.wav"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Channel("one.wav", 3), Channel("tone.wav", 3));
  EXPECT_EQ(Channel("one.wav", 2), Channel("tone.wav", 2));
  EXPECT_EQ(Channel("one.wav", 0), MonoDecode(Tracks[0], 0, "-9.3"));
}

// Equal levels per channel are the one level of every channel, byte for
// byte; the report says the one level.
TEST_F(PerChannelLevel, EqualLevelsGiveTheOneLevelsBytes) {
  ASSERT_EQ(Run({"-q", "six.wav", "-o", "plain.wav"}).ExitStatus, 0);
  TChildResult r = Run({"-q", "-l", "-10,-10,-10,-10,-10,-10", "-l", "2=-10.0", "six.wav", "-o",
                        "equal.wav", "--report", "equal.jsonl"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(test::ReadFile(Dir.File("equal.wav")), test::ReadFile(Dir.File("plain.wav")));
  EXPECT_EQ(Report("equal.jsonl")["reference_level_db"], -10.0);
}

// A track without a tone refuses the input by its number, before anything
// is written; --fallback mean gives it the mean of the tracks with one,
// which is the level -l tone finds for the whole tape; a level typed for it
// needs no tone.
TEST_F(PerChannelLevel, ATrackWithoutAToneIsRefusedOrTakesTheMean) {
  TChildResult r = Run({"-l", "tone", "--per-channel", "gap.wav", "-o", "gap_dec.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("zorv-decode: gap.wav: no usable reference tone in a channel "
                       "(channel 4: no reference tone found)\n"),
            std::string::npos)
      << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("gap_dec.wav")));

  ASSERT_EQ(
      Run({"-q", "-l", "tone", "gap.wav", "-o", "mean.wav", "--report", "mean.jsonl"}).ExitStatus,
      0);
  const double mean = Report("mean.jsonl")["reference_level_db"].get<double>();
  r = Run({"-l", "tone", "--per-channel", "--fallback", "mean", "gap.wav", "-o", "fallback.wav",
           "--report", "fallback.jsonl"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Err.find("(channel 4 without a usable tone: the mean of the others)"),
            std::string::npos)
      << r.Err;
  const nlohmann::json levels = Report("fallback.jsonl")["reference_levels_db"];
  EXPECT_EQ(levels[3].get<double>(), mean);
  EXPECT_EQ(levels[5].get<double>(), -11.0);
  char typed[16];
  std::snprintf(typed, sizeof typed, "%.1f", mean);
  EXPECT_EQ(Channel("fallback.wav", 3), MonoDecode(Toneless, 3, typed));

  r = Run({"-q", "-l", "tone", "--per-channel", "-l", "4=-18", "gap.wav", "-o", "hand.wav",
           "--report", "hand.jsonl"});
  ASSERT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_EQ(Report("hand.jsonl")["reference_levels_db"][3].get<double>(), -18.0);
}

// A list that does not fit the channels refuses the input and names both
// counts; --measure-level says every track's tone on a line of its own.
TEST_F(PerChannelLevel, ListsThatDoNotFitAreRefusedAndTheMeasurementIsPerTrack) {
  TChildResult r = Run({"-l", "-12,-13", "six.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(
      r.Err.find("zorv-decode: six.wav: levels do not match the channels (2 levels given for 6 "
                 "channels)\n"),
      std::string::npos)
      << r.Err;
  r = Run({"-l", "7=-12", "six.wav"});
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_NE(r.Err.find("a level for channel 7, the input has 6 channels"), std::string::npos)
      << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("six_dec.wav")));

  r = Run({"--measure-level", "gap.wav"});
  EXPECT_EQ(r.ExitStatus, 0) << r.Err;
  EXPECT_NE(r.Out.find("\ngap.wav: channel 1: reference tone 1000 Hz at -12.5 dBFS "
                       "(0:02.0-0:05.0); reference level -12.5 dB\n"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("\ngap.wav: channel 4: no steady tone"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\ngap.wav: channel 6: reference tone 1000 Hz at -11.0 dBFS"),
            std::string::npos)
      << r.Out;
}

}  // namespace
}  // namespace zorv
