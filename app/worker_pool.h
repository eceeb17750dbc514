// SPDX-License-Identifier: GPL-3.0-or-later
// Worker threads that decode the channels of blocks: one pool serves every
// decoder that is given it, so files decoded in parallel and the channels of
// each file share the same threads. Idle workers sleep; nothing waits awake.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zorv {

class TWorkerPool {
 public:
  // The most jobs a batch has.
  static constexpr int kMaxJobs = 64;

  // Jobs 0 .. Count - 1 (at most kMaxJobs) of one block, each run once by
  // whichever thread takes it. Posted with Post, completed with Wait; the
  // batch must stay in place in between (it cannot be copied or moved).
  struct TBatch {
    void (*Run)(void* context, int job) = nullptr;
    void* Context = nullptr;
    int Count = 0;
    // The jobs are the stages of one block: job j begins once job j - 1
    // has finished (and, as for every batch, once the batch it follows lets
    // it).
    bool Staged = false;

   private:
    friend class TWorkerPool;
    int Next_ = 0;     // the next job to hand out
    int Pending_ = 0;  // jobs not yet finished
    // The batch this one follows (while that has jobs unfinished): job j
    // waits for its job j (JobByJob_), or for all of them.
    TBatch* After_ = nullptr;
    bool JobByJob_ = false;
    std::uint64_t Done_ = 0;  // a bit per finished job
    // Its waiter sleeps on this, woken only for this batch: by its last job
    // (or, in a pool without workers, by a job it may now run itself).
    std::condition_variable Woken_;
  };

  // One thread per core.
  static unsigned DefaultThreads();
  // Workers for one caller that takes its blocks' jobs itself while it
  // waits: a core each, less the caller's. A worker more would only take
  // turns with the caller on a core and leave the others waiting for it.
  static unsigned HelpedThreads();

  explicit TWorkerPool(unsigned threads = DefaultThreads());
  // Lets the workers finish what is posted, then joins them.
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  unsigned Threads() const { return static_cast<unsigned>(Workers_.size()); }

  // Decoders announce themselves while they use the pool, so that each can
  // tell how many workers it may count on: Threads() / users, at least 1.
  void Attach();
  void Detach();
  unsigned Share() const;
  unsigned Users() const;

  // Hands the batch's jobs to the workers and returns at once. callerHelps:
  // the caller will take jobs itself in Wait (after some other work of its
  // own, perhaps), so it counts as one of the threads: one worker fewer is
  // woken. Workers that are not woken still take jobs left when they finish
  // others.
  void Post(TBatch& batch, bool callerHelps = false);
  // Posts a batch that follows another one posted before (the next block of
  // the same channels): job j of batch begins once job j of after has
  // finished (jobByJob: the two share out the channels alike), or once all
  // of after's jobs have. Returns at once; workers are woken for the jobs.
  void PostAfter(TBatch& batch, TBatch& after, bool jobByJob);
  // Runs jobs of the batch that may begin and no worker has taken yet on
  // the calling thread, then sleeps until the others have finished. The
  // sleep is not broken by other batches, nor by jobs of this one becoming
  // ready, which the workers take (a pool without workers leaves them to
  // the caller). A batch whose jobs have all finished returns at once.
  void Wait(TBatch& batch);
  // Runs, on the caller's thread, the jobs of a posted batch that are ready
  // and not taken yet (those below jobs, at most); does not wait. True when
  // it ran any.
  bool Help(TBatch& batch, int jobs = kMaxJobs);
  // Whether every job of a posted batch has finished; does not wait.
  bool Done(const TBatch& batch) const;

 private:
  void Loop();
  void Enqueue(TBatch& batch, TBatch* after, bool jobByJob, int wake);
  // With Mutex_ held: whether the batch's job may begin, and whether its
  // next job may.
  static bool JobReady(const TBatch& batch, int job);
  static bool NextReady(const TBatch& batch) { return JobReady(batch, batch.Next_); }
  // With Mutex_ held: how many of the batch's jobs, in the order they are
  // handed out, may begin now (a worker is woken for each, no more).
  static int ReadyJobs(const TBatch& batch);
  // With Mutex_ held: the next job of the oldest batch with jobs to hand out
  // that may begin.
  bool Take(TBatch*& batch, int& job);
  // With Mutex_ held, after job of batch has run. takesNext: the thread
  // goes on to take a job itself, so one job it makes ready needs no wakeup.
  void Finished(TBatch& batch, int job, bool takesNext);
  // Runs batch's ready, untaken jobs (below jobs) with the lock held around
  // each.
  bool RunReady(TBatch& batch, std::unique_lock<std::mutex>& lock, int jobs = kMaxJobs);

  mutable std::mutex Mutex_;
  std::condition_variable WorkPosted_;
  std::deque<TBatch*> Queue_;  // batches with jobs to hand out
  unsigned Users_ = 0;
  bool Stopping_ = false;
  std::vector<std::thread> Workers_;
};

}  // namespace zorv
