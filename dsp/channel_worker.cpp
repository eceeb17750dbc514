#include "dsp/channel_worker.h"

namespace zorv {

TChannelWorker::TChannelWorker() : Thread_([this] { Loop(); }) {}

TChannelWorker::~TChannelWorker() {
  Wait();
  State_.store(kStop, std::memory_order_release);
  State_.notify_all();
  Thread_.join();
}

void TChannelWorker::Post(TJob job, void* context) {
  Job_ = job;
  Context_ = context;
  State_.store(kPosted, std::memory_order_release);
  State_.notify_all();
}

void TChannelWorker::Wait() {
  // The other channel takes about as long as this thread's own: waiting
  // awake usually sees it finish without a trip through the kernel.
  for (int spin = 0; spin < kStayAwakeSpins; ++spin) {
    if (State_.load(std::memory_order_acquire) == kIdle) return;
    __builtin_ia32_pause();
  }
  for (int state = State_.load(std::memory_order_acquire); state != kIdle;
       state = State_.load(std::memory_order_acquire)) {
    State_.wait(state, std::memory_order_acquire);
  }
}

void TChannelWorker::Loop() {
  for (;;) {
    // The next block usually follows within microseconds: waiting for it
    // awake saves the trip through the kernel that wakes a sleeping thread.
    for (int spin = 0; spin < kStayAwakeSpins && State_.load(std::memory_order_acquire) == kIdle;
         ++spin) {
      __builtin_ia32_pause();
    }
    State_.wait(kIdle, std::memory_order_acquire);
    const int state = State_.load(std::memory_order_acquire);
    if (state == kStop) return;
    if (state == kPosted) {
      Job_(Context_);
      State_.store(kIdle, std::memory_order_release);
      State_.notify_all();
    }
  }
}

}  // namespace zorv
