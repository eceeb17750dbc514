// SPDX-License-Identifier: GPL-3.0-or-later
// How a decode run ended, and the words the front ends show for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

enum class TRunStatus {
  Idle,              // no run yet
  Working,           // started
  Done,              // the input was decoded to its end
  Aborted,           // ended early by a stop request
  SampleCountError,  // the decoder did not process a block whole; the run ended there
  WriteError,        // the output did not take everything; nothing was written after
  ReadError,         // a read failed, or the input was cut shorter during the run
};

inline std::string_view StatusText(TRunStatus status) {
  switch (status) {
    case TRunStatus::Idle:
      return {};
    case TRunStatus::Working:
      return "Working";
    case TRunStatus::Done:
      return "Done";
    case TRunStatus::Aborted:
      return "aborted";
    case TRunStatus::SampleCountError:
      return "Error: Number of processed samples does not match data";
    case TRunStatus::WriteError:
      return "Error: could not write the output file";
    case TRunStatus::ReadError:
      return "Error: could not read the input file";
  }
  return {};
}

// "elapsed time: N msec", N read as an unsigned number.
inline std::string ElapsedTimeText(std::int32_t milliseconds) {
  return "elapsed time: " + std::to_string(static_cast<std::uint32_t>(milliseconds)) + " msec";
}

}  // namespace zorv
