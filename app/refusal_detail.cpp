// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/refusal_detail.h"

#include <cstdio>

#include "app/format_check.h"
#include "dsp/sample_rates.h"
#include "wav/wav_file_in.h"

namespace zorv {
namespace {

constexpr const char* kConvert = "; convert it to WAV first, for example with sox";

bool StartsWith(const std::string& text, std::size_t at, std::string_view word) {
  return text.size() >= at + word.size() && text.compare(at, word.size(), word) == 0;
}

// The four bytes of an identifier, printable characters as they are.
std::string Identifier(const std::string& bytes) {
  std::string shown;
  char code[8];
  for (const char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      shown += c;
    } else {
      std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(c));
      shown += code;
    }
  }
  return shown;
}

// "32000, 44100, ... 192000": every rate the decoder has tables for.
std::string RatesText() {
  std::string text;
  for (const std::uint32_t rate : kSupportedRates) {
    text += (text.empty() ? "" : ", ") + std::to_string(rate);
  }
  return text;
}

std::string FoundFormat(const THeaderImage& header) {
  const unsigned bits = header.BitsPerSample();
  const unsigned tag = header.FormatTag();
  const unsigned channels = header.Channels();
  const bool known = (tag == kFormatPcm && (bits == 16 || bits == 24 || bits == 32)) ||
                     (tag == kFormatIeeeFloat && bits == 32);
  if (known && header.BlockAlign() != channels * bits / 8) {
    return "found a block align of " + std::to_string(header.BlockAlign()) + " bytes for " +
           std::to_string(channels) + " channels of " + std::to_string(bits) + " bits";
  }
  if (tag == kFormatPcm) return "found " + std::to_string(bits) + "-bit integer samples";
  if (tag == kFormatIeeeFloat) return "found " + std::to_string(bits) + "-bit float samples";
  if (tag == kFormatExtensible) return "found an extensible format that is neither PCM nor float";
  char text[64];
  std::snprintf(text, sizeof text, "found format tag 0x%04x", tag);
  return text;
}

}  // namespace

std::string HeaderRefusalDetail(TReadHeaderResult code, const std::string& start) {
  switch (code) {
    case TReadHeaderResult::NoRiff:
      if (StartsWith(start, 0, "FORM") &&
          (StartsWith(start, 8, "AIFF") || StartsWith(start, 8, "AIFC"))) {
        return std::string("this is an AIFF file") + kConvert;
      }
      if (StartsWith(start, 0, "OggS")) return std::string("this is an Ogg file") + kConvert;
      if (StartsWith(start, 0, "ID3")) return std::string("this is an MP3 file") + kConvert;
      return "found no RIFF header; accepted: WAV files (RIFF/WAVE)";
    case TReadHeaderResult::NoWave:
      return "found RIFF form type \"" + Identifier(start.size() >= 12 ? start.substr(8, 4) : "") +
             "\"; accepted: WAVE";
    case TReadHeaderResult::NoFmt:
      return "found no fmt chunk before the end of the file; accepted: WAV files with a fmt chunk";
    case TReadHeaderResult::NoData:
      return "found no data chunk after the fmt chunk; accepted: WAV files with a data chunk";
    default:
      return {};
  }
}

std::string FormatRefusalDetail(std::int32_t code, const THeaderImage& header) {
  switch (code) {
    case fcChannels:
      return "found " + std::to_string(header.Channels()) + " channels; accepted: 1 to 64";
    case fcSampleRate:
      return "found " + std::to_string(header.SampleRate()) + " Hz; accepted: " + RatesText() +
             " Hz";
    case fcFormat:
      return FoundFormat(header) + "; accepted: 16-, 24- or 32-bit integer, 32-bit float";
    default:
      return {};
  }
}

}  // namespace zorv
