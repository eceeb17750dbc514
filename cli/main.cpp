// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <iostream>

#include "cli/command_line.h"
#include "cli/fd_stream.h"
#include "cli/interrupt.h"

int main(int argc, char** argv) {
  zorv::cli::HoldStandardStreams();
  zorv::cli::InstallInterruptHandlers();
  return zorv::cli::RunCommandLine({argv + 1, argv + argc}, std::cout, std::cerr,
                                   isatty(STDERR_FILENO) == 1, zorv::cli::InterruptRequest());
}
