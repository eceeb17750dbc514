// SPDX-License-Identifier: GPL-3.0-or-later
// The run over memory against the run over files, and the file target's
// promises: a failed run leaves nothing, a stopped one its part under the
// partial name, and an output name that would overwrite the input is refused
// before anything is created.
#include "app/file_target.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/messages.h"
#include "tests/app/scratch_dir.h"
#include "tests/wav/wav_builder.h"
#include "tools/wav_test_file.h"
#include "wav/flac_sink.h"

namespace zorv {
namespace {

namespace fs = std::filesystem;
using test::TBytes;

constexpr std::uint32_t kFrames = 2 * 44100 + 77;  // 21 blocks, the last one short

// The run's output as it went, with a write or the close failing at a chosen
// point (a full disk, a file system that loses the data at the close).
class TFailingSink final : public TByteSink {
 public:
  TFailingSink(std::unique_ptr<TByteSink> target, std::uint64_t failAt, bool failClose)
      : Target_(std::move(target)), FailAt_(failAt), FailClose_(failClose) {}
  std::size_t Write(const void* data, std::size_t n) override { return Take(data, n, false); }
  std::size_t WriteSamples(const void* data, std::size_t n) override { return Take(data, n, true); }
  bool Seek(std::uint64_t position) override { return Target_->Seek(position); }
  std::uint64_t Position() const override { return Target_->Position(); }
  bool Seekable() const override { return Target_->Seekable(); }
  bool Close() override {
    const bool closed = Target_->Close();
    if (!FailClose_) return closed;
    Error_ = EIO;
    return false;
  }
  TRoom MakeRoom(std::uint64_t position, std::uint64_t n) override {
    return Target_->MakeRoom(position, n);
  }

 private:
  std::size_t Take(const void* data, std::size_t n, bool samples) {
    const std::size_t room =
        Written_ >= FailAt_
            ? 0
            : static_cast<std::size_t>(std::min<std::uint64_t>(n, FailAt_ - Written_));
    const std::size_t taken =
        samples ? Target_->WriteSamples(data, room) : Target_->Write(data, room);
    Written_ += taken;
    if (taken < n) Error_ = ENOSPC;
    return taken;
  }

  std::unique_ptr<TByteSink> Target_;
  std::uint64_t FailAt_;
  bool FailClose_;
  std::uint64_t Written_ = 0;
};

class FileTarget : public ::testing::Test {
 protected:
  struct TOutcome {
    TRunResult Result;
    TBytes Bytes;
  };

  static TRunSettings Settings(bool floatOutput = false) {
    TRunSettings settings;
    settings.LevelDb = -12.5;
    settings.Float = floatOutput;
    // The cases of a test write one name in turn.
    settings.ReplaceOutput = true;
    return settings;
  }

  // Stops the run after block stopAfter (0: never).
  static void StopAfter(TDecodeRun& run, int stopAfter) {
    run.SetBlockCallback([&run, stopAfter, blocks = 0](std::uint64_t) mutable {
      if (++blocks == stopAfter) run.RequestStop();
    });
  }

  // The decode of input between files, through the file target.
  TOutcome FileDecode(const TBytes& input, const std::string& output, const TRunSettings& settings,
                      int stopAfter = 0) {
    const std::string in = Dir.File("input.wav");
    test::WriteFile(in, input);
    TDecodeRun run(settings);
    TFileTarget files;
    EXPECT_FALSE(files.OpenInput(run, in));
    EXPECT_FALSE(files.OpenOutput(run, Dir.File(output)));
    StopAfter(run, stopAfter);
    TOutcome outcome{files.Run(run), {}};
    EXPECT_TRUE(outcome.Result.Kept) << output;
    if (outcome.Result.Kept) outcome.Bytes = test::ReadFile(*outcome.Result.Kept);
    EXPECT_EQ(test::ReadFile(in), input);
    return outcome;
  }

  // The same run over memory alone.
  static TOutcome MemoryDecode(const TBytes& input, bool flac, const TRunSettings& settings,
                               int stopAfter = 0) {
    TOutcome outcome;
    TDecodeRun run(settings);
    EXPECT_FALSE(run.OpenInput(MemorySource(input.data(), input.size()), "memory.wav"));
    std::unique_ptr<TByteSink> sink = MemorySink(outcome.Bytes);
    if (flac) sink = TFlacSink::Create(std::move(sink));
    EXPECT_FALSE(run.OpenOutput(std::move(sink), "memory-out"));
    StopAfter(run, stopAfter);
    outcome.Result = run.Run();
    return outcome;
  }

  static void ExpectSame(const TOutcome& memory, const TOutcome& file, const std::string& name) {
    EXPECT_EQ(memory.Result.Status, file.Result.Status) << name;
    EXPECT_EQ(memory.Result.Frames, file.Result.Frames) << name;
    EXPECT_EQ(memory.Result.Md5, file.Result.Md5) << name;
    EXPECT_EQ(memory.Result.InputMd5, file.Result.InputMd5) << name;
    EXPECT_EQ(memory.Result.Container, file.Result.Container) << name;
    EXPECT_EQ(memory.Result.Warnings.size(), file.Result.Warnings.size()) << name;
    EXPECT_EQ(memory.Result.OutputWarnings.size(), file.Result.OutputWarnings.size()) << name;
    EXPECT_TRUE(memory.Bytes == file.Bytes) << name << ": the outputs differ";
  }

  // The names in the test's folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir.Path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};
};

TEST_F(FileTarget, ARunOverMemoryWritesWhatTheFileDecodeWrites) {
  const test::TWavFormat stereo16{};
  const test::TWavFormat stereoFloat{3, 2, 44100, 32};
  const test::TWavFormat mono24{1, 1, 48000, 24};
  const TBytes fmt16 = test::FmtBody(1, 2, 44100, 16);
  const TBytes data16 = test::SignalBytes(stereo16, kFrames);
  // A bext chunk before the samples that grows by the CodingHistory line,
  // and chunks behind them.
  const TBytes chunked = test::TWavBuilder()
                             .Chunk("bext", test::BextBody("Reel 3", "A=ANALOGUE\r\n"))
                             .Chunk("fmt ", fmt16)
                             .Chunk("data", data16)
                             .List(301)
                             .Bytes();
  TRunSettings riffLimited = Settings();
  riffLimited.MaxRiffSize = 100000;  // the output becomes RF64
  const struct {
    const char* Name;
    TBytes Input;
    TRunSettings Run;
    bool Flac = false;
  } cases[] = {
      {"16-bit", test::WavBytes(stereo16, data16), Settings()},
      {"float", test::WavBytes(stereoFloat, test::SignalBytes(stereoFloat, kFrames)), Settings()},
      {"24-bit mono to float", test::WavBytes(mono24, test::SignalBytes(mono24, kFrames)),
       Settings(true)},
      {"chunks before and after the data", chunked, Settings()},
      {"RF64 input", test::TWavBuilder().Chunk("fmt ", fmt16).Chunk("data", data16).Rf64Bytes(),
       Settings()},
      {"RF64 output", chunked, riffLimited},
      {"FLAC output", chunked, Settings(), true},
  };
  for (const auto& c : cases) {
    const TOutcome file = FileDecode(c.Input, c.Flac ? "out.flac" : "out.wav", c.Run);
    ASSERT_EQ(file.Result.Status, TRunStatus::Done) << c.Name;
    const TOutcome memory = MemoryDecode(c.Input, c.Flac, c.Run);
    ExpectSame(memory, file, c.Name);
    EXPECT_FALSE(memory.Result.Kept) << c.Name;
  }
  EXPECT_EQ(FileDecode(chunked, "rf64.wav", riffLimited).Result.Container, TContainer::Rf64);
}

TEST_F(FileTarget, AStoppedRunKeepsUnderThePartialNameWhatTheMemoryRunWrote) {
  const test::TWavFormat stereo16{};
  const TBytes input = test::WavBytes(stereo16, test::SignalBytes(stereo16, kFrames));
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 3; ++round) {
    const int stopAfter = std::uniform_int_distribution<int>(1, 19)(random);
    SCOPED_TRACE("stopped after block " + std::to_string(stopAfter));
    const TOutcome file = FileDecode(input, "out.wav", Settings(), stopAfter);
    ASSERT_EQ(file.Result.Status, TRunStatus::Aborted);
    EXPECT_TRUE(file.Result.Partial);
    EXPECT_EQ(file.Result.Kept, Dir.File("out.partial.wav"));
    EXPECT_EQ(file.Result.Frames, std::uint64_t(stopAfter) * 4410);
    const TOutcome memory = MemoryDecode(input, false, Settings(), stopAfter);
    ExpectSame(memory, file, "stopped");
    // The part is another's from now on: the next stop takes the next name.
    EXPECT_EQ(Names(), (std::set<std::string>{"input.wav", "out.partial.wav"}));
    fs::remove(Dir.File("out.partial.wav"));
  }
}

TEST_F(FileTarget, AFailedWriteOrCloseLeavesTheEarlierOutputAndNoPart) {
  const test::TWavFormat stereo16{};
  const TBytes input = test::WavBytes(stereo16, test::SignalBytes(stereo16, kFrames));
  const std::string in = Dir.File("input.wav");
  const std::string out = Dir.File("out.wav");
  test::WriteFile(in, input);
  const TBytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int round = 0; round < 6; ++round) {
    // Anywhere in the header, the samples or at the close; stopped or not.
    const bool failClose = round % 3 == 2;
    const int stopAfter = round % 2 == 0 ? 0 : std::uniform_int_distribution<int>(1, 19)(random);
    // Within what the run writes before it ends.
    const std::uint64_t written = stopAfter == 0 ? kFrames * 4 : stopAfter * 4410 * 4;
    const std::uint64_t failAt =
        failClose ? UINT64_MAX : std::uniform_int_distribution<std::uint64_t>(0, written)(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", failing at byte " + std::to_string(failAt) +
                 ", stopped after block " + std::to_string(stopAfter));
    test::WriteFile(out, earlier);
    TRunSettings settings = Settings();
    settings.ReplacePartial = true;
    TDecodeRun run(settings);
    TFileTarget files;
    ASSERT_FALSE(files.OpenInput(run, in));
    ASSERT_FALSE(files.CreateOutput(run, out));
    ASSERT_FALSE(
        run.OpenOutput(std::make_unique<TFailingSink>(files.TakeSink(), failAt, failClose), out));
    StopAfter(run, stopAfter);
    const TRunResult result = files.Run(run);
    EXPECT_EQ(result.Status, TRunStatus::WriteError);
    EXPECT_FALSE(result.Kept);
    EXPECT_FALSE(result.Md5);
    EXPECT_FALSE(result.Reason.empty());
    EXPECT_EQ(test::ReadFile(out), earlier);
    EXPECT_EQ(Names(), (std::set<std::string>{"input.wav", "out.wav"}));
  }
}

TEST_F(FileTarget, AnOutputNameThatWouldOverwriteTheInputIsRefusedBeforeAnythingIsMade) {
  const test::TWavFormat stereoFloat{3, 2, 44100, 32};
  const TBytes input = test::WavBytes(stereoFloat, test::SignalBytes(stereoFloat, 4410));
  const std::string in = Dir.File("tape.partial.wav");
  test::WriteFile(in, input);
  fs::create_directory(Dir.File("sub"));
  fs::create_directory(Dir.File("folder.wav"));
  fs::create_hard_link(in, Dir.File("hard.wav"));
  fs::create_symlink(in, Dir.File("soft.wav"));
  fs::create_hard_link(in, Dir.File("linked.partial.wav"));
  const std::string inputAsOutput(messages::kInputAsOutput);
  const struct {
    std::string Output;
    std::string Message;
    std::string Path;  // the refusal names
  } cases[] = {
      {in, inputAsOutput, in},
      {Dir.File("sub/../tape.partial.wav"), inputAsOutput, Dir.File("sub/../tape.partial.wav")},
      {Dir.File("hard.wav"), inputAsOutput, Dir.File("hard.wav")},
      {Dir.File("soft.wav"), inputAsOutput, Dir.File("soft.wav")},
      // Its partial name is the input, or a link to it.
      {Dir.File("tape.wav"), inputAsOutput, in},
      {Dir.File("linked.wav"), inputAsOutput, Dir.File("linked.partial.wav")},
      {Dir.File("folder.wav"), std::string(messages::kCannotCreate), Dir.File("folder.wav")},
      // Float samples: FLAC holds integers.
      {Dir.File("tape.flac"), std::string(messages::kNotForFlac), Dir.File("tape.flac")},
  };
  const std::set<std::string> before = Names();
  for (const auto& c : cases) {
    TDecodeRun run(Settings());
    TFileTarget files;
    ASSERT_FALSE(files.OpenInput(run, in));
    const std::optional<TRefusal> refusal = files.OpenOutput(run, c.Output);
    ASSERT_TRUE(refusal) << c.Output;
    EXPECT_EQ(refusal->Message, c.Message) << c.Output;
    EXPECT_EQ(refusal->Path, c.Path) << c.Output;
    // Nothing to commit: the run has no output.
    TRunResult result = files.Run(run);
    EXPECT_EQ(result.Status, TRunStatus::Idle) << c.Output;
    EXPECT_EQ(Names(), before) << c.Output;
    EXPECT_EQ(test::ReadFile(in), input) << c.Output;
  }
  // A front end of its own sinks meets the FLAC refusal in the run.
  TDecodeRun run(Settings());
  ASSERT_FALSE(run.OpenInput(MemorySource(input.data(), input.size()), "memory.wav"));
  TBytes bytes;
  const auto refusal = run.OpenOutput(TFlacSink::Create(MemorySink(bytes)), "memory.flac");
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->Message, messages::kNotForFlac);
  EXPECT_EQ(run.Run().Status, TRunStatus::Idle);
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace zorv
