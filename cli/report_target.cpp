// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/report_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "app/messages.h"
#include "cli/decode_job.h"
#include "cli/error_line.h"
#include "cli/options.h"

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

bool IsStreamTarget(const std::string& name) {
  if (ReportDescriptor(name)) return true;
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 &&
         (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

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
    OwnFd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
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
