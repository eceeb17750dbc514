// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "wav/io_stop.h"

namespace zorv::cli {
namespace {

TStopRequest Request;
// The self-pipe: the handler writes a byte to it, and a read or write that
// waits for a pipe waits for this one too (see wav/io_stop.h).
int WakePipe[2] = {-1, -1};

extern "C" void OnSignal(int signal, siginfo_t* info, void*) {
  // The kernel sends the SIGPIPE of a write to a pipe without a reader, and
  // the SIGXFSZ of a write beyond the file size limit, in the writer's own
  // name; that write fails, and the failure is handled where it happens.
  if ((signal == SIGPIPE || signal == SIGXFSZ) && info != nullptr && info->si_code == SI_USER &&
      info->si_pid == ::getpid()) {
    return;
  }
  int none = 0;
  Request.Signal.compare_exchange_strong(none, signal);
  Request.Stop.store(true);
  if (WakePipe[1] >= 0) {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: once the pipe holds a byte, more change nothing.
    [[maybe_unused]] const ssize_t put = ::write(WakePipe[1], &byte, 1);
    errno = saved;
  }
}

}  // namespace

void InstallInterruptHandlers() {
  if (WakePipe[0] < 0 && ::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    WakePipe[0] = WakePipe[1] = -1;
  }
  SetIoStop(&Request.Stop, WakePipe[0]);
  struct sigaction action {};
  action.sa_sigaction = OnSignal;
  sigemptyset(&action.sa_mask);
  // File reads and writes, and the standard streams' writes, go on after
  // the handler instead of failing; what waits for a pipe waits for the
  // self-pipe as well, and so ends at once.
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  sigset_t handled;
  sigemptyset(&handled);
  for (const int signal :
       {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGUSR1, SIGUSR2, SIGQUIT, SIGXCPU, SIGXFSZ}) {
    sigaction(signal, &action, nullptr);
    sigaddset(&handled, signal);
  }
  // A mask inherited from the parent would hold them back for ever; one that
  // came before this point is delivered now.
  pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

const TStopRequest& InterruptRequest() {
  return Request;
}

}  // namespace zorv::cli
