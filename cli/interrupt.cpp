#include "cli/interrupt.h"

#include <signal.h>

namespace zorv::cli {
namespace {

std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) {
  Interrupted.store(true);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // File reads and writes go on after the handler instead of failing.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<bool>& InterruptFlag() {
  return Interrupted;
}

}  // namespace zorv::cli
