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

#include "app/format_check.h"
#include "app/processing_run.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zorv::TProcessingRun run;
  run.Reader().OpenMemory(data, size);
  if (run.Reader().ReadHeader() != zorv::TReadHeaderResult::Ok) return 0;
  if (zorv::CheckFormat(run.Reader().HeaderImage()) != zorv::fcOk) return 0;
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  run.SetCanonicalHeader((choice & 1) != 0);
  if ((choice & 2) != 0) run.SetMaxRiffSize(size / 2);
  const bool toFloat = (choice & 4) != 0;
  run.SetOutputFloat(toFloat);
  const std::uint64_t align = run.Reader().BlockAlign();
  const std::uint64_t deliverable = run.Reader().DeliverableDataBytes();
  // A float output has 4 bytes per sample; its data grows by that much.
  const std::uint64_t outAlign = toFloat ? 4u * run.Reader().Channels() : align;
  const std::uint64_t outData = deliverable / align * outAlign;
  const std::size_t line = run.CodingHistoryLine().size();

  std::vector<std::uint8_t> out;
  run.Writer().OpenMemory(out);
  run.Start();
  run.StartProcess();
  Require(run.Status() == zorv::TRunStatus::Done);
  Require(run.DroppedBytes() == deliverable % align);

  // The output: what the reader accepts, with the input's format and whole
  // frames of its data.
  zorv::TWavFileIn back;
  back.OpenMemory(out.data(), out.size());
  Require(back.ReadHeader() == zorv::TReadHeaderResult::Ok);
  Require(back.HeaderImage().Channels() == run.Reader().HeaderImage().Channels());
  Require(back.HeaderImage().SampleRate() == run.Reader().HeaderImage().SampleRate());
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
