// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a program of the build for a test: its stdout and stderr are caught in
// files of the test's scratch folder.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorv::test {

struct TChildResult {
  int ExitStatus = -1;  // -1 when the child did not exit normally
  std::string Out;
  std::string Err;
};

// Where the child's stderr goes besides the usual capture file.
enum class TStderr {
  Captured,
  Closed,    // no descriptor 2 at all
  DeadPipe,  // a pipe whose reading end is already closed
};

struct TChildOptions {
  std::vector<std::string> Environment;  // "NAME=value", before this process's own
  TStderr Stderr = TStderr::Captured;
  // Blocked when the program starts: sent early, they wait until it unblocks
  // them.
  std::vector<int> BlockedSignals;
  // The child's working folder; empty: this process's.
  std::string WorkingDirectory;
};

class TChildProcess {
 public:
  // Starts program with args; scratch holds the two capture files.
  TChildProcess(const std::string& program, const std::vector<std::string>& args,
                const std::string& scratch, const TChildOptions& options = {});
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  void Signal(int signal);
  // True when the child ends within limit (Wait then collects it at once).
  bool EndsWithin(std::chrono::milliseconds limit);
  // Waits until the child has a handler for signal (its start-up is over:
  // a signal sent now is answered, not the end of it); false after limit.
  bool Catches(int signal, std::chrono::milliseconds limit);
  TChildResult Wait();
  pid_t Pid() const { return Pid_; }
  // The signal that ended the child, 0 when it exited (valid after Wait).
  int TermSignal() const { return TermSignal_; }

 private:
  pid_t Pid_ = -1;
  int TermSignal_ = 0;
  std::string OutPath_;
  std::string ErrPath_;
};

TChildResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& scratch, const TChildOptions& options = {});

// True when program is found on the PATH.
bool HaveTool(const std::string& program);

}  // namespace zorv::test
