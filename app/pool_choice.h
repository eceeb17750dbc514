// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a run's next blocks decode on the worker pool or on the run's own
// thread, chosen by timing both on the run itself. On a machine whose cores
// are busy with other programs, a worker only takes turns with them, and
// each hand-over between the run's thread and the worker waits for a core:
// the pool can then be slower than one thread. Neither is assumed: the run
// times a stretch of blocks each way, keeps to the faster, and times the
// other way again now and then, since the load of a machine changes.
// Where the system says how long the run's threads waited for a core, a
// pool whose threads did not wait during its first trial is kept without a
// trial alone at the start: the lone thread can only be faster on cores
// shared with others, and its trial is a tenth of a short run. The trials
// after each run of the pool stay.
// Decides only which thread decodes; the output is the same either way.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace zorv {

class TPoolChoice {
 public:
  using TClock = std::chrono::steady_clock;

  // A trial of one way lasts this long, and this many blocks, at least; the
  // way chosen then runs kRunTrials times as long before the other is
  // tried again.
  static constexpr std::chrono::milliseconds kTrialTime{20};
  static constexpr int kTrialBlocks = 8;
  static constexpr int kRunTrials = 30;
  // The first blocks of a run, on the pool, are timed for neither way: they
  // fill the pipeline, wake the workers and touch their buffers for the
  // first time, and would make the pool lose its first trial.
  static constexpr int kWarmUpBlocks = 8;
  // The pool's threads count as waiting for cores when, together, they
  // waited this share of a trial's time or more.
  static constexpr double kContendedShare = 0.25;

  // The time the run's threads have waited for a core so far, summed over
  // them (ProcessRunDelay); none where unknown. Without it (the default)
  // the lone thread is always tried.
  using TRunDelay = std::function<std::optional<std::chrono::nanoseconds>()>;
  void SetRunDelay(TRunDelay runDelay) { RunDelay_ = std::move(runDelay); }

  // Other trials than the above (tests take short ones, and no warm-up);
  // Restart follows.
  void SetTrial(TClock::duration time, int blocks, int warmUpBlocks = 0);

  // A block of frames, decoded on the pool (onPool) or not, was finished at
  // now. The time since the block finished before it counts for its way
  // when both were decoded the same way (a block decoded otherwise belongs
  // to the change-over, which is timed for neither).
  void Finished(bool onPool, std::uint32_t frames, TClock::time_point now);
  // Whether the next block begun should go to the pool.
  bool UsePool() const { return UsePool_; }
  // Back to the start: the pool first, nothing timed.
  void Restart();

 private:
  enum class TPhase { TryPool, TryAlone, Run, TryOther };
  void Enter(TPhase phase, bool usePool);
  // The time per frame of the blocks timed in this phase.
  double NsPerFrame() const;
  // Whether the threads waited for cores while this phase was timed (or
  // that is not known).
  bool Contended(TClock::time_point now) const;

  TClock::duration TrialTime_ = kTrialTime;
  int TrialBlocks_ = kTrialBlocks;
  int WarmUpBlocks_ = kWarmUpBlocks;
  int WarmUpLeft_ = kWarmUpBlocks;
  TPhase Phase_ = TPhase::TryPool;
  bool UsePool_ = true;
  // The way the block finished last was decoded, and when; none yet.
  bool HaveLast_ = false;
  bool LastOnPool_ = true;
  TClock::time_point Last_{};
  // The time and frames of the blocks timed in this phase, and how many.
  TClock::duration Timed_{};
  std::uint64_t Frames_ = 0;
  int Blocks_ = 0;
  TRunDelay RunDelay_;
  // When the phase's first timed block finished, and the threads' wait then.
  TClock::time_point PhaseStart_{};
  std::optional<std::chrono::nanoseconds> DelayAtStart_;
  // The pool's trial at the start; then the way chosen, in its last run.
  double PoolNsPerFrame_ = 0;
  double ChosenNsPerFrame_ = 0;
};

}  // namespace zorv
