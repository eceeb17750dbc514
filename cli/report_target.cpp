// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/report_target.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "app/messages.h"
#include "cli/decode_job.h"
#include "cli/error_line.h"
#include "cli/options.h"
#include "wav/io_stop.h"

namespace zorv::cli {

std::optional<int> ReportDescriptor(const std::string& name) {
  if (name == kStandardStream || name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(folder)) continue;
    const char* first = name.data() + folder.size();
    const char* last = name.data() + name.size();
    int fd = -1;
    const auto [end, error] = std::from_chars(first, last, fd);
    if (error == std::errc() && end == last && first != last && fd >= 0) return fd;
  }
  return std::nullopt;
}

bool WritesToStandardOutput(const std::string& name) {
  const std::optional<int> fd = ReportDescriptor(name);
  if (fd == STDOUT_FILENO) return true;
  struct stat out {};
  struct stat target {};
  if (::fstat(STDOUT_FILENO, &out) != 0 || S_ISCHR(out.st_mode)) return false;
  const int found = fd ? ::fstat(*fd, &target) : ::stat(name.c_str(), &target);
  return found == 0 && target.st_dev == out.st_dev && target.st_ino == out.st_ino;
}

bool IsStreamTarget(const std::string& name) {
  if (ReportDescriptor(name)) return true;
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 &&
         (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

namespace {

// How often the opening of a named pipe looks for its reader.
constexpr int kReaderPollMs = 20;

// Opens a device, pipe or socket by name for writing. A named pipe waits
// for its reader, as it would in a plain open, but gives up (EINTR) once a
// stop is requested (wav/io_stop.h): without O_NONBLOCK the open would wait
// for ever, deaf to signals.
int OpenForWriting(const std::string& name) {
  for (;;) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
      // Writes wait, as they would on any descriptor (see TFdStream).
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
      return fd;
    }
    if (errno == EINTR) continue;
    // ENXIO: a named pipe without a reader yet; a socket gives it too, and
    // has none to wait for.
    const int error = errno;
    struct stat info {};
    if (error != ENXIO || ::stat(name.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
      errno = error;
      return -1;
    }
    // Without a stop descriptor (-1, which poll passes over) it only waits.
    pollfd stop = {IoStopDescriptor(), POLLIN, 0};
    if (IoStopRequested() || ::poll(&stop, 1, kReaderPollMs) > 0) {
      errno = EINTR;
      return -1;
    }
  }
}

}  // namespace

TReportTarget::~TReportTarget() {
  Stream_.reset();
  if (OwnFd_ >= 0) ::close(OwnFd_);
}

std::optional<std::string> TReportTarget::Open(const std::string& name) {
  Name_ = name;
  if (const std::optional<int> fd = ReportDescriptor(name)) {
    if (::fcntl(*fd, F_GETFD) < 0) {
      return ErrorLine(messages::kCannotOpen, name, std::strerror(errno));
    }
    Stream_ = std::make_unique<TFdStream>(*fd);
    return std::nullopt;
  }
  if (IsStreamTarget(name)) {
    OwnFd_ = OpenForWriting(name);
    if (OwnFd_ < 0) return ErrorLine(messages::kCannotOpen, name, std::strerror(errno));
    Stream_ = std::make_unique<TFdStream>(OwnFd_);
    return std::nullopt;
  }
  if (!File_.Create(name)) {
    return ErrorLine(messages::kCannotCreate, name, std::strerror(File_.Error()));
  }
  IsFile_ = true;
  Stream_ = std::make_unique<TFdStream>(File_.Descriptor());
  return std::nullopt;
}

std::optional<std::string> TReportTarget::Finish(bool replace) {
  Stream_->flush();
  int error = Stream_->Error();
  if (error == 0 && IsFile_ && !File_.Commit(replace)) error = File_.Error();
  if (error == 0) return std::nullopt;
  return ErrorLine(kCannotWrite, Name_, std::strerror(error));
}

}  // namespace zorv::cli
