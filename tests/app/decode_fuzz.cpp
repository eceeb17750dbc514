// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary bytes as a WAV file in memory into a WAV file in memory:
// the reader, the sample conversion, the decoder and the writer, with the
// input's chunks carried or the canonical header, as it is or made float,
// and now and then an RF64 limit low enough to be passed. Besides the
// sanitizers' own checks it stops on a broken promise of the run: a run that
// does not end as done, an output that the reader refuses or whose sizes
// disagree with its bytes, data that is not the input's whole frames, or an
// output larger than the input's chunks and what the run adds to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/channel_levels.h"
#include "app/decode_run.h"
#include "app/output_shape.h"
#include "wav/byte_sink.h"
#include "wav/byte_source.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  zorv::TRunSettings settings;
  settings.CanonicalHeader = (choice & 1) != 0;
  if ((choice & 2) != 0) settings.MaxRiffSize = size / 2;
  const bool toFloat = (choice & 4) != 0;
  settings.Float = toFloat;
  settings.ChannelThreads = false;
  zorv::TDecodeRun run(settings);
  if (run.OpenInput(zorv::MemorySource(data, size), "fuzz.wav")) return 0;
  const zorv::TWavFileIn& input = run.Input();
  const std::uint64_t align = input.BlockAlign();
  const std::uint64_t deliverable = input.DeliverableDataBytes();
  // A float output has 4 bytes per sample; its data grows by that much.
  const std::uint64_t outAlign = toFloat ? 4u * input.Channels() : align;
  const std::uint64_t outData = deliverable / align * outAlign;
  const std::uint32_t channels = input.HeaderImage().Channels();
  const zorv::TOutputShape shape{toFloat, settings.CanonicalHeader, 0, settings.MaxRiffSize, false};
  const std::vector<zorv::TLevelChange> levels{
      {0, std::vector<double>(channels == 0 ? 1 : channels, settings.LevelDb)}};
  const std::size_t line =
      zorv::DecodeCodingHistoryLine(
          input.HeaderImage(), shape,
          zorv::ReferenceLevelHistoryText(levels, input.HeaderImage().SampleRate()))
          .size();
  const zorv::THeaderImage header = input.HeaderImage();

  std::vector<std::uint8_t> out;
  Require(!run.OpenOutput(zorv::MemorySink(out), "fuzz_out.wav"));
  const zorv::TRunResult result = run.Run();
  Require(result.Status == zorv::TRunStatus::Done);
  bool partialFrame = false;
  for (const zorv::TRunWarning& warning : result.Warnings) {
    partialFrame = partialFrame || warning.Code == zorv::warning_codes::kPartialFrame;
  }
  Require(partialFrame == (deliverable % align != 0));

  // The output: what the reader accepts, with the input's format and whole
  // frames of its data.
  zorv::TWavFileIn back;
  back.OpenMemory(out.data(), out.size());
  Require(back.ReadHeader() == zorv::TReadHeaderResult::Ok);
  Require(back.HeaderImage().Channels() == header.Channels());
  Require(back.HeaderImage().SampleRate() == header.SampleRate());
  Require(back.DataSize() == outData);
  Require(back.BlockAlign() == outAlign);
  if (toFloat) Require(back.FormatTag() == zorv::kFormatIeeeFloat);
  Require(back.DeliverableDataBytes() == back.DataSize());
  // The sizes state the bytes: RIFF size (from ds64 for RF64) = length - 8.
  const std::uint64_t riff =
      back.Container() == zorv::TContainer::Riff ? back.HeaderImage().RiffSize() : 0;
  if (back.Container() == zorv::TContainer::Riff) Require(riff == out.size() - 8);
  // At most the input's bytes, the growth of the data, a CodingHistory line
  // with its line break and the break that ends the input's last line, a
  // ds64 chunk, a fact chunk (a float output has one) and a pad byte.
  const std::uint64_t factChunk = toFloat ? 12 : 0;
  Require(out.size() <=
          size + (outData - deliverable / align * align) + line + 2 + 2 + 36 + factChunk + 1);
  return 0;
}
