// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/zorv_calc.h"

#include <algorithm>
#include <cmath>

namespace zorv {
namespace {

// Reference level at start-up, dB.
constexpr Extended kDefaultLevelDb = -10.0L;
// Until Prepare: the two channels of the original stereo decoder.
constexpr std::size_t kInitialChannels = 2;

double LevelFromDb(Extended dB) {
  return Store(std::pow(10.0L, dB / 20.0L));
}

}  // namespace

TZorvCalc::TZorvCalc() : Level_(LevelFromDb(kDefaultLevelDb)), Decoders_(kInitialChannels) {
  for (TBlockPlan& plan : Plans_) {
    plan.Owner = this;
    plan.Meters.resize(Decoders_.size());
    plan.Before.resize(Decoders_.size());
  }
}

TZorvCalc::~TZorvCalc() {
  SetWorkerPool(nullptr);
}

void TZorvCalc::SetLevel(double dB) {
  Level_ = LevelFromDb(dB);
}

void TZorvCalc::SetPath(TDecodePath path) {
  FinishAll();
  Path_ = PathSupported(path) ? path : TDecodePath::Portable;
}

void TZorvCalc::SetWorkerPool(TWorkerPool* pool) {
  FinishAll();
  if (pool == Pool_) return;
  if (Pool_ != nullptr) Pool_->Detach();
  Pool_ = pool;
  if (Pool_ != nullptr) Pool_->Attach();
  if (OwnPool_ != nullptr && Pool_ != OwnPool_.get()) OwnPool_.reset();
}

void TZorvCalc::SetChannelThreads(bool on) {
  if (!on) {
    SetWorkerPool(nullptr);
  } else if (OwnPool_ == nullptr) {
    auto pool = std::make_unique<TWorkerPool>(TWorkerPool::HelpedThreads());
    SetWorkerPool(pool.get());
    OwnPool_ = std::move(pool);
  }
}

void TZorvCalc::Prepare(std::uint32_t sampleRate, std::uint32_t channels,
                        std::uint32_t debugChannel) {
  FinishAll();
  SampleRate_ = sampleRate;
  Channels_ = channels;
  DebugChannel_ = debugChannel;
  // Channels are added, never dropped: each keeps its state for later runs.
  if (channels <= kMaxChannels && channels > Decoders_.size()) {
    Decoders_.resize(channels);
    for (TBlockPlan& plan : Plans_) {
      plan.Meters.resize(channels);
      plan.Before.resize(channels);
    }
  }
  for (TChannelDecoder& decoder : Decoders_) decoder.Setup(SampleRate_);
  Prepared_ = true;
}

TZorvCalc::TBlockPlan& TZorvCalc::NextPlan() {
  if (InFlight_ == kMaxBlocksInFlight) FinishBlock();
  return PlanInFlight(InFlight_);
}

bool TZorvCalc::PlanBlock(TBlockPlan& plan, int channels, const double* const* in,
                          double* const* out, double* debugOut, std::uint32_t count) {
  if (SampleRate_ == 0 || Channels_ == 0 || Channels_ > kMaxChannels || count == 0) return false;
  // More frames than a block holds would run past the meter tables.
  if (count > BlockCapacity) return false;
  for (int c = 0; c < channels; ++c) {
    if (in[c] == nullptr || out[c] == nullptr) return false;
  }

  plan.Path = Path_;
  plan.Count = count;
  plan.Level = Level_;
  plan.Channels = channels;
  plan.DebugOut = debugOut;
  plan.DebugBand = debugOut != nullptr ? static_cast<int>(DebugChannel_) - 1 : 0;
  std::copy(in, in + channels, plan.In.begin());
  std::copy(out, out + channels, plan.Out.begin());
  // The fast paths decode channels side by side in one kernel call, which
  // costs a thread less time per channel than a channel alone: two or more
  // to a job (a channel alone only when there is one), as many as keep every
  // thread busy. The reference gains nothing from that.
  const int threads = static_cast<int>(Pool_ != nullptr ? Pool_->Share() : 1);
  const int perThread = (channels + threads - 1) / threads;
  plan.ChannelsPerJob = plan.Path == TDecodePath::Extended
                            ? 1
                            : std::clamp(perThread, std::min(channels, 2), fast::kMaxGroups);
  plan.Jobs = (channels + plan.ChannelsPerJob - 1) / plan.ChannelsPerJob;
  return true;
}

void TZorvCalc::StartPlannedBlock(TBlockPlan& plan, bool callerWaits) {
  // Behind the newest block in flight, before this one counts as in flight.
  TBlockPlan* const before = InFlight_ > 0 ? &NewestPlan() : nullptr;
  ++InFlight_;
  plan.Refused = false;
  if (!plan.OnPool) {
    for (int job = 0; job < plan.Jobs; ++job) RunJob(plan, job);
    return;
  }
  plan.Batch.Run = [](void* context, int job) {
    TBlockPlan& self = *static_cast<TBlockPlan*>(context);
    self.Owner->RunJob(self, job);
  };
  plan.Batch.Context = &plan;
  plan.Batch.Count = plan.Jobs;
  if (before != nullptr && before->OnPool && !before->Refused) {
    // The channels' jobs follow theirs in the block before.
    const bool alike =
        before->ChannelsPerJob == plan.ChannelsPerJob && before->Channels == plan.Channels;
    Pool_->PostAfter(plan.Batch, before->Batch, alike);
  } else {
    Pool_->Post(plan.Batch, callerWaits);
  }
}

void TZorvCalc::BeginBlock(const double* const* in, double* const* out, std::uint32_t count,
                           TBlockWork* work) {
  TBlockPlan& plan = NextPlan();
  plan.Work = work;
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  // The debug output takes channel 2's place; then only channel 1 is decoded.
  const int channels = debug ? 1 : static_cast<int>(Channels_);
  double* debugOut = debug && Channels_ >= 2 && out != nullptr ? out[1] : nullptr;
  const bool debugMissing = debug && Channels_ >= 2 && debugOut == nullptr;
  if (in == nullptr || out == nullptr || debugMissing ||
      !PlanBlock(plan, channels, in, out, debugOut, count)) {
    ++InFlight_;
    plan.Refused = true;
    return;
  }
  // The caller goes on with other work: the block runs on the pool.
  plan.OnPool = Pool_ != nullptr;
  plan.KeepsState = true;
  StartPlannedBlock(plan, false);
}

std::int32_t TZorvCalc::FinishBlock() {
  if (InFlight_ == 0) return 0;
  TBlockPlan& plan = Plans_[Oldest_];
  Oldest_ = (Oldest_ + 1) % kMaxBlocksInFlight;
  --InFlight_;
  if (plan.Refused) return 0;
  if (plan.OnPool) Pool_->Wait(plan.Batch);
  if (Meters_ != nullptr) {
    for (int c = 0; c < plan.Channels; ++c) {
      EmitMeterPositions(*Meters_, c, plan.Meters[c], plan.Count);
    }
  }
  return static_cast<std::int32_t>(plan.Count);
}

void TZorvCalc::CancelBlock() {
  if (InFlight_ == 0) return;
  TBlockPlan& plan = NewestPlan();
  --InFlight_;
  if (plan.Refused) return;
  if (plan.OnPool) Pool_->Wait(plan.Batch);
  if (!plan.KeepsState) return;
  for (int c = 0; c < plan.Channels; ++c) Decoders_[c].Restore(plan.Before[c]);
}

bool TZorvCalc::BlockDecoded(int index) const {
  if (index < 0 || index >= InFlight_) return false;
  const TBlockPlan& plan = PlanInFlight(index);
  return plan.Refused || !plan.OnPool || Pool_->Done(plan.Batch);
}

void TZorvCalc::AwaitBlock(int index) {
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
      TBlockPlan& plan = PlanInFlight(k);
      if (plan.Refused || !plan.OnPool || plan.Jobs <= static_cast<int>(Pool_->Threads())) {
        continue;
      }
      ran = Pool_->Help(plan.Batch) || ran;
    }
  }
  for (int k = 0; k <= index; ++k) {
    TBlockPlan& plan = PlanInFlight(inOrder ? k : index - k);
    if (!plan.Refused && plan.OnPool) Pool_->Wait(plan.Batch);
  }
}

bool TZorvCalc::NewestBlockOutdated() const {
  if (InFlight_ == 0) return false;
  const TBlockPlan& plan = NewestPlan();
  return !plan.Refused && (plan.Level != Level_ || plan.Path != Path_);
}

void TZorvCalc::FinishAll() {
  while (InFlight_ > 0) FinishBlock();
}

std::int32_t TZorvCalc::ProcessBlock(const double* const* in, double* const* out,
                                     std::uint32_t count) {
  FinishAll();
  BeginBlock(in, out, count);
  return FinishBlock();
}

std::int32_t TZorvCalc::ProcessBlock(const double* inL, const double* inR, double* outL,
                                     double* outR, std::uint32_t count) {
  FinishAll();
  if (inL == nullptr || outL == nullptr) return 0;
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  const bool stereo = Channels_ >= 2 && inR != nullptr && outR != nullptr && !debug;
  const double* in[] = {inL, inR};
  double* out[] = {outL, outR};
  TBlockPlan& plan = NextPlan();
  plan.Work = nullptr;
  if (!PlanBlock(plan, stereo ? 2 : 1, in, out, debug ? outR : nullptr, count)) return 0;
  // The caller waits for the block: a single job runs on its own thread.
  plan.OnPool = Pool_ != nullptr && plan.Jobs > 1;
  plan.KeepsState = false;
  StartPlannedBlock(plan, true);
  return FinishBlock();
}

void TZorvCalc::RunJob(TBlockPlan& plan, int job) {
  const int first = job * plan.ChannelsPerJob;
  const int channels = std::min(plan.ChannelsPerJob, plan.Channels - first);
  if (plan.Work != nullptr) plan.Work->BeforeChannels(first, channels);
  if (plan.KeepsState) {
    for (int c = first; c < first + channels; ++c) Decoders_[c].Save(plan.Before[c]);
  }
  if (plan.Path != TDecodePath::Extended) {
    RunLanes(plan, first, channels);
    return;
  }
  for (int c = first; c < first + channels; ++c) {
    Decoders_[c].Decode(plan.In[c], plan.Out[c], plan.Count, plan.Level, FeedbackLaw_,
                        plan.Meters[c], c == 0 ? plan.DebugOut : nullptr, plan.DebugBand);
  }
}

}  // namespace zorv
