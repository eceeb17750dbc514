#include "dsp/worker_pool.h"

#include <algorithm>

namespace zorv {

unsigned TWorkerPool::DefaultThreads() {
  return std::max(1u, std::thread::hardware_concurrency());
}

TWorkerPool::TWorkerPool(unsigned threads) {
  Workers_.reserve(threads);
  for (unsigned t = 0; t < threads; ++t) Workers_.emplace_back([this] { Loop(); });
}

TWorkerPool::~TWorkerPool() {
  {
    const std::lock_guard lock(Mutex_);
    Stopping_ = true;
  }
  WorkPosted_.notify_all();
  for (std::thread& worker : Workers_) worker.join();
}

void TWorkerPool::Attach() {
  const std::lock_guard lock(Mutex_);
  ++Users_;
}

void TWorkerPool::Detach() {
  const std::lock_guard lock(Mutex_);
  if (Users_ > 0) --Users_;
}

unsigned TWorkerPool::Share() const {
  const std::lock_guard lock(Mutex_);
  const unsigned threads = static_cast<unsigned>(Workers_.size());
  return std::max(1u, Users_ > 1 ? threads / Users_ : threads);
}

void TWorkerPool::Post(TBatch& batch, bool callerHelps) {
  batch.Next_ = 0;
  batch.Pending_ = batch.Count;
  if (batch.Count <= 0) return;
  {
    const std::lock_guard lock(Mutex_);
    Queue_.push_back(&batch);
  }
  // As many workers as there are jobs and cores for them: a caller that
  // helps takes a core of its own, and one thread more awake than cores
  // would only take turns with those that have work.
  const int threads = static_cast<int>(Workers_.size());
  const int wake =
      callerHelps ? std::min(batch.Count - 1, threads - 1) : std::min(batch.Count, threads);
  for (int w = 0; w < wake; ++w) WorkPosted_.notify_one();
}

bool TWorkerPool::Take(TBatch*& batch, int& job) {
  if (Queue_.empty()) return false;
  batch = Queue_.front();
  job = batch->Next_++;
  if (batch->Next_ == batch->Count) Queue_.pop_front();
  return true;
}

void TWorkerPool::Finished(TBatch& batch) {
  // The waiter may return, and the batch go, as soon as the lock is let go.
  if (--batch.Pending_ == 0) BatchDone_.notify_all();
}

void TWorkerPool::Wait(TBatch& batch) {
  std::unique_lock lock(Mutex_);
  while (batch.Next_ < batch.Count) {
    // Only this batch's jobs: the caller has its own block to finish.
    const int job = batch.Next_++;
    if (batch.Next_ == batch.Count) std::erase(Queue_, &batch);
    lock.unlock();
    batch.Run(batch.Context, job);
    lock.lock();
    Finished(batch);
  }
  BatchDone_.wait(lock, [&] { return batch.Pending_ == 0; });
}

void TWorkerPool::Loop() {
  std::unique_lock lock(Mutex_);
  for (;;) {
    TBatch* batch = nullptr;
    int job = 0;
    WorkPosted_.wait(lock, [&] { return Take(batch, job) || Stopping_; });
    if (batch == nullptr) return;  // stopping, and nothing left to hand out
    lock.unlock();
    batch->Run(batch->Context, job);
    lock.lock();
    Finished(*batch);
  }
}

}  // namespace zorv
