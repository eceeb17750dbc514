// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arithmetic.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "dsp/worker_pool.h"

namespace zorv {

TDecodePath DefaultArithmetic() {
  if (const char* name = std::getenv(kArithmeticVariable); name != nullptr) {
    if (const auto path = ParsePath(name); path && PathSupported(*path)) return *path;
  }
  return FastestPath();
}

bool DefaultStageSplit() {
  const char* text = std::getenv(kStagesVariable);
  return text == nullptr || std::strcmp(text, "0") != 0;
}

unsigned DefaultWorkers(unsigned filesAtOnce) {
  if (const char* text = std::getenv(kWorkersVariable); text != nullptr) {
    unsigned workers = 0;
    const char* end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, workers);
    if (error == std::errc() && last == end && last != text && workers <= kMaxWorkers) {
      return workers;
    }
  }
  return filesAtOnce > 1 ? TWorkerPool::DefaultThreads() : TWorkerPool::HelpedThreads();
}

}  // namespace zorv
