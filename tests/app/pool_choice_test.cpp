// SPDX-License-Identifier: GPL-3.0-or-later
// The choice between the worker pool and the run's own thread follows the
// times measured: it keeps to the faster way, tries the other again after a
// run, goes back when the load changes, and times no block of a change-over.
#include "app/pool_choice.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "app/run_delay.h"

namespace zorv {
namespace {

using namespace std::chrono_literals;
using TClock = TPoolChoice::TClock;

constexpr std::uint32_t kFrames = 4410;

// Feeds blocks as a pipeline would: each block goes the way the choice says
// and takes the time of that way; records the ways taken.
class TRun {
 public:
  explicit TRun(TPoolChoice& choice, TClock::time_point start = {})
      : Choice_(choice), Now_(start) {}
  // Blocks until count more are finished, the pool's and the lone thread's
  // taking these times.
  void Blocks(int count, TClock::duration pool, TClock::duration alone) {
    for (int b = 0; b < count; ++b) {
      const bool onPool = Choice_.UsePool();
      Now_ += onPool ? pool : alone;
      Choice_.Finished(onPool, kFrames, Now_);
      Ways.push_back(onPool);
    }
  }
  // Of the last count blocks, how many went to the pool.
  int OnPool(int count) const {
    int n = 0;
    for (auto it = Ways.end() - count; it != Ways.end(); ++it) n += *it ? 1 : 0;
    return n;
  }
  std::vector<bool> Ways;

 private:
  TPoolChoice& Choice_;
  TClock::time_point Now_{};
};

TEST(PoolChoice, KeepsToTheFasterWayAndTriesTheOtherNowAndThen) {
  TPoolChoice choice;
  TRun run(choice);
  EXPECT_TRUE(choice.UsePool()) << "the pool first";
  // The pool twice as fast: after its trial and the lone thread's, the pool
  // for at least ten trials' time, then a trial alone, then the pool again.
  run.Blocks(400, 2ms, 4ms);
  EXPECT_GE(run.OnPool(100), 100 - TPoolChoice::kTrialBlocks - 2);
  EXPECT_LT(run.OnPool(400), 400) << "the lone thread is tried again";
  EXPECT_GT(run.OnPool(400), 300);
}

TEST(PoolChoice, LeavesAPoolSlowerThanOneThreadAndComesBackWhenTheLoadGoes) {
  TPoolChoice choice;
  TRun run(choice);
  // A loaded machine: the pool slower than one thread.
  run.Blocks(400, 5ms, 4ms);
  // A trial of the pool (9 blocks with the change-over) after each run of
  // the lone thread (kRunTrials trials' time and blocks).
  EXPECT_LE(run.OnPool(300), 4 * (TPoolChoice::kTrialBlocks + 1))
      << "only its trials go to the pool";
  EXPECT_GT(run.OnPool(300), 0) << "the pool is tried again";
  // The load gone: the pool is faster again and is taken at its next trial;
  // the lone thread then has a trial (9 blocks) once every run of the pool.
  run.Blocks(400, 2ms, 4ms);
  EXPECT_GE(run.OnPool(200), 200 - 2 * (TPoolChoice::kTrialBlocks + 1));
}

TEST(PoolChoice, TimesNoBlockOfAChangeOver) {
  TPoolChoice choice;
  choice.SetTrial(10ms, 2);
  TClock::time_point now{};
  // Pool blocks of 1 ms, then lone blocks of 0.8 ms behind a pool block
  // that took 1000 ms (begun before the change): had the first lone block,
  // which follows it, been timed, the lone thread would lose its trial.
  for (int b = 0; b < 11; ++b) choice.Finished(true, kFrames, now += 1ms);
  ASSERT_FALSE(choice.UsePool()) << "the pool's trial is over";
  choice.Finished(true, kFrames, now += 1000ms);
  for (int b = 0; b < 20; ++b) choice.Finished(false, kFrames, now += 800us);
  EXPECT_FALSE(choice.UsePool()) << "the faster lone thread is kept";
  // Blocks of a way the choice has not asked for (begun before it changed)
  // count for neither.
  TPoolChoice other;
  other.SetTrial(1ms, 1);
  now = {};
  for (int b = 0; b < 50; ++b) other.Finished(false, kFrames, now += 1ms);
  EXPECT_TRUE(other.UsePool());
}

// A new run restarts the choice: the time since the last run's blocks (a
// pause in the window, say) is no block's.
TEST(PoolChoice, ARestartTimesNothingFromBefore) {
  TPoolChoice choice;
  choice.SetTrial(10ms, 2);
  TClock::time_point now{};
  for (int b = 0; b < 5; ++b) choice.Finished(true, kFrames, now += 1ms);
  choice.Restart();
  choice.Finished(true, kFrames, now += 1000ms);
  for (int b = 0; b < 10; ++b) choice.Finished(true, kFrames, now += 1ms);
  ASSERT_FALSE(choice.UsePool()) << "the pool's trial is over";
  for (int b = 0; b < 8; ++b) choice.Finished(false, kFrames, now += 1500us);
  EXPECT_TRUE(choice.UsePool()) << "the pool, 1 ms a block against 1.5 ms, is chosen";
}

// A run's first blocks fill the pipeline and start the workers: slow ones
// there do not make the pool lose to the lone thread, which is faster only
// than that start.
TEST(PoolChoice, TheFirstBlocksOfARunAreNotTimed) {
  TPoolChoice choice;
  TClock::time_point now{};
  for (int b = 0; b < TPoolChoice::kWarmUpBlocks; ++b) {
    choice.Finished(true, kFrames, now += 50ms);
  }
  TRun run(choice, now);
  run.Blocks(100, 2ms, 3ms);
  EXPECT_GE(run.OnPool(60), 60) << "the pool, 2 ms a block against 3 ms, is kept";
  // Without the warm-up, the same start loses the pool its first trial.
  TPoolChoice unwarmed;
  unwarmed.SetTrial(TPoolChoice::kTrialTime, TPoolChoice::kTrialBlocks, 0);
  now = {};
  for (int b = 0; b < TPoolChoice::kWarmUpBlocks; ++b) {
    unwarmed.Finished(true, kFrames, now += 50ms);
  }
  TRun cold(unwarmed, now);
  cold.Blocks(100, 2ms, 3ms);
  EXPECT_EQ(cold.OnPool(60), 0);
}

// Told how long its threads waited for cores, the choice keeps a pool that
// did not wait without a trial alone at the start, and tries the lone
// thread first when the threads waited, or when the wait is unknown. The
// trials after each run of the pool stay.
TEST(PoolChoice, AnIdleMachineKeepsThePoolWithoutATrialAloneAtTheStart) {
  // The threads wait this share of the time that passes.
  const auto choiceWaiting = [](double share, TClock::time_point& now) {
    auto choice = std::make_unique<TPoolChoice>();
    choice->SetRunDelay([share, &now]() -> std::optional<std::chrono::nanoseconds> {
      return std::chrono::nanoseconds(static_cast<long long>(
          share * static_cast<double>(now.time_since_epoch() / std::chrono::nanoseconds(1))));
    });
    choice->SetTrial(TPoolChoice::kTrialTime, TPoolChoice::kTrialBlocks, 0);
    return choice;
  };
  const auto firstAlone = [](TPoolChoice& choice, TClock::time_point& now) {
    for (int b = 0; b < 40; ++b) {
      const bool onPool = choice.UsePool();
      choice.Finished(onPool, kFrames, now += 2ms);
      if (!onPool) return b;
    }
    return -1;
  };
  TClock::time_point now{};
  auto idle = choiceWaiting(0.05, now);
  EXPECT_EQ(firstAlone(*idle, now), -1) << "the pool kept";
  // A run of the pool later, the lone thread is tried all the same.
  TRun run(*idle, now);
  run.Blocks(400, 2ms, 4ms);
  EXPECT_LT(run.OnPool(400), 400);

  now = {};
  auto busy = choiceWaiting(0.5, now);
  const int alone = firstAlone(*busy, now);
  // Right after the pool's trial: its time in 2 ms blocks, behind a first
  // block that is not timed.
  EXPECT_EQ(alone, static_cast<int>(TPoolChoice::kTrialTime / 2ms) + 1);

  now = {};
  TPoolChoice unknown;
  unknown.SetRunDelay([] { return std::optional<std::chrono::nanoseconds>(); });
  unknown.SetTrial(TPoolChoice::kTrialTime, TPoolChoice::kTrialBlocks, 0);
  EXPECT_GE(firstAlone(unknown, now), 0) << "the lone thread tried";
}

// The system's count of the time this process's threads waited for a core:
// known here (Linux), and never less on a later reading.
TEST(PoolChoice, TheProcessRunDelayIsKnownAndOnlyGrows) {
  const std::optional<std::chrono::nanoseconds> first = ProcessRunDelay();
  ASSERT_TRUE(first.has_value());
  EXPECT_GE(first->count(), 0);
  volatile double sink = 0;
  for (int i = 0; i < 1000000; ++i) sink = sink + 1e-9 * i;
  const std::optional<std::chrono::nanoseconds> second = ProcessRunDelay();
  ASSERT_TRUE(second.has_value());
  EXPECT_GE(second->count(), first->count());
}

}  // namespace
}  // namespace zorv
