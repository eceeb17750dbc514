// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/worker_pool.h"

#include <algorithm>

namespace zorv {

unsigned TWorkerPool::DefaultThreads() {
  return std::max(1u, std::thread::hardware_concurrency());
}

unsigned TWorkerPool::HelpedThreads() {
  return std::max(1u, DefaultThreads() - 1);
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

unsigned TWorkerPool::Users() const {
  const std::lock_guard lock(Mutex_);
  return Users_;
}

void TWorkerPool::Post(TBatch& batch, bool callerHelps) {
  // As many workers as there are jobs and cores for them: a caller that
  // helps takes a core of its own, and one thread more awake than cores
  // would only take turns with those that have work.
  const int threads = static_cast<int>(Workers_.size());
  const int wake =
      callerHelps ? std::min(batch.Count - 1, threads - 1) : std::min(batch.Count, threads);
  Enqueue(batch, nullptr, false, wake);
}

void TWorkerPool::PostAfter(TBatch& batch, TBatch& after, bool jobByJob) {
  // Jobs that wait for jobs still running wake nobody: the workers that
  // finish those take them.
  Enqueue(batch, &after, jobByJob, static_cast<int>(Workers_.size()));
}

void TWorkerPool::Enqueue(TBatch& batch, TBatch* after, bool jobByJob, int wake) {
  batch.Next_ = 0;
  batch.Pending_ = batch.Count;
  batch.Done_ = 0;
  batch.After_ = nullptr;
  batch.JobByJob_ = false;
  if (batch.Count <= 0) return;
  {
    const std::lock_guard lock(Mutex_);
    // A batch finished already is no longer waited for.
    if (after != nullptr && after->Pending_ > 0) {
      batch.After_ = after;
      batch.JobByJob_ = jobByJob && after->Count == batch.Count;
    }
    Queue_.push_back(&batch);
    wake = std::min(wake, ReadyJobs(batch));
  }
  for (int w = 0; w < wake; ++w) WorkPosted_.notify_one();
}

bool TWorkerPool::JobReady(const TBatch& batch, int job) {
  if (job >= batch.Count) return false;
  if (batch.Staged && job > 0 && (batch.Done_ >> (job - 1) & 1) == 0) return false;
  if (batch.After_ == nullptr) return true;
  return batch.JobByJob_ && (batch.After_->Done_ >> job & 1) != 0;
}

int TWorkerPool::ReadyJobs(const TBatch& batch) {
  if (batch.After_ == nullptr && !batch.Staged) return batch.Count - batch.Next_;
  int job = batch.Next_;
  // Of a staged batch, only the next job can be ready: the one after it
  // waits for it.
  while (JobReady(batch, job) && (job == batch.Next_ || !batch.Staged)) ++job;
  return job - batch.Next_;
}

bool TWorkerPool::Take(TBatch*& batch, int& job) {
  for (auto it = Queue_.begin(); it != Queue_.end(); ++it) {
    TBatch* candidate = *it;
    if (!NextReady(*candidate)) continue;
    batch = candidate;
    job = batch->Next_++;
    if (batch->Next_ == batch->Count) Queue_.erase(it);
    return true;
  }
  return false;
}

void TWorkerPool::Finished(TBatch& batch, int job, bool takesNext) {
  // Jobs made ready now: of the batches that follow this one, and of this
  // one when it is staged.
  int ready = batch.Staged ? -ReadyJobs(batch) : 0;
  for (TBatch* queued : Queue_) {
    if (queued->After_ == &batch) ready -= ReadyJobs(*queued);
  }
  batch.Done_ |= std::uint64_t{1} << job;
  if (batch.Staged) {
    const int now = ReadyJobs(batch);
    // Without workers, only the batch's own waiter can run its next stage.
    if (Workers_.empty() && now > 0) batch.Woken_.notify_all();
    ready += now;
  }
  for (TBatch* queued : Queue_) {
    if (queued->After_ != &batch) continue;
    // Once this batch is done nothing waits for it: it may go, and be used
    // again, as soon as its waiter returns.
    if (batch.Pending_ == 1) queued->After_ = nullptr;
    const int now = ReadyJobs(*queued);
    // Without workers, only the follower's waiter can run what is ready.
    if (Workers_.empty() && now > 0) queued->Woken_.notify_all();
    ready += now;
  }
  for (int w = takesNext ? 1 : 0; w < ready; ++w) WorkPosted_.notify_one();
  // The waiter may return, and the batch go, as soon as the lock is let go.
  if (--batch.Pending_ == 0) batch.Woken_.notify_all();
}

bool TWorkerPool::Done(const TBatch& batch) const {
  const std::lock_guard lock(Mutex_);
  return batch.Pending_ == 0;
}

bool TWorkerPool::RunReady(TBatch& batch, std::unique_lock<std::mutex>& lock, int jobs) {
  bool ran = false;
  // Only this batch's jobs: the caller has its own block to finish.
  while (batch.Next_ < std::min(batch.Count, jobs) && NextReady(batch)) {
    const int job = batch.Next_++;
    if (batch.Next_ == batch.Count) std::erase(Queue_, &batch);
    lock.unlock();
    batch.Run(batch.Context, job);
    lock.lock();
    Finished(batch, job, false);
    ran = true;
  }
  return ran;
}

bool TWorkerPool::Help(TBatch& batch, int jobs) {
  std::unique_lock lock(Mutex_);
  return RunReady(batch, lock, jobs);
}

void TWorkerPool::Wait(TBatch& batch) {
  std::unique_lock lock(Mutex_);
  for (;;) {
    RunReady(batch, lock);
    if (batch.Pending_ == 0) return;
    batch.Woken_.wait(lock);
  }
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
    Finished(*batch, job, true);
  }
}

}  // namespace zorv
