// SPDX-License-Identifier: GPL-3.0-or-later
// The worker pool on its own: every job of every batch runs once, batches of
// several callers at once, the caller's share of the threads.
#include "app/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zorv {
namespace {

// Counts the runs of each job and the threads they ran on.
struct TCountingJobs {
  explicit TCountingJobs(int count) : Runs(static_cast<std::size_t>(count)) {
    Batch.Run = [](void* context, int job) {
      auto& self = *static_cast<TCountingJobs*>(context);
      self.Runs[static_cast<std::size_t>(job)].fetch_add(1);
      if (std::this_thread::get_id() == self.Caller) self.OnCaller.fetch_add(1);
    };
    Batch.Context = this;
    Batch.Count = count;
  }
  std::vector<std::atomic<int>> Runs;
  std::atomic<int> OnCaller{0};
  std::thread::id Caller = std::this_thread::get_id();
  TWorkerPool::TBatch Batch;
};

TEST(WorkerPool, RunsEveryJobOnceAndWaitsForAll) {
  for (unsigned threads : {0u, 1u, 2u, 5u}) {
    TWorkerPool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    for (int count : {1, 2, 7, 64}) {
      TCountingJobs jobs(count);
      pool.Post(jobs.Batch);
      pool.Wait(jobs.Batch);
      for (int j = 0; j < count; ++j) {
        ASSERT_EQ(jobs.Runs[static_cast<std::size_t>(j)].load(), 1)
            << threads << " threads, job " << j << " of " << count;
      }
      // Without workers the caller runs them all.
      if (threads == 0) {
        EXPECT_EQ(jobs.OnCaller.load(), count);
      }
    }
  }
}

TEST(WorkerPool, SeveralCallersPostAtOnce) {
  TWorkerPool pool(3);
  std::atomic<int> wrong{0};
  {
    std::vector<std::jthread> callers;
    for (int c = 0; c < 4; ++c) {
      callers.emplace_back([&] {
        for (int round = 0; round < 200; ++round) {
          TCountingJobs jobs(1 + round % 9);
          pool.Post(jobs.Batch);
          pool.Wait(jobs.Batch);
          for (const std::atomic<int>& runs : jobs.Runs) {
            if (runs.load() != 1) wrong.fetch_add(1);
          }
        }
      });
    }
  }
  EXPECT_EQ(wrong.load(), 0);
}

TEST(WorkerPool, AnEmptyBatchReturnsAtOnce) {
  TWorkerPool pool(2);
  TCountingJobs jobs(0);
  pool.Post(jobs.Batch);
  pool.Wait(jobs.Batch);
  EXPECT_TRUE(jobs.Runs.empty());
}

TEST(WorkerPool, UsersShareTheThreads) {
  TWorkerPool pool(4);
  EXPECT_EQ(pool.Share(), 4u) << "nobody attached yet";
  pool.Attach();
  EXPECT_EQ(pool.Share(), 4u);
  pool.Attach();
  EXPECT_EQ(pool.Share(), 2u);
  pool.Attach();
  EXPECT_EQ(pool.Share(), 1u);
  for (int i = 0; i < 3; ++i) pool.Attach();
  EXPECT_EQ(pool.Share(), 1u) << "never below one";
  for (int i = 0; i < 5; ++i) pool.Detach();
  EXPECT_EQ(pool.Share(), 4u);
  pool.Detach();
  pool.Detach();
  EXPECT_EQ(pool.Share(), 4u) << "more detaches than attaches change nothing";

  TWorkerPool none(0);
  EXPECT_EQ(none.Share(), 1u) << "the caller's own thread";
}

// A batch posted after another: each of its jobs begins only once the job of
// the same number (or, not job by job, every job) of the first has finished,
// whoever runs them, and the first batch may be posted again at once.
TEST(WorkerPool, ABatchPostedAfterAnotherWaitsForItsJobs) {
  struct TStep {
    std::vector<std::atomic<bool>> Done;
    const TStep* Before = nullptr;
    bool JobByJob = true;
    std::atomic<int> Early{0};
    TWorkerPool::TBatch Batch;
    explicit TStep(int count) : Done(static_cast<std::size_t>(count)) {
      Batch.Count = count;
      Batch.Context = this;
      Batch.Run = [](void* context, int job) {
        auto& self = *static_cast<TStep*>(context);
        if (self.Before != nullptr) {
          for (std::size_t j = 0; j < self.Before->Done.size(); ++j) {
            const bool needed = !self.JobByJob || j == static_cast<std::size_t>(job);
            if (needed && !self.Before->Done[j].load()) self.Early.fetch_add(1);
          }
        }
        // Long enough for the other threads to try the next batch meanwhile.
        std::this_thread::sleep_for(std::chrono::microseconds(200 + 50 * job));
        self.Done[static_cast<std::size_t>(job)].store(true);
      };
    }
  };
  for (unsigned threads : {1u, 2u, 5u}) {
    for (bool jobByJob : {true, false}) {
      TWorkerPool pool(threads);
      std::vector<std::unique_ptr<TStep>> steps;
      for (int k = 0; k < 6; ++k) steps.push_back(std::make_unique<TStep>(4));
      pool.Post(steps[0]->Batch);
      for (int k = 1; k < 6; ++k) {
        steps[k]->Before = steps[k - 1].get();
        steps[k]->JobByJob = jobByJob;
        pool.PostAfter(steps[k]->Batch, steps[k - 1]->Batch, jobByJob);
        // Finished in order, as a decoder finishes its blocks, each batch
        // while the next is still in flight.
        pool.Wait(steps[k - 1]->Batch);
      }
      pool.Wait(steps[5]->Batch);
      for (const auto& step : steps) {
        EXPECT_EQ(step->Early.load(), 0) << threads << " threads, job by job " << jobByJob;
        for (const std::atomic<bool>& done : step->Done) EXPECT_TRUE(done.load());
      }
    }
  }
}

// The stages of blocks: a staged batch's second job begins only once its
// first has finished and the second job of the batch before it has; the
// first job of the next batch need not wait for the second of this one.
// Help with a limit runs no job beyond it.
TEST(WorkerPool, AStagedBatchRunsEachStageAfterTheOneBefore) {
  struct TBlock {
    std::atomic<bool> Done[2] = {false, false};
    const TBlock* Before = nullptr;
    std::atomic<int> Early{0};
    TWorkerPool::TBatch Batch;
    TBlock() {
      Batch.Count = 2;
      Batch.Staged = true;
      Batch.Context = this;
      Batch.Run = [](void* context, int job) {
        auto& self = *static_cast<TBlock*>(context);
        if (job == 1 && !self.Done[0].load()) self.Early.fetch_add(1);
        if (self.Before != nullptr && !self.Before->Done[job].load()) self.Early.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(job == 0 ? 100 : 300));
        self.Done[job].store(true);
      };
    }
  };
  for (unsigned threads : {0u, 1u, 2u}) {
    SCOPED_TRACE(std::to_string(threads) + " workers");
    TWorkerPool pool(threads);
    std::vector<std::unique_ptr<TBlock>> blocks;
    for (int k = 0; k < 8; ++k) blocks.push_back(std::make_unique<TBlock>());
    for (int k = 0; k < 8; ++k) {
      TBlock& block = *blocks[static_cast<std::size_t>(k)];
      if (k == 0) {
        pool.Post(block.Batch, true);
      } else {
        block.Before = blocks[static_cast<std::size_t>(k - 1)].get();
        pool.PostAfter(block.Batch, blocks[static_cast<std::size_t>(k - 1)]->Batch, true);
      }
      // The first stage on this thread, as a pipeline runs it.
      pool.Help(block.Batch, 1);
      if (threads == 0) {
        EXPECT_TRUE(block.Done[0].load()) << "the first stage is ready: the one before has run";
        EXPECT_FALSE(block.Done[1].load()) << "beyond the limit";
      }
      // Two blocks in flight, the older one finished.
      if (k >= 1) pool.Wait(blocks[static_cast<std::size_t>(k - 1)]->Batch);
    }
    pool.Wait(blocks.back()->Batch);
    for (const auto& block : blocks) {
      EXPECT_EQ(block->Early.load(), 0);
      EXPECT_TRUE(block->Done[0].load() && block->Done[1].load());
    }
  }
}

}  // namespace
}  // namespace zorv
