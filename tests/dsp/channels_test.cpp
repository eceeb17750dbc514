// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder with many channels: every channel decodes exactly as it would
// alone, on every arithmetic path, whatever the worker threads, and the
// meters arrive channel by channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dsp/zorv_calc.h"
#include "tests/support/recording_meters.h"
#include "tests/support/test_signal.h"

namespace zorv {
namespace {

using test::TMeterUpdate;
using test::TRecordingMeters;

struct TDecoded {
  std::vector<std::vector<double>> Out;
  std::vector<TMeterUpdate> Meters;
};

// Channel c's programme: its own noise and its own swell in every band.
std::vector<std::vector<double>> Inputs(std::uint32_t channels, std::uint32_t rate,
                                        std::size_t frames) {
  std::vector<std::vector<double>> in;
  for (std::uint32_t c = 0; c < channels; ++c) {
    in.push_back(test::Programme(rate, frames, 1000 + c, 0.1 + 0.5 * (c % 5) / 4));
  }
  return in;
}

// Decodes in blocks; with pool, or with one of threads workers when threads
// is not 0.
TDecoded Decode(TDecodePath path, std::uint32_t rate, const std::vector<std::vector<double>>& in,
                std::uint32_t block, TWorkerPool* pool = nullptr, std::uint32_t debug = 0) {
  const auto channels = static_cast<std::uint32_t>(in.size());
  const std::size_t frames = in.front().size();
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(path);
  calc.SetWorkerPool(pool);
  calc.Prepare(rate, channels, debug);
  TDecoded out;
  out.Out.assign(channels, std::vector<double>(frames, 0.0));
  std::vector<const double*> inBlock(channels);
  std::vector<double*> outBlock(channels);
  for (std::size_t start = 0; start < frames; start += block) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - start));
    for (std::uint32_t c = 0; c < channels; ++c) {
      inBlock[c] = in[c].data() + start;
      outBlock[c] = out.Out[c].data() + start;
    }
    EXPECT_EQ(calc.ProcessBlock(inBlock.data(), outBlock.data(), n), static_cast<std::int32_t>(n));
  }
  out.Meters = meters.Updates;
  return out;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The meter updates of one channel, in order, as if it were channel 0.
std::vector<TMeterUpdate> MetersOf(const std::vector<TMeterUpdate>& all, int channel) {
  std::vector<TMeterUpdate> one;
  for (TMeterUpdate u : all) {
    if (u.channel != channel) continue;
    u.channel = 0;
    one.push_back(u);
  }
  return one;
}

struct TChannelCase {
  std::uint32_t Channels;
  std::uint32_t Rate;
  std::uint32_t Block;  // the run's block at that width: 38400 bytes at most
};
void PrintTo(const TChannelCase& c, std::ostream* os) {
  *os << c.Channels << " channels at " << c.Rate << " Hz";
}

constexpr TDecodePath kFastPaths[] = {TDecodePath::Portable, TDecodePath::Avx2,
                                      TDecodePath::Avx512};

class ManyChannels : public testing::TestWithParam<TChannelCase> {};

TEST_P(ManyChannels, EveryChannelIsItsOwnMonoDecodeOnEveryFastPath) {
  const TChannelCase& c = GetParam();
  // Four blocks, at most 50 ms.
  const auto in = Inputs(c.Channels, c.Rate, std::min(c.Rate / 20, 4 * c.Block));
  TWorkerPool two(2);
  for (TDecodePath path : kFastPaths) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded alone = Decode(path, c.Rate, in, c.Block);
    const TDecoded threaded = Decode(path, c.Rate, in, c.Block, &two);
    for (std::uint32_t ch = 0; ch < c.Channels; ++ch) {
      const TDecoded mono = Decode(path, c.Rate, {in[ch]}, 4410);
      ASSERT_TRUE(SameBits(alone.Out[ch], mono.Out[0])) << "channel " << ch;
      ASSERT_TRUE(SameBits(threaded.Out[ch], mono.Out[0])) << "channel " << ch << ", 2 threads";
    }
    // Meters: channel by channel after each block, each channel's the same
    // as alone.
    EXPECT_EQ(threaded.Meters, alone.Meters);
    for (std::uint32_t ch = 0; ch < c.Channels; ch += c.Channels - 1) {
      EXPECT_EQ(MetersOf(alone.Meters, static_cast<int>(ch)),
                Decode(path, c.Rate, {in[ch]}, c.Block).Meters)
          << "channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, ManyChannels,
                         testing::Values(TChannelCase{3, 44100, 4410}, TChannelCase{6, 48000, 3200},
                                         TChannelCase{8, 96000, 1600}, TChannelCase{24, 48000, 533},
                                         TChannelCase{64, 96000, 150}),
                         [](const auto& info) {
                           return std::to_string(info.param.Channels) + "Channels" +
                                  std::to_string(info.param.Rate);
                         });

TEST(ManyChannelsReference, EveryChannelIsItsOwnMonoDecode) {
  const auto in = Inputs(5, 48000, 2400);
  TWorkerPool three(3);
  const TDecoded alone = Decode(TDecodePath::Extended, 48000, in, 1600);
  const TDecoded threaded = Decode(TDecodePath::Extended, 48000, in, 1600, &three);
  for (std::uint32_t ch = 0; ch < in.size(); ++ch) {
    const TDecoded mono = Decode(TDecodePath::Extended, 48000, {in[ch]}, 4800);
    EXPECT_TRUE(SameBits(alone.Out[ch], mono.Out[0])) << "channel " << ch;
    EXPECT_TRUE(SameBits(threaded.Out[ch], mono.Out[0])) << "channel " << ch;
  }
  EXPECT_EQ(threaded.Meters, alone.Meters);
}

TEST(ManyChannelsThreads, OutputAndMetersDoNotDependOnTheWorkers) {
  const auto in = Inputs(7, 44100, 6000);
  for (TDecodePath path : {TDecodePath::Extended, TDecodePath::Avx2}) {
    if (!PathSupported(path)) continue;
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded alone = Decode(path, 44100, in, 2000);
    for (unsigned workers : {0u, 1u, 2u, 5u}) {
      TWorkerPool pool(workers);
      const TDecoded got = Decode(path, 44100, in, 2000, &pool);
      for (std::size_t ch = 0; ch < in.size(); ++ch) {
        EXPECT_TRUE(SameBits(got.Out[ch], alone.Out[ch])) << workers << " workers, channel " << ch;
      }
      EXPECT_EQ(got.Meters, alone.Meters) << workers << " workers";
    }
  }
}

// Several decoders on threads of their own share one pool, as files decoded
// in parallel do.
TEST(ManyChannelsThreads, DecodersSharingAPoolDecodeAsAlone) {
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
  for (const TDecoded& result : got) {
    for (std::size_t ch = 0; ch < in.size(); ++ch) {
      EXPECT_TRUE(SameBits(result.Out[ch], alone.Out[ch])) << "channel " << ch;
    }
    EXPECT_EQ(result.Meters, alone.Meters);
  }
}

// BeginBlock returns at once; the caller's own work between it and
// FinishBlock does not disturb the block.
TEST(ManyChannelsThreads, ABlockBegunDecodesWhileTheCallerWorks) {
  const auto in = Inputs(4, 44100, 4410);
  const TDecoded alone = Decode(FastestPath(), 44100, in, 4410);
  TWorkerPool pool(2);
  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(FastestPath());
  calc.SetWorkerPool(&pool);
  calc.Prepare(44100, 4, 0);
  std::vector<std::vector<double>> out(4, std::vector<double>(4410));
  const double* inBlock[4] = {in[0].data(), in[1].data(), in[2].data(), in[3].data()};
  double* outBlock[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
  calc.BeginBlock(inBlock, outBlock, 4410);
  EXPECT_TRUE(meters.Updates.empty()) << "meters come with FinishBlock";
  std::vector<double> busy = test::Programme(44100, 44100, 9);  // the caller's own work
  EXPECT_EQ(calc.FinishBlock(), 4410);
  for (std::size_t ch = 0; ch < 4; ++ch) EXPECT_TRUE(SameBits(out[ch], alone.Out[ch]));
  EXPECT_EQ(meters.Updates, alone.Meters);
  EXPECT_EQ(calc.FinishBlock(), 0) << "nothing begun";
}

// A caller waiting for blocks of more jobs than there are workers runs the
// jobs no worker has taken, the oldest block first, so that its thread
// decodes beside the workers. Here the reference's two jobs a block meet the
// only worker, held by other work: the caller must decode both blocks of both
// channels itself before the worker is let go.
TEST(ManyChannelsThreads, TheCallerRunsTheJobsNoWorkerHasTaken) {
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

  TZorvCalc calc;
  TRecordingMeters meters;
  calc.SetMeterListener(&meters);
  calc.SetPath(TDecodePath::Extended);
  calc.SetWorkerPool(&pool);
  calc.Prepare(48000, 2, 0);
  std::vector<std::vector<double>> out(2, std::vector<double>(2 * kBlock));
  for (std::uint32_t b = 0; b < 2; ++b) {
    const double* inBlock[2] = {in[0].data() + b * kBlock, in[1].data() + b * kBlock};
    double* outBlock[2] = {out[0].data() + b * kBlock, out[1].data() + b * kBlock};
    calc.BeginBlock(inBlock, outBlock, kBlock);
  }
  calc.AwaitBlock(1);
  EXPECT_TRUE(calc.BlockDecoded(0));
  EXPECT_TRUE(calc.BlockDecoded(1));
  EXPECT_FALSE(gaveUp.load()) << "the caller waited for the held worker";
  released.store(true);
  pool.Wait(holder);
  EXPECT_EQ(calc.FinishBlock(), static_cast<std::int32_t>(kBlock));
  EXPECT_EQ(calc.FinishBlock(), static_cast<std::int32_t>(kBlock));
  for (std::size_t ch = 0; ch < 2; ++ch) EXPECT_TRUE(SameBits(out[ch], alone.Out[ch]));
  EXPECT_EQ(meters.Updates, alone.Meters);
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
TEST(ManyChannelsThreads, BlockWorkPreparesEachChannelBeforeItDecodes) {
  constexpr std::uint32_t kBlock = 1500;
  const auto in = Inputs(7, 48000, kBlock * 4);
  for (TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    SCOPED_TRACE(std::string(PathName(path)));
    const TDecoded alone = Decode(path, 48000, in, kBlock);
    for (const int workers : {-1, 0, 1, 2, 5}) {
      SCOPED_TRACE(std::to_string(workers) + " workers");
      std::unique_ptr<TWorkerPool> pool;
      if (workers >= 0) pool = std::make_unique<TWorkerPool>(static_cast<unsigned>(workers));
      TZorvCalc calc;
      TRecordingMeters meters;
      calc.SetMeterListener(&meters);
      calc.SetPath(path);
      calc.SetWorkerPool(pool.get());
      calc.Prepare(48000, 7, 0);
      // Two sets of buffers, for the two blocks in flight.
      std::vector<std::vector<double>> inBuf(14, std::vector<double>(kBlock));
      std::vector<std::vector<double>> out(7, std::vector<double>(kBlock * 4));
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
          std::vector<double*> outPtr;
          for (auto& channel : out) outPtr.push_back(channel.data() + (b + k) * kBlock);
          fill[k]->Start((b + k) * kBlock, kBlock);
          calc.BeginBlock(inPtr[k].data(), outPtr.data(), kBlock, fill[k].get());
        }
        calc.AwaitBlock(1);
        EXPECT_TRUE(calc.BlockDecoded(0));
        EXPECT_TRUE(calc.BlockDecoded(1));
        EXPECT_FALSE(calc.BlockDecoded(2)) << "not in flight";
        EXPECT_EQ(calc.FinishBlock(), static_cast<std::int32_t>(kBlock));
        EXPECT_EQ(calc.FinishBlock(), static_cast<std::int32_t>(kBlock));
      }
      for (std::size_t ch = 0; ch < 7; ++ch) {
        EXPECT_TRUE(SameBits(out[ch], alone.Out[ch])) << "channel " << ch;
        EXPECT_EQ(fill[0]->Fills(ch) + fill[1]->Fills(ch), 4) << "channel " << ch;
      }
      EXPECT_EQ(meters.Updates, alone.Meters);
    }
  }
}

TEST(ManyChannels, RefusesMissingBuffersAndTooManyChannels) {
  const auto in = Inputs(3, 44100, 100);
  std::vector<double> out0(100), out1(100), out2(100);
  TZorvCalc calc;
  calc.Prepare(44100, 3, 0);
  const double* inBlock[3] = {in[0].data(), nullptr, in[2].data()};
  double* outBlock[3] = {out0.data(), out1.data(), out2.data()};
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 0);
  inBlock[1] = in[1].data();
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 100);
  EXPECT_EQ(calc.ProcessBlock(nullptr, outBlock, 100), 0);

  calc.Prepare(44100, kMaxChannels + 1, 0);
  EXPECT_EQ(calc.ProcessBlock(inBlock, outBlock, 100), 0);
}

// The debug output is channel 2's place in a stereo block, as with the
// two-channel call.
TEST(ManyChannels, DebugOutputMatchesTheStereoCall) {
  const auto in = Inputs(2, 48000, 4800);
  for (TDecodePath path : {TDecodePath::Extended, FastestPath()}) {
    const TDecoded many = Decode(path, 48000, in, 4800, nullptr, 2);
    TZorvCalc stereo;
    stereo.SetPath(path);
    stereo.Prepare(48000, 2, 2);
    std::vector<double> left(4800), right(4800);
    stereo.ProcessBlock(in[0].data(), in[1].data(), left.data(), right.data(), 4800);
    EXPECT_TRUE(SameBits(many.Out[0], left));
    EXPECT_TRUE(SameBits(many.Out[1], right));
  }
}

// Channels are added when a run has more of them, and keep their state.
TEST(ManyChannels, ChannelsKeepTheirStateAcrossRunsOfOtherWidths) {
  const auto in = Inputs(4, 44100, 8820);
  TZorvCalc calc;
  calc.SetPath(FastestPath());
  // A two-channel run, then a four-channel run over the second half.
  calc.Prepare(44100, 2, 0);
  std::vector<std::vector<double>> out(4, std::vector<double>(4410));
  const double* a[2] = {in[0].data(), in[1].data()};
  double* b[2] = {out[0].data(), out[1].data()};
  calc.ProcessBlock(a, b, 4410);
  calc.Prepare(44100, 4, 0);
  const double* c[4] = {in[0].data() + 4410, in[1].data() + 4410, in[2].data() + 4410,
                        in[3].data() + 4410};
  double* d[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
  calc.ProcessBlock(c, d, 4410);

  const TDecoded continuous = Decode(FastestPath(), 44100, in, 4410);
  // Channels 1 and 2 go on where the first run left them.
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_TRUE(std::equal(out[ch].begin(), out[ch].end(), continuous.Out[ch].begin() + 4410));
  }
  // Channels 3 and 4 start from the power-on state.
  for (int ch = 2; ch < 4; ++ch) {
    std::vector<double> second(in[ch].begin() + 4410, in[ch].end());
    EXPECT_TRUE(SameBits(out[ch], Decode(FastestPath(), 44100, {second}, 4410).Out[0]));
  }
}

}  // namespace
}  // namespace zorv
