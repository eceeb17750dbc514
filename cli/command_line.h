// zorv-decode from its words to its exit status.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace zorv::cli {

enum TExitStatus : int {
  exDecoded = 0,     // every input was decoded
  exFailed = 1,      // an input was refused, failed or was interrupted
  exUsageError = 2,  // the command line itself is wrong
};

// args: the words after the program name. Help and version go to out;
// progress, reports and errors to err (the progress line only when
// errIsTerminal). stop is read between blocks.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool errIsTerminal, const std::atomic<bool>& stop);

}  // namespace zorv::cli
