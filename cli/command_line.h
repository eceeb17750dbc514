// SPDX-License-Identifier: GPL-3.0-or-later
// zorv-decode from its words to its exit status.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/arithmetic.h"
#include "cli/interrupt.h"

namespace zorv::cli {

enum TExitStatus : int {
  exDecoded = 0,     // every input was decoded or skipped
  exFailed = 1,      // an input was refused or failed, or a report could not be written
  exUsageError = 2,  // the command line itself is wrong
  exSignal = 128,    // + the number of the signal that interrupted the program
};

// args: the words after the program name. Help and version go to out;
// progress, reports and errors to err (the progress line only when
// errIsTerminal). stop is read between blocks and between inputs.
// environment: what the program's environment asks of the arithmetic (read
// once at its start); a value it cannot use is said on err.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool errIsTerminal, const TStopRequest& stop,
                   const TRunEnvironment& environment);

}  // namespace zorv::cli
