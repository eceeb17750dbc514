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

TZorvCalc::TZorvCalc() : Level_(LevelFromDb(kDefaultLevelDb)), Decoders_(kInitialChannels) {}

TZorvCalc::~TZorvCalc() {
  SetWorkerPool(nullptr);
}

void TZorvCalc::SetLevel(double dB) {
  Level_ = LevelFromDb(dB);
}

void TZorvCalc::SetPath(TDecodePath path) {
  if (BlockPending_) FinishBlock();
  Path_ = PathSupported(path) ? path : TDecodePath::Portable;
}

void TZorvCalc::SetWorkerPool(TWorkerPool* pool) {
  if (BlockPending_) FinishBlock();
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
    auto pool = std::make_unique<TWorkerPool>();
    SetWorkerPool(pool.get());
    OwnPool_ = std::move(pool);
  }
}

void TZorvCalc::Prepare(std::uint32_t sampleRate, std::uint32_t channels,
                        std::uint32_t debugChannel) {
  if (BlockPending_) FinishBlock();
  SampleRate_ = sampleRate;
  Channels_ = channels;
  DebugChannel_ = debugChannel;
  // Channels are added, never dropped: each keeps its state for later runs.
  if (channels <= kMaxChannels && channels > Decoders_.size()) Decoders_.resize(channels);
  for (TChannelDecoder& decoder : Decoders_) decoder.Setup(SampleRate_);
  Prepared_ = true;
}

bool TZorvCalc::PlanBlock(int channels, const double* const* in, double* const* out,
                          double* debugOut, std::uint32_t count) {
  if (SampleRate_ == 0 || Channels_ == 0 || Channels_ > kMaxChannels || count == 0) return false;
  // More frames than a block holds would run past the meter tables.
  if (count > BlockCapacity) return false;
  for (int c = 0; c < channels; ++c) {
    if (in[c] == nullptr || out[c] == nullptr) return false;
  }

  TBlockPlan& plan = Plan_;
  plan.Path = Path_;
  plan.Count = count;
  plan.Level = Level_;
  plan.Channels = channels;
  plan.DebugOut = debugOut;
  plan.DebugBand = debugOut != nullptr ? static_cast<int>(DebugChannel_) - 1 : 0;
  std::copy(in, in + channels, plan.In.begin());
  std::copy(out, out + channels, plan.Out.begin());
  // A channel per thread while there are threads enough. Beyond that the
  // fast paths decode channels side by side in one kernel call, which is
  // faster per channel, as many as keep every thread busy. The reference
  // gains nothing from that.
  const int threads = static_cast<int>(Pool_ != nullptr ? Pool_->Share() : 1);
  plan.ChannelsPerJob = plan.Path == TDecodePath::Extended
                            ? 1
                            : std::min(fast::kMaxGroups, (channels + threads - 1) / threads);
  plan.Jobs = (channels + plan.ChannelsPerJob - 1) / plan.ChannelsPerJob;
  return true;
}

void TZorvCalc::StartPlannedBlock() {
  BlockPending_ = true;
  BlockRefused_ = false;
  if (!Plan_.OnPool) {
    for (int job = 0; job < Plan_.Jobs; ++job) RunJob(job);
    return;
  }
  Batch_.Run = [](void* context, int job) { static_cast<TZorvCalc*>(context)->RunJob(job); };
  Batch_.Context = this;
  Batch_.Count = Plan_.Jobs;
  // The caller takes jobs itself once it comes to FinishBlock.
  Pool_->Post(Batch_, true);
}

void TZorvCalc::BeginBlock(const double* const* in, double* const* out, std::uint32_t count) {
  if (BlockPending_) FinishBlock();
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  // The debug output takes channel 2's place; then only channel 1 is decoded.
  const int channels = debug ? 1 : static_cast<int>(Channels_);
  double* debugOut = debug && Channels_ >= 2 && out != nullptr ? out[1] : nullptr;
  const bool debugMissing = debug && Channels_ >= 2 && debugOut == nullptr;
  if (in == nullptr || out == nullptr || debugMissing ||
      !PlanBlock(channels, in, out, debugOut, count)) {
    BlockPending_ = true;
    BlockRefused_ = true;
    return;
  }
  // The caller goes on with other work: the block runs on the pool.
  Plan_.OnPool = Pool_ != nullptr;
  StartPlannedBlock();
}

std::int32_t TZorvCalc::FinishBlock() {
  if (!BlockPending_) return 0;
  BlockPending_ = false;
  if (BlockRefused_) return 0;
  if (Plan_.OnPool) Pool_->Wait(Batch_);
  if (Meters_ != nullptr) {
    for (int c = 0; c < Plan_.Channels; ++c) Decoders_[c].EmitMeters(*Meters_, c, Plan_.Count);
  }
  return static_cast<std::int32_t>(Plan_.Count);
}

std::int32_t TZorvCalc::ProcessBlock(const double* const* in, double* const* out,
                                     std::uint32_t count) {
  BeginBlock(in, out, count);
  return FinishBlock();
}

std::int32_t TZorvCalc::ProcessBlock(const double* inL, const double* inR, double* outL,
                                     double* outR, std::uint32_t count) {
  if (BlockPending_) FinishBlock();
  if (inL == nullptr || outL == nullptr) return 0;
  const bool debug = DebugChannel_ >= 1 && DebugChannel_ <= kBands;
  const bool stereo = Channels_ >= 2 && inR != nullptr && outR != nullptr && !debug;
  const double* in[] = {inL, inR};
  double* out[] = {outL, outR};
  if (!PlanBlock(stereo ? 2 : 1, in, out, debug ? outR : nullptr, count)) return 0;
  // The caller waits for the block: a single job runs on its own thread.
  Plan_.OnPool = Pool_ != nullptr && Plan_.Jobs > 1;
  StartPlannedBlock();
  return FinishBlock();
}

void TZorvCalc::RunJob(int job) {
  const int first = job * Plan_.ChannelsPerJob;
  const int channels = std::min(Plan_.ChannelsPerJob, Plan_.Channels - first);
  if (Plan_.Path != TDecodePath::Extended) {
    RunLanes(first, channels);
    return;
  }
  for (int c = first; c < first + channels; ++c) {
    Decoders_[c].Decode(Plan_.In[c], Plan_.Out[c], Plan_.Count, Plan_.Level, FeedbackLaw_,
                        c == 0 ? Plan_.DebugOut : nullptr, Plan_.DebugBand);
  }
}

}  // namespace zorv
