// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gain_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/zorv_calc.h"
#include "tests/support/recording_meters.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

TEST(GainHistory, AShortDecodeIsKeptPositionByPosition) {
  TGainHistory history(2048);
  history.Start(2, 44100, 1000);
  EXPECT_TRUE(history.Empty());
  EXPECT_EQ(history.ColumnFrames(), 1U);
  history.Add(0, 0, 0, -319);
  history.Add(100, 1, 3, 55);
  history.Add(999, 0, 2, 100);
  EXPECT_EQ(history.Frames(), 1000U);
  EXPECT_EQ(history.Columns(), 1000U);
  EXPECT_EQ(history.AxisFrames(), 1000U);
  const auto first = history.At(0, 0, 0);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->Min, -319);
  EXPECT_EQ(first->Max, -319);
  EXPECT_EQ(first->Mean, -319.0);
  EXPECT_EQ(history.At(1, 3, 100)->Max, 55);
  EXPECT_EQ(history.At(0, 2, 999)->Min, 100);
  EXPECT_FALSE(history.At(0, 1, 0).has_value()) << "band B of channel 1 received nothing";
  EXPECT_FALSE(history.At(2, 0, 0).has_value()) << "no third channel";

  // Out of range channels and bands are ignored.
  history.Add(5, 2, 0, 1);
  history.Add(5, 0, 4, 1);
  history.Add(5, -1, 0, 1);
  EXPECT_FALSE(history.At(0, 0, 5).has_value());

  // A new decode forgets the old one.
  history.Start(1, 48000, 0);
  EXPECT_TRUE(history.Empty());
  EXPECT_FALSE(history.At(0, 0, 0).has_value());
}

// Whatever the length, every column holds exactly the minimum, maximum and
// mean of the positions whose frames it covers: checked against the
// positions themselves, for a length known beforehand and for one that is
// not (which merges columns as it grows).
TEST(GainHistory, ColumnsSumUpTheirStretchOfTime) {
  for (const std::uint64_t expected : {std::uint64_t{0}, std::uint64_t{50000}}) {
    SCOPED_TRACE(expected == 0 ? "unknown length" : "known length");
    TGainHistory history(16);
    history.Start(1, 44100, expected);
    test::TNoise noise(9);
    std::vector<std::pair<std::uint64_t, std::int32_t>> added;
    for (std::uint64_t frame = 0; frame < 50000; frame += 100) {
      const auto position = static_cast<std::int32_t>(std::lround(-100 + 150 * noise.Next()));
      history.Add(frame, 0, 1, position);
      added.emplace_back(frame, position);
    }
    EXPECT_LE(history.Columns(), 16U);
    ASSERT_GE(history.ColumnFrames() * history.Columns(), 50000U - 100);
    std::uint64_t seen = 0;
    for (std::size_t column = 0; column < history.Columns(); ++column) {
      std::int32_t lo = std::numeric_limits<std::int32_t>::max();
      std::int32_t hi = std::numeric_limits<std::int32_t>::min();
      double sum = 0;
      int count = 0;
      for (const auto& [frame, position] : added) {
        if (frame / history.ColumnFrames() != column) continue;
        lo = std::min(lo, position);
        hi = std::max(hi, position);
        sum += position;
        ++count;
      }
      const auto span = history.At(0, 1, column);
      ASSERT_EQ(span.has_value(), count > 0) << "column " << column;
      if (!span) continue;
      seen += static_cast<std::uint64_t>(count);
      EXPECT_EQ(span->Min, lo) << "column " << column;
      EXPECT_EQ(span->Max, hi) << "column " << column;
      EXPECT_NEAR(span->Mean, sum / count, 1e-9) << "column " << column;
    }
    EXPECT_EQ(seen, added.size());
  }
}

// A meter listener handing every position to two others.
struct TTee : TMeterListener {
  TMeterListener* A;
  TMeterListener* B;
  TTee(TMeterListener* a, TMeterListener* b) : A(a), B(b) {}
  void MeterPosition(int channel, int band, std::int32_t position) override {
    A->MeterPosition(channel, band, position);
    B->MeterPosition(channel, band, position);
  }
};

TEST(GainHistoryRecorder, PositionsLandAtTheFramesTheDecoderMeasuredThem) {
  // Three blocks of 4410 frames (45 meter points each, at frames 0..4400 of
  // each block) of a 10000-frame input: the last block's points from frame
  // 10000 on lie behind the data.
  constexpr std::uint32_t kBlock = 4410;
  constexpr std::uint64_t kDataFrames = 10000;
  TGainHistory history(16384);
  TGainHistoryRecorder recorder(history);
  recorder.Start(2, 44100, kBlock, kDataFrames, TZorvCalc::kMeterInterval);
  test::TRecordingMeters meters;
  TTee tee(&recorder, &meters);

  TZorvCalc decoder;
  decoder.SetMeterListener(&tee);
  decoder.Prepare(44100, 2, 0);
  std::vector<double> outL(kBlock), outR(kBlock);
  std::vector<std::uint64_t> frames;  // of every update of channel 2's band C
  for (int block = 0; block < 3; ++block) {
    const auto left = test::Programme(44100, kBlock, 1 + block);
    const auto right = test::Tone(1000, 0.3 / (1 + block), 44100, kBlock);
    ASSERT_EQ(decoder.ProcessBlock(left.data(), right.data(), outL.data(), outR.data(), kBlock),
              static_cast<std::int32_t>(kBlock));
    for (std::uint64_t i = 0; i < kBlock; i += 100) frames.push_back(block * kBlock + i);
  }

  std::vector<std::int32_t> positions;
  for (const auto& update : meters.Updates) {
    if (update.channel == 1 && update.band == 2) positions.push_back(update.position);
  }
  ASSERT_EQ(positions.size(), frames.size());
  EXPECT_EQ(history.ColumnFrames(), 1U);
  std::size_t kept = 0;
  for (std::size_t n = 0; n < frames.size(); ++n) {
    const auto span = history.At(1, 2, static_cast<std::size_t>(frames[n]));
    if (frames[n] >= kDataFrames) {
      EXPECT_FALSE(span.has_value()) << "frame " << frames[n];
      continue;
    }
    ++kept;
    ASSERT_TRUE(span.has_value()) << "frame " << frames[n];
    EXPECT_EQ(span->Max, positions[n]) << "frame " << frames[n];
  }
  EXPECT_EQ(kept, 45U + 45U + 12U);  // 8820 .. 9920 in the last block
  EXPECT_EQ(history.Frames(), 9921U);
}

// Three hours at 44.1 kHz stereo, fed as the decoder feeds it: memory stays
// what it was after the first minute, and the columns still tell the
// slow swell of the gains apart.
TEST(GainHistoryRecorder, MemoryDoesNotGrowWithTheFile) {
  constexpr std::uint32_t kRate = 44100;
  constexpr std::uint32_t kBlock = 4410;
  for (const bool lengthKnown : {true, false}) {
    SCOPED_TRACE(lengthKnown ? "length known" : "length not known");
    const std::uint64_t threeHours = std::uint64_t{3} * 3600 * kRate;
    TGainHistory history;
    TGainHistoryRecorder recorder(history);
    recorder.Start(2, kRate, kBlock, lengthKnown ? threeHours : 0, TZorvCalc::kMeterInterval);
    const std::size_t before = history.MemoryBytes();
    std::size_t afterAMinute = 0;
    // A position that rises by one step each minute, from -300 on.
    for (std::uint64_t block = 0; block * kBlock < threeHours; ++block) {
      const auto minute = static_cast<std::int32_t>(block * kBlock / (60 * kRate));
      for (std::uint32_t i = 0; i < kBlock; i += 100) {
        for (int channel = 0; channel < 2; ++channel) {
          for (int band = 0; band < 4; ++band) {
            recorder.MeterPosition(channel, band, -300 + minute + band);
          }
        }
      }
      if (block == 600) afterAMinute = history.MemoryBytes();
    }
    EXPECT_EQ(history.MemoryBytes(), before);
    EXPECT_EQ(afterAMinute, before);
    EXPECT_LE(history.MemoryBytes(), 2048U * 8U * 24U);
    EXPECT_LE(history.Columns(), history.Capacity());
    EXPECT_GE(history.Columns(), history.Capacity() / 2);
    // Column at 90 minutes: band D of channel 2 reads -300 + 90 + 3.
    const auto column = static_cast<std::size_t>(90ULL * 60 * kRate / history.ColumnFrames());
    const auto span = history.At(1, 3, column);
    ASSERT_TRUE(span.has_value());
    EXPECT_NEAR(span->Mean, -207.0, 1.0);
    EXPECT_LE(span->Max - span->Min, 1);
  }
}

}  // namespace
}  // namespace zorv
