// SPDX-License-Identifier: GPL-3.0-or-later
// The canonical 44-byte WAV header, byte for byte as in a file: RIFF header,
// fmt chunk header with its 16 bytes of format fields, data chunk header.
// All multi-byte fields little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wav/little_endian.h"

namespace zorv {

inline constexpr std::size_t kHeaderImageBytes = 44;

// Format tags of the fmt chunk.
inline constexpr std::uint16_t kFormatPcm = 1;
inline constexpr std::uint16_t kFormatIeeeFloat = 3;
inline constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The sub-format GUID of an extensible fmt chunk of PCM or float samples is
// the plain format tag in its first two bytes followed by these, as stored
// in the file.
inline constexpr std::uint8_t kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

class THeaderImage {
 public:
  // Offsets of the fields.
  static constexpr std::size_t kRiffId = 0;
  static constexpr std::size_t kRiffSize = 4;
  static constexpr std::size_t kFormType = 8;
  static constexpr std::size_t kFmtId = 12;
  static constexpr std::size_t kFmtSize = 16;
  static constexpr std::size_t kFormatTag = 20;
  static constexpr std::size_t kChannels = 22;
  static constexpr std::size_t kSampleRate = 24;
  static constexpr std::size_t kByteRate = 28;
  static constexpr std::size_t kBlockAlign = 32;
  static constexpr std::size_t kBitsPerSample = 34;
  static constexpr std::size_t kDataId = 36;
  static constexpr std::size_t kDataSize = 40;
  // WriteHeader writes bytes [0, kDataId), WriteDataHeader [kDataId, 44).

  std::array<std::uint8_t, kHeaderImageBytes> Bytes{};

  std::uint8_t* Data() { return Bytes.data(); }
  const std::uint8_t* Data() const { return Bytes.data(); }

  std::uint32_t RiffSize() const { return Get32(kRiffSize); }
  std::uint32_t FmtSize() const { return Get32(kFmtSize); }
  std::uint16_t FormatTag() const { return Get16(kFormatTag); }
  std::uint16_t Channels() const { return Get16(kChannels); }
  std::uint32_t SampleRate() const { return Get32(kSampleRate); }
  std::uint32_t ByteRate() const { return Get32(kByteRate); }
  std::uint16_t BlockAlign() const { return Get16(kBlockAlign); }
  std::uint16_t BitsPerSample() const { return Get16(kBitsPerSample); }
  std::uint32_t DataSize() const { return Get32(kDataSize); }

  void SetRiffSize(std::uint32_t v) { Set32(kRiffSize, v); }
  void SetFmtSize(std::uint32_t v) { Set32(kFmtSize, v); }
  void SetFormatTag(std::uint16_t v) { Set16(kFormatTag, v); }
  void SetChannels(std::uint16_t v) { Set16(kChannels, v); }
  void SetSampleRate(std::uint32_t v) { Set32(kSampleRate, v); }
  void SetByteRate(std::uint32_t v) { Set32(kByteRate, v); }
  void SetBlockAlign(std::uint16_t v) { Set16(kBlockAlign, v); }
  void SetBitsPerSample(std::uint16_t v) { Set16(kBitsPerSample, v); }
  void SetDataSize(std::uint32_t v) { Set32(kDataSize, v); }

  // True when the four bytes at offset equal the four characters of id exactly.
  bool IdIs(std::size_t offset, std::string_view id) const {
    return id.size() == 4 && Bytes[offset] == static_cast<std::uint8_t>(id[0]) &&
           Bytes[offset + 1] == static_cast<std::uint8_t>(id[1]) &&
           Bytes[offset + 2] == static_cast<std::uint8_t>(id[2]) &&
           Bytes[offset + 3] == static_cast<std::uint8_t>(id[3]);
  }
  void SetId(std::size_t offset, std::string_view id) {
    for (std::size_t i = 0; i < 4; ++i) Bytes[offset + i] = static_cast<std::uint8_t>(id[i]);
  }

 private:
  std::uint16_t Get16(std::size_t o) const { return GetLe16(Bytes.data() + o); }
  std::uint32_t Get32(std::size_t o) const { return GetLe32(Bytes.data() + o); }
  void Set16(std::size_t o, std::uint16_t v) { SetLe16(Bytes.data() + o, v); }
  void Set32(std::size_t o, std::uint32_t v) { SetLe32(Bytes.data() + o, v); }
};

}  // namespace zorv
