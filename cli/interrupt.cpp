// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace zorv::cli {
namespace {

TStopRequest Request;

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
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_sigaction = OnSignal;
  sigemptyset(&action.sa_mask);
  // File reads and writes go on after the handler instead of failing.
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
