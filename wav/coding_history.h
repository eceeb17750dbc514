// SPDX-License-Identifier: GPL-3.0-or-later
// The CodingHistory of a bext chunk: the lines that record every step the
// audio went through, one appended per step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// Description, originator, date, time, time reference, version, UMID,
// loudness fields and reserved bytes come before the CodingHistory text.
inline constexpr std::size_t kBextFixedBytes = 602;

// "A=PCM,F=48000,W=24,M=stereo,T=<what>\r\n"; M is mono, stereo or the
// channel count.
std::string CodingHistoryLine(std::uint32_t rate, std::uint32_t bits, std::uint32_t channels,
                              std::string_view what);

// Puts line at the end of the CodingHistory text of a bext body, before the
// zero bytes that may fill the chunk, and after a line break when the text so
// far lacks one. False, and the body unchanged, when it is shorter than the
// fixed part.
bool AppendCodingHistory(std::vector<std::uint8_t>& bext, std::string_view line);

// The CodingHistory text of a bext body, up to its first zero byte.
std::string CodingHistoryText(const std::vector<std::uint8_t>& bext);

}  // namespace zorv
