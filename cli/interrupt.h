// SPDX-License-Identifier: GPL-3.0-or-later
// The signals that end a program (HUP, INT, TERM, PIPE, USR1, USR2, QUIT,
// XCPU, XFSZ): noted in a flag that the decoding threads read between blocks,
// so that every output is completed before the program ends, and in a
// self-pipe that wakes a read or write waiting for a stalled pipe.
#pragma once

#include <atomic>

namespace zorv::cli {

struct TStopRequest {
  std::atomic<bool> Stop{false};
  std::atomic<int> Signal{0};  // the first signal that asked for the stop
  static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
};

// A SIGPIPE raised by a write of this program to a pipe whose reader is gone,
// or a SIGXFSZ raised by a write beyond the file size limit, is not a request
// to stop: that write fails (EPIPE, EFBIG) and is handled as a write error.
// Sent by another process, they stop the program like the others.
void InstallInterruptHandlers();
const TStopRequest& InterruptRequest();

}  // namespace zorv::cli
