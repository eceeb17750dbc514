// A thread of its own that decodes one channel of a block while the calling
// thread decodes the other: one job at a time, handed over without locks.
#pragma once

#include <atomic>
#include <thread>

namespace zorv {

class TChannelWorker {
 public:
  using TJob = void (*)(void* context);

  TChannelWorker();
  ~TChannelWorker();
  TChannelWorker(const TChannelWorker&) = delete;
  TChannelWorker& operator=(const TChannelWorker&) = delete;

  // Starts job(context) on the worker; the worker must be idle.
  void Post(TJob job, void* context);
  // Returns once the posted job has finished.
  void Wait();

 private:
  enum : int { kIdle, kPosted, kStop };
  // How long a thread waits awake (the worker for the next job, the caller
  // for the job's end) before it sleeps: this many pauses of the processor,
  // some hundreds of microseconds.
  static constexpr int kStayAwakeSpins = 20000;
  void Loop();

  TJob Job_ = nullptr;
  void* Context_ = nullptr;
  std::atomic<int> State_{kIdle};
  std::thread Thread_;
};

}  // namespace zorv
