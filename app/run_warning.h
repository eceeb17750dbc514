// SPDX-License-Identifier: GPL-3.0-or-later
// A warning of a decode as data: a short code a script can test for, and the
// line that says it to a reader.
#pragma once

#include <string>

namespace zorv {

// The codes. The first five are the ones scripts look for most.
namespace warning_codes {
inline constexpr const char* kShortInput = "short_input";  // data ends before its header says
inline constexpr const char* kClipped = "clipped";         // output samples clipped
inline constexpr const char* kPartialFrame = "partial_frame_dropped";
inline constexpr const char* kChunkLeftOut = "chunk_left_out";  // a chunk not in the output
inline constexpr const char* kNonFiniteInput = "non_finite_input";
inline constexpr const char* kInputClamped = "input_clamped";        // float input above +60 dBFS
inline constexpr const char* kChunkMoved = "chunk_moved";            // MD5 behind a stream's data
inline constexpr const char* kChunkUnreadable = "chunk_unreadable";  // written as zeros
inline constexpr const char* kNoCodingHistory = "coding_history_not_added";
inline constexpr const char* kStreamLength = "stream_length_mismatch";
// the data chunk said 0 bytes: decoded to the end of the input
inline constexpr const char* kDataSizeZero = "data_size_zero";
// a level moved during the run, the CodingHistory names only the first
inline constexpr const char* kLevelsUnsaid = "coding_history_incomplete";
// a FLAC input's samples do not match the MD5 its STREAMINFO states
inline constexpr const char* kInputChecksum = "input_checksum_mismatch";
// a FLAC input's kept RIFF chunks changed to fit its samples (fmt, RF64)
inline constexpr const char* kFlacChunks = "flac_chunks_adjusted";
}  // namespace warning_codes

struct TRunWarning {
  std::string Code;
  std::string Message;

  friend bool operator==(const TRunWarning&, const TRunWarning&) = default;
};

}  // namespace zorv
