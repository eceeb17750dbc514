// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/format_check.h"

#include "app/messages.h"
#include "dsp/sample_rates.h"
#include "dsp/zorv_calc.h"
#include "wav/output_layout.h"
#include "wav/wav_file_in.h"

namespace zorv {

std::int32_t CheckFormat(const THeaderImage& header) {
  const std::uint32_t channels = header.Channels();
  if (channels == 0 || channels > kMaxChannels) return fcChannels;

  const std::uint32_t rate = header.SampleRate();
  if (!IsSupportedRate(rate)) return fcSampleRate;

  const std::uint32_t bits = header.BitsPerSample();
  const bool integerPcm =
      header.FormatTag() == kFormatPcm && (bits == 16 || bits == 24 || bits == 32);
  const bool float32 = header.FormatTag() == kFormatIeeeFloat && bits == 32;
  if (!integerPcm && !float32) return fcFormat;
  // The conversion picks the frame layout from the block align.
  if (header.BlockAlign() != channels * bits / 8) return fcFormat;
  return fcOk;
}

std::string ShowWavParams(const THeaderImage& header) {
  const bool float32 = header.FormatTag() == kFormatIeeeFloat && header.BitsPerSample() == 32;
  return "fs = " + std::to_string(header.SampleRate()) +
         "  ch = " + std::to_string(header.Channels()) + "   " +
         std::to_string(header.BitsPerSample()) + " bit/sample" + "  total " +
         std::to_string(header.BlockAlign()) + " byte/sample" +
         (float32 ? "  IEEE float" : "  integer");
}

std::string_view ReadHeaderMessage(TReadHeaderResult code) {
  switch (code) {
    case TReadHeaderResult::Ok:
      return {};
    case TReadHeaderResult::NoRiff:
      return messages::kNoRiffFile;
    case TReadHeaderResult::NoFmt:
      return messages::kNoFmtChunk;
    case TReadHeaderResult::NoData:
      return messages::kNoDataChunk;
    case TReadHeaderResult::ReadError:
      return messages::kCannotRead;
    default:
      return messages::kNoWavFile;
  }
}

std::string HeaderRefusal(const TWavFileIn& reader, TReadHeaderResult code) {
  if (code == TReadHeaderResult::Malformed)
    return std::string(messages::kUnusableWav) + reader.Problem() + "): ";
  if (code == TReadHeaderResult::ReadError) return ReadFailureRefusal(reader);
  return std::string(ReadHeaderMessage(code));
}

std::string ReadFailureRefusal(const TWavFileIn& reader) {
  if (reader.ReadFailure() == TReadFailure::None) return {};
  return std::string(messages::kCannotReadBecause) + reader.ReadFailureText() + "): ";
}

std::string MetadataText(const TWavFileIn& reader, bool canonical) {
  if (canonical) return {};
  // A file may carry a million chunks: the line names the first few.
  constexpr std::size_t kNamed = 10;
  std::size_t count = 0;
  const std::vector<std::string> names = CarriedMetadata(reader, kNamed, &count);
  std::string text;
  for (const std::string& name : names) {
    text += text.empty() ? "metadata: " : ", ";
    text += name;
  }
  if (count > names.size()) text += " and " + std::to_string(count - names.size()) + " more";
  return text;
}

std::string_view CheckFormatMessage(std::int32_t code) {
  switch (code) {
    case fcOk:
      return {};
    case fcChannels:
      return messages::kUnsupportedChannels;
    case fcSampleRate:
      return messages::kUnsupportedRate;
    default:
      return messages::kUnsupportedFormat;
  }
}

}  // namespace zorv
