// Ctrl-C (SIGINT) and SIGTERM: noted in a flag that the decoding threads read
// between blocks, so that every output is completed before the program ends.
#pragma once

#include <atomic>

namespace zorv::cli {

void InstallInterruptHandlers();
const std::atomic<bool>& InterruptFlag();

}  // namespace zorv::cli
