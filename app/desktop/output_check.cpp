// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/output_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zorv {
namespace {

int OpenRetrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string Reason(int error) {
  return std::strerror(error);
}

}  // namespace

std::string CreateProblem(const std::string& path) {
  if (path.empty()) return Reason(ENOENT);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Reason(EISDIR);
  constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = OpenRetrying(path.c_str(), kFlags);
  if (fd >= 0) {
    ::close(fd);
    return {};
  }
  if (errno != ENOENT) return Reason(errno);
  // Only a name that nothing holds yet is tried, and only that trial file is
  // removed again.
  fd = OpenRetrying(path.c_str(), kFlags | O_CREAT | O_EXCL);
  if (fd < 0) return Reason(errno);
  ::close(fd);
  ::unlink(path.c_str());
  return {};
}

}  // namespace zorv
