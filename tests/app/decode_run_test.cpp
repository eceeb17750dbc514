// SPDX-License-Identifier: GPL-3.0-or-later
// A level moved during a decode: the samples take it from the next block,
// and the CodingHistory names every level, wherever the bext chunk stands
// (before the samples it grows in place, the chunks behind it moving on).
#include "app/decode_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/file_target.h"
#include "tests/app/scratch_dir.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/coding_history.h"
#include "wav/md5.h"

namespace zorv {
namespace {

using test::TBytes;

constexpr std::uint32_t kFrames = 3 * 44100;
const std::string kEarlierHistory = "A=ANALOGUE,M=stereo,T=Reel 7\r\n";

class LevelMovedDuringARun : public ::testing::Test {
 protected:
  struct TOutcome {
    TRunResult Result;
    TBytes File;
  };
  // Decodes input at -10.0 dB; moveAt > 0 moves the level to -17.5 dB after
  // that many blocks.
  TOutcome Decode(const TBytes& input, const std::string& name, int moveAt) {
    const std::string in = Dir.File(name + "_in.wav");
    const std::string out = Dir.File(name + ".wav");
    test::WriteFile(in, input);
    TRunSettings settings;
    settings.LevelDb = -10.0;
    TDecodeRun run(settings);
    TFileTarget files;
    EXPECT_FALSE(files.OpenInput(run, in));
    EXPECT_FALSE(files.OpenOutput(run, out));
    int blocks = 0;
    run.SetBlockCallback([&](std::uint64_t) {
      if (++blocks == moveAt) run.RequestLevel(-17.5);
    });
    TOutcome outcome{files.Run(run), {}};
    EXPECT_EQ(outcome.Result.Status, TRunStatus::Done) << name;
    EXPECT_EQ(test::ReadFile(in), input) << name;
    outcome.File = test::ReadFile(out);
    return outcome;
  }

  static TBytes Data() { return test::SignalBytes(test::TWavFormat{}, kFrames); }
  static std::string Line(const std::string& levels) {
    return "A=PCM,F=44100,W=16,M=stereo,T=Zorv Audio Decoder 0.9.1 decode;reference level " +
           levels + "\r\n";
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};
};

TEST_F(LevelMovedDuringARun, TheCodingHistoryNamesBothLevelsAndTheSamplesStayWhole) {
  const TBytes fmt = test::FmtBody(1, 2, 44100, 16);
  // Bodies of even and odd size: the pad byte behind them comes and goes.
  const TBytes even = test::BextBody("Reel 7", kEarlierHistory);
  const TBytes odd = test::BextBody("Reel 7", kEarlierHistory, 1);
  const TBytes md5(16, 0);
  const struct {
    const char* Name;
    TBytes Input;
  } inputs[] = {
      {"bext_md5_before_list_behind", test::TWavBuilder()
                                          .Chunk("bext", even)
                                          .Chunk("fmt ", fmt)
                                          .Chunk("MD5 ", md5)
                                          .Chunk("data", Data())
                                          .List(33)
                                          .Bytes()},
      {"odd_bext_before",
       test::TWavBuilder().Chunk("fmt ", fmt).Chunk("bext", odd).Chunk("data", Data()).Bytes()},
      {"bext_behind",
       test::TWavBuilder().Chunk("fmt ", fmt).Chunk("data", Data()).Chunk("bext", even).Bytes()},
  };
  const TBytes plainInput = test::TWavBuilder().Chunk("fmt ", fmt).Chunk("data", Data()).Bytes();
  const TOutcome plain = Decode(plainInput, "plain", 2);
  ASSERT_EQ(plain.Result.Levels.size(), 2u);
  const std::uint64_t from = plain.Result.Levels[1].Frame;
  ASSERT_GT(from, 0u);
  ASSERT_LT(from, kFrames);
  const auto plainChunks = test::ParseChunks(plain.File);
  ASSERT_TRUE(plainChunks && plainChunks->Consistent);
  const TBytes& samples = plainChunks->Find("data")->Body;
  // The level took effect: the same input decoded at one level differs.
  const auto steady = test::ParseChunks(Decode(plainInput, "steady", 0).File);
  ASSERT_TRUE(steady);
  EXPECT_NE(steady->Find("data")->Body, samples);

  char at[32];
  std::snprintf(at, sizeof at, "0:00:%04.1f", static_cast<double>(from) / 44100.0);
  for (const auto& input : inputs) {
    const TOutcome moved = Decode(input.Input, input.Name, 2);
    EXPECT_EQ(moved.Result.Levels, plain.Result.Levels) << input.Name;
    const auto chunks = test::ParseChunks(moved.File);
    ASSERT_TRUE(chunks && chunks->Consistent) << input.Name;
    EXPECT_EQ(chunks->Find("data")->Body, samples) << input.Name;
    EXPECT_EQ(CodingHistoryText(chunks->Find("bext")->Body),
              kEarlierHistory + Line("-10.0 dB; -17.5 dB from " + std::string(at)))
        << input.Name;
    // The chunks keep their order; the digest is of the samples written.
    const auto original = test::ParseChunks(input.Input);
    ASSERT_TRUE(original);
    EXPECT_EQ(chunks->Ids(), original->Ids()) << input.Name;
    if (const auto* digest = chunks->Find("MD5 ")) {
      TMd5 md;
      md.Update(samples.data(), samples.size());
      const TMd5Digest expected = md.Digest();
      EXPECT_EQ(digest->Body, TBytes(expected.begin(), expected.end()));
    }
  }
}

TEST_F(LevelMovedDuringARun, AMoveAfterTheLastBlockChangesNothing) {
  const TBytes input = test::TWavBuilder()
                           .Chunk("bext", test::BextBody("Reel 7", kEarlierHistory))
                           .Fmt(1, 2, 44100, 16)
                           .Chunk("data", Data())
                           .Bytes();
  const TOutcome steady = Decode(input, "steady", 0);
  // More blocks than the input has: the last callback's move applies to
  // nothing, and the line says one level.
  int blocks = 0;
  {
    TRunSettings settings;
    TDecodeRun counter(settings);
    const std::string in = Dir.File("count_in.wav");
    test::WriteFile(in, input);
    TFileTarget files;
    ASSERT_FALSE(files.OpenInput(counter, in));
    ASSERT_FALSE(files.OpenOutput(counter, Dir.File("count.wav")));
    counter.SetBlockCallback([&](std::uint64_t) { ++blocks; });
    files.Run(counter);
  }
  ASSERT_GT(blocks, 2);
  const TOutcome late = Decode(input, "late", blocks);
  EXPECT_EQ(late.Result.Levels.size(), 1u);
  EXPECT_EQ(late.File, steady.File);
  const auto chunks = test::ParseChunks(late.File);
  ASSERT_TRUE(chunks && chunks->Consistent);
  EXPECT_EQ(CodingHistoryText(chunks->Find("bext")->Body), kEarlierHistory + Line("-10.0 dB"));
}

}  // namespace
}  // namespace zorv
