// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arithmetic.h"

#include <charconv>
#include <cstring>

#include "app/worker_pool.h"

namespace zorv {

TRunEnvironment ParseRunEnvironment(const char* arithmetic, const char* stages, const char* workers,
                                    const char* timeSplit) {
  TRunEnvironment environment;
  // Set to nothing is not set.
  if (arithmetic != nullptr && *arithmetic != '\0') {
    const std::optional<TDecodePath> path = ParsePath(arithmetic);
    if (!path) {
      environment.Warning = std::string(kArithmeticVariable) + "=" + arithmetic +
                            " is not an arithmetic of this program (accepted: extended, "
                            "portable, avx2, avx512); decoding with " +
                            std::string(PathName(FastestPath()));
    } else if (!PathSupported(*path)) {
      environment.Warning = std::string(kArithmeticVariable) + "=" + arithmetic +
                            ": this processor does not run it; decoding with " +
                            std::string(PathName(FastestPath()));
    } else {
      environment.Arithmetic = path;
    }
  }
  environment.StageSplit = stages == nullptr || std::strcmp(stages, "0") != 0;
  // Measured against one chain per channel, also with a core busy beside
  // it: a gain, never a loss (docs/performance.md).
  environment.TimeSplit = timeSplit == nullptr || std::strcmp(timeSplit, "0") != 0;
  if (workers != nullptr) {
    unsigned count = 0;
    const char* end = workers + std::strlen(workers);
    const auto [last, error] = std::from_chars(workers, end, count);
    if (error == std::errc() && last == end && last != workers && count <= kMaxWorkers) {
      environment.Workers = count;
    }
  }
  return environment;
}

TDecodePath ArithmeticOf(const TRunEnvironment& environment) {
  return environment.Arithmetic.value_or(FastestPath());
}

unsigned DefaultWorkers(const TRunEnvironment& environment, unsigned filesAtOnce) {
  if (environment.Workers) return *environment.Workers;
  return filesAtOnce > 1 ? TWorkerPool::DefaultThreads() : TWorkerPool::HelpedThreads();
}

}  // namespace zorv
