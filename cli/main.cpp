// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <cstdlib>

#include "app/arithmetic.h"
#include "cli/command_line.h"
#include "cli/fd_stream.h"
#include "cli/interrupt.h"

int main(int argc, char** argv) {
  zorv::cli::HoldStandardStreams();
  zorv::cli::InstallInterruptHandlers();
  // Standard output and error as streams of their own: a write to a pipe
  // nobody reads any more gives up when a signal asks the program to stop.
  zorv::cli::TFdStream out(STDOUT_FILENO);
  zorv::cli::TFdStream err(STDERR_FILENO);
  // Read once: every decode of the call uses the same values.
  const zorv::TRunEnvironment environment = zorv::ParseRunEnvironment(
      std::getenv(zorv::kArithmeticVariable), std::getenv(zorv::kStagesVariable),
      std::getenv(zorv::kWorkersVariable), std::getenv(zorv::kTimeSplitVariable));
  const int status =
      zorv::cli::RunCommandLine({argv + 1, argv + argc}, out, err, isatty(STDERR_FILENO) == 1,
                                zorv::cli::InterruptRequest(), environment);
  out.flush();
  err.flush();
  return status;
}
