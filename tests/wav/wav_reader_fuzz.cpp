// Hands arbitrary bytes to the WAV reader as the contents of a file. Besides
// the sanitizers' own checks it stops on a broken promise of the reader: a
// result outside its codes, a block larger than Buffer, bytes that are not
// the file's own data, or a data chunk that never ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

  const std::int32_t result = reader.ReadHeader();
  Require(result >= zorv::rhNoData && result <= zorv::rhOk);
  Require(reader.BlockBytes() <= zorv::kWavBufferBytes);
  if (result != zorv::rhOk) return 0;

  // Every full block delivers at least one byte, so a walk through the data
  // takes at most size + 1 calls.
  const std::uint64_t start = reader.DataStart();
  Require(start <= size);
  std::uint64_t delivered = 0;
  std::size_t calls = 0;
  while (!ended) {
    Require(++calls <= size + 1);
    const std::uint32_t n = reader.ReadBuffer();
    Require(n <= zorv::kWavBufferBytes);
    Require(delivered + n <= reader.HeaderImage().DataSize() && start + delivered + n <= size);
    Require(std::memcmp(reader.Buffer(), data + start + delivered, n) == 0);
    delivered += n;
  }

  // A longer interval written later keeps the block within Buffer too.
  reader.SetTimeInterval(zorv::TWavFileIn::kMaxTimeInterval);
  Require(reader.BlockBytes() <= zorv::kWavBufferBytes);

  // Reading the same header again gives the same image.
  const zorv::THeaderImage first = reader.HeaderImage();
  Require(reader.ReadHeader() == zorv::rhOk);
  Require(reader.HeaderImage().Bytes == first.Bytes);
  return 0;
}
