// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>

namespace zorv::cli {
namespace {

// Bytes of the UTF-8 character at text[i]; 0 when none starts there
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t CharacterBytes(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t n;
  unsigned code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool overlong = (n == 3 && code < 0x800) || (n == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : n;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharacterBytes(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

}  // namespace

std::string ReportLine(const std::string& input, const TJobResult& result) {
  using json = nlohmann::ordered_json;
  json line = json::object();
  line["input"] = input;
  line["output"] = result.Output ? json(*result.Output) : json(nullptr);
  // A name that is not UTF-8 shows U+FFFD for its stray bytes above, which
  // two names may share: its bytes follow in hex, to find the file by.
  if (!IsUtf8(input)) line["input_bytes"] = Hex(input);
  if (result.Output && !IsUtf8(*result.Output)) line["output_bytes"] = Hex(*result.Output);
  line["status"] = std::string(JobStatusName(result.Status));
  std::string message;
  for (const std::string& part : result.Message) message += (message.empty() ? "" : "; ") + part;
  line["message"] = message;
  const TDecodeFacts* facts = result.Facts ? &*result.Facts : nullptr;
  const auto fact = [&](const char* key, auto value) {
    line[key] = facts != nullptr ? json(value) : json(nullptr);
  };
  fact("rate", facts ? facts->SampleRate : 0);
  fact("channels", facts ? facts->Channels : 0);
  fact("format", facts ? facts->Format : "");
  fact("output_format", facts ? facts->OutputFormat : "");
  fact("frames", facts ? facts->Frames : 0);
  fact("seconds", facts && facts->SampleRate != 0
                      ? static_cast<double>(facts->Frames) / facts->SampleRate
                      : 0.0);
  // The level of every channel, and the one they share (null when they differ).
  const bool oneLevel = facts && !facts->LevelsDb.empty() &&
                        std::adjacent_find(facts->LevelsDb.begin(), facts->LevelsDb.end(),
                                           std::not_equal_to<>()) == facts->LevelsDb.end();
  line["reference_level_db"] = oneLevel ? json(facts->LevelsDb.front()) : json(nullptr);
  line["reference_levels_db"] = facts ? json(facts->LevelsDb) : json(nullptr);
  fact("arithmetic", facts ? facts->Arithmetic : "");
  fact("clipped_samples", facts ? facts->ClippedSamples : 0);
  line["peak_dbfs"] =
      facts && facts->PeakDbfs ? json(std::round(*facts->PeakDbfs * 10.0) / 10.0) : json(nullptr);
  fact("elapsed_ms", facts ? facts->ElapsedMs : 0);
  line["md5"] = facts && facts->Md5 ? json(*facts->Md5) : json(nullptr);
  // Per channel, bands A..D, to a hundredth of a second.
  const auto perBand = [&](const std::vector<std::array<double, 4>>* seconds) {
    if (seconds == nullptr) return json(nullptr);
    json channels = json::array();
    for (const std::array<double, 4>& bands : *seconds) {
      json row = json::array();
      for (const double s : bands) row.push_back(std::round(s * 100.0) / 100.0);
      channels.push_back(row);
    }
    return channels;
  };
  line["floor_seconds"] = perBand(facts ? &facts->Limits.FloorSeconds : nullptr);
  line["ceiling_seconds"] = perBand(facts ? &facts->Limits.CeilingSeconds : nullptr);
  json silence = json::array();
  if (facts != nullptr) {
    for (const double s : facts->Limits.SilenceSeconds)
      silence.push_back(std::round(s * 100.0) / 100.0);
  }
  line["silence_seconds"] = facts != nullptr ? silence : json(nullptr);
  return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace zorv::cli
