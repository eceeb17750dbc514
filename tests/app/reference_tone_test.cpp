// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/reference_tone.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/scratch_dir.h"
#include "tests/app/tone_material.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TChannelBuilder;
using test::ToneFile;
using test::TWavFormat;

TReferenceTone Measure(const TBytes& file, const TToneStretch& stretch = {}) {
  TWavFileIn reader;
  reader.Filename = "tape.wav";
  EXPECT_TRUE(reader.OpenMemory(file.data(), file.size()));
  return MeasureReferenceTone(reader, stretch);
}

// A transfer as it comes from the tape: 5 s of leader, the tone, programme.
std::vector<double> Transfer(double rate, double frequency, double dbfs, double toneSeconds,
                             std::uint64_t seed, double phase = 0.4) {
  return TChannelBuilder(rate, seed)
      .Silence(5.0)
      .Tone(frequency, dbfs, toneSeconds, phase)
      .Music(1.5)
      .Samples;
}

struct TRate {
  TWavFormat Format;
  bool Stereo;
};

class ToneAtEveryRate : public ::testing::TestWithParam<TRate> {};

// Every combination of the usual reference frequencies and levels, with hiss
// 27 to 52 dB below the tone: the level to the tenth of a dB, the place to
// the window, the frequency to a hertz.
TEST_P(ToneAtEveryRate, FoundWithItsLevelFrequencyAndPlace) {
  const TRate& rate = GetParam();
  const double fs = rate.Format.SampleRate;
  std::uint64_t seed = 7;
  for (double frequency : {400.0, 1000.0, 10000.0}) {
    for (double dbfs : {-3.0, -14.3, -27.9}) {
      SCOPED_TRACE(std::to_string(frequency) + " Hz at " + std::to_string(dbfs) + " dBFS");
      seed += 2;
      const auto left = Transfer(fs, frequency, dbfs, 3.0, seed, 0.1 * static_cast<double>(seed));
      const auto right = Transfer(fs, frequency, dbfs, 3.0, seed + 1, 2.0);
      const TReferenceTone tone =
          Measure(ToneFile(rate.Format, left, rate.Stereo ? &right : nullptr));
      ASSERT_EQ(tone.Channels.size(), rate.Stereo ? 2U : 1U);
      for (const auto& channel : tone.Channels) {
        ASSERT_TRUE(channel.has_value());
        EXPECT_NEAR(channel->PeakDbfs, dbfs, 0.05);
        EXPECT_NEAR(channel->FrequencyHz, frequency, 1.0);
        EXPECT_NEAR(channel->StartSeconds, 5.0, 1e-9);
        EXPECT_NEAR(channel->EndSeconds, 8.0, 1e-9);
      }
      EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::Suggested);
      EXPECT_NEAR(tone.Suggestion.LevelDb, dbfs, 0.1 + 1e-9);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, ToneAtEveryRate,
    ::testing::Values(TRate{{1, 2, 44100, 16}, true}, TRate{{3, 1, 48000, 32}, false},
                      TRate{{1, 2, 96000, 24}, true}, TRate{{1, 1, 32000, 16}, false},
                      TRate{{3, 2, 88200, 32}, true}, TRate{{1, 1, 176400, 24}, false},
                      TRate{{1, 2, 192000, 24}, true}),
    [](const auto& info) { return std::to_string(info.param.Format.SampleRate) + "Hz"; });

TEST(ReferenceTone, TheLineSaysWhatWasFoundAndTheLevel) {
  const auto left = Transfer(44100, 1000, -14.3, 3.0, 3);
  const auto right = Transfer(44100, 1000, -14.3, 3.0, 4, 1.0);
  const TReferenceTone tone = Measure(ToneFile({1, 2, 44100, 16}, left, &right));
  EXPECT_EQ(DescribeReferenceTone(tone),
            "reference tone 1000 Hz at -14.3 dBFS (0:05.0-0:08.0); reference level -14.3 dB");
  EXPECT_EQ(DescribeReferenceTone(tone, ','),
            "reference tone 1000 Hz at -14,3 dBFS (0:05,0-0:08,0); reference level -14,3 dB");
  EXPECT_NEAR(tone.SearchStart, 0.0, 1e-9);
  EXPECT_NEAR(tone.SearchEnd, 9.5, 1e-9);
}

TEST(ReferenceTone, ChannelsApartGiveTheirMeanAndSaySoBeyondHalfADecibel) {
  const auto left = Transfer(48000, 1000, -14.3, 3.0, 5);
  const auto right = Transfer(48000, 1000, -15.3, 3.0, 6);
  const TReferenceTone apart = Measure(ToneFile({1, 2, 48000, 24}, left, &right));
  ASSERT_EQ(apart.Suggestion.Verdict, TToneVerdict::Suggested);
  EXPECT_NEAR(apart.Suggestion.LevelDb, -14.8, 1e-9);
  EXPECT_NEAR(apart.Suggestion.SpreadDb, 1.0, 0.05);
  EXPECT_EQ(DescribeReferenceTone(apart),
            "reference tone 1000 Hz at -14.3 dBFS (0:05.0-0:08.0) in channel 1, "
            "1000 Hz at -15.3 dBFS (0:05.0-0:08.0) in channel 2; reference level -14.8 dB "
            "(the mean of the channels, which differ by 1.0 dB)");

  // 0.4 dB apart: the mean, without remark.
  const auto near = Transfer(48000, 1000, -14.7, 3.0, 7);
  const TReferenceTone close = Measure(ToneFile({1, 2, 48000, 24}, left, &near));
  EXPECT_NEAR(close.Suggestion.LevelDb, -14.5, 1e-9);
  const std::string text = DescribeReferenceTone(close);
  EXPECT_TRUE(text.ends_with("; reference level -14.5 dB")) << text;

  // Each channel on its own, as for one channel pair of a wider input.
  EXPECT_NEAR(ChannelsOf(apart, 1, 1).Suggestion.LevelDb, -15.3, 1e-9);
  EXPECT_EQ(ChannelsOf(apart, 1, 1).Channels.size(), 1U);
  EXPECT_EQ(ChannelsOf(apart, 2, 2).Suggestion.Verdict, TToneVerdict::NoTone);
}

TEST(ReferenceTone, EveryChannelOfAWideInputIsMeasured) {
  // Four tracks at four levels: each found in its own channel.
  std::vector<std::vector<double>> tracks;
  for (int c = 0; c < 4; ++c) tracks.push_back(Transfer(48000, 1000, -12.0 - c, 3.0, 20 + c));
  const TReferenceTone tone = Measure(ToneFile({1, 4, 48000, 24}, tracks));
  ASSERT_EQ(tone.Channels.size(), 4U);
  for (int c = 0; c < 4; ++c) {
    ASSERT_TRUE(tone.Channels[c].has_value()) << "channel " << c + 1;
    EXPECT_NEAR(tone.Channels[c]->PeakDbfs, -12.0 - c, 0.05) << "channel " << c + 1;
  }
  EXPECT_NEAR(tone.Suggestion.LevelDb, -13.5, 1e-9);
  EXPECT_NEAR(ChannelsOf(tone, 2, 2).Suggestion.LevelDb, -14.5, 1e-9);
}

TEST(ReferenceTone, AToneInOneChannelOnlyIsTheSuggestionAndSaysSo) {
  const auto left = Transfer(44100, 400, -9.0, 3.0, 8);
  const auto right = TChannelBuilder(44100, 9).Silence(5.0).Music(4.5).Samples;
  const TReferenceTone tone = Measure(ToneFile({1, 2, 44100, 16}, left, &right));
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_FALSE(tone.Channels[1].has_value());
  EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::Suggested);
  EXPECT_EQ(DescribeReferenceTone(tone),
            "reference tone 400 Hz at -9.0 dBFS (0:05.0-0:08.0) in channel 1, none in channel 2; "
            "reference level -9.0 dB (from the one channel with a tone)");
}

TEST(ReferenceTone, NoSteadyToneSuggestsNothing) {
  const struct {
    const char* what;
    std::vector<double> samples;
  } cases[] = {
      {"hiss and programme", TChannelBuilder(44100, 10).Silence(5.0).Music(4.0).Samples},
      {"a tone of 1 s",
       TChannelBuilder(44100, 11).Silence(5.0).Tone(1000, -14.3, 1.0).Music(3.0).Samples},
      {"a tone of 1.9 s",
       TChannelBuilder(44100, 12).Silence(5.0).Tone(1000, -14.3, 1.9).Music(2.1).Samples},
      {"a tone whose level glides 2 dB",
       TChannelBuilder(44100, 13).Silence(5.0).Glide(1000, -14.0, -16.0, 3.0).Music(1.0).Samples},
      {"a tone changing its frequency", TChannelBuilder(44100, 14)
                                            .Silence(5.0)
                                            .Tone(1000, -14.3, 1.5)
                                            .Tone(1100, -14.3, 1.5)
                                            .Music(1.0)
                                            .Samples},
      {"a tone at -60 dBFS",
       TChannelBuilder(44100, 15, -80.0).Silence(5.0).Tone(1000, -60.0, 3.0).Music(1.0).Samples},
      {"digital silence", std::vector<double>(44100 * 9, 0.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TReferenceTone tone = Measure(ToneFile({1, 1, 44100, 16}, c.samples));
    ASSERT_EQ(tone.Channels.size(), 1U);
    EXPECT_FALSE(tone.Channels[0].has_value());
    EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::NoTone);
    EXPECT_EQ(DescribeReferenceTone(tone),
              "no steady tone (one frequency, level steady within 0.5 dB, at least 2 s) in "
              "0:00.0-0:09.0; no reference level suggested");
  }
}

TEST(ReferenceTone, TheShortestAndTheSlowlyDriftingToneCount) {
  // Exactly 2 s, and a level drifting by 0.4 dB over its 3 s.
  const auto shortest = TChannelBuilder(44100, 16).Silence(5.0).Tone(1000, -14.3, 2.0).Music(1.0);
  TReferenceTone tone = Measure(ToneFile({1, 1, 44100, 16}, shortest.Samples));
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->EndSeconds - tone.Channels[0]->StartSeconds, 2.0, 1e-9);

  const auto drifting =
      TChannelBuilder(44100, 17).Silence(5.0).Glide(1000, -14.1, -14.5, 3.0).Music(1.0);
  tone = Measure(ToneFile({1, 1, 44100, 16}, drifting.Samples));
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->PeakDbfs, -14.3, 0.05);
}

TEST(ReferenceTone, TheLongestOfSeveralTonesIsTaken) {
  // A short 400 Hz tone, then the long 1 kHz one, then a 1 dB step: the
  // longest stretch steady within 0.5 dB is the 3 s at -12.0 dBFS.
  const auto samples = TChannelBuilder(48000, 18)
                           .Silence(1.0)
                           .Tone(400, -6.0, 2.5)
                           .Silence(1.0)
                           .Tone(1000, -11.0, 2.0)
                           .Tone(1000, -12.0, 3.0)
                           .Music(1.0)
                           .Samples;
  const TReferenceTone tone = Measure(ToneFile({1, 1, 48000, 16}, samples));
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->PeakDbfs, -12.0, 0.05);
  EXPECT_NEAR(tone.Channels[0]->FrequencyHz, 1000.0, 1.0);
  EXPECT_NEAR(tone.Channels[0]->StartSeconds, 6.5, 0.1 + 1e-9);
  EXPECT_NEAR(tone.Channels[0]->EndSeconds, 9.5, 1e-9);
}

TEST(ReferenceTone, AToneAboveFullScaleInFloatIsOutOfRange) {
  const auto samples =
      TChannelBuilder(96000, 19).Silence(5.0).Tone(1000, 2.0, 3.0).Music(1.0).Samples;
  const TReferenceTone tone = Measure(ToneFile({3, 1, 96000, 32}, samples));
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->PeakDbfs, 2.0, 0.05);
  EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::OutOfRange);
  EXPECT_EQ(DescribeReferenceTone(tone),
            "reference tone 1000 Hz at +2.0 dBFS (0:05.0-0:08.0); no reference level suggested: "
            "+2.0 dB is outside -30.0 .. 0.0 dB");

  const auto faint = TChannelBuilder(44100, 20).Silence(5.0).Tone(1000, -35.0, 3.0).Samples;
  const TReferenceTone low = Measure(ToneFile({1, 1, 44100, 16}, faint));
  EXPECT_EQ(low.Suggestion.Verdict, TToneVerdict::OutOfRange);
  EXPECT_NEAR(low.Suggestion.LevelDb, -35.0, 1e-9);
}

TEST(ReferenceTone, OnlyTheGivenStretchIsSearched) {
  // The tone lies at 5..8 s in a file of 9.5 s.
  const auto samples = Transfer(44100, 1000, -14.3, 3.0, 21);
  const TBytes file = ToneFile({1, 1, 44100, 16}, samples);

  TReferenceTone tone = Measure(file, {4.0, 60.0});
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->StartSeconds, 5.0, 1e-9);
  EXPECT_NEAR(tone.SearchStart, 4.0, 1e-9);
  EXPECT_NEAR(tone.SearchEnd, 9.5, 1e-9);

  // Starting inside the tone, it is found from the stretch's start.
  tone = Measure(file, {5.5, 2.5});
  ASSERT_TRUE(tone.Channels[0].has_value());
  EXPECT_NEAR(tone.Channels[0]->StartSeconds, 5.5, 1e-9);
  EXPECT_NEAR(tone.Channels[0]->EndSeconds, 8.0, 1e-9);

  // Too little of it in the stretch, or a stretch beyond the end.
  EXPECT_EQ(Measure(file, {0.0, 6.5}).Suggestion.Verdict, TToneVerdict::NoTone);
  tone = Measure(file, {20.0, 60.0});
  EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::NoTone);
  EXPECT_NEAR(tone.SearchEnd, 20.0, 1e-9);
}

TEST(ReferenceTone, AnUnreadableInputIsSaidWithItsPath) {
  test::TScratchDir dir(ZORV_APP_SCRATCH);
  const std::string missing = dir.File("missing.wav");
  TReferenceTone tone = MeasureReferenceTone(missing);
  EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::Unreadable);
  EXPECT_EQ(DescribeReferenceTone(tone), "Cannot open: " + missing);

  const std::string text = dir.File("text.wav");
  test::WriteFile(text, TBytes(100, 'x'));
  EXPECT_EQ(DescribeReferenceTone(MeasureReferenceTone(text)), "No RIFF File: " + text);

  const std::string slow = dir.File("slow.wav");
  test::WriteFile(slow, ToneFile({1, 1, 22050, 16}, std::vector<double>(22050, 0.0)));
  EXPECT_EQ(DescribeReferenceTone(MeasureReferenceTone(slow)),
            "Not supported sampling rate: " + slow);

  // A file on disk is read like a memory image.
  const std::string tape = dir.File("tape.wav");
  test::WriteFile(tape, ToneFile({1, 1, 44100, 16}, Transfer(44100, 1000, -20.0, 3.0, 22)));
  tone = MeasureReferenceTone(tape);
  EXPECT_EQ(tone.Suggestion.Verdict, TToneVerdict::Suggested);
  EXPECT_NEAR(tone.Suggestion.LevelDb, -20.0, 1e-9);
}

TEST(ReferenceTone, TimesReadAsMinutesSecondsAndTenths) {
  EXPECT_EQ(ToneTimeText(0.0), "0:00.0");
  EXPECT_EQ(ToneTimeText(2.04), "0:02.0");
  EXPECT_EQ(ToneTimeText(59.96), "1:00.0");
  EXPECT_EQ(ToneTimeText(754.3), "12:34.3");
  EXPECT_EQ(ToneTimeText(3723.45, ','), "1:02:03,5");
}

}  // namespace
}  // namespace zorv
