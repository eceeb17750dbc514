// SPDX-License-Identifier: GPL-3.0-or-later
// The blocks a run has in flight: each block's channels are decoded by the
// decoder on the threads of a worker pool while the run's own thread reads
// and writes other blocks. Up to kMaxBlocksInFlight blocks may be begun
// before the oldest is finished; the next block then decodes as soon as the
// workers are through with the one before, without waiting for the caller.
// A block begun ahead can be dropped again, the decoder put back as it was.
// The decoder itself decodes one block at a time and knows nothing of this.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/block_work.h"
#include "app/pool_choice.h"
#include "app/worker_pool.h"
#include "dsp/channel_decoder.h"
#include "dsp/meter_listener.h"
#include "dsp/page_buffer.h"
#include "dsp/zorv_calc.h"

namespace zorv {

class TBlockPipeline {
 public:
  static constexpr int kMaxBlocksInFlight = 4;

  explicit TBlockPipeline(TZorvCalc& decoder);
  // Finishes the blocks in flight and leaves the pool.
  ~TBlockPipeline();
  TBlockPipeline(const TBlockPipeline&) = delete;
  TBlockPipeline& operator=(const TBlockPipeline&) = delete;

  TZorvCalc& Decoder() { return Decoder_; }

  // The decoder's ProcessBlock on the worker pool: one block, which the
  // caller waits for, taking jobs itself. Blocks in flight are finished
  // first.
  std::int32_t ProcessBlock(const double* const* in, double* const* out, std::uint32_t count);

  // ProcessBlock in two halves, for a caller with other work meanwhile:
  // BeginBlock starts the block (on the worker pool, when there is one) and
  // returns; FinishBlock completes the oldest block begun, hands its meter
  // positions over and returns what ProcessBlock would (0 when BeginBlock
  // refused the block). A further BeginBlock with every block in flight
  // first finishes the oldest. The buffers of a block must stay in place
  // until it is finished or cancelled. work (may be null) runs before each
  // job's channels (not for a block refused).
  void BeginBlock(const double* const* in, double* const* out, std::uint32_t count,
                  TBlockWork* work = nullptr);
  std::int32_t FinishBlock();
  // Drops the newest block begun and not finished: once its work is done,
  // every channel is put back as it was before it, as though it had never
  // been begun. Its meters are not handed over; its output is undefined.
  void CancelBlock();
  // Finishes every block in flight, oldest first.
  void FinishBlocks();
  int BlocksInFlight() const { return InFlight_; }
  // Whether the block in flight at index (0: the oldest) is decoded; does
  // not wait. A block that did not go to the pool is decoded once begun.
  bool BlockDecoded(int index) const;
  // Whether the block in flight at index is decoded in two stages.
  bool BlockStaged(int index) const;
  // Sleeps until the block at index is decoded, and with it every block
  // before it, without finishing any (their FinishBlock then returns at
  // once). A caller that waits for two blocks at a time sleeps half as often.
  void AwaitBlock(int index);
  // The decoder's level or path has changed since the newest block in
  // flight was begun. A caller that begins blocks ahead cancels it and
  // begins it again, so that the change applies from the block after the
  // one in hand.
  bool NewestBlockOutdated() const;

  // The decoder's meter listener, which a block's meter positions go to
  // when it is finished, on the thread that finishes it.
  void SetMeterListener(TMeterListener* listener) { Decoder_.SetMeterListener(listener); }

  // The worker threads that decode the channels of a block, shared with
  // other pipelines; null (the default): every block on the calling thread.
  // The results, the meter positions and their order stay the same.
  void SetWorkerPool(TWorkerPool* pool);
  TWorkerPool* WorkerPool() const { return Pool_; }
  // A pool of its own, one thread per core (on), or none (off).
  void SetChannelThreads(bool on);
  bool ChannelThreads() const { return Pool_ != nullptr; }

  // With a pool: whether the pipeline times its blocks on the pool against
  // blocks on the calling thread alone and sends them the faster way (on
  // by default; see TPoolChoice). Off: every block goes to the pool.
  void SetPoolChosenByTime(bool on);
  // Whether the next block begun goes to the pool.
  bool NextBlockOnPool() const;

  // Whether blocks begun on a pool that serves this pipeline alone are
  // decoded in two stages (TZorvCalc::TBlock::Staged), on by default: the
  // calling thread weighs each block as it begins it, a worker runs the
  // rest, so that one or two channels keep two cores busy. The output is
  // the same either way.
  void SetStageSplit(bool on) { StageSplit_ = on; }
  bool StageSplit() const { return StageSplit_; }
  TPoolChoice& PoolChoice() { return Choice_; }

 private:
  // A block in flight: the decoder's plan of it, its batch of jobs on the
  // pool, and each channel's state before it (for CancelBlock).
  struct TPlan {
    TBlockPipeline* Owner = nullptr;
    TZorvCalc::TBlock Block;
    TWorkerPool::TBatch Batch;
    TBlockWork* Work = nullptr;
    bool Refused = false;
    bool OnPool = false;
    // Each channel's state is kept as its job begins.
    bool KeepsState = false;
    std::vector<TChannelDecoder::TState> Before;
  };

  // The plan a new block takes: the oldest block is finished first when
  // every plan is in flight.
  TPlan& NextPlan();
  TPlan& PlanInFlight(int index) { return Plans_[(Oldest_ + index) % kMaxBlocksInFlight]; }
  const TPlan& PlanInFlight(int index) const {
    return Plans_[(Oldest_ + index) % kMaxBlocksInFlight];
  }
  TPlan& NewestPlan() { return PlanInFlight(InFlight_ - 1); }
  const TPlan& NewestPlan() const { return PlanInFlight(InFlight_ - 1); }
  // Threads that the jobs of a block are shared out for.
  int Threads() const;
  // Starts the planned block behind the blocks in flight. callerWaits: the
  // caller finishes it at once, taking jobs itself.
  void Start(TPlan& plan, bool callerWaits);
  // Lends a staged block of count frames its part of WeightedRoom_, which
  // grows while no block is in flight.
  void LendWeightedRoom(TPlan& plan, std::uint32_t count);
  void RunJob(TPlan& plan, int job);

  TPoolChoice Choice_;
  bool ChoiceOn_ = true;
  bool StageSplit_ = true;

  TZorvCalc& Decoder_;
  TWorkerPool* Pool_ = nullptr;
  std::unique_ptr<TWorkerPool> OwnPool_;
  // The blocks in flight, oldest first, in a ring.
  std::array<TPlan, kMaxBlocksInFlight> Plans_;
  int Oldest_ = 0;
  int InFlight_ = 0;
  // The weighted input of every staged block in flight, WeightedPart_
  // doubles for each plan: one large page, where a buffer per block took
  // one each, and each page a process touches first costs it a fault.
  TPageBuffer WeightedRoom_;
  std::size_t WeightedPart_ = 0;
};

}  // namespace zorv
