// SPDX-License-Identifier: GPL-3.0-or-later
// Hands arbitrary bytes to the WAV reader as the contents of a file: RIFF,
// RF64 and BW64 with ds64, any chunk list. Besides the sanitizers' own checks
// it stops on a broken promise of the reader: a result outside its codes, a
// chunk outside the file or out of order, a body that is not the file's own
// bytes, a block larger than Buffer, data bytes that are not the file's own,
// or a data chunk that never ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wav/wav_file_in.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zorv::TWavFileIn reader;
  bool ended = false;
  reader.OnEOFReached = [&ended] { ended = true; };
  reader.OpenMemory(data, size);

  const zorv::TReadHeaderResult result = reader.ReadHeader();
  Require(result >= zorv::TReadHeaderResult::Ok && result <= zorv::TReadHeaderResult::ReadError);
  Require(reader.BlockBytes() <= reader.BufferCapacity());
  Require((result == zorv::TReadHeaderResult::Malformed) == !reader.Problem().empty());
  if (result != zorv::TReadHeaderResult::Ok) return 0;

  // The chunk list: in file order, within the file, one fmt and one data,
  // bodies that are the file's own bytes.
  const auto& chunks = reader.Chunks();
  Require(chunks.size() <= size / 8);
  std::uint64_t previous_end = 12;
  int fmts = 0, datas = 0;
  std::vector<std::uint8_t> body;
  for (const zorv::TChunkInfo& chunk : chunks) {
    Require(chunk.BodyOffset >= previous_end + 8 && chunk.BodyOffset <= size);
    Require(chunk.AfterData == (datas == 1));
    if (chunk.Is("data")) {
      ++datas;
      Require(chunk.BodyOffset == reader.DataStart() && chunk.Size == reader.DataSize());
      previous_end =
          chunk.BodyOffset + std::min<std::uint64_t>(chunk.Size, size - chunk.BodyOffset);
      continue;
    }
    if (chunk.Is("fmt ")) {
      ++fmts;
      Require(chunk.Size >= 16 && reader.FmtBody().size() == chunk.Size);
    }
    Require(chunk.Size <= size - chunk.BodyOffset);
    body.resize(static_cast<std::size_t>(chunk.Size));
    Require(reader.ReadChunkBody(chunk, 0, body.data(), body.size()));
    Require(body.empty() || std::memcmp(body.data(), data + chunk.BodyOffset, body.size()) == 0);
    previous_end = chunk.BodyOffset + chunk.Size;
  }
  Require(fmts == 1 && datas == 1);

  // Every full block delivers at least one byte, so a walk through the data
  // takes at most size + 1 calls.
  const std::uint64_t start = reader.DataStart();
  Require(start <= size);
  std::uint64_t delivered = 0;
  std::size_t calls = 0;
  while (!ended) {
    Require(++calls <= size + 1);
    const std::uint32_t n = reader.ReadBuffer();
    Require(n <= reader.BufferCapacity());
    Require(delivered + n <= reader.DataSize() && start + delivered + n <= size);
    Require(std::memcmp(reader.Buffer(), data + start + delivered, n) == 0);
    delivered += n;
  }

  // A longer interval written later keeps the block within Buffer too.
  reader.SetTimeInterval(zorv::TWavFileIn::kMaxTimeInterval);
  Require(reader.BlockBytes() <= reader.BufferCapacity());

  // Reading the same header again gives the same image.
  const zorv::THeaderImage first = reader.HeaderImage();
  Require(reader.ReadHeader() == zorv::TReadHeaderResult::Ok);
  Require(reader.HeaderImage().Bytes == first.Bytes);
  return 0;
}
