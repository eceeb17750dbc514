// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace zorv {

// The time this process's threads have spent ready to run but waiting for a
// core, summed over the threads alive now; none where the system does not
// say. A process whose threads wait for cores shares the machine with
// others.
std::optional<std::chrono::nanoseconds> ProcessRunDelay();

}  // namespace zorv
