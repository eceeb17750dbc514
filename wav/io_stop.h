// SPDX-License-Identifier: GPL-3.0-or-later
// A request to stop, for the whole process: a program's signal handler raises
// it. The reader's chunk walk and the writer's chunk copy look at it between
// chunks, and the stream sources and sinks wait on their pipe and on it at
// once, so that a stalled pipe holds nothing up.
#pragma once

#include <atomic>

namespace zorv {

// flag: set when a stop is asked for; wakeFd: a descriptor that becomes
// readable then (the read end of a pipe the handler writes to), -1 for none.
// Null and -1 take the request away (tests).
void SetIoStop(const std::atomic<bool>* flag, int wakeFd);
bool IoStopRequested();
// -1 when there is none.
int IoStopDescriptor();

}  // namespace zorv

namespace zorv {

// Waits until fd is ready for events (POLLIN, POLLOUT), or has hung up or
// failed, so that the call that follows does not block; false when the stop
// request came first. Without a stop descriptor it returns at once.
bool AwaitDescriptor(int fd, short events);

}  // namespace zorv
