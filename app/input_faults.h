// SPDX-License-Identifier: GPL-3.0-or-later
// Input samples the decoder must not see as they are: a sample that is not a
// number or infinite is decoded as silence, and a float sample above +60 dBFS
// (a magnitude over 1000 times full scale) is clamped to +60 dBFS. Either
// would otherwise drive the detectors to values they never recover from, or
// the output beyond any sample format. Integer samples are never either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorv {

// +60 dBFS: the largest input magnitude the decoder takes.
inline constexpr double kInputLimit = 1000.0;

// What the sanitising changed: how many samples, and the frame (from the start
// of the data, or of the block while a block is counted) of the first.
struct TInputFaults {
  std::uint64_t NonFinite = 0;
  std::uint64_t FirstNonFinite = 0;
  std::uint64_t Clamped = 0;
  std::uint64_t FirstClamped = 0;

  bool Any() const { return NonFinite != 0 || Clamped != 0; }
  // Adds faults counted for a block whose first frame is offset; the first
  // frames stay the earliest.
  void Add(const TInputFaults& block, std::uint64_t offset);
  bool operator==(const TInputFaults&) const = default;
};

// Replaces, in samples[0 .. count), every value that is not finite by 0 and
// every magnitude above kInputLimit by kInputLimit with its sign; counts the
// changes among the first `counted` samples (the frames that are written: a
// frame cut short by the end of the data is decoded but not written). No
// allocation: the plugin calls it in its real-time run.
TInputFaults SanitiseInput(double* samples, std::uint32_t count, std::uint32_t counted);

// "0:01.000": minutes, seconds and milliseconds of frame at sampleRate;
// "1:02:03.450" from an hour on.
std::string FaultTimeText(std::uint64_t frame, std::uint32_t sampleRate);

// The lines that tell the faults, none when there were none:
// "10 non-finite input samples decoded as silence, first at 0:01.000" and
// "4 input samples above +60 dBFS clamped to +60 dBFS, first at 0:02.500".
std::vector<std::string> InputFaultNotes(const TInputFaults& faults, std::uint32_t sampleRate);

}  // namespace zorv
