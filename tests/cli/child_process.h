// Runs a program of the build for a test: its stdout and stderr are caught in
// files of the test's scratch folder.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zorv::test {

struct TChildResult {
  int ExitStatus = -1;  // -1 when the child did not exit normally
  std::string Out;
  std::string Err;
};

class TChildProcess {
 public:
  // Starts program with args; scratch holds the two capture files.
  TChildProcess(const std::string& program, const std::vector<std::string>& args,
                const std::string& scratch);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  void Signal(int signal);
  TChildResult Wait();

 private:
  pid_t Pid_ = -1;
  std::string OutPath_;
  std::string ErrPath_;
};

TChildResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& scratch);

// True when program is found on the PATH.
bool HaveTool(const std::string& program);

}  // namespace zorv::test
