// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pool_choice.h"

namespace zorv {

void TPoolChoice::Restart() {
  HaveLast_ = false;
  DelayAtStart_.reset();
  WarmUpLeft_ = WarmUpBlocks_;
  Enter(TPhase::TryPool, true);
}

void TPoolChoice::SetTrial(TClock::duration time, int blocks, int warmUpBlocks) {
  TrialTime_ = time;
  TrialBlocks_ = blocks;
  WarmUpBlocks_ = warmUpBlocks;
  Restart();
}

void TPoolChoice::Enter(TPhase phase, bool usePool) {
  Phase_ = phase;
  UsePool_ = usePool;
  Timed_ = {};
  Frames_ = 0;
  Blocks_ = 0;
}

double TPoolChoice::NsPerFrame() const {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Timed_).count();
  return static_cast<double>(ns) / static_cast<double>(Frames_ > 0 ? Frames_ : 1);
}

bool TPoolChoice::Contended(TClock::time_point now) const {
  if (!DelayAtStart_ || !RunDelay_) return true;
  const std::optional<std::chrono::nanoseconds> delay = RunDelay_();
  if (!delay) return true;
  const auto waited = *delay - *DelayAtStart_;
  const auto span = std::chrono::duration_cast<std::chrono::nanoseconds>(now - PhaseStart_);
  // A thread gone meanwhile takes its wait out of the sum: not known.
  if (waited.count() < 0 || span.count() <= 0) return true;
  return static_cast<double>(waited.count()) >= kContendedShare * static_cast<double>(span.count());
}

void TPoolChoice::Finished(bool onPool, std::uint32_t frames, TClock::time_point now) {
  if (WarmUpLeft_ > 0) {
    --WarmUpLeft_;
    HaveLast_ = true;
    LastOnPool_ = onPool;
    Last_ = now;
    return;
  }
  const bool timed = HaveLast_ && LastOnPool_ == onPool && onPool == UsePool_;
  if (timed && Blocks_ == 0 && Phase_ == TPhase::TryPool) {
    PhaseStart_ = now;
    DelayAtStart_ = RunDelay_ ? RunDelay_() : std::nullopt;
  }
  if (timed) {
    Timed_ += now - Last_;
    Frames_ += frames;
    ++Blocks_;
  }
  HaveLast_ = true;
  LastOnPool_ = onPool;
  Last_ = now;
  if (!timed) return;

  const int trials = Phase_ == TPhase::Run ? kRunTrials : 1;
  if (Timed_ < trials * TrialTime_ || Blocks_ < trials * TrialBlocks_) return;
  switch (Phase_) {
    case TPhase::TryPool:
      PoolNsPerFrame_ = NsPerFrame();
      if (!Contended(now)) {
        ChosenNsPerFrame_ = PoolNsPerFrame_;
        Enter(TPhase::Run, true);
        return;
      }
      Enter(TPhase::TryAlone, false);
      return;
    case TPhase::TryAlone: {
      const double alone = NsPerFrame();
      const bool pool = PoolNsPerFrame_ <= alone;
      ChosenNsPerFrame_ = pool ? PoolNsPerFrame_ : alone;
      Enter(TPhase::Run, pool);
      return;
    }
    case TPhase::Run:
      ChosenNsPerFrame_ = NsPerFrame();
      Enter(TPhase::TryOther, !UsePool_);
      return;
    case TPhase::TryOther: {
      // The other way is kept only when it was faster than the chosen one.
      const double other = NsPerFrame();
      const bool switches = other < ChosenNsPerFrame_;
      if (switches) ChosenNsPerFrame_ = other;
      Enter(TPhase::Run, switches ? UsePool_ : !UsePool_);
      return;
    }
  }
}

}  // namespace zorv
