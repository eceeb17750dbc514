// SPDX-License-Identifier: GPL-3.0-or-later
// A file decoded in segments along time against the same file decoded with
// every channel one chain: the output, the meter calls, the result and the
// decoder's state at the end the same to the bit, for segments of random
// lengths (a block, less, ending within a block) over material that takes
// long to agree, material that never does, a stop, a level change and a
// failed write in the middle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/decode_run.h"
#include "tests/app/scratch_dir.h"
#include "tests/support/test_signal.h"
#include "tools/wav_test_file.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace zorv {
namespace {

using test::TBytes;
using test::TWavFormat;

enum class TMaterial { Programme, Bursts, Silences, Sweep, BurstThenRelease };

// One channel of material, full scale +-1.
std::vector<double> Material(TMaterial material, double rate, std::size_t frames,
                             std::uint64_t seed) {
  test::TNoise noise(seed * 7919 + 1);
  std::vector<double> out = test::Programme(rate, frames, seed);
  switch (material) {
    case TMaterial::Programme:
      break;
    case TMaterial::Bursts: {
      // Speech-like: bursts of a quarter to one and a half seconds, pauses
      // of hiss between them.
      std::size_t i = 0;
      bool on = true;
      while (i < frames) {
        const auto length = static_cast<std::size_t>(
            rate * (on ? 0.25 + 0.6 * (noise.Next() + 1.0) : 0.2 + 0.9 * (noise.Next() + 1.0)));
        for (std::size_t k = i; k < std::min(frames, i + length); ++k) {
          if (!on) out[k] = 0.001 * noise.Next();
        }
        i += length;
        on = !on;
      }
      break;
    }
    case TMaterial::Silences:
      // Digital silence for two of every five seconds.
      for (std::size_t k = 0; k < frames; ++k) {
        if (std::fmod(static_cast<double>(k) / rate, 5.0) >= 3.0) out[k] = 0.0;
      }
      break;
    case TMaterial::Sweep: {
      // 20 Hz to 20 kHz, exponential, over the whole length.
      const double seconds = static_cast<double>(frames) / rate;
      const double ratio = std::log(1000.0);
      for (std::size_t k = 0; k < frames; ++k) {
        const double t = static_cast<double>(k) / rate;
        out[k] = 0.4 * std::sin(2.0 * std::numbers::pi * 20.0 * seconds / ratio *
                                (std::exp(ratio * t / seconds) - 1.0));
      }
      break;
    }
    case TMaterial::BurstThenRelease:
      // A loud second, then digital silence to the end: the chains begun in
      // the silence never agree with the one that saw the burst.
      for (std::size_t k = 0; k < frames; ++k) {
        out[k] = k < static_cast<std::size_t>(rate) ? 3.0 * out[k] : 0.0;
      }
      break;
  }
  return out;
}

TBytes Encode(const TWavFormat& format, const std::vector<std::vector<double>>& channels) {
  const std::size_t frames = channels.empty() ? 0 : channels[0].size();
  TBytes data;
  data.reserve(frames * format.FrameBytes());
  for (std::size_t i = 0; i < frames; ++i) {
    for (const auto& channel : channels) {
      const double x = channel[i];
      if (format.Tag == 3) {
        const auto f = static_cast<float>(x);
        std::uint8_t bytes[4];
        std::memcpy(bytes, &f, 4);
        data.insert(data.end(), bytes, bytes + 4);
        continue;
      }
      const int bits = format.Bits;
      const double full = std::ldexp(1.0, bits - 1);
      const auto v = static_cast<std::int32_t>(std::clamp(std::round(x * full), -full, full - 1.0));
      for (int b = 0; b < bits / 8; ++b) {
        data.push_back(
            static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) >> (8 * b)) & 0xFF));
      }
    }
  }
  return data;
}

// Every meter call, voltages by their bits.
class TMeterLog final : public TMeterListener {
 public:
  void MeterPosition(int channel, int band, std::int32_t position) override {
    Calls.push_back({channel, band, position, 0});
  }
  void MeterVoltage(int channel, int band, double volts) override {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &volts, sizeof bits);
    Calls.push_back({channel, band, 0, bits});
  }
  struct TCall {
    int Channel, Band;
    std::int32_t Position;
    std::uint64_t Volts;
    bool operator==(const TCall&) const = default;
  };
  std::vector<TCall> Calls;
};

// A file sink whose writes of samples fail from the given one on.
class TFailingSink final : public TByteSink {
 public:
  TFailingSink(std::unique_ptr<TByteSink> file, int failFrom)
      : File_(std::move(file)), FailFrom_(failFrom) {}
  std::size_t Write(const void* data, std::size_t n) override { return File_->Write(data, n); }
  std::size_t WriteSamples(const void* data, std::size_t n) override {
    if (++Writes_ >= FailFrom_) {
      Error_ = ENOSPC;
      return n / 3;
    }
    return File_->WriteSamples(data, n);
  }
  bool Seek(std::uint64_t position) override { return File_->Seek(position); }
  std::uint64_t Position() const override { return File_->Position(); }
  bool Seekable() const override { return File_->Seekable(); }
  bool Close() override { return File_->Close(); }

 private:
  std::unique_ptr<TByteSink> File_;
  int FailFrom_;
  int Writes_ = 0;
};

struct TOutcome {
  TRunResult Result;
  TBytes Output;
  std::vector<TMeterLog::TCall> Meters;
  std::vector<std::uint64_t> Progress;
};

class TimeSplit : public ::testing::Test {
 protected:
  std::string Input(const TWavFormat& format, const std::vector<std::vector<double>>& channels) {
    const std::string path = Dir.File("in" + std::to_string(++Inputs_) + ".wav");
    test::WriteFile(path, test::WavBytes(format, Encode(format, channels)));
    return path;
  }

  TOutcome Decode(const std::string& in, TRunSettings settings,
                  const std::function<void(TDecodeRun&, int)>& each = {}, int failWrite = 0) {
    const std::string out = Dir.File("out" + std::to_string(++Outputs_) + ".wav");
    TDecodeRun run(settings);
    EXPECT_FALSE(run.OpenInput(OpenFileSource(in), in));
    std::unique_ptr<TByteSink> sink = CreateFileSink(out);
    if (failWrite > 0) sink = std::make_unique<TFailingSink>(std::move(sink), failWrite);
    EXPECT_FALSE(run.OpenOutput(std::move(sink), out));
    TOutcome outcome;
    TMeterLog meters;
    run.SetMeterListener(&meters);
    int blocks = 0;
    run.SetBlockCallback([&](std::uint64_t read) {
      outcome.Progress.push_back(read);
      if (each) each(run, blocks);
      ++blocks;
    });
    outcome.Result = run.Run();
    outcome.Output = test::ReadFile(out);
    outcome.Meters = std::move(meters.Calls);
    return outcome;
  }

  // The decode split in segments of the given frames against the decode of
  // one chain per channel.
  TOutcome ExpectSameAsOneChain(const std::string& in, TRunSettings settings,
                                std::uint64_t segmentFrames, int segments,
                                const std::function<void(TDecodeRun&, int)>& each = {},
                                int failWrite = 0) {
    TRunSettings whole = settings;
    whole.TimeSplit = false;
    // The decode of one chain per channel, once for each file and path
    // when nothing happens during it.
    const std::string key = in + (settings.Exact ? " exact" : "");
    const bool plain = !each && failWrite == 0;
    if (!plain || !Whole_.contains(key)) {
      TOutcome decoded = Decode(in, whole, each, failWrite);
      if (!plain)
        return CompareSplit(in, settings, segmentFrames, segments, each, failWrite, decoded);
      Whole_[key] = std::move(decoded);
    }
    return CompareSplit(in, settings, segmentFrames, segments, each, failWrite, Whole_[key]);
  }

  TOutcome CompareSplit(const std::string& in, TRunSettings settings, std::uint64_t segmentFrames,
                        int segments, const std::function<void(TDecodeRun&, int)>& each,
                        int failWrite, const TOutcome& expected) {
    settings.TimeSplit = true;
    settings.TimeSplitFrames = segmentFrames;
    settings.TimeSplitSegments = segments;
    TOutcome split = Decode(in, settings, each, failWrite);
    EXPECT_EQ(expected.Result.TimeSplit.Segments, 0);
    EXPECT_GE(split.Result.TimeSplit.Segments, std::min(segments, 2));
    EXPECT_EQ(split.Result.Status, expected.Result.Status);
    EXPECT_EQ(split.Result.Frames, expected.Result.Frames);
    EXPECT_EQ(split.Result.Md5, expected.Result.Md5);
    EXPECT_EQ(split.Result.Stats.Clipped, expected.Result.Stats.Clipped);
    EXPECT_EQ(split.Result.Stats.Peak, expected.Result.Stats.Peak);
    EXPECT_TRUE(split.Output == expected.Output) << "the output differs";
    EXPECT_TRUE(split.Meters == expected.Meters) << "the meter calls differ";
    EXPECT_EQ(split.Progress, expected.Progress);
    EXPECT_EQ(split.Result.Levels.size(), expected.Result.Levels.size());
    const auto& a = split.Result.EndState->Channels;
    const auto& b = expected.Result.EndState->Channels;
    EXPECT_EQ(a.size(), b.size());
    for (std::size_t c = 0; c < std::min(a.size(), b.size()); ++c) {
      EXPECT_EQ(std::memcmp(&a[c], &b[c], sizeof(a[c])), 0) << "the state after channel " << c;
    }
    return split;
  }

  test::TScratchDir Dir{ZORV_APP_SCRATCH};

 private:
  int Inputs_ = 0;
  int Outputs_ = 0;
  std::map<std::string, TOutcome> Whole_;
};

std::vector<std::vector<double>> Channels(TMaterial material, double rate, double seconds,
                                          int count, std::uint64_t seed) {
  std::vector<std::vector<double>> channels;
  for (int c = 0; c < count; ++c) {
    channels.push_back(Material(material, rate, static_cast<std::size_t>(seconds * rate),
                                seed + static_cast<std::uint64_t>(c)));
  }
  return channels;
}

TEST_F(TimeSplit, RandomSegmentsOfEveryMaterialFormatAndChannelCountDecodeAsOneChain) {
  struct TCase {
    TMaterial Material;
    TWavFormat Format;
    double Seconds;
  };
  const TCase cases[] = {
      {TMaterial::Programme, {1, 1, 44100, 16}, 40.0}, {TMaterial::Bursts, {3, 2, 44100, 32}, 45.0},
      {TMaterial::Silences, {1, 3, 48000, 24}, 30.0},  {TMaterial::Sweep, {3, 1, 96000, 32}, 25.0},
      {TMaterial::Programme, {1, 8, 44100, 16}, 20.0}, {TMaterial::Bursts, {1, 5, 44100, 24}, 18.0},
  };
  std::mt19937_64 random(20261211);
  int joined = 0;
  for (const TCase& c : cases) {
    const std::string in = Input(c.Format, Channels(c.Material, c.Format.SampleRate, c.Seconds,
                                                    c.Format.Channels, random() % 1000));
    const auto blockFrames = static_cast<std::uint64_t>(c.Format.SampleRate / 10);
    const std::uint64_t segments[] = {
        // Random lengths of several seconds, ending anywhere in a block.
        std::uniform_int_distribution<std::uint64_t>(
            2 * c.Format.SampleRate,
            static_cast<std::uint64_t>(c.Seconds / 2.5 * c.Format.SampleRate))(random),
        // A block, a frame more, less than a block.
        blockFrames, blockFrames + 1, blockFrames / 3 + 7};
    for (const std::uint64_t frames : segments) {
      const int count = std::uniform_int_distribution<int>(2, 4)(random);
      SCOPED_TRACE(::testing::Message()
                   << "material " << static_cast<int>(c.Material) << ", " << c.Format.Channels
                   << " channels, segments of " << frames << " frames, " << count << " at once");
      TRunSettings settings;
      // The reference path too, on the files of one channel.
      settings.Exact = c.Format.Channels == 1 && frames > 2 * blockFrames;
      const TOutcome split = ExpectSameAsOneChain(in, settings, frames, count);
      joined += static_cast<int>(split.Result.TimeSplit.JoinedAfter.size());
    }
  }
  // The segments did take over: not every decode fell back to one chain.
  EXPECT_GT(joined, 5);
}

TEST_F(TimeSplit, AReleaseThatNeverAgreesFallsBackToOneChainAndStaysExact) {
  const TWavFormat format{1, 2, 44100, 16};
  const std::string in = Input(format, Channels(TMaterial::BurstThenRelease, 44100, 24.0, 2, 5));
  const TOutcome split = ExpectSameAsOneChain(in, {}, 5 * 44100 + 17, 3);
  EXPECT_GT(split.Result.TimeSplit.NotJoined, 0);
  EXPECT_GT(split.Result.TimeSplit.RedoneSeconds, 5.0);
}

// A chain that has given way to the next in one channel runs on for the
// other: in channel 0 the second and third chains, begun in the silence
// after a burst, agree at once, and the first (which saw the burst) only
// once programme returns; in channel 1 a burst just before the third
// chain begins keeps the second running long after that. The first chain
// then agrees with the second in channel 0 too, but only the chain the
// second gave way to may take over from it (joined to the second, the
// blocks between the two joins would be taken from the third chain, not
// the first).
TEST_F(TimeSplit, AChainThatGaveWayInOneChannelIsNotJoinedThere) {
  const double rate = 44100;
  const auto at = [rate](double seconds) { return static_cast<std::size_t>(seconds * rate); };
  std::vector<std::vector<double>> channels = Channels(TMaterial::Programme, rate, 60.0, 2, 21);
  const auto burstThenSilence = [&](std::vector<double>& channel, double from, double to,
                                    double until) {
    for (std::size_t k = at(from); k < at(until); ++k) {
      channel[k] = k < at(to) ? 3.0 * channel[k] : 0.0;
    }
  };
  burstThenSilence(channels[0], 3.0, 4.0, 22.0);
  burstThenSilence(channels[1], 18.5, 19.0, 45.0);
  const TWavFormat format{3, 2, 44100, 32};
  const TOutcome split = ExpectSameAsOneChain(Input(format, channels), {}, at(10.0), 3);
  EXPECT_FALSE(split.Result.TimeSplit.JoinedAfter.empty());
}

TEST_F(TimeSplit, AStopALevelChangeAndAFailedWriteMidwayEndAsWithOneChain) {
  const TWavFormat format{1, 2, 44100, 16};
  const std::string in = Input(format, Channels(TMaterial::Programme, 44100, 30.0, 2, 9));
  std::mt19937 random(44);
  for (int trial = 0; trial < 3; ++trial) {
    const int at = std::uniform_int_distribution<int>(5, 290)(random);
    SCOPED_TRACE(::testing::Message() << "after block " << at);
    const TOutcome stopped =
        ExpectSameAsOneChain(in, {}, 4 * 44100 + 301, 3, [at](TDecodeRun& run, int block) {
          if (block == at) run.RequestStop();
        });
    EXPECT_EQ(stopped.Result.Status, TRunStatus::Aborted);
    EXPECT_EQ(stopped.Result.Frames, std::uint64_t(at + 1) * 4410);

    const TOutcome level =
        ExpectSameAsOneChain(in, {}, 4 * 44100 + 301, 3, [at](TDecodeRun& run, int block) {
          if (block == at || block == at + 40) {
            run.RequestLevel(-12.0 + block % 7);
          }
        });
    EXPECT_EQ(level.Result.Status, TRunStatus::Done);
    EXPECT_GE(level.Result.Levels.size(), 2u);

    const TOutcome failed = ExpectSameAsOneChain(in, {}, 4 * 44100 + 301, 3, {}, at);
    EXPECT_EQ(failed.Result.Status, TRunStatus::WriteError);
  }
}

// Chosen on two cores: a stereo file keeps both busy without the split; a
// round of mono at 96 kHz fits the memory held for it in segments of 16 s
// (90 s would be too short for segments of 30 s), at 192 kHz only in
// segments too short to gain (160 s would be split in segments of 30 s).
TEST_F(TimeSplit, AsManyChannelsAsCoresOrARateTooHighToHoldAreNotSplit) {
  if (std::thread::hardware_concurrency() != 2) GTEST_SKIP() << "the choice made for two cores";
  TRunSettings settings;
  settings.TimeSplit = true;
  struct TCase {
    TWavFormat Format;
    double Seconds;
    bool Split;
  };
  for (const TCase& c :
       {TCase{{1, 2, 44100, 16}, 160.0, false}, TCase{{1, 1, 96000, 16}, 90.0, true},
        TCase{{1, 1, 192000, 16}, 160.0, false}}) {
    SCOPED_TRACE(::testing::Message()
                 << c.Format.Channels << " channels at " << c.Format.SampleRate);
    const std::string in = Input(c.Format, Channels(TMaterial::Programme, c.Format.SampleRate,
                                                    c.Seconds, c.Format.Channels, 17));
    if (c.Split) {
      EXPECT_GE(ExpectSameAsOneChain(in, settings, 0, 0).Result.TimeSplit.Segments, 4);
    } else {
      EXPECT_EQ(Decode(in, settings).Result.TimeSplit.Segments, 0);
    }
  }
}

TEST_F(TimeSplit, AFileTooShortToGainIsNotSplitUnlessTold) {
  const TWavFormat format{1, 2, 44100, 16};
  // Two segments of 30 s and a third: 89 s are not split, 91 s are.
  const std::string in = Input(format, Channels(TMaterial::Silences, 44100, 89.0, 2, 3));
  TRunSettings settings;
  EXPECT_FALSE(settings.TimeSplit);  // only when asked
  settings.TimeSplit = true;
  settings.TimeSplitSegments = 2;
  EXPECT_EQ(Decode(in, settings).Result.TimeSplit.Segments, 0);
  const std::string longer = Input(format, Channels(TMaterial::Silences, 44100, 91.0, 2, 3));
  // Split as chosen (rounds of two segments, the rest joined to the last),
  // on a pool of the run's own where there is more than one core.
  if (std::thread::hardware_concurrency() >= 2) ExpectSameAsOneChain(longer, {}, 0, 2);
  settings.TimeSplitFrames = 3 * 44100;
  EXPECT_GE(Decode(in, settings).Result.TimeSplit.Segments, 2);
  settings.TimeSplit = false;
  EXPECT_EQ(Decode(in, settings).Result.TimeSplit.Segments, 0);
}

}  // namespace
}  // namespace zorv
