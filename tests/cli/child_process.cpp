// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace zorv::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::string& scratch, const TChildOptions& options) {
  static std::atomic<int> count{0};
  const std::string stem = scratch + "/child" + std::to_string(++count);
  OutPath_ = stem + ".out";
  ErrPath_ = stem + ".err";

  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, OutPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int deadPipe[2] = {-1, -1};
  switch (options.Stderr) {
    case TStderr::Captured:
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, ErrPath_.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
      break;
    case TStderr::Closed:
      posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
      break;
    case TStderr::DeadPipe:
      if (::pipe(deadPipe) != 0) throw std::runtime_error("no pipe");
      ::close(deadPipe[0]);
      posix_spawn_file_actions_adddup2(&actions, deadPipe[1], STDERR_FILENO);
      break;
  }
  // After the opens: the capture files' names may be relative to this process.
  if (!options.WorkingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDirectory.c_str());
  }
  // The additions first: the first of two entries of one name is the one read.
  std::vector<std::string> environment = options.Environment;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (!options.BlockedSignals.empty()) {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : options.BlockedSignals) sigaddset(&blocked, signal);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  }
  const int error =
      posix_spawnp(&Pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (deadPipe[1] >= 0) ::close(deadPipe[1]);
  if (error != 0) {
    Pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

TChildProcess::~TChildProcess() {
  if (Pid_ > 0) {
    ::kill(Pid_, SIGKILL);
    Wait();
  }
}

void TChildProcess::Signal(int signal) {
  if (Pid_ > 0) ::kill(Pid_, signal);
}

bool TChildProcess::EndsWithin(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    siginfo_t info{};
    // Not collected: Wait does that.
    if (::waitid(P_PID, static_cast<id_t>(Pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == Pid_) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(500);
  }
}

bool TChildProcess::Catches(int signal, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::string status = "/proc/" + std::to_string(Pid_) + "/status";
  for (;;) {
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
      // SigCgt: the caught signals, a hexadecimal mask (bit n-1 for signal n).
      if (line.rfind("SigCgt:", 0) == 0 &&
          (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0) {
        return true;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(500);
  }
}

TChildResult TChildProcess::Wait() {
  TChildResult result;
  int status = 0;
  while (::waitpid(Pid_, &status, 0) < 0 && errno == EINTR) {
  }
  Pid_ = -1;
  if (WIFEXITED(status)) result.ExitStatus = WEXITSTATUS(status);
  TermSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.Out = Slurp(OutPath_);
  result.Err = Slurp(ErrPath_);
  return result;
}

TChildResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& scratch, const TChildOptions& options) {
  return TChildProcess(program, args, scratch, options).Wait();
}

bool HaveTool(const std::string& program) {
  std::istringstream path(getenv("PATH") != nullptr ? getenv("PATH") : "");
  for (std::string folder; std::getline(path, folder, ':');) {
    if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace zorv::test
