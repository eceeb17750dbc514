// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/io_stop.h"

#include <poll.h>

#include <cerrno>

namespace zorv {
namespace {

std::atomic<const std::atomic<bool>*> Flag{nullptr};
std::atomic<int> WakeFd{-1};

}  // namespace

void SetIoStop(const std::atomic<bool>* flag, int wakeFd) {
  Flag.store(flag);
  WakeFd.store(wakeFd);
}

bool IoStopRequested() {
  const std::atomic<bool>* flag = Flag.load();
  return flag != nullptr && flag->load();
}

int IoStopDescriptor() {
  return WakeFd.load();
}

bool AwaitDescriptor(int fd, short events) {
  const int wake = WakeFd.load();
  if (wake < 0) return true;
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;  // the wake descriptor tells
    // A poll that fails leaves the decision to the call that follows.
    if (ready < 0 || fds[0].revents != 0) return true;
    if (fds[1].revents != 0) return false;
  }
}

}  // namespace zorv
