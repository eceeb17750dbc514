// SPDX-License-Identifier: GPL-3.0-or-later
// The samples the window plays: compared with the float output of a file
// decode of the same input, block by block, without an audio device.
#include "app/preview_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "app/decode_run.h"
#include "app/file_target.h"
#include "app/preview_feeder.h"
#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TWavFormat;

constexpr TWavFormat kStereo16{1, 2, 44100, 16};
constexpr TWavFormat kStereoFloat{3, 2, 48000, 32};

// The float samples of a file, interleaved.
std::vector<float> FloatData(const TBytes& file) {
  const auto image = test::ParseCanonical(file);
  EXPECT_TRUE(image.has_value());
  std::vector<float> samples(image ? image->Data.size() / 4 : 0);
  if (!samples.empty()) std::memcpy(samples.data(), image->Data.data(), samples.size() * 4);
  return samples;
}

class PreviewEngineTest : public ::testing::Test {
 protected:
  std::string Input(const TWavFormat& format, double seconds, std::uint32_t seed = 3) {
    const std::string path = Dir.File("in" + std::to_string(++Inputs) + ".wav");
    const auto frames = static_cast<std::uint32_t>(seconds * format.SampleRate);
    test::WriteFile(path, test::WavBytes(format, test::SignalBytes(format, frames, seed)));
    return path;
  }

  // The float output of a whole-file decode at level; changeAfterBlock >= 0:
  // the level becomes changedDb after that block of the decode.
  std::vector<float> Decode(const std::string& in, double level, int changeAfterBlock = -1,
                            double changedDb = 0.0, const std::vector<double>& channels = {}) {
    TRunSettings settings;
    settings.LevelDb = level;
    settings.ChannelLevelsDb = channels;
    settings.Float = true;
    settings.CanonicalHeader = true;
    TDecodeRun run(settings);
    TFileTarget files;
    EXPECT_FALSE(files.OpenInput(run, in).has_value());
    const std::string out = Dir.File("out" + std::to_string(++Outputs) + ".wav");
    EXPECT_FALSE(files.OpenOutput(run, out).has_value());
    int block = 0;
    run.SetBlockCallback([&](std::uint64_t) {
      if (block++ == changeAfterBlock) run.RequestLevel(changedDb);
    });
    const TRunResult result = files.Run(run);
    EXPECT_EQ(result.Status, TRunStatus::Done);
    return FloatData(test::ReadFile(out));
  }

  // Everything the engine renders from frame on, to the end.
  static std::vector<float> Play(TPreviewEngine& engine, std::uint64_t frame) {
    EXPECT_TRUE(engine.Start(frame));
    std::vector<float> all;
    std::vector<float> block;
    while (engine.Render(block) != 0) all.insert(all.end(), block.begin(), block.end());
    EXPECT_FALSE(engine.ReadFailed());
    return all;
  }

  // Bit for bit: the first difference, if any, named by its sample.
  static void ExpectSame(const std::vector<float>& got, const std::vector<float>& want,
                         std::size_t wantFrom) {
    ASSERT_EQ(got.size() + wantFrom, want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(std::memcmp(&got[i], &want[wantFrom + i], sizeof(float)), 0)
          << "sample " << wantFrom + i << ": " << got[i] << " against " << want[wantFrom + i];
    }
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};
  int Inputs = 0;
  int Outputs = 0;
};

TEST_F(PreviewEngineTest, PlaysWhatTheFileDecodeWritesFromAnyPosition) {
  for (const TWavFormat& format : {kStereo16, kStereoFloat}) {
    // Shorter than the silent start: every position begins at the file's start.
    const std::string in = Input(format, 8.0);
    const std::vector<float> decoded = Decode(in, -14.5);
    TPreviewEngine engine;
    ASSERT_FALSE(engine.Open(in).has_value());
    engine.SetLevel(-14.5);
    const std::uint64_t frames = engine.Frames();
    ASSERT_EQ(decoded.size(), frames * 2);
    const auto at = [&](double seconds) {
      return static_cast<std::uint64_t>(seconds * format.SampleRate);
    };
    // From the start, from 3.7 s (not on a block's edge), near the end, twice
    // from one place (the decoder starts anew), and at the very end.
    for (const std::uint64_t frame : {at(0), at(3.7), frames - 1234, at(3.7), frames}) {
      SCOPED_TRACE(frame);
      ExpectSame(Play(engine, frame), decoded, frame * 2);
    }
  }
}

// The tracks of a multitrack tape, each at its own level, as a decode with
// levels per channel writes them.
TEST_F(PreviewEngineTest, PlaysEachTrackAtItsOwnLevel) {
  const TWavFormat format{1, 4, 48000, 24};
  const std::string in = Input(format, 3.0);
  const std::vector<double> levels = {-12.5, -7.0, -20.3, -14.0};
  TPreviewEngine engine;
  ASSERT_FALSE(engine.Open(in).has_value());
  engine.SetLevels(levels);
  ExpectSame(Play(engine, 0), Decode(in, -10.0, -1, 0.0, levels), 0);
}

TEST_F(PreviewEngineTest, SettlesOverThirtySecondsBeforeAPositionFurtherIn) {
  const TWavFormat format = kStereo16;
  const std::string in = Input(format, 36.0);
  TPreviewEngine engine;
  ASSERT_FALSE(engine.Open(in).has_value());
  engine.SetLevel(-10.0);
  const std::uint64_t from = 34 * format.SampleRate;
  const std::vector<float> played = Play(engine, from);

  // What a decode that begins 30 s earlier writes there, bit for bit: the
  // input cut at 4 s, decoded.
  const TBytes whole = test::ReadFile(in);
  const auto image = test::ParseCanonical(whole);
  ASSERT_TRUE(image.has_value());
  const std::size_t cut = 4 * format.SampleRate * format.FrameBytes();
  const TBytes tail(image->Data.begin() + static_cast<std::ptrdiff_t>(cut), image->Data.end());
  const std::string excerpt = Dir.File("excerpt.wav");
  test::WriteFile(excerpt, test::WavBytes(format, tail));
  ExpectSame(played, Decode(excerpt, -10.0), 30 * format.SampleRate * 2);

  // And the whole file's decode, sample for sample: the state has become
  // its state.
  const std::vector<float> decoded = Decode(in, -10.0);
  ExpectSame(played, decoded, from * 2);
}

TEST_F(PreviewEngineTest, ALevelChangeAppliesFromTheNextBlockAsInTheFileDecode) {
  const TWavFormat format = kStereo16;
  const std::string in = Input(format, 6.0);
  // The file decode's blocks are 100 ms: after its 12th block the level
  // changes, from frame 1.3 s on.
  const std::vector<float> decoded = Decode(in, -12.0, 12, -7.5);
  const std::uint64_t change = 13 * format.SampleRate / 10;

  TPreviewEngine engine;
  ASSERT_FALSE(engine.Open(in).has_value());
  engine.SetLevel(-12.0);
  const std::uint64_t from = format.SampleRate / 2;
  ASSERT_TRUE(engine.Start(from));
  std::vector<float> played;
  std::vector<float> block;
  while (engine.Position() < change) {
    ASSERT_NE(engine.Render(block), 0u);
    played.insert(played.end(), block.begin(), block.end());
  }
  ASSERT_EQ(engine.Position(), change) << "the blocks meet the decode's at 1.3 s";
  engine.SetLevel(-7.5);
  while (engine.Render(block) != 0) played.insert(played.end(), block.begin(), block.end());
  ExpectSame(played, decoded, from * 2);

  // The change is audible: at the old level the samples differ.
  const std::vector<float> unchanged = Decode(in, -12.0);
  EXPECT_NE(std::memcmp(&unchanged[change * 2 + 2000], &decoded[change * 2 + 2000], 4), 0);
}

TEST_F(PreviewEngineTest, ABSwitchFadesToTheInputAndBackWithoutLosingTheDecode) {
  const TWavFormat format = kStereoFloat;
  const std::string in = Input(format, 3.0);
  const std::vector<float> decoded = Decode(in, -10.0);
  const auto image = test::ParseCanonical(test::ReadFile(in));
  ASSERT_TRUE(image.has_value());
  std::vector<float> input(image->Data.size() / 4);
  std::memcpy(input.data(), image->Data.data(), input.size() * 4);

  TPreviewEngine engine;
  ASSERT_FALSE(engine.Open(in).has_value());
  ASSERT_EQ(engine.CrossfadeFrames(), 480u);
  engine.SetLevel(-10.0);
  ASSERT_TRUE(engine.Start(0));
  std::vector<float> played;
  std::vector<float> block;
  std::uint64_t toInput = 0;
  std::uint64_t toDecode = 0;
  while (engine.Render(block) != 0) {
    played.insert(played.end(), block.begin(), block.end());
    if (engine.Position() >= format.SampleRate && toInput == 0) {
      toInput = engine.Position();
      engine.SetListenToInput(true);
    } else if (engine.Position() >= 2 * format.SampleRate && toDecode == 0) {
      toDecode = engine.Position();
      engine.SetListenToInput(false);
    }
  }
  ASSERT_EQ(played.size(), decoded.size());
  const std::uint64_t fade = engine.CrossfadeFrames();
  std::uint64_t inFade = 0;
  for (std::uint64_t frame = 0; frame < played.size() / 2; ++frame) {
    // The input's share: rising over 10 ms from toInput, falling from toDecode.
    double share = 0.0;
    if (frame >= toInput && frame < toDecode) {
      share = std::min<double>(1.0, static_cast<double>(frame - toInput + 1) / fade);
    } else if (frame >= toDecode) {
      share = std::max<double>(0.0, 1.0 - static_cast<double>(frame - toDecode + 1) / fade);
    }
    for (std::size_t c = 0; c < 2; ++c) {
      const std::size_t i = frame * 2 + c;
      const float got = played[i];
      if (share == 0.0) {
        ASSERT_EQ(std::memcmp(&got, &decoded[i], 4), 0) << "frame " << frame;
      } else if (share == 1.0) {
        ASSERT_EQ(std::memcmp(&got, &input[i], 4), 0) << "frame " << frame;
      } else {
        // A mix of the two and nothing else, at its share.
        const double want = decoded[i] + (input[i] - decoded[i]) * share;
        ASSERT_NEAR(got, want, 1e-6) << "frame " << frame;
        ++inFade;
      }
    }
  }
  // Both fades took 10 ms (a frame of each is at full share).
  EXPECT_EQ(inFade, 2 * 2 * (fade - 1));
}

// The feeder renders ahead on its own thread and hands over plain stereo:
// here channels 3 and 1 of four. A level change asked for while 2 s are
// rendered ahead is heard from the first block not yet taken once the
// feeder has rendered the queue again; an A/B switch taken from at once is
// heard from some block on. Either way what is heard is exactly what the
// engine alone makes when told at that block: a block rendered again goes
// on from what was heard before it.
TEST_F(PreviewEngineTest, FeederHandsOverStereoAndRendersAgainWhatAChangeMakesOld) {
  const TWavFormat format{1, 4, 44100, 24};
  const std::string in = Input(format, 6.0);
  constexpr std::uint32_t kLeft = 2;
  constexpr std::uint32_t kRight = 0;
  const std::uint64_t start = format.SampleRate / 2;

  TPreviewEngine feeding;
  ASSERT_FALSE(feeding.Open(in).has_value());
  feeding.SetLevel(-12.0);
  TPreviewFeeder feeder(feeding);
  feeder.Start(start, feeding.Frames(), 2 * format.SampleRate);
  ASSERT_TRUE(feeder.WaitQueued(2 * format.SampleRate, 20000));
  std::vector<float> taken;
  std::vector<float> piece(2 * 1000);
  const auto take = [&] {
    const std::uint32_t got = feeder.Take(piece.data(), 1000, kLeft, kRight);
    taken.insert(taken.end(), piece.begin(), piece.begin() + 2 * got);
  };
  while (feeder.NextFrame() < format.SampleRate) take();
  // Rendered ahead already, at the old level.
  EXPECT_GE(feeder.QueuedFrames(), format.SampleRate);
  const std::uint64_t levelAt = feeder.NextFrame() + feeder.CurrentLeft();
  feeding.SetLevel(-7.5);
  feeder.Changed();
  ASSERT_TRUE(feeder.WaitCurrent(20000));
  while (feeder.NextFrame() < 3 * format.SampleRate) take();
  // A/B, taken from at once at ten times the speed of sound (the old blocks
  // meanwhile, the new ones as they come), often while a run is rendered.
  feeding.SetListenToInput(true);
  feeder.Changed();
  while (!feeder.Ended()) {
    const std::uint32_t got = feeder.Take(piece.data(), 441, kLeft, kRight);
    taken.insert(taken.end(), piece.begin(), piece.begin() + 2 * got);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(feeder.ReadFailed());
  feeder.Stop();

  // The engine alone, told at frame changes[i] to make change i.
  const auto alone = [&](const std::vector<std::uint64_t>& changes) {
    TPreviewEngine engine;
    EXPECT_FALSE(engine.Open(in).has_value());
    engine.SetLevel(-12.0);
    EXPECT_TRUE(engine.Start(start));
    std::vector<float> stereo;
    std::vector<float> block;
    while (true) {
      if (changes.size() > 0 && engine.Position() == changes[0]) engine.SetLevel(-7.5);
      if (changes.size() > 1 && engine.Position() == changes[1]) engine.SetListenToInput(true);
      const std::uint32_t frames = engine.Render(block);
      if (frames == 0) break;
      for (std::uint32_t i = 0; i < frames; ++i) {
        stereo.insert(stereo.end(), {block[i * 4 + kLeft], block[i * 4 + kRight]});
      }
    }
    return stereo;
  };
  // Where the A/B switch was first heard: the block where the taken samples
  // leave those of the level change alone.
  const std::vector<float> levelOnly = alone({levelAt});
  ASSERT_EQ(taken.size(), levelOnly.size());
  std::size_t differ = 0;
  while (differ < taken.size() && std::memcmp(&taken[differ], &levelOnly[differ], 4) == 0) ++differ;
  ASSERT_LT(differ, taken.size()) << "the A/B switch was never heard";
  const std::uint64_t inputAt = start + (differ / 2 - (differ / 2) % feeding.BlockFrames());
  EXPECT_GE(inputAt, 3 * format.SampleRate);
  ExpectSame(taken, alone({levelAt, inputAt}), 0);
}

TEST_F(PreviewEngineTest, RefusesWhatADecodeRefuses) {
  TPreviewEngine engine;
  const auto missing = engine.Open(Dir.File("missing.wav"));
  ASSERT_TRUE(missing.has_value());
  EXPECT_NE(missing->Detail.find("No such file"), std::string::npos) << missing->Line();
  const std::string narrow = Dir.File("narrow.wav");
  const TWavFormat lowRate{1, 1, 22050, 16};
  test::WriteFile(narrow, test::WavBytes(lowRate, test::SignalBytes(lowRate, 1000)));
  EXPECT_TRUE(engine.Open(narrow).has_value());
  EXPECT_FALSE(engine.IsOpen());
  std::vector<float> block;
  EXPECT_FALSE(engine.Start(0));
  EXPECT_EQ(engine.Render(block), 0u);
}

}  // namespace
}  // namespace zorv
