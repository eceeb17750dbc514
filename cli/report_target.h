// SPDX-License-Identifier: GPL-3.0-or-later
// Where --report writes. A file is written under a temporary name beside its
// own and takes it when complete; standard output ("-", /dev/stdout), another
// open descriptor (/dev/stderr, /dev/fd/N) and an existing character device,
// pipe or socket are written to as the lines come, and never replaced.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/pending_file.h"
#include "cli/fd_stream.h"

namespace zorv::cli {

// The descriptor a report name stands for: 1 for "-" and /dev/stdout, 2 for
// /dev/stderr, N for /dev/fd/N and /proc/self/fd/N; none for any other name.
std::optional<int> ReportDescriptor(const std::string& name);

// True when the report would go where standard output goes: "-",
// /dev/stdout, a descriptor or a name of the same pipe, socket or file
// (compared by device and inode; a device such as /dev/null is shared
// harmlessly).
bool WritesToStandardOutput(const std::string& name);

// True when name is no file to be replaced: a descriptor of this process
// (above), or an existing character device, pipe or socket.
bool IsStreamTarget(const std::string& name);

class TReportTarget {
 public:
  TReportTarget() = default;
  ~TReportTarget();
  TReportTarget(const TReportTarget&) = delete;
  TReportTarget& operator=(const TReportTarget&) = delete;

  // Opens name (a file: its temporary); an error line ("zorv-decode: NAME:
  // cannot create: reason") when it cannot.
  std::optional<std::string> Open(const std::string& name);
  std::ostream& Stream() { return *Stream_; }
  // Flushes, and gives a file its name (replacing an existing one when
  // replace); the error line when the report could not be written.
  std::optional<std::string> Finish(bool replace);

 private:
  std::string Name_;
  TPendingFile File_;
  int OwnFd_ = -1;  // a device or pipe opened by name
  bool IsFile_ = false;
  std::unique_ptr<TFdStream> Stream_;
};

}  // namespace zorv::cli
