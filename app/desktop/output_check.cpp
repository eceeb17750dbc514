// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zorv {
namespace {

int OpenRetrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool CanCreateOutput(const std::string& path) {
  if (path.empty()) return false;
  constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = OpenRetrying(path.c_str(), kFlags);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != ENOENT) return false;
  // Only a name that nothing holds yet is tried, and only that trial file is
  // removed again.
  fd = OpenRetrying(path.c_str(), kFlags | O_CREAT | O_EXCL);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(path.c_str());
  return true;
}

}  // namespace zorv
