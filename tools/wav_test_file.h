// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files for the tests and the demo: built in memory from a format and
// sample bytes, written to and read back from disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::test {

using TBytes = std::vector<std::uint8_t>;

struct TWavFormat {
  std::uint16_t Tag = 1;  // 1 integer PCM, 3 IEEE float
  std::uint16_t Channels = 2;
  std::uint32_t SampleRate = 44100;
  std::uint16_t Bits = 16;
  std::uint16_t BlockAlign = 0;  // 0: Channels x Bits / 8
  bool Extensible = false;       // 40-byte fmt chunk with tag 0xFFFE and Tag as sub-format

  std::uint16_t FrameBytes() const {
    return BlockAlign != 0 ? BlockAlign : static_cast<std::uint16_t>(Channels * Bits / 8);
  }
};

// RIFF header, fmt chunk, optional LIST chunk before the data, data chunk
// (declaring declaredDataSize when given, else data's size), pad byte.
TBytes WavBytes(const TWavFormat& format, const TBytes& data,
                std::optional<std::uint32_t> declaredDataSize = std::nullopt,
                bool listChunk = false);

// frames of a busy signal (tones in all four bands plus noise, changing in
// level) in the format's frame layout; the same seed gives the same bytes.
TBytes SignalBytes(const TWavFormat& format, std::uint32_t frames, std::uint32_t seed = 1);

void WriteFile(const std::string& path, const TBytes& bytes);
TBytes ReadFile(const std::string& path);

// The fields of a canonical 44-byte header and the bytes behind it.
struct TWavImage {
  std::uint32_t RiffSize = 0;
  std::uint32_t FmtSize = 0;
  std::uint16_t Tag = 0;
  std::uint16_t Channels = 0;
  std::uint32_t SampleRate = 0;
  std::uint32_t ByteRate = 0;
  std::uint16_t BlockAlign = 0;
  std::uint16_t Bits = 0;
  std::uint32_t DataSize = 0;
  TBytes Data;  // everything behind byte 44
};
// Empty unless the bytes start with the canonical "RIFF"/"WAVE"/"fmt "/"data" layout.
std::optional<TWavImage> ParseCanonical(const TBytes& file);
// A float output of integer samples: the canonical layout with a 4-byte fact
// chunk behind the 16-byte fmt chunk. The same file without the fact chunk
// (its RIFF size 12 less), and the frames the fact chunk states; empty
// bytes when the file is not laid out so.
TBytes WithoutFact(const TBytes& file, std::uint32_t& factFrames);

// Any RIFF, RF64 or BW64 file, chunk by chunk.
struct TFileChunk {
  std::string Id;
  std::uint64_t Size = 0;  // from ds64 where the 32-bit field says 0xFFFFFFFF
  TBytes Body;
};
struct TChunkedFile {
  std::string Form;  // "RIFF", "RF64" or "BW64"
  std::uint64_t RiffSize = 0;
  std::vector<TFileChunk> Chunks;
  // Every size agrees with the bytes: the RIFF size is the length less 8,
  // every chunk lies within the file, pad bytes (zero) after odd bodies.
  bool Consistent = false;
  const TFileChunk* Find(const std::string& id) const;
  std::vector<std::string> Ids() const;
};
// Empty when the bytes do not start like a WAV file.
std::optional<TChunkedFile> ParseChunks(const TBytes& file);

}  // namespace zorv::test
