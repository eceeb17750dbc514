// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_report.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

namespace zorv::cli {

std::string ReportLine(const std::string& input, const TJobResult& result) {
  using json = nlohmann::ordered_json;
  json line = json::object();
  line["input"] = input;
  line["output"] = result.Output ? json(*result.Output) : json(nullptr);
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
  fact("reference_level_db", facts ? facts->LevelDb : 0.0);
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
