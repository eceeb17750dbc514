// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder core: splits each channel into bands A..D, expands every band by
// its control-signal generator's gain, sums the bands. Blocks of doubles in,
// blocks of doubles out (full scale +-1.0, not clipped). One channel decoder
// per channel, 1 to kMaxChannels of them; the channels of a block may run on
// the threads of a worker pool.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/block_work.h"
#include "dsp/channel_decoder.h"
#include "dsp/decode_path.h"
#include "dsp/detector_constants.h"
#include "dsp/meter_listener.h"
#include "dsp/worker_pool.h"

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
  ~TZorvCalc();
  TZorvCalc(const TZorvCalc&) = delete;
  TZorvCalc& operator=(const TZorvCalc&) = delete;

  // Once per run: rate, channel count (1 .. kMaxChannels), debug selection (0
  // none, 1..4 = band A..D of channel 1 into the channel-2 output; for one or
  // two channels). Filter and detector states carry over from the previous
  // run, channel by channel.
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

  // ProcessBlock in two halves, for a caller with other work meanwhile:
  // BeginBlock starts the block (on the worker pool, when there is one) and
  // returns; FinishBlock completes the oldest block begun, hands its meter
  // positions over and returns what ProcessBlock would (0 when BeginBlock
  // refused the block). Up to kMaxBlocksInFlight blocks may be begun before
  // the oldest is finished: the next block then decodes as soon as the
  // workers are through with the one before, without waiting for the caller
  // (a further BeginBlock first finishes the oldest). The buffers of a block
  // must stay in place until it is finished or cancelled. work (may be
  // null) runs before each job's channels (not for a block refused).
  static constexpr int kMaxBlocksInFlight = 4;
  void BeginBlock(const double* const* in, double* const* out, std::uint32_t count,
                  TBlockWork* work = nullptr);
  std::int32_t FinishBlock();
  // Drops the newest block begun and not finished: once its work is done,
  // every channel is put back as it was before it, as though it had never
  // been begun. Its meters are not handed over; its output is undefined.
  void CancelBlock();
  int BlocksInFlight() const { return InFlight_; }
  // Whether the block in flight at index (0: the oldest) is decoded; does
  // not wait. A block that did not go to the pool is decoded once begun.
  bool BlockDecoded(int index) const;
  // Sleeps until the block at index is decoded, and with it every block
  // before it, without finishing any (their FinishBlock then returns at
  // once). A caller that waits for two blocks at a time sleeps half as often.
  void AwaitBlock(int index);
  // The level or the path has changed since the newest block in flight was
  // begun. A caller that begins blocks ahead cancels it and begins it again,
  // so that the change applies from the block after the one in hand.
  bool NewestBlockOutdated() const;

  // Reference level in dB: a tone of this level in a band settles near 0 dB
  // of band gain.
  void SetLevel(double dB);
  double Level() const { return Level_; }

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

  // The worker threads that decode the channels of a block, shared with
  // other decoders; null (the default): every block on the calling thread.
  // The results, the meter positions and their order stay the same.
  void SetWorkerPool(TWorkerPool* pool);
  TWorkerPool* WorkerPool() const { return Pool_; }
  // A pool of its own, one thread per core (on), or none (off).
  void SetChannelThreads(bool on);
  bool ChannelThreads() const { return Pool_ != nullptr; }

  std::uint32_t Channels() const { return Channels_; }
  std::uint32_t SampleRate() const { return SampleRate_; }
  std::uint32_t DebugChannel() const { return DebugChannel_; }
  std::uint32_t FeedbackLaw() const { return FeedbackLaw_; }
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
  // Everything about one block, decided once when it begins: which
  // arithmetic, which channels, the debug output, how the channels are
  // grouped into jobs for the threads; and what the block leaves behind.
  struct TBlockPlan {
    TZorvCalc* Owner = nullptr;
    TDecodePath Path = TDecodePath::Extended;
    std::uint32_t Count = 0;
    double Level = 0;
    int Channels = 0;        // decoded, from channel 0 on
    int ChannelsPerJob = 1;  // side by side in one kernel call
    int Jobs = 0;
    double* DebugOut = nullptr;  // channel 1's band voltage per frame, or null
    int DebugBand = 0;
    bool Refused = false;
    bool OnPool = false;
    // Each channel's state is kept as its job begins (for CancelBlock).
    bool KeepsState = false;
    std::array<const double*, kMaxChannels> In{};
    std::array<double*, kMaxChannels> Out{};
    TWorkerPool::TBatch Batch;
    TBlockWork* Work = nullptr;
    // Per channel: the voltages at the meter points, the state before.
    std::vector<TMeterVolts> Meters;
    std::vector<TChannelDecoder::TState> Before;
  };

  // The plan a new block takes: the oldest block is finished first when
  // every plan is in flight.
  TBlockPlan& NextPlan();
  TBlockPlan& PlanInFlight(int index) { return Plans_[(Oldest_ + index) % kMaxBlocksInFlight]; }
  const TBlockPlan& PlanInFlight(int index) const {
    return Plans_[(Oldest_ + index) % kMaxBlocksInFlight];
  }
  TBlockPlan& NewestPlan() { return PlanInFlight(InFlight_ - 1); }
  const TBlockPlan& NewestPlan() const { return PlanInFlight(InFlight_ - 1); }
  // The plan for a block: channels decoded, their buffers, the debug output.
  bool PlanBlock(TBlockPlan& plan, int channels, const double* const* in, double* const* out,
                 double* debugOut, std::uint32_t count);
  // Starts the planned block behind the blocks in flight. callerWaits: the
  // caller finishes it at once, taking jobs itself.
  void StartPlannedBlock(TBlockPlan& plan, bool callerWaits);
  void FinishAll();
  void RunJob(TBlockPlan& plan, int job);
  void RunLanes(TBlockPlan& plan, int first, int channels);

  std::uint32_t Channels_ = 0;
  std::uint32_t SampleRate_ = 0;
  std::uint32_t FeedbackLaw_ = 0;
  std::uint32_t DebugChannel_ = 0;
  double Level_ = 0;
  bool Prepared_ = false;
  std::vector<TChannelDecoder> Decoders_;
  TMeterListener* Meters_ = nullptr;
  TDecodePath Path_ = TDecodePath::Extended;

  TWorkerPool* Pool_ = nullptr;
  std::unique_ptr<TWorkerPool> OwnPool_;
  // The blocks in flight, oldest first, in a ring.
  std::array<TBlockPlan, kMaxBlocksInFlight> Plans_;
  int Oldest_ = 0;
  int InFlight_ = 0;
};

}  // namespace zorv
