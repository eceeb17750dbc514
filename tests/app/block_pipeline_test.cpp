// SPDX-License-Identifier: GPL-3.0-or-later
// The blocks a run has in flight: on worker threads, begun ahead, awaited,
// cancelled and begun again, every channel decodes as the decoder alone
// decodes it, and the meters arrive as they would.
#include "app/block_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/many_channels.h"
#include "tests/support/recording_meters.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

using test::SameBits;
using test::TMeterUpdate;
using test::TRecordingMeters;

struct TDecoded {
  std::vector<std::vector<double>> Out;
  std::vector<TMeterUpdate> Meters;
};

std::vector<std::vector<double>> Inputs(std::uint32_t channels, std::uint32_t rate,
                                        std::size_t frames) {
  return test::ChannelProgrammes(channels, rate, frames);
}

// Every channel's buffer from frame start on.
std::vector<const double*> At(const std::vector<std::vector<double>>& signals, std::size_t start) {
  std::vector<const double*> at;
  for (const auto& signal : signals) at.push_back(signal.data() + start);
  return at;
}
std::vector<double*> OutAt(std::vector<std::vector<double>>& signals, std::size_t start) {
  std::vector<double*> at;
  for (auto& signal : signals) at.push_back(signal.data() + start);
  return at;
}

// A decoder and its pipeline on pool (null: none), on path, prepared for
// channels at rate, its meters recorded. Taken apart by reference:
// auto& [calc, pipeline, meters] = set.
struct TPipelineSet {
  TPipelineSet(TWorkerPool* pool, TDecodePath path, std::uint32_t rate, std::uint32_t channels) {
    pipeline.SetMeterListener(&meters);
    calc.SetPath(path);
    pipeline.SetWorkerPool(pool);
    calc.Prepare(rate, channels, 0);
  }
  TZorvCalc calc;
  TBlockPipeline pipeline{calc};
  TRecordingMeters meters;
};

// Decodes blocks of the given sizes, the decoder alone (pool null) or
// through a pipeline on pool, each block waited for; the level goes to
// levelDb from block levelFrom on, when given.
TDecoded Decode(TDecodePath path, std::uint32_t rate, const std::vector<std::vector<double>>& in,
                const std::vector<std::uint32_t>& sizes, TWorkerPool* pool = nullptr,
                std::optional<std::uint32_t> levelFrom = {}, double levelDb = 0.0) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  TPipelineSet set(pool, path, rate, channels);
  auto& [calc, pipeline, meters] = set;
  TDecoded out;
  out.Out.assign(channels, std::vector<double>(in.front().size()));
  std::size_t start = 0;
  for (std::uint32_t b = 0; b < sizes.size(); start += sizes[b++]) {
    if (levelFrom && b == *levelFrom) calc.SetLevel(levelDb);
    const std::vector<const double*> inBlock = At(in, start);
    const std::vector<double*> outBlock = OutAt(out.Out, start);
    const std::int32_t done = pool != nullptr
                                  ? pipeline.ProcessBlock(inBlock.data(), outBlock.data(), sizes[b])
                                  : calc.ProcessBlock(inBlock.data(), outBlock.data(), sizes[b]);
    EXPECT_EQ(done, static_cast<std::int32_t>(sizes[b]));
  }
  out.Meters = meters.Updates;
  return out;
}

// The same in blocks of block frames, the last one shorter.
TDecoded Decode(TDecodePath path, std::uint32_t rate, const std::vector<std::vector<double>>& in,
                std::uint32_t block, TWorkerPool* pool = nullptr,
                std::optional<std::uint32_t> levelFrom = {}, double levelDb = 0.0) {
  std::vector<std::uint32_t> sizes;
  for (std::size_t start = 0; start < in.front().size(); start += block)
    sizes.push_back(
        static_cast<std::uint32_t>(std::min<std::size_t>(block, in.front().size() - start)));
  return Decode(path, rate, in, sizes, pool, levelFrom, levelDb);
}

void ExpectSame(const TDecoded& got, const TDecoded& expected) {
  ASSERT_EQ(got.Out.size(), expected.Out.size());
  for (std::size_t ch = 0; ch < got.Out.size(); ++ch) {
    EXPECT_TRUE(SameBits(got.Out[ch], expected.Out[ch])) << "channel " << ch;
  }
  EXPECT_EQ(got.Meters, expected.Meters);
}

TEST(BlockPipelineThreads, OutputAndMetersDoNotDependOnTheWorkers) {
  // Channel counts that fill the jobs of a pool evenly and unevenly (the
  // fast paths share channels out to jobs of up to four, five as three and
  // two), on every path.
  for (const std::uint32_t channels : {1u, 2u, 3u, 5u, 7u, 24u, 64u}) {
    const auto in = Inputs(channels, 44100, channels > 8 ? 800 : 2000);
    for (TDecodePath path :
         {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
      if (!PathSupported(path)) continue;
      SCOPED_TRACE(std::string(PathName(path)) + ", " + std::to_string(channels) + " channels");
      const TDecoded alone = Decode(path, 44100, in, 400);
      for (unsigned workers : {0u, 1u, 2u, 5u}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        TWorkerPool pool(workers);
        ExpectSame(Decode(path, 44100, in, 400, &pool), alone);
      }
    }
  }
}

// Several pipelines on threads of their own share one pool, as files
// decoded in parallel do.
TEST(BlockPipelineThreads, PipelinesSharingAPoolDecodeAsAlone) {
  const auto in = Inputs(12, 48000, 4000);
  const TDecoded alone = Decode(FastestPath(), 48000, in, 533);
  TWorkerPool pool(2);
  std::vector<TDecoded> got(3);
  {
    std::vector<std::jthread> files;
    for (TDecoded& result : got) {
      files.emplace_back([&] { result = Decode(FastestPath(), 48000, in, 533, &pool); });
    }
  }
  for (const TDecoded& result : got) ExpectSame(result, alone);
}

// The second channel on a thread of its own: the same bits and meters on
// every path, the debug output included.
TEST(BlockPipelineThreads, ChannelThreadsChangeNothing) {
  const auto in = Inputs(2, 44100, 8820);
  for (TDecodePath path :
       {TDecodePath::Extended, TDecodePath::Portable, TDecodePath::Avx2, TDecodePath::Avx512}) {
    if (!PathSupported(path)) continue;
    for (std::uint32_t debug : {0u, 3u}) {
      SCOPED_TRACE(std::string(PathName(path)) + ", debug " + std::to_string(debug));
      TDecoded got[2];
      for (bool threads : {false, true}) {
        TZorvCalc calc;
        TBlockPipeline pipeline(calc);
        TRecordingMeters meters;
        pipeline.SetMeterListener(&meters);
        calc.SetPath(path);
        pipeline.SetChannelThreads(threads);
        EXPECT_EQ(pipeline.ChannelThreads(), threads);
        calc.Prepare(44100, 2, debug);
        TDecoded& out = got[threads ? 1 : 0];
        out.Out.assign(2, std::vector<double>(in[0].size()));
        for (std::size_t start = 0; start < in[0].size(); start += 4410) {
          EXPECT_EQ(pipeline.ProcessBlock(At(in, start).data(), OutAt(out.Out, start).data(), 4410),
                    4410);
        }
        out.Meters = meters.Updates;
      }
      ExpectSame(got[1], got[0]);
    }
  }
}

// BeginBlock returns at once; the caller's own work between it and
// FinishBlock does not disturb the block.
TEST(BlockPipelineThreads, ABlockBegunDecodesWhileTheCallerWorks) {
  const auto in = Inputs(4, 44100, 4410);
  const TDecoded alone = Decode(FastestPath(), 44100, in, 4410);
  TWorkerPool pool(2);
  TPipelineSet set(&pool, FastestPath(), 44100, 4);
  auto& [calc, pipeline, meters] = set;
  TDecoded out;
  out.Out.assign(4, std::vector<double>(4410));
  pipeline.BeginBlock(At(in, 0).data(), OutAt(out.Out, 0).data(), 4410);
  EXPECT_EQ(pipeline.BlocksInFlight(), 1);
  EXPECT_TRUE(meters.Updates.empty()) << "meters come with FinishBlock";
  std::vector<double> busy = test::Programme(44100, 44100, 9);  // the caller's own work
  EXPECT_EQ(pipeline.FinishBlock(), 4410);
  out.Meters = meters.Updates;
  ExpectSame(out, alone);
  EXPECT_EQ(pipeline.BlocksInFlight(), 0);
  EXPECT_EQ(pipeline.FinishBlock(), 0) << "nothing begun";
}

// A caller waiting for blocks of more jobs than there are workers runs the
// jobs no worker has taken, the oldest block first, so that its thread
// decodes beside the workers. Here the reference's two jobs a block meet the
// only worker, held by other work: the caller must decode both blocks of both
// channels itself before the worker is let go.
TEST(BlockPipelineThreads, TheCallerRunsTheJobsNoWorkerHasTaken) {
  constexpr std::uint32_t kBlock = 2000;
  const auto in = Inputs(2, 48000, 2 * kBlock);
  const TDecoded alone = Decode(TDecodePath::Extended, 48000, in, kBlock);
  TWorkerPool pool(1);
  // The worker gives up after 20 s, so that a caller that waits for it
  // fails the test instead of hanging it.
  std::atomic<bool> started{false}, released{false}, gaveUp{false};
  struct THeld {
    std::atomic<bool>* Started;
    std::atomic<bool>* Released;
    std::atomic<bool>* GaveUp;
  } held{&started, &released, &gaveUp};
  TWorkerPool::TBatch holder;
  holder.Count = 1;
  holder.Context = &held;
  holder.Run = [](void* context, int) {
    auto& h = *static_cast<THeld*>(context);
    h.Started->store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!h.Released->load()) {
      if (std::chrono::steady_clock::now() > deadline) {
        h.GaveUp->store(true);
        return;
      }
      std::this_thread::yield();
    }
  };
  pool.Post(holder, false);
  while (!started.load()) std::this_thread::yield();

  TPipelineSet set(&pool, TDecodePath::Extended, 48000, 2);
  auto& [calc, pipeline, meters] = set;
  TDecoded out;
  out.Out.assign(2, std::vector<double>(2 * kBlock));
  for (std::uint32_t b = 0; b < 2; ++b) {
    pipeline.BeginBlock(At(in, b * kBlock).data(), OutAt(out.Out, b * kBlock).data(), kBlock);
  }
  pipeline.AwaitBlock(1);
  EXPECT_TRUE(pipeline.BlockDecoded(0));
  EXPECT_TRUE(pipeline.BlockDecoded(1));
  EXPECT_FALSE(gaveUp.load()) << "the caller waited for the held worker";
  released.store(true);
  pool.Wait(holder);
  EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock));
  EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock));
  out.Meters = meters.Updates;
  ExpectSame(out, alone);
}

// The caller's work for a block: each channel's input copied in from the
// programme just before the channel decodes, counted per channel.
class TFillInput final : public TBlockWork {
 public:
  TFillInput(const std::vector<std::vector<double>>& programme, std::vector<double*> buffers)
      : Programme_(programme), Buffers_(std::move(buffers)), Fills_(Buffers_.size()) {}
  void Start(std::size_t frame, std::uint32_t count) {
    Frame_ = frame;
    Count_ = count;
    // What the decoder would see, were a channel not filled first.
    for (double* buffer : Buffers_) std::fill(buffer, buffer + count, 1e300);
  }
  void BeforeChannels(int first, int count) override {
    for (int c = first; c < first + count; ++c) {
      const double* from = Programme_[static_cast<std::size_t>(c)].data() + Frame_;
      std::copy(from, from + Count_, Buffers_[static_cast<std::size_t>(c)]);
      Fills_[static_cast<std::size_t>(c)].fetch_add(1);
    }
  }
  int Fills(std::size_t channel) const { return Fills_[channel].load(); }

 private:
  const std::vector<std::vector<double>>& Programme_;
  std::vector<double*> Buffers_;
  std::vector<std::atomic<int>> Fills_;
  std::size_t Frame_ = 0;
  std::uint32_t Count_ = 0;
};

// Work given with the blocks fills every channel once per block, before it
// decodes, on whatever thread decodes it; two blocks in flight, the caller
// waiting for the second before it finishes the first.
TEST(BlockPipelineThreads, BlockWorkPreparesEachChannelBeforeItDecodes) {
  constexpr std::uint32_t kBlock = 1500;
  const auto in = Inputs(7, 48000, kBlock * 4);
  for (TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded alone = Decode(path, 48000, in, kBlock);
    for (const int workers : {-1, 0, 1, 2, 5}) {
      SCOPED_TRACE(std::to_string(workers) + " workers");
      std::unique_ptr<TWorkerPool> pool;
      if (workers >= 0) pool = std::make_unique<TWorkerPool>(static_cast<unsigned>(workers));
      TPipelineSet set(pool.get(), path, 48000, 7);
      auto& [calc, pipeline, meters] = set;
      // Two sets of buffers, for the two blocks in flight.
      std::vector<std::vector<double>> inBuf(14, std::vector<double>(kBlock));
      TDecoded out;
      out.Out.assign(7, std::vector<double>(kBlock * 4));
      std::vector<std::unique_ptr<TFillInput>> fill;
      std::vector<std::vector<const double*>> inPtr(2);
      for (int set = 0; set < 2; ++set) {
        std::vector<double*> buffers;
        for (int c = 0; c < 7; ++c)
          buffers.push_back(inBuf[static_cast<std::size_t>(set * 7 + c)].data());
        inPtr[static_cast<std::size_t>(set)].assign(buffers.begin(), buffers.end());
        fill.push_back(std::make_unique<TFillInput>(in, buffers));
      }
      for (std::uint32_t b = 0; b < 4; b += 2) {
        for (std::uint32_t k = 0; k < 2; ++k) {
          fill[k]->Start((b + k) * kBlock, kBlock);
          pipeline.BeginBlock(inPtr[k].data(), OutAt(out.Out, (b + k) * kBlock).data(), kBlock,
                              fill[k].get());
        }
        pipeline.AwaitBlock(1);
        EXPECT_TRUE(pipeline.BlockDecoded(0));
        EXPECT_TRUE(pipeline.BlockDecoded(1));
        EXPECT_FALSE(pipeline.BlockDecoded(2)) << "not in flight";
        EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock));
        EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock));
      }
      out.Meters = meters.Updates;
      ExpectSame(out, alone);
      for (std::size_t ch = 0; ch < 7; ++ch) {
        EXPECT_EQ(fill[0]->Fills(ch) + fill[1]->Fills(ch), 4) << "channel " << ch;
      }
    }
  }
}

// Blocks begun ahead and cancelled leave no trace: the decoder is put back
// as before them, their meters are not handed over, and the blocks begun
// again decode as the plain order does. A level changed while blocks are in
// flight outdates the newest; cancelled and begun again, it takes the new
// level from that block on, as a decoder alone does with the level changed
// between its blocks.
TEST(BlockPipelineThreads, BlocksCancelledAndBegunAgainDecodeAsThePlainOrder) {
  constexpr std::uint32_t kBlock = 1000;
  constexpr std::uint32_t kBlocks = 16;
  const auto in = Inputs(3, 44100, kBlock * kBlocks);
  for (TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    // The plan: the level goes to -17.5 dB from block 3 on.
    const TDecoded expected = Decode(path, 44100, in, kBlock, nullptr, 3, -17.5);
    // 3: two workers, and blocks that change between the pool and the
    // caller's thread as often as the pool's choice can make them.
    for (const int workers : {-1, 0, 2, 3}) {
      SCOPED_TRACE(std::string(PathName(path)) + ", " + std::to_string(workers) + " workers");
      std::unique_ptr<TWorkerPool> pool;
      if (workers >= 0) pool = std::make_unique<TWorkerPool>(workers == 3 ? 2u : unsigned(workers));
      TPipelineSet set(pool.get(), path, 44100, 3);
      auto& [calc, pipeline, meters] = set;
      if (workers == 3) pipeline.PoolChoice().SetTrial(std::chrono::nanoseconds(0), 1);
      TDecoded got;
      got.Out.assign(3, std::vector<double>(kBlock * kBlocks));
      // Blocks are begun three ahead of the one finished; every block is
      // begun, cancelled and begun again once before it is kept.
      std::uint32_t begun = 0;
      const auto begin = [&] {
        pipeline.BeginBlock(At(in, begun * kBlock).data(), OutAt(got.Out, begun * kBlock).data(),
                            kBlock);
        ++begun;
      };
      for (std::uint32_t b = 0; b < kBlocks; ++b) {
        while (begun < kBlocks && begun < b + 3) {
          begin();
          pipeline.CancelBlock();
          --begun;
          begin();
        }
        EXPECT_FALSE(pipeline.NewestBlockOutdated());
        EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock)) << "block " << b;
        if (b == 2) {
          // Set again as it is: nothing is outdated.
          calc.SetLevel(-10.0);
          EXPECT_FALSE(pipeline.NewestBlockOutdated());
          calc.SetLevel(-17.5);
          EXPECT_TRUE(pipeline.NewestBlockOutdated());
          for (; pipeline.BlocksInFlight() > 0; --begun) pipeline.CancelBlock();
          EXPECT_FALSE(pipeline.NewestBlockOutdated()) << "nothing in flight";
        }
      }
      EXPECT_EQ(pipeline.BlocksInFlight(), 0);
      got.Meters = meters.Updates;
      ExpectSame(got, expected);
    }
  }
}

// One or two channels on a pool of their own decode in two stages, the
// caller weighing each block as it begins it and a worker running the rest:
// blocks begun three ahead, each cancelled and begun again once, the level
// changed mid-way, the input filled by the blocks' work, decode as the plain
// order does, with the stage split and without.
TEST(BlockPipelineThreads, StagedBlocksDecodeAsThePlainOrder) {
  constexpr std::uint32_t kBlock = 960;
  constexpr std::uint32_t kBlocks = 12;
  constexpr std::uint32_t kSets = TBlockPipeline::kMaxBlocksInFlight;
  for (const std::uint32_t channels : {1u, 2u}) {
    const auto in = Inputs(channels, 96000, kBlock * kBlocks);
    const TDecoded expected = Decode(FastestPath(), 96000, in, kBlock, nullptr, 3, -17.5);
    for (const unsigned workers : {0u, 1u, 2u}) {
      for (const bool stages : {true, false}) {
        SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(workers) +
                     " workers, stages " + std::to_string(stages));
        TWorkerPool pool(workers);
        TPipelineSet set(&pool, FastestPath(), 96000, channels);
        auto& [calc, pipeline, meters] = set;
        pipeline.SetPoolChosenByTime(false);
        pipeline.SetStageSplit(stages);
        // A set of input buffers for each block in flight, filled by its work.
        std::vector<std::vector<double>> inBuf(kSets * channels, std::vector<double>(kBlock));
        std::vector<std::unique_ptr<TFillInput>> fill;
        std::vector<std::vector<const double*>> inPtr(kSets);
        for (std::uint32_t set = 0; set < kSets; ++set) {
          std::vector<double*> buffers;
          for (std::uint32_t c = 0; c < channels; ++c)
            buffers.push_back(inBuf[set * channels + c].data());
          inPtr[set].assign(buffers.begin(), buffers.end());
          fill.push_back(std::make_unique<TFillInput>(in, buffers));
        }
        TDecoded got;
        got.Out.assign(channels, std::vector<double>(kBlock * kBlocks));
        std::uint32_t begun = 0;
        const auto begin = [&] {
          const std::uint32_t set = begun % kSets;
          fill[set]->Start(begun * kBlock, kBlock);
          pipeline.BeginBlock(inPtr[set].data(), OutAt(got.Out, begun * kBlock).data(), kBlock,
                              fill[set].get());
          EXPECT_EQ(pipeline.BlockStaged(pipeline.BlocksInFlight() - 1), stages && workers >= 1);
          ++begun;
        };
        for (std::uint32_t b = 0; b < kBlocks; ++b) {
          while (begun < kBlocks && begun < b + 3) {
            begin();
            pipeline.CancelBlock();
            --begun;
            begin();
          }
          EXPECT_EQ(pipeline.FinishBlock(), static_cast<std::int32_t>(kBlock)) << "block " << b;
          if (b == 2) {
            calc.SetLevel(-17.5);
            EXPECT_TRUE(pipeline.NewestBlockOutdated());
            for (; pipeline.BlocksInFlight() > 0; --begun) pipeline.CancelBlock();
          }
        }
        got.Meters = meters.Updates;
        ExpectSame(got, expected);
      }
    }
  }
}

// Staged blocks share one buffer for their weighted input while it is large
// enough; a block larger than the blocks before it, begun while they are in
// flight, takes a buffer of its own, and once none is in flight the shared
// one grows. Every way decodes as the decoder alone, block for block.
TEST(BlockPipelineThreads, StagedBlocksOfGrowingSizeDecodeAsTheDecoderAlone) {
  const std::vector<std::uint32_t> sizes = {480, 960, 960, 2000, 700, 2000, 4100, 3000, 17, 4100};
  std::vector<std::size_t> starts = {0};
  for (const std::uint32_t size : sizes) starts.push_back(starts.back() + size);
  for (const std::uint32_t channels : {1u, 2u}) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const auto in = Inputs(channels, 48000, starts.back());
    const TDecoded expected = Decode(FastestPath(), 48000, in, sizes);
    TWorkerPool pool(1);
    TPipelineSet set(&pool, FastestPath(), 48000, channels);
    auto& [calc, pipeline, meters] = set;
    pipeline.SetPoolChosenByTime(false);
    TDecoded got;
    got.Out.assign(channels, std::vector<double>(starts.back()));
    // Three blocks in flight, then all finished before the block of 4100
    // frames and before the block after the shortest.
    for (std::size_t b = 0; b < sizes.size(); ++b) {
      if (b == 6 || b == 9) pipeline.FinishBlocks();
      if (pipeline.BlocksInFlight() == 3) pipeline.FinishBlock();
      pipeline.BeginBlock(At(in, starts[b]).data(), OutAt(got.Out, starts[b]).data(), sizes[b]);
      EXPECT_TRUE(pipeline.BlockStaged(pipeline.BlocksInFlight() - 1)) << "block " << b;
    }
    pipeline.FinishBlocks();
    got.Meters = meters.Updates;
    ExpectSame(got, expected);
  }
}

// A path changed while blocks are in flight outdates the newest too.
TEST(BlockPipeline, APathChangeOutdatesTheNewestBlock) {
  const auto in = Inputs(2, 44100, 2000);
  std::vector<std::vector<double>> out(2, std::vector<double>(2000));
  TZorvCalc calc;
  TBlockPipeline pipeline(calc);
  calc.Prepare(44100, 2, 0);
  pipeline.BeginBlock(At(in, 0).data(), OutAt(out, 0).data(), 1000);
  calc.SetPath(TDecodePath::Portable);
  EXPECT_TRUE(pipeline.NewestBlockOutdated());
  pipeline.BeginBlock(At(in, 1000).data(), OutAt(out, 1000).data(), 1000);
  EXPECT_FALSE(pipeline.NewestBlockOutdated());
  pipeline.FinishBlocks();
  EXPECT_EQ(pipeline.BlocksInFlight(), 0);
}

// A refused block counts as in flight, decodes nothing and finishes as 0
// frames, in its turn; a level change does not outdate it.
TEST(BlockPipeline, ARefusedBlockFinishesAsNothingInItsTurn) {
  const auto in = Inputs(2, 44100, 1000);
  std::vector<std::vector<double>> out(2, std::vector<double>(1000, 7.0));
  TWorkerPool pool(1);
  TZorvCalc calc;
  TBlockPipeline pipeline(calc);
  TRecordingMeters meters;
  pipeline.SetMeterListener(&meters);
  pipeline.SetWorkerPool(&pool);
  calc.Prepare(44100, 2, 0);
  pipeline.BeginBlock(At(in, 0).data(), OutAt(out, 0).data(), 500);
  pipeline.BeginBlock(nullptr, OutAt(out, 500).data(), 500);
  pipeline.BeginBlock(At(in, 0).data(), OutAt(out, 500).data(), TZorvCalc::BlockCapacity + 1);
  EXPECT_EQ(pipeline.BlocksInFlight(), 3);
  EXPECT_TRUE(pipeline.BlockDecoded(1));
  calc.SetLevel(-3.0);
  EXPECT_FALSE(pipeline.NewestBlockOutdated());
  EXPECT_EQ(pipeline.FinishBlock(), 500);
  EXPECT_EQ(pipeline.FinishBlock(), 0);
  EXPECT_EQ(pipeline.FinishBlock(), 0);
  EXPECT_EQ(meters.Updates.size(), 2u * 5 * 4) << "the first block's meters only";
  EXPECT_EQ(out[0][500], 7.0) << "a refused block writes nothing";
  EXPECT_EQ(pipeline.ProcessBlock(nullptr, OutAt(out, 0).data(), 100), 0);
}

// More blocks begun than the ring holds: each further BeginBlock finishes
// the oldest, whose meters then arrive, in order.
TEST(BlockPipeline, AFullRingFinishesTheOldestBlockFirst) {
  constexpr std::uint32_t kBlock = 700;
  constexpr std::uint32_t kBlocks = TBlockPipeline::kMaxBlocksInFlight + 2;
  const auto in = Inputs(2, 48000, kBlock * kBlocks);
  const TDecoded alone = Decode(TDecodePath::Extended, 48000, in, kBlock);
  TWorkerPool pool(2);
  TZorvCalc calc;
  TBlockPipeline pipeline(calc);
  TRecordingMeters meters;
  pipeline.SetMeterListener(&meters);
  pipeline.SetWorkerPool(&pool);
  calc.Prepare(48000, 2, 0);
  TDecoded got;
  got.Out.assign(2, std::vector<double>(kBlock * kBlocks));
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    pipeline.BeginBlock(At(in, b * kBlock).data(), OutAt(got.Out, b * kBlock).data(), kBlock);
    EXPECT_EQ(pipeline.BlocksInFlight(),
              std::min<int>(static_cast<int>(b) + 1, TBlockPipeline::kMaxBlocksInFlight));
  }
  // Two blocks finished by BeginBlock: their meters, 7 points of 4 bands of
  // 2 channels each.
  EXPECT_EQ(meters.Updates.size(), 2u * 7 * 4 * 2);
  pipeline.FinishBlocks();
  got.Meters = meters.Updates;
  ExpectSame(got, alone);
}

// A pipeline that goes with blocks in flight waits for its workers and
// hands nothing to a listener that may be gone.
TEST(BlockPipeline, GoingWithBlocksInFlightWaitsAndHandsNothingOver) {
  const auto in = Inputs(4, 48000, 4800);
  std::vector<std::vector<double>> out(4, std::vector<double>(4800));
  TWorkerPool pool(2);
  TRecordingMeters meters;
  TZorvCalc calc;
  calc.Prepare(48000, 4, 0);
  {
    TBlockPipeline pipeline(calc);
    pipeline.SetMeterListener(&meters);
    pipeline.SetWorkerPool(&pool);
    pipeline.BeginBlock(At(in, 0).data(), OutAt(out, 0).data(), 2400);
    pipeline.BeginBlock(At(in, 2400).data(), OutAt(out, 2400).data(), 2400);
  }
  EXPECT_TRUE(meters.Updates.empty());
  // The pool is free for another pipeline of the same decoder.
  TBlockPipeline next(calc);
  next.SetWorkerPool(&pool);
  EXPECT_EQ(next.ProcessBlock(At(in, 0).data(), OutAt(out, 0).data(), 2400), 2400);
}

}  // namespace
}  // namespace zorv
