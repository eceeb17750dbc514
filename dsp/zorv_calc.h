// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder core: splits each channel into bands A..D, expands every band by
// its control-signal generator's gain, sums the bands. Blocks of doubles in,
// blocks of doubles out (full scale +-1.0, not clipped). One channel decoder
// per channel, 1 to kMaxChannels of them. ProcessBlock decodes a block on the
// calling thread; a caller with threads of its own (app/block_pipeline.h)
// plans a block and runs its jobs where it likes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "dsp/channel_decoder.h"
#include "dsp/decode_path.h"
#include "dsp/detector_constants.h"
#include "dsp/meter_listener.h"
#include "dsp/page_buffer.h"

namespace zorv {

inline constexpr int kBands = detector::kBands;
// The most channels a decoder (and a file) has.
inline constexpr std::uint32_t kMaxChannels = 64;

class TZorvCalc {
 public:
  // Frames of the largest block (100 ms at 192 kHz).
  static constexpr std::uint32_t BlockCapacity = kBlockCapacity;
  // Meters are written at every this many frames of a block.
  static constexpr std::uint32_t kMeterInterval = detector::kMeterInterval;
  // Control voltage that is full scale in the debug output, volts.
  static constexpr Extended kDebugFullScale = detector::kDebugFullScale;

  TZorvCalc();
  TZorvCalc(const TZorvCalc&) = delete;
  TZorvCalc& operator=(const TZorvCalc&) = delete;

  // Once per run: rate, channel count (1 .. kMaxChannels), debug selection (0
  // none, 1..4 = band A..D of channel 1 into the channel-2 output; for one or
  // two channels). Filter and detector states carry over from the previous
  // run, channel by channel. Prepare, Reset and the decoding of blocks
  // take turns: none of them while another one runs.
  void Prepare(std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t debugChannel);

  // Decodes count frames of one or two channels; inR and outR may be null.
  // Returns count, or 0 when nothing was done (not prepared, count 0 or above
  // BlockCapacity, inL or outL missing).
  std::int32_t ProcessBlock(const double* inL, const double* inR, double* outL, double* outR,
                            std::uint32_t count);
  // Decodes count frames of every one of Channels() channels: in[c] and
  // out[c] for channel c, none of them null. With a debug selection, out[1]
  // receives the control voltage and channel 2 is not decoded.
  std::int32_t ProcessBlock(const double* const* in, double* const* out, std::uint32_t count);

  // One block as its channels are decoded: decided once, when it is
  // planned, from the decoder's settings then (level, path, debug selection)
  // and the caller's buffers. Its channels are grouped into jobs; the jobs of
  // a block may run in any order and at once, on different threads, each
  // with channels of its own.
  struct TBlock {
    TDecodePath Path = TDecodePath::Extended;
    std::uint32_t Count = 0;
    // Per channel decoded: its level factor.
    std::array<double, kMaxChannels> Level{};
    int Channels = 0;        // decoded, from channel 0 on
    int ChannelsPerJob = 1;  // side by side in one kernel call, at most
    int Jobs = 0;
    double* DebugOut = nullptr;  // channel 1's band voltage per frame, or null
    int DebugBand = 0;
    std::array<const double*, kMaxChannels> In{};
    std::array<double*, kMaxChannels> Out{};
    // Per channel decoded: the voltages at the block's meter points.
    std::vector<TMeterVolts> Meters;
    // Decoded in two stages (fast::TLaneStage), job 0 the weighting of
    // every channel and job 1 the rest, which begins once job 0 has
    // finished. Job 0 of the next block may run beside job 1 of this one.
    bool Staged = false;
    // What a staged block's first stage hands the second: per channel,
    // Count x kBands doubles of weighted input from WeightedOf(channel).
    // They go in the room a caller lends (WeightedRoomSize doubles from
    // WeightedRoom), which one buffer can give every block in flight, or,
    // where that is too small, in a buffer of the block's own.
    double* WeightedRoom = nullptr;
    std::size_t WeightedRoomSize = 0;
    double* Weighted = nullptr;
    TPageBuffer OwnWeighted;

    // The channels are shared out evenly: the first Channels % Jobs jobs
    // take one channel more than the others. Each stage takes them all.
    int FirstChannel(int job) const {
      if (Staged) return 0;
      return job * (Channels / Jobs) + std::min(job, Channels % Jobs);
    }
    int JobChannels(int job) const {
      if (Staged) return Channels;
      return Channels / Jobs + (job < Channels % Jobs ? 1 : 0);
    }
    fast::TLaneStage JobStage(int job) const {
      if (!Staged) return fast::TLaneStage::Whole;
      return job == 0 ? fast::TLaneStage::Weigh : fast::TLaneStage::Detect;
    }
    double* WeightedOf(int channel);
  };

  // Plans a block as the second ProcessBlock takes it, for threads threads
  // that share out its jobs (1: the calling thread alone). False, with
  // nothing planned, for a block ProcessBlock refuses. staged: in two
  // stages where a fast path decodes at most two channels without debug
  // output (the caller runs the stages on two threads, one block apart).
  bool PlanBlock(TBlock& block, const double* const* in, double* const* out, std::uint32_t count,
                 int threads, bool staged = false) const;
  // The block was planned with the levels the channels have now.
  bool LevelsAsPlanned(const TBlock& block) const {
    return std::equal(block.Level.begin(), block.Level.begin() + block.Channels,
                      LevelFactor_.begin());
  }
  // Decodes the channels of one job of a planned block.
  void DecodeJob(TBlock& block, int job);
  // Hands the meter positions of a decoded block to the meter listener.
  void HandOverMeters(const TBlock& block) const;
  // A channel's state between blocks, kept and put back (a block decoded
  // and then dropped, or the end of another run that this one continues;
  // a Prepare afterwards loads the coefficients of its rate again).
  // A stage keeps only the part of the state it changes.
  void SaveChannel(int channel, TChannelDecoder::TState& state,
                   fast::TLaneStage stage = fast::TLaneStage::Whole) const {
    Decoders_[channel].Save(state, stage);
  }
  void RestoreChannel(int channel, const TChannelDecoder::TState& state) {
    Decoders_[channel].Restore(state);
  }

  // Puts every channel back into its start-up state: the state a decoder
  // made anew has after the same Prepare. The settings (level, path, meter
  // listener, the rate and channels prepared) stay.
  void Reset();

  // Reference level in dB: a tone of this level in a band settles near 0 dB
  // of band gain. SetLevel sets every channel's, SetChannelLevel one
  // channel's (0 .. kMaxChannels - 1; the tracks of a multitrack tape each
  // have a level of their own). The level without a channel is channel 1's.
  void SetLevel(double dB);
  void SetChannelLevel(std::uint32_t channel, double dB);
  double LevelDb(std::uint32_t channel = 0) const { return LevelDb_[channel]; }
  // 10^(dB / 20), which the samples are divided and multiplied by.
  double LevelFactor(std::uint32_t channel = 0) const { return LevelFactor_[channel]; }
  // The factor of a level as the decoder holds it: 10^(dB / 20) in the
  // reference arithmetic, rounded to double. The levels of the 0.1 dB grid
  // (every level a decode takes) come from a table of the same values
  // (dsp/level_factors.h), which a platform without that arithmetic reads.
  static double LevelFactorOf(double dB);
  static double LevelFactorByPower(double dB);

  // Receives the meter positions after each block: channel by channel, at
  // frames 0, 100, ... of the block, bands A..D; on the thread that finishes
  // the block.
  void SetMeterListener(TMeterListener* listener) { Meters_ = listener; }

  // The arithmetic of the following blocks: the extended-precision reference
  // (the default) or a faster plain-double path. The state carries over, so
  // the path may change between any two blocks. A path the processor cannot
  // run falls back to the portable one.
  void SetPath(TDecodePath path);
  TDecodePath Path() const { return Path_; }

  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint32_t DebugChannel() const { return DebugChannel_; }
  const TChannelDecoder& Channel(int channel) const { return Decoders_[channel]; }
  const TControlSignalGenerator& Generator(int channel, int band) const {
    return Decoders_[channel].Generator[band];
  }
  const TFilterSection& SplitFilter(int channel, int section) const {
    return Decoders_[channel].Split[section];
  }
  // Prepare has set the decoder up for blocks.
  bool BuffersAllocated() const { return Prepared_; }

 private:
  // The plan for a block: channels decoded, their buffers, the debug output.
  bool PlanChannels(TBlock& block, int channels, const double* const* in, double* const* out,
                    double* debugOut, std::uint32_t count, int threads, bool staged) const;
  // Every job of a planned block on the calling thread, the meters handed
  // over; the frames decoded.
  std::int32_t DecodePlanned(TBlock& block);
  void DecodeLanes(TBlock& block, int first, int channels, fast::TLaneStage stage);

  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t DebugChannel_ = 0;
  std::array<double, kMaxChannels> LevelDb_{};
  std::array<double, kMaxChannels> LevelFactor_{};
  bool Prepared_ = false;
  std::vector<TChannelDecoder> Decoders_;
  TMeterListener* Meters_ = nullptr;
  TDecodePath Path_ = TDecodePath::Extended;
  // The block of ProcessBlock.
  TBlock Block_;
};

}  // namespace zorv
