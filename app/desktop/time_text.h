// SPDX-License-Identifier: GPL-3.0-or-later
// Times and durations as the window shows them.
#pragma once

#include <QString>
#include <cstdint>

namespace zorv {

// Whole seconds as "m:ss" (minutes not limited to 59): 75 s is "1:15".
QString MinutesText(std::int64_t seconds);
// Whole seconds as "h:mm:ss": 3725 s is "1:02:05".
QString HoursText(std::int64_t seconds);
// The playing time of frames at rate, rounded to whole seconds; 0 for rate 0.
std::int64_t DurationSeconds(std::uint64_t frames, std::uint32_t rate);

// The run's times while it goes on: "elapsed 0:07" and, once a share of the
// data is done, ", remaining 1:03" estimated from the pace so far.
QString RunningTimesText(std::int64_t elapsedMs, std::uint64_t done, std::uint64_t total);

}  // namespace zorv
