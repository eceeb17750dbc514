// SPDX-License-Identifier: GPL-3.0-or-later
#include "wav/coding_history.h"

#include <algorithm>

namespace zorv {

std::string CodingHistoryLine(std::uint32_t rate, std::uint32_t bits, std::uint32_t channels,
                              std::string_view what) {
  const std::string mode = channels == 1   ? "mono"
                           : channels == 2 ? "stereo"
                                           : std::to_string(channels);
  return "A=PCM,F=" + std::to_string(rate) + ",W=" + std::to_string(bits) + ",M=" + mode +
         ",T=" + std::string(what) + "\r\n";
}

namespace {

std::vector<std::uint8_t>::iterator TextEnd(std::vector<std::uint8_t>& bext) {
  return std::find(bext.begin() + kBextFixedBytes, bext.end(), std::uint8_t{0});
}

}  // namespace

bool AppendCodingHistory(std::vector<std::uint8_t>& bext, std::string_view line) {
  if (bext.size() < kBextFixedBytes) return false;
  const auto end = TextEnd(bext);
  std::string insert;
  const auto text_bytes = end - (bext.begin() + kBextFixedBytes);
  if (text_bytes > 0 && !(text_bytes >= 2 && *(end - 2) == '\r' && *(end - 1) == '\n')) {
    insert = "\r\n";
  }
  insert += line;
  bext.insert(end, insert.begin(), insert.end());
  return true;
}

std::string CodingHistoryText(const std::vector<std::uint8_t>& bext) {
  if (bext.size() < kBextFixedBytes) return {};
  const auto begin = bext.begin() + kBextFixedBytes;
  return {begin, std::find(begin, bext.end(), std::uint8_t{0})};
}

}  // namespace zorv
