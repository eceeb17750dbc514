// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/block_pipeline.h"

#include <utility>

#include "app/run_delay.h"

namespace zorv {

TBlockPipeline::TBlockPipeline(TZorvCalc& decoder) : Decoder_(decoder) {
  Choice_.SetRunDelay(ProcessRunDelay);
  for (TPlan& plan : Plans_) plan.Owner = this;
}

TBlockPipeline::~TBlockPipeline() {
  // The workers must be through with every block before the plans go; the
  // meters of blocks nobody finished are not handed over.
  for (int k = 0; k < InFlight_; ++k) {
    TPlan& plan = PlanInFlight(k);
    if (!plan.Refused && plan.OnPool) Pool_->Wait(plan.Batch);
  }
  InFlight_ = 0;
  SetWorkerPool(nullptr);
}

void TBlockPipeline::SetWorkerPool(TWorkerPool* pool) {
  FinishBlocks();
  if (pool == Pool_) return;
  Choice_.Restart();
  if (Pool_ != nullptr) Pool_->Detach();
  Pool_ = pool;
  if (Pool_ != nullptr) Pool_->Attach();
  if (OwnPool_ != nullptr && Pool_ != OwnPool_.get()) OwnPool_.reset();
}

void TBlockPipeline::SetChannelThreads(bool on) {
  if (!on) {
    SetWorkerPool(nullptr);
  } else if (OwnPool_ == nullptr) {
    auto pool = std::make_unique<TWorkerPool>(TWorkerPool::HelpedThreads());
    SetWorkerPool(pool.get());
    OwnPool_ = std::move(pool);
  }
}

void TBlockPipeline::SetPoolChosenByTime(bool on) {
  ChoiceOn_ = on;
  Choice_.Restart();
}

bool TBlockPipeline::NextBlockOnPool() const {
  // A pool without workers leaves every job to the caller anyway.
  if (Pool_ == nullptr) return false;
  return !ChoiceOn_ || Pool_->Threads() == 0 || Choice_.UsePool();
}

int TBlockPipeline::Threads() const {
  return static_cast<int>(Pool_ != nullptr ? Pool_->Share() : 1);
}

TBlockPipeline::TPlan& TBlockPipeline::NextPlan() {
  if (InFlight_ == kMaxBlocksInFlight) FinishBlock();
  return PlanInFlight(InFlight_);
}

void TBlockPipeline::RunJob(TPlan& plan, int job) {
  const int first = plan.Block.FirstChannel(job);
  const int channels = plan.Block.JobChannels(job);
  const fast::TLaneStage stage = plan.Block.JobStage(job);
  // The input is filled for the first stage; the second reads it.
  if (plan.Work != nullptr && fast::Weighs(stage)) {
    plan.Work->BeforeChannels(first, channels);
  }
  if (plan.KeepsState) {
    for (int c = first; c < first + channels; ++c) Decoder_.SaveChannel(c, plan.Before[c], stage);
  }
  Decoder_.DecodeJob(plan.Block, job);
}

void TBlockPipeline::Start(TPlan& plan, bool callerWaits) {
  // Behind the newest block in flight, before this one counts as in flight.
  TPlan* const before = InFlight_ > 0 ? &NewestPlan() : nullptr;
  ++InFlight_;
  plan.Refused = false;
  if (!plan.OnPool) {
    // The channels' state is that after the blocks before: they decode
    // first.
    if (before != nullptr && Pool_ != nullptr) AwaitBlock(InFlight_ - 2);
    for (int job = 0; job < plan.Block.Jobs; ++job) RunJob(plan, job);
    return;
  }
  plan.Batch.Run = [](void* context, int job) {
    TPlan& self = *static_cast<TPlan*>(context);
    self.Owner->RunJob(self, job);
  };
  plan.Batch.Context = &plan;
  plan.Batch.Count = plan.Block.Jobs;
  plan.Batch.Staged = plan.Block.Staged;
  if (before != nullptr && before->OnPool && !before->Refused) {
    // The channels' jobs follow theirs in the block before (a stage its
    // own stage).
    const bool alike = before->Block.ChannelsPerJob == plan.Block.ChannelsPerJob &&
                       before->Block.Channels == plan.Block.Channels &&
                       before->Block.Staged == plan.Block.Staged;
    Pool_->PostAfter(plan.Batch, before->Batch, alike);
  } else {
    Pool_->Post(plan.Batch, callerWaits);
  }
}

std::int32_t TBlockPipeline::ProcessBlock(const double* const* in, double* const* out,
                                          std::uint32_t count) {
  FinishBlocks();
  TPlan& plan = NextPlan();
  plan.Work = nullptr;
  if (!Decoder_.PlanBlock(plan.Block, in, out, count, Threads())) return 0;
  // The caller waits for the block: a single job runs on its own thread.
  plan.OnPool = NextBlockOnPool() && plan.Block.Jobs > 1;
  plan.KeepsState = false;
  Start(plan, true);
  return FinishBlock();
}

void TBlockPipeline::BeginBlock(const double* const* in, double* const* out, std::uint32_t count,
                                TBlockWork* work) {
  TPlan& plan = NextPlan();
  plan.Work = work;
  // The caller goes on with other work: the block runs on the pool, unless
  // the pool has measured slower than this thread alone.
  const bool onPool = NextBlockOnPool();
  // Staged where the pool's workers are this pipeline's alone: else the
  // caller's stage would take turns with other files' workers.
  const bool staged = onPool && StageSplit_ && Pool_->Threads() >= 1 && Pool_->Users() == 1;
  if (staged) LendWeightedRoom(plan, count);
  if (!Decoder_.PlanBlock(plan.Block, in, out, count, Threads(), staged)) {
    ++InFlight_;
    plan.Refused = true;
    return;
  }
  const auto channels = static_cast<std::size_t>(plan.Block.Channels);
  if (plan.Before.size() < channels) plan.Before.resize(channels);
  plan.OnPool = onPool;
  plan.KeepsState = true;
  Start(plan, false);
  // The first stage here and now, where the input was just read, unless a
  // worker has taken it already; the workers run the second.
  if (plan.Block.Staged) Pool_->Help(plan.Batch, 1);
}

void TBlockPipeline::LendWeightedRoom(TPlan& plan, std::uint32_t count) {
  // Whole cache lines for each block, so that two blocks never share one.
  constexpr std::size_t kLine = 64 / sizeof(double);
  const std::size_t need =
      (std::size_t{Decoder_.Channels()} * count * kBands + kLine - 1) / kLine * kLine;
  if (need > WeightedPart_ && InFlight_ == 0) {
    WeightedRoom_ = TPageBuffer(need * kMaxBlocksInFlight * sizeof(double));
    WeightedPart_ = need;
  }
  const bool fits = need <= WeightedPart_;
  const auto index = static_cast<std::size_t>(&plan - Plans_.data());
  plan.Block.WeightedRoom =
      fits ? reinterpret_cast<double*>(WeightedRoom_.Data()) + index * WeightedPart_ : nullptr;
  plan.Block.WeightedRoomSize = fits ? WeightedPart_ : 0;
}

std::int32_t TBlockPipeline::FinishBlock() {
  if (InFlight_ == 0) return 0;
  TPlan& plan = Plans_[Oldest_];
  Oldest_ = (Oldest_ + 1) % kMaxBlocksInFlight;
  --InFlight_;
  if (plan.Refused) return 0;
  if (plan.OnPool) Pool_->Wait(plan.Batch);
  if (Pool_ != nullptr && ChoiceOn_) {
    Choice_.Finished(plan.OnPool, plan.Block.Count, TPoolChoice::TClock::now());
  }
  Decoder_.HandOverMeters(plan.Block);
  return static_cast<std::int32_t>(plan.Block.Count);
}

void TBlockPipeline::CancelBlock() {
  if (InFlight_ == 0) return;
  // The newest block's jobs follow those of the blocks before it. A pool
  // without workers runs them only for a waiting caller, so they are run
  // first, in order; else the wait for the newest would never end.
  if (Pool_ != nullptr && Pool_->Threads() == 0) AwaitBlock(InFlight_ - 1);
  TPlan& plan = NewestPlan();
  --InFlight_;
  if (plan.Refused) return;
  if (plan.OnPool) Pool_->Wait(plan.Batch);
  if (!plan.KeepsState) return;
  for (int c = 0; c < plan.Block.Channels; ++c) Decoder_.RestoreChannel(c, plan.Before[c]);
}

void TBlockPipeline::FinishBlocks() {
  while (InFlight_ > 0) FinishBlock();
}

bool TBlockPipeline::BlockDecoded(int index) const {
  if (index < 0 || index >= InFlight_) return false;
  const TPlan& plan = PlanInFlight(index);
  return plan.Refused || !plan.OnPool || Pool_->Done(plan.Batch);
}

bool TBlockPipeline::BlockStaged(int index) const {
  if (index < 0 || index >= InFlight_) return false;
  const TPlan& plan = PlanInFlight(index);
  return !plan.Refused && plan.Block.Staged;
}

void TBlockPipeline::AwaitBlock(int index) {
  if (index >= InFlight_) return;
  // The latest first: a block follows the one before on the same workers,
  // so the earlier ones are then mostly done and need no sleep of their own.
  // A pool without workers leaves every job to the caller: in order.
  const bool inOrder = Pool_ != nullptr && Pool_->Threads() == 0;
  // Blocks of more jobs than there are workers: first the jobs no worker
  // has taken yet, oldest block first (a job run makes the next block's job
  // of the same channels ready). Without this the caller would sleep while
  // the workers ran the channels one after another. Where the workers can
  // take every job, the caller leaves them to it, and their caches.
  for (bool ran = true; ran && !inOrder;) {
    ran = false;
    for (int k = 0; k <= index; ++k) {
      TPlan& plan = PlanInFlight(k);
      if (plan.Refused || !plan.OnPool || plan.Block.Jobs <= static_cast<int>(Pool_->Threads())) {
        continue;
      }
      ran = Pool_->Help(plan.Batch) || ran;
    }
  }
  for (int k = 0; k <= index; ++k) {
    TPlan& plan = PlanInFlight(inOrder ? k : index - k);
    if (!plan.Refused && plan.OnPool) Pool_->Wait(plan.Batch);
  }
}

bool TBlockPipeline::NewestBlockOutdated() const {
  if (InFlight_ == 0) return false;
  const TPlan& plan = NewestPlan();
  return !plan.Refused &&
         (!Decoder_.LevelsAsPlanned(plan.Block) || plan.Block.Path != Decoder_.Path());
}

}  // namespace zorv
