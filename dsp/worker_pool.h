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
  // Jobs 0 .. Count - 1 of one block, each run once by whichever thread
  // takes it. Posted with Post, completed with Wait; the batch must stay in
  // place in between.
  struct TBatch {
    void (*Run)(void* context, int job) = nullptr;
    void* Context = nullptr;
    int Count = 0;

   private:
    friend class TWorkerPool;
    int Next_ = 0;     // the next job to hand out
    int Pending_ = 0;  // jobs not yet finished
  };

  // One thread per core.
  static unsigned DefaultThreads();

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

  // Hands the batch's jobs to the workers and returns at once. callerHelps:
  // the caller will take jobs itself in Wait (after some other work of its
  // own, perhaps), so it counts as one of the threads: one worker fewer is
  // woken. Workers that are not woken still take jobs left when they finish
  // others.
  void Post(TBatch& batch, bool callerHelps = false);
  // Runs jobs of the batch that no worker has taken yet on the calling
  // thread, then sleeps until the others have finished.
  void Wait(TBatch& batch);

 private:
  void Loop();
  // With Mutex_ held: the next job of the oldest batch with jobs to hand out.
  bool Take(TBatch*& batch, int& job);
  // With Mutex_ held, after a job of batch has run.
  void Finished(TBatch& batch);

  mutable std::mutex Mutex_;
  std::condition_variable WorkPosted_;
  std::condition_variable BatchDone_;
  std::deque<TBatch*> Queue_;  // batches with jobs to hand out
  unsigned Users_ = 0;
  bool Stopping_ = false;
  std::vector<std::thread> Workers_;
};

}  // namespace zorv
