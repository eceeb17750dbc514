// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of many channels and runs on a worker pool: every channel of a file
// decodes as that channel alone would, and neither the workers nor the blocks
// in flight change a byte, a meter position, an abort or a failed write.
// Also run under ThreadSanitizer (label "threads").
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/arithmetic.h"
#include "app/decode_run.h"
#include "tests/app/scratch_dir.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace zorv {
namespace {

using test::ParseCanonical;
using test::ReadFile;
using test::TBytes;
using test::TWavFormat;

struct TRunSetup {
  std::optional<TDecodePath> Path;  // else the run's default
  // Null: the whole decode on the run's own thread.
  TWorkerPool* Pool = nullptr;
  int BlocksInHand = kMaxBlocksInHand;
  // Called after each block with the block's index.
  std::function<void(TDecodeRun&, int)> Pass;
  TMeterListener* Meters = nullptr;
  // The blocks change between the pool and the run's thread as often as
  // the pipeline's timing of the two can make them (trials of one block).
  bool Switching = false;
  // The level to begin with, and where the channels begin.
  double LevelDb = -10.0;
  std::shared_ptr<const TDecoderState> ContinueFrom;
  // Told of the run before it begins.
  std::function<void(const TDecodeRun&)> Made;

  static TRunSetup On(TWorkerPool* pool, std::optional<TDecodePath> path = std::nullopt) {
    TRunSetup setup;
    setup.Pool = pool;
    setup.Path = path;
    return setup;
  }
  TRunSetup& InFlight(int blocks) {
    BlocksInHand = blocks;
    return *this;
  }
  TRunSetup& EachBlock(std::function<void(TDecodeRun&, int)> pass) {
    Pass = std::move(pass);
    return *this;
  }
  TRunSetup& WithMeters(TMeterListener* meters) {
    Meters = meters;
    return *this;
  }
  TRunSetup& SwitchingWays(bool on) {
    Switching = on;
    return *this;
  }
  TRunSetup& GoingOnFrom(std::shared_ptr<const TDecoderState> state, double levelDb) {
    ContinueFrom = std::move(state);
    LevelDb = levelDb;
    return *this;
  }
};

struct TDecoded {
  TRunStatus Status = TRunStatus::Idle;
  TBytes File;
  std::uint64_t DataBytesRead = 0;
  TDecodePath Path = TDecodePath::Extended;
  std::shared_ptr<const TDecoderState> EndState;
};

TDecoded Decode(const std::string& in, const std::string& out, const TRunSetup& setup = {}) {
  TRunSettings settings;
  settings.Arithmetic = setup.Path;
  settings.Pool = setup.Pool;
  settings.ChannelThreads = false;
  settings.BlocksInHand = setup.BlocksInHand;
  settings.PoolTrialBlocks = setup.Switching ? 1 : 0;
  settings.LevelDb = setup.LevelDb;
  settings.ContinueFrom = setup.ContinueFrom;
  TDecodeRun run(settings);
  if (setup.Made) setup.Made(run);
  EXPECT_FALSE(run.OpenInput(OpenFileSource(in), in));
  EXPECT_FALSE(run.OpenOutput(CreateFileSink(out), out));
  run.SetMeterListener(setup.Meters);
  int block = 0;
  run.SetBlockCallback([&](std::uint64_t) {
    if (setup.Pass) setup.Pass(run, block);
    ++block;
  });
  const TRunResult result = run.Run();
  return {result.Status, ReadFile(out), run.DataBytesRead(), result.Arithmetic, result.EndState};
}

// The data bytes of a canonical file whose header states what it holds.
TBytes DataOf(const TBytes& file) {
  const auto image = ParseCanonical(file);
  if (!image) {
    ADD_FAILURE() << "not a canonical WAV file";
    return {};
  }
  // An odd-sized data chunk is followed by its pad byte, a zero.
  const std::size_t pad = image->DataSize % 2;
  EXPECT_EQ(image->DataSize + pad, image->Data.size());
  if (pad != 0 && !image->Data.empty()) {
    EXPECT_EQ(image->Data.back(), 0);
  }
  EXPECT_EQ(image->RiffSize, file.size() - 8);
  TBytes data = image->Data;
  data.resize(std::min<std::size_t>(data.size(), image->DataSize));
  return data;
}

// Channel c of interleaved frames.
TBytes ChannelOf(const TBytes& data, const TWavFormat& format, std::uint32_t c) {
  const std::size_t sample = format.Bits / 8;
  const std::size_t frame = format.FrameBytes();
  TBytes one;
  for (std::size_t k = c * sample; k + sample <= data.size(); k += frame) {
    one.insert(one.end(), data.begin() + static_cast<std::ptrdiff_t>(k),
               data.begin() + static_cast<std::ptrdiff_t>(k + sample));
  }
  return one;
}

// Frames of one block of the run, as the reader makes them: 100 ms, or a
// shorter interval whose block fits its buffer.
std::uint32_t BlockFrames(const TWavFormat& format) {
  const TBytes header = test::WavBytes(format, {});
  TWavFileIn reader;
  reader.OpenMemory(header.data(), header.size());
  EXPECT_EQ(reader.ReadHeader(), TReadHeaderResult::Ok);
  return reader.BlockFrames();
}

class PipelineTest : public ::testing::Test {
 protected:
  std::string Input(const std::string& name, const TWavFormat& format, std::uint32_t frames,
                    std::uint32_t seed = 1) {
    const std::string path = Dir.File(name);
    test::WriteFile(path, test::WavBytes(format, test::SignalBytes(format, frames, seed)));
    return path;
  }
  test::TScratchDir Dir{ZORV_APP_SCRATCH};
};

struct TWideCase {
  const char* Name;
  TWavFormat Format;
  TDecodePath Path;
};
void PrintTo(const TWideCase& c, std::ostream* os) {
  *os << c.Name;
}

class WideFiles : public PipelineTest, public ::testing::WithParamInterface<TWideCase> {};

// Each channel's meter positions in the order they came, band by band.
class TChannelMeters : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    if (static_cast<std::size_t>(channel) >= Seen.size()) Seen.resize(channel + 1);
    Seen[channel].push_back(band * 1000000 + position);
  }
  std::vector<std::vector<std::int32_t>> Seen;
};

TEST_P(WideFiles, EveryChannelIsTheDecodeOfThatChannelAlone) {
  const TWideCase& c = GetParam();
  if (!PathSupported(c.Path)) GTEST_SKIP() << "this processor cannot run the path";
  // Three and a half blocks of the wide file.
  const std::uint32_t frames = BlockFrames(c.Format) * 7 / 2;
  const std::string in = Input("wide.wav", c.Format, frames);
  TWorkerPool pool(2);
  TChannelMeters wideMeters;
  const TDecoded wide =
      Decode(in, Dir.File("wide_dec.wav"), TRunSetup::On(&pool, c.Path).WithMeters(&wideMeters));
  ASSERT_EQ(wide.Status, TRunStatus::Done);
  const auto image = ParseCanonical(wide.File);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Channels, c.Format.Channels);
  EXPECT_EQ(image->BlockAlign, c.Format.FrameBytes());
  EXPECT_EQ(image->Tag, c.Format.Tag);
  const TBytes decoded = DataOf(wide.File);
  ASSERT_EQ(decoded.size(), std::size_t{frames} * c.Format.FrameBytes());

  const TBytes source = ParseCanonical(ReadFile(in))->Data;
  TWavFormat mono = c.Format;
  mono.Channels = 1;
  // Where the wide file's blocks are as long as the mono file's, the meters
  // stand at the same frames, so each channel's are the mono decode's.
  const bool sameBlocks = BlockFrames(mono) == BlockFrames(c.Format);
  ASSERT_EQ(wideMeters.Seen.size(), c.Format.Channels);
  for (std::uint32_t ch = 0; ch < c.Format.Channels; ++ch) {
    const std::string monoIn = Dir.File("mono.wav");
    test::WriteFile(monoIn, test::WavBytes(mono, ChannelOf(source, c.Format, ch)));
    TChannelMeters monoMeters;
    const TDecoded alone = Decode(monoIn, Dir.File("mono_dec.wav"),
                                  TRunSetup::On(nullptr, c.Path).WithMeters(&monoMeters));
    ASSERT_EQ(DataOf(alone.File), ChannelOf(decoded, c.Format, ch)) << "channel " << ch + 1;
    ASSERT_EQ(monoMeters.Seen.size(), 1u);
    if (sameBlocks) {
      EXPECT_EQ(wideMeters.Seen[ch], monoMeters.Seen[0]) << "channel " << ch + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WideFiles,
    ::testing::Values(
        TWideCase{"Int16Three44kAvx512", {1, 3, 44100, 16}, TDecodePath::Avx512},
        TWideCase{"Int24Six48kPortable", {1, 6, 48000, 24}, TDecodePath::Portable},
        TWideCase{"Int32Eight96kAvx2", {1, 8, 96000, 32}, TDecodePath::Avx2},
        TWideCase{"FloatTwentyFour48kAvx512", {3, 24, 48000, 32}, TDecodePath::Avx512},
        TWideCase{"Int16SixtyFour44kAvx2", {1, 64, 44100, 16}, TDecodePath::Avx2},
        TWideCase{"FloatSixtyFour96kPortable", {3, 64, 96000, 32}, TDecodePath::Portable},
        TWideCase{"Int24TwentyFour96kAvx2", {1, 24, 96000, 24}, TDecodePath::Avx2},
        TWideCase{"Int24TwentyFour48kPortable", {1, 24, 48000, 24}, TDecodePath::Portable},
        TWideCase{"Int32Six44kAvx512", {1, 6, 44100, 32}, TDecodePath::Avx512},
        TWideCase{"FloatThree96kExtended", {3, 3, 96000, 32}, TDecodePath::Extended},
        TWideCase{"Int24Eight44kExtended", {1, 8, 44100, 24}, TDecodePath::Extended},
        TWideCase{"Int32Three48kExtended", {1, 3, 48000, 32}, TDecodePath::Extended},
        TWideCase{"Int16Six96kExtended", {1, 6, 96000, 16}, TDecodePath::Extended},
        TWideCase{"Int24SixtyFour192kAvx2", {1, 64, 192000, 24}, TDecodePath::Avx2},
        TWideCase{"FloatSixtyFour176k4Portable", {3, 64, 176400, 32}, TDecodePath::Portable},
        TWideCase{"Int16Four192kExtended", {1, 4, 192000, 16}, TDecodePath::Extended},
        TWideCase{"Int32Three32kAvx512", {1, 3, 32000, 32}, TDecodePath::Avx512}),
    [](const auto& info) { return std::string(info.param.Name); });

// What the front end sees per block: the meters with the block they belong
// to (its first frame, and the data read up to its end).
class TBlockMeters : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    Seen.push_back(
        {Run->BlockInHand(channel).FirstFrame, Run->DataBytesRead(), channel, band, position});
  }
  // Watches the run a setup makes.
  std::function<void(const TDecodeRun&)> Watch() {
    return [this](const TDecodeRun& run) { Run = &run; };
  }
  struct TSeen {
    std::uint64_t first, read;
    int channel, band;
    std::int32_t position;
    bool operator==(const TSeen&) const = default;
  };
  std::vector<TSeen> Seen;
  const TDecodeRun* Run = nullptr;
};

TEST_F(PipelineTest, NeitherWorkersNorBlocksInFlightChangeAnything) {
  for (const TWavFormat format : {TWavFormat{1, 2, 44100, 16}, TWavFormat{1, 6, 48000, 24}}) {
    SCOPED_TRACE(std::to_string(format.Channels) + " channels");
    const std::string in = Input("in.wav", format, BlockFrames(format) * 5 + 77);
    // The plain way: one block at a time, on the run's own thread.
    TBlockMeters plainMeters;
    std::vector<std::uint64_t> plainProgress;
    const auto progress = [](std::vector<std::uint64_t>& into) {
      return [&into](TDecodeRun& run, int) { into.push_back(run.DataBytesRead()); };
    };
    TRunSetup plainSetup = TRunSetup::On(nullptr)
                               .InFlight(1)
                               .EachBlock(progress(plainProgress))
                               .WithMeters(&plainMeters);
    plainSetup.Made = plainMeters.Watch();
    const TDecoded plain = Decode(in, Dir.File("plain.wav"), plainSetup);
    ASSERT_EQ(plain.Status, TRunStatus::Done);
    for (const unsigned workers : {1u, 2u, 5u}) {
      TWorkerPool pool(workers);
      for (const int inFlight : {1, 2, 3, 4, 5}) {
        for (const bool switching : {false, true}) {
          SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(inFlight) +
                       " blocks in flight" + (switching ? ", switching ways" : ""));
          TBlockMeters meters;
          std::vector<std::uint64_t> seenProgress;
          TRunSetup setup = TRunSetup::On(&pool)
                                .InFlight(inFlight)
                                .EachBlock(progress(seenProgress))
                                .WithMeters(&meters)
                                .SwitchingWays(switching);
          setup.Made = meters.Watch();
          const TDecoded got = Decode(in, Dir.File("out.wav"), setup);
          EXPECT_EQ(got.Status, TRunStatus::Done);
          EXPECT_EQ(got.File, plain.File);
          EXPECT_EQ(seenProgress, plainProgress) << "the progress after each block";
          EXPECT_EQ(meters.Seen, plainMeters.Seen) << "meters, and the block they came with";
        }
      }
    }
  }
}

// The model of a decode block by block: a short last block is decoded to
// its last frame only. The state it leaves is where the next run goes on
// from.
TBytes SingleBufferDecode(TZorvCalc& calc, const TBytes& data, const TWavFormat& format) {
  const std::uint32_t frames = BlockFrames(format);
  const TFrameLayout layout = FrameLayoutOf(format.FrameBytes(), format.Channels, format.Tag);
  calc.Prepare(format.SampleRate, format.Channels, 0);
  std::vector<std::vector<double>> in(format.Channels, std::vector<double>(frames));
  std::vector<std::vector<double>> out(format.Channels, std::vector<double>(frames));
  std::vector<double*> inPtr, outPtr;
  for (auto& b : in) inPtr.push_back(b.data());
  for (auto& b : out) outPtr.push_back(b.data());
  const std::uint32_t blockBytes = frames * format.FrameBytes();
  TBytes result;
  for (std::size_t k = 0; k < data.size(); k += blockBytes) {
    const auto len = static_cast<std::uint32_t>(std::min<std::size_t>(blockBytes, data.size() - k));
    TBytes raw(blockBytes);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(k),
              data.begin() + static_cast<std::ptrdiff_t>(k + len), raw.begin());
    SplitBlock(raw.data(), len, layout, inPtr.data());
    calc.ProcessBlock(inPtr.data(), outPtr.data(), len / format.FrameBytes());
    TBytes merged(blockBytes);
    MergeBlock(outPtr.data(), len, layout, merged.data());
    result.insert(result.end(), merged.begin(), merged.begin() + len);
  }
  return result;
}

TEST_F(PipelineTest, ASecondRunGoesOnFromTheStateTheFirstLeft) {
  for (const TWavFormat format : {TWavFormat{1, 2, 44100, 16}, TWavFormat{3, 5, 96000, 32}}) {
    SCOPED_TRACE(std::to_string(format.Channels) + " channels");
    // Two and a bit blocks: the last one short.
    const std::string in = Input("in.wav", format, BlockFrames(format) * 2 + 333);
    const TBytes source = ParseCanonical(ReadFile(in))->Data;
    TWorkerPool pool(2);
    const TDecoded first = Decode(in, Dir.File("first.wav"), TRunSetup::On(&pool));
    const TDecoded second =
        Decode(in, Dir.File("second.wav"), TRunSetup::On(&pool).GoingOnFrom(first.EndState, -10.0));

    TZorvCalc model;
    model.SetPath(first.Path);
    EXPECT_EQ(DataOf(first.File), SingleBufferDecode(model, source, format));
    EXPECT_EQ(DataOf(second.File), SingleBufferDecode(model, source, format));
    EXPECT_NE(DataOf(first.File), DataOf(second.File));
  }
}

TEST_F(PipelineTest, AbortMidRunWritesTheBlockInHandAndStops) {
  const TWavFormat format{1, 24, 48000, 24};
  const std::uint32_t block = BlockFrames(format);
  const std::string in = Input("in.wav", format, block * 6);
  const TBytes full = DataOf(Decode(in, Dir.File("full.wav")).File);
  TWorkerPool pool(2);
  for (const int inFlight : {1, 3, 4, 5}) {
    const TDecoded aborted =
        Decode(in, Dir.File("aborted.wav"),
               TRunSetup::On(&pool).InFlight(inFlight).EachBlock([](TDecodeRun& run, int b) {
                 if (b == 2) run.RequestStop();
               }));
    EXPECT_EQ(aborted.Status, TRunStatus::Aborted);
    const std::size_t bytes = std::size_t{3} * block * format.FrameBytes();
    EXPECT_EQ(aborted.DataBytesRead, bytes);
    const TBytes data = DataOf(aborted.File);
    ASSERT_EQ(data.size(), bytes) << inFlight << " blocks in flight";
    EXPECT_TRUE(std::equal(data.begin(), data.end(), full.begin()));
  }
}

// A block begun ahead of the one in hand is dropped, and the decoder put
// back, when a level or a stop is asked for after the block in hand: the
// output and the state a later run goes on from are those of one block after
// the other.
TEST_F(PipelineTest, BlocksBegunAheadGiveWayToALevelChangeAndAnAbort) {
  for (const TWavFormat format : {TWavFormat{1, 2, 44100, 16}, TWavFormat{1, 6, 48000, 24}}) {
    SCOPED_TRACE(std::to_string(format.Channels) + " channels");
    const std::string in = Input("in.wav", format, BlockFrames(format) * 7 + 5);
    const auto changeThenAbort = [](TDecodeRun& run, int b) {
      if (b == 1) run.RequestLevel(-17.5);
      if (b == 3) run.RequestLevel(-4.0);
      if (b == 5) run.RequestStop();
    };
    std::vector<TBytes> outputs;
    for (const int inFlight : {3, 4, 5}) {
      // No workers too: the caller then runs every job, and a block
      // dropped waits for the blocks before it.
      // 3: two workers, the blocks changing between the pool and the run's
      // thread.
      for (const unsigned workers : {0u, 1u, 2u, 3u}) {
        TWorkerPool pool(std::min(workers, 2u));
        const TDecoded aborted = Decode(in, Dir.File("aborted.wav"),
                                        TRunSetup::On(&pool)
                                            .InFlight(inFlight)
                                            .EachBlock(changeThenAbort)
                                            .SwitchingWays(workers == 3));
        EXPECT_EQ(aborted.Status, TRunStatus::Aborted);
        // Going on from where the stop left the channels, at the last level.
        const TDecoded next =
            Decode(in, Dir.File("next.wav"),
                   TRunSetup::On(&pool).InFlight(inFlight).GoingOnFrom(aborted.EndState, -4.0));
        EXPECT_EQ(next.Status, TRunStatus::Done);
        outputs.push_back(DataOf(aborted.File));
        outputs.push_back(DataOf(next.File));
      }
    }
    // Blocks 0..5 written, the level changed twice on the way.
    ASSERT_EQ(outputs[0].size(), std::size_t{6} * BlockFrames(format) * format.FrameBytes());
    for (std::size_t k = 2; k < outputs.size(); ++k) {
      EXPECT_EQ(outputs[k], outputs[k % 2]) << "run " << k;
    }
  }
}

TEST_F(PipelineTest, AWriteFailureMidRunLeavesWhatWasWrittenAndFails) {
  const TWavFormat format{1, 8, 44100, 16};
  const std::uint32_t block = BlockFrames(format);
  const std::string in = Input("in.wav", format, block * 8);
  const TBytes full = DataOf(Decode(in, Dir.File("full.wav")).File);
  // The file may not grow beyond the header and two and a half blocks.
  const rlim_t limit = 44 + block * format.FrameBytes() * 5 / 2;
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  TWorkerPool pool(2);
  const TDecoded failed =
      Decode(in, Dir.File("failed.wav"), TRunSetup::On(&pool).SwitchingWays(true));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(failed.Status, TRunStatus::WriteError);
  ASSERT_EQ(failed.File.size(), limit);
  const auto image = ParseCanonical(failed.File);
  ASSERT_TRUE(image);
  // The header states the whole frames of what the file took.
  const std::uint32_t taken = static_cast<std::uint32_t>(limit - 44);
  EXPECT_EQ(image->DataSize, taken - taken % format.FrameBytes());
  EXPECT_EQ(image->RiffSize, 36 + image->DataSize);
  EXPECT_TRUE(std::equal(failed.File.begin() + 44, failed.File.end(), full.begin()))
      << "what was written is right";
}

// Files decoded in parallel, as zorv-decode -j does, on one shared pool.
TEST_F(PipelineTest, RunsInParallelShareOnePool) {
  const TWavFormat formats[] = {{1, 24, 48000, 24}, {1, 2, 44100, 16}, {3, 9, 96000, 32}};
  std::vector<std::string> inputs;
  std::vector<TBytes> alone;
  for (std::size_t i = 0; i < std::size(formats); ++i) {
    inputs.push_back(Input("in" + std::to_string(i) + ".wav", formats[i],
                           BlockFrames(formats[i]) * 4 + 10, static_cast<std::uint32_t>(i + 3)));
    alone.push_back(Decode(inputs[i], Dir.File("alone" + std::to_string(i) + ".wav")).File);
  }
  TWorkerPool pool(2);
  std::vector<TDecoded> together(std::size(formats));
  {
    std::vector<std::jthread> jobs;
    for (std::size_t i = 0; i < std::size(formats); ++i) {
      jobs.emplace_back([&, i] {
        together[i] = Decode(inputs[i], Dir.File("together" + std::to_string(i) + ".wav"),
                             TRunSetup::On(&pool));
      });
    }
  }
  for (std::size_t i = 0; i < std::size(formats); ++i) {
    EXPECT_EQ(together[i].Status, TRunStatus::Done);
    EXPECT_EQ(together[i].File, alone[i]) << "file " << i;
  }
}

// One file at a time: the run's own thread takes a core, the workers the
// others. Files in parallel each have a run thread that mostly waits: a
// worker per core. The environment's number holds either way.
TEST(DefaultWorkers, LeaveACoreToTheRunOfOneFileAtATime) {
  const auto workers = [](const char* variable, unsigned files) {
    return DefaultWorkers(ParseRunEnvironment(nullptr, nullptr, variable), files);
  };
  const unsigned cores = TWorkerPool::DefaultThreads();
  EXPECT_EQ(workers(nullptr, 1), std::max(1u, cores - 1));
  EXPECT_EQ(workers(nullptr, 2), cores);
  EXPECT_EQ(workers(nullptr, 8), cores);
  EXPECT_EQ(workers("5", 1), 5u);
  EXPECT_EQ(workers("5", 2), 5u);
  EXPECT_EQ(workers("5x", 1), std::max(1u, cores - 1));
  EXPECT_EQ(workers("0", 1), 0u);
  EXPECT_EQ(workers("257", 2), cores) << "above the largest pool";
}

// The arithmetic forced, or why not: an unknown name or a path this
// processor does not run is said, and the fastest is used.
TEST(RunEnvironment, ForcesAPathOrSaysWhyNot) {
  for (const TDecodePath path :
       {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    const TRunEnvironment forced =
        ParseRunEnvironment(std::string(PathName(path)).c_str(), nullptr, nullptr);
    EXPECT_EQ(ArithmeticOf(forced), PathSupported(path) ? path : FastestPath());
    EXPECT_EQ(forced.Warning.empty(), PathSupported(path)) << forced.Warning;
  }
  const TRunEnvironment unknown = ParseRunEnvironment("avx3", "0", nullptr);
  EXPECT_EQ(ArithmeticOf(unknown), FastestPath());
  EXPECT_NE(unknown.Warning.find("ZORV_ARITHMETIC=avx3"), std::string::npos) << unknown.Warning;
  EXPECT_NE(unknown.Warning.find("extended, portable, avx2, avx512"), std::string::npos);
  EXPECT_FALSE(unknown.StageSplit);
  EXPECT_TRUE(ParseRunEnvironment(nullptr, "1", nullptr).StageSplit);
  // The split along time unless turned off.
  EXPECT_TRUE(ParseRunEnvironment(nullptr, nullptr, nullptr, nullptr).TimeSplit);
  EXPECT_FALSE(ParseRunEnvironment(nullptr, nullptr, nullptr, "0").TimeSplit);
  EXPECT_TRUE(ParseRunEnvironment(nullptr, nullptr, nullptr, "1").TimeSplit);
  EXPECT_TRUE(ParseRunEnvironment("", nullptr, nullptr).Warning.empty()) << "set to nothing";
}

}  // namespace
}  // namespace zorv
