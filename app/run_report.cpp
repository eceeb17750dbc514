// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_report.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <nlohmann/json.hpp>

#include "dsp/decode_path.h"
#include "wav/header_image.h"
#include "zorv_version.h"

namespace zorv {
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

using json = nlohmann::ordered_json;

std::string Dumped(const json& line) {
  return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

double Tenths(double value) {
  return std::round(value * 10.0) / 10.0 + 0.0;
}

// The tool and the times: who wrote the line, and when it began and ended.
void AddAudit(json& line, std::chrono::system_clock::time_point started,
              std::chrono::system_clock::time_point finished,
              const std::string& tool = "zorv-decode " ZORV_VERSION_TEXT) {
  line["tool"] = tool;
  line["started"] = UtcTimeText(started);
  line["finished"] = UtcTimeText(finished);
}

}  // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  const long long millis = ((ms % 1000) + 1000) % 1000;
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
  return text;
}

std::vector<std::vector<TChannelLevel>> LevelsPerChannel(const std::vector<TLevelChange>& history) {
  std::vector<std::vector<TChannelLevel>> channels;
  for (const TLevelChange& change : history) {
    if (channels.size() < change.LevelsDb.size()) channels.resize(change.LevelsDb.size());
    for (std::size_t c = 0; c < change.LevelsDb.size(); ++c) {
      // A change that moved all channels is in every channel's history.
      if (channels[c].empty() || channels[c].back().LevelDb != change.LevelsDb[c]) {
        channels[c].push_back({change.Frame, change.LevelsDb[c]});
      }
    }
  }
  return channels;
}

std::optional<std::uint64_t> FileBytes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::string FormatName(std::uint32_t tag, std::uint32_t bits) {
  return (tag == kFormatIeeeFloat ? "float" : "int") + std::to_string(bits);
}

TDecodeFacts DecodeFactsOf(const TRunResult& decoded, std::uint32_t formatTag,
                           std::uint32_t bitsPerSample, bool floatOutput,
                           const TLimitCounter& limits) {
  TDecodeFacts facts;
  facts.SampleRate = decoded.SampleRate;
  facts.Channels = decoded.Channels;
  facts.Format = FormatName(formatTag, bitsPerSample);
  facts.OutputFormat = floatOutput ? "float32" : facts.Format;
  facts.Arithmetic = std::string(PathName(decoded.Arithmetic));
  if (!decoded.Levels.empty()) facts.LevelsDb = decoded.Levels.front().LevelsDb;
  facts.Levels = decoded.Levels;
  facts.Frames = decoded.Frames;
  facts.ClippedSamples = decoded.Stats.Clipped;
  if (decoded.Stats.Peak > 0) facts.PeakDbfs = 20.0 * std::log10(decoded.Stats.Peak);
  facts.ElapsedMs = decoded.ElapsedMs;
  facts.Segments = decoded.TimeSplit.Segments;
  facts.JoinedAfter = decoded.TimeSplit.JoinedAfter;
  facts.NotJoined = decoded.TimeSplit.NotJoined;
  facts.RedoneSeconds = decoded.TimeSplit.RedoneSeconds;
  facts.Limits = LimitTimesOf(limits);
  facts.InputMd5 = decoded.InputMd5;
  return facts;
}

std::string TimeSplitText(int segments, const std::vector<double>& joinedAfter, int notJoined,
                          double redoneSeconds) {
  if (segments <= 0) return {};
  const auto tenths = [](double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return std::string(text);
  };
  std::string line = std::to_string(segments) + " segments";
  if (!joinedAfter.empty()) {
    line += ", joined after ";
    for (std::size_t i = 0; i < joinedAfter.size(); ++i) {
      line += (i == 0 ? "" : ", ") + tenths(joinedAfter[i]);
    }
    line += " s";
  }
  if (notJoined > 0) line += ", " + std::to_string(notJoined) + " not joined";
  return line + "; " + tenths(redoneSeconds) + " s decoded twice";
}

std::string ReportLine(const TReportEntry& entry) {
  json line = json::object();
  const std::string& input = entry.Input;
  line["input"] = input;
  line["output"] = entry.Output ? json(*entry.Output) : json(nullptr);
  // A name that is not UTF-8 shows U+FFFD for its stray bytes above, which
  // two names may share: its bytes follow in hex, to find the file by.
  if (!IsUtf8(input)) line["input_bytes"] = Hex(input);
  if (entry.Output && !IsUtf8(*entry.Output)) line["output_bytes"] = Hex(*entry.Output);
  line["status"] = entry.Status;
  line["message"] = entry.Message;
  json warnings = json::array();
  for (const TRunWarning& warning : entry.Warnings) {
    warnings.push_back({{"code", warning.Code}, {"message", warning.Message}});
  }
  line["warnings"] = warnings;
  const TDecodeFacts* facts = entry.Facts ? &*entry.Facts : nullptr;
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
  // Per channel, the level from each frame on.
  if (facts != nullptr) {
    json channels = json::array();
    for (const std::vector<TChannelLevel>& history : LevelsPerChannel(facts->Levels)) {
      json changes = json::array();
      for (const TChannelLevel& change : history) {
        changes.push_back({{"frame", change.Frame}, {"level_db", Tenths(change.LevelDb)}});
      }
      channels.push_back(changes);
    }
    line["levels"] = channels;
  } else {
    line["levels"] = nullptr;
  }
  fact("arithmetic", facts ? facts->Arithmetic : "");
  fact("clipped_samples", facts ? facts->ClippedSamples : 0);
  line["peak_dbfs"] =
      facts && facts->PeakDbfs ? json(std::round(*facts->PeakDbfs * 10.0) / 10.0) : json(nullptr);
  fact("elapsed_ms", facts ? facts->ElapsedMs : 0);
  // The decode split along time: null when it was not.
  if (facts != nullptr && facts->Segments > 0) {
    json joined = json::array();
    for (const double s : facts->JoinedAfter) joined.push_back(std::round(s * 10.0) / 10.0);
    line["time_split"] = {{"segments", facts->Segments},
                          {"joined_after_seconds", joined},
                          {"not_joined", facts->NotJoined},
                          {"redone_seconds", std::round(facts->RedoneSeconds * 10.0) / 10.0}};
  } else {
    line["time_split"] = nullptr;
  }
  line["md5"] = facts && facts->Md5 ? json(*facts->Md5) : json(nullptr);
  line["input_md5"] = facts && !facts->InputMd5.empty() ? json(facts->InputMd5) : json(nullptr);
  line["input_size"] = facts && facts->InputSize ? json(*facts->InputSize) : json(nullptr);
  line["output_size"] = facts && facts->OutputSize ? json(*facts->OutputSize) : json(nullptr);
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
  // A part of a tape decoded on from the part before (--continue): its MD5
  // is that of this file decoded after that part, not alone.
  if (entry.ContinuedFrom) {
    line["continued_from"] = *entry.ContinuedFrom;
    if (!IsUtf8(*entry.ContinuedFrom)) line["continued_from_bytes"] = Hex(*entry.ContinuedFrom);
    line["continued_from_md5"] =
        entry.ContinuedFromMd5.empty() ? json(nullptr) : json(entry.ContinuedFromMd5);
  }
  if (entry.Tool.empty()) {
    AddAudit(line, entry.Started, entry.Finished);
  } else {
    AddAudit(line, entry.Started, entry.Finished, entry.Tool);
  }
  return Dumped(line);
}

std::string MeasurementReportLine(const std::string& input, const TReferenceTone& tone,
                                  const std::optional<TLevelRange>& range,
                                  const std::string& message,
                                  std::chrono::system_clock::time_point started,
                                  std::chrono::system_clock::time_point finished,
                                  bool interrupted) {
  json line = json::object();
  line["input"] = input;
  if (!IsUtf8(input)) line["input_bytes"] = Hex(input);
  const TLevelSuggestion& suggestion = tone.Suggestion;
  const bool readable = suggestion.Verdict != TToneVerdict::Unreadable;
  line["status"] = interrupted                                     ? "interrupted"
                   : suggestion.Verdict == TToneVerdict::Suggested ? "measured"
                   : readable                                      ? "no_level"
                                                                   : "refused";
  line["message"] = message;
  line["search_start_seconds"] = readable ? json(Tenths(tone.SearchStart)) : json(nullptr);
  line["search_end_seconds"] = readable ? json(Tenths(tone.SearchEnd)) : json(nullptr);
  json channels = json::array();
  for (std::size_t c = 0; c < tone.Channels.size(); ++c) {
    const std::optional<TFoundTone>& found = tone.Channels[c];
    json channel = {{"channel", c + 1}};
    channel["frequency_hz"] = found ? json(std::round(found->FrequencyHz)) : json(nullptr);
    channel["level_dbfs"] = found ? json(std::round(found->PeakDbfs * 100.0) / 100.0) : nullptr;
    channel["start_seconds"] = found ? json(Tenths(found->StartSeconds)) : json(nullptr);
    channel["end_seconds"] = found ? json(Tenths(found->EndSeconds)) : json(nullptr);
    channels.push_back(channel);
  }
  line["channels"] = readable ? channels : json(nullptr);
  line["suggested_level_db"] = suggestion.Verdict == TToneVerdict::Suggested
                                   ? json(Tenths(suggestion.LevelDb))
                                   : json(nullptr);
  // Why there is no level to suggest.
  switch (suggestion.Verdict) {
    case TToneVerdict::Suggested:
      line["no_level_reason"] = nullptr;
      break;
    case TToneVerdict::OutOfRange:
      line["no_level_reason"] = "out_of_range";
      break;
    case TToneVerdict::NoTone:
      line["no_level_reason"] = "no_tone";
      break;
    case TToneVerdict::Unreadable:
      line["no_level_reason"] = interrupted ? json(nullptr) : json("unreadable");
      break;
  }
  line["tone_level_db"] = suggestion.Verdict == TToneVerdict::OutOfRange
                              ? json(Tenths(suggestion.LevelDb))
                              : json(nullptr);
  line["channel_spread_db"] = suggestion.ChannelsWithTone > 1
                                  ? json(std::round(suggestion.SpreadDb * 100.0) / 100.0)
                                  : json(nullptr);
  if (range && range->Analysed && range->Found) {
    line["level_range_db"] = {{"lowest", Tenths(range->LowestDb)},
                              {"highest", Tenths(range->HighestDb)}};
  } else {
    line["level_range_db"] = nullptr;
  }
  // No level keeps every band inside: the one with the least time at a limit.
  line["least_limited_level_db"] =
      range && range->Analysed && !range->Found ? json(Tenths(range->BestDb)) : json(nullptr);
  AddAudit(line, started, finished);
  return Dumped(line);
}

}  // namespace zorv
