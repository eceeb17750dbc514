// SPDX-License-Identifier: GPL-3.0-or-later
// Builds WAV files in memory, chunk by chunk, for the tests and the fuzz seeds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "wav/little_endian.h"

namespace zorv::test {

using TBytes = std::vector<std::uint8_t>;

// The sample bytes that Data() writes: byte i of the data chunk.
inline std::uint8_t SampleByte(std::size_t i) {
  return static_cast<std::uint8_t>(i * 7 + 3);
}

// The 16 format fields; block align and byte rate follow from the others.
inline TBytes FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                      std::uint16_t bits) {
  const auto align = static_cast<std::uint16_t>(channels * bits / 8);
  TBytes b;
  AppendLe16(b, tag);
  AppendLe16(b, channels);
  AppendLe32(b, rate);
  AppendLe32(b, rate * align);
  AppendLe16(b, align);
  AppendLe16(b, bits);
  return b;
}

// A 40-byte WAVE_FORMAT_EXTENSIBLE body whose sub-format GUID starts with
// sub_tag and continues with the standard base GUID.
inline TBytes ExtensibleBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                             std::uint16_t sub_tag, std::uint16_t cb_size = 22) {
  TBytes b = FmtBody(0xFFFE, channels, rate, bits);
  AppendLe16(b, cb_size);
  AppendLe16(b, bits);
  AppendLe32(b, channels == 2 ? 3u : 4u);  // channel mask
  AppendLe16(b, sub_tag);
  for (std::uint8_t x :
       {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
    b.push_back(x);
  }
  return b;
}

// A bext body: the 602-byte fixed part with description and originator, then
// the CodingHistory text and zeroTail zero bytes.
inline TBytes BextBody(std::string_view description, std::string_view history,
                       std::size_t zeroTail = 0) {
  constexpr std::size_t kFixed = 602;
  TBytes b(kFixed + history.size() + zeroTail, 0);
  description = description.substr(0, 256);
  std::copy(description.begin(), description.end(), b.begin());
  const std::string_view originator = "Zorv test archive";
  std::copy(originator.begin(), originator.end(), b.begin() + 256);
  b[346] = 2;  // version
  std::copy(history.begin(), history.end(), b.begin() + kFixed);
  return b;
}

inline TBytes TextBytes(std::string_view text) {
  return {text.begin(), text.end()};
}

class TWavBuilder {
 public:
  // "RIFF", its size (set by Bytes()), "WAVE".
  TWavBuilder() {
    Id("RIFF");
    AppendLe32(Bytes_, 0);
    Id("WAVE");
  }

  TWavBuilder& Id(std::string_view id) {
    for (char c : id) Bytes_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }
  TWavBuilder& Raw(const TBytes& bytes) {
    Bytes_.insert(Bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // A chunk header declaring size, with nothing behind it.
  TWavBuilder& Header(std::string_view id, std::uint32_t size) {
    Id(id);
    AppendLe32(Bytes_, size);
    return *this;
  }
  // Header, body, and the pad byte after a body of odd size.
  TWavBuilder& Chunk(std::string_view id, const TBytes& body) {
    Header(id, static_cast<std::uint32_t>(body.size()));
    Raw(body);
    if (body.size() % 2 != 0) Bytes_.push_back(0);
    return *this;
  }
  TWavBuilder& Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                   std::uint16_t bits) {
    return Chunk("fmt ", FmtBody(tag, channels, rate, bits));
  }
  TWavBuilder& List(std::size_t body_bytes) {
    return Chunk("LIST", TBytes(body_bytes, static_cast<std::uint8_t>('x')));
  }
  TWavBuilder& Data(std::size_t n) {
    TBytes body(n);
    for (std::size_t i = 0; i < n; ++i) body[i] = SampleByte(i);
    return Chunk("data", body);
  }
  // Keeps this value instead of the length less 8.
  TWavBuilder& RiffSize(std::uint32_t size) {
    RiffSize_ = size;
    return *this;
  }

  TBytes Bytes() const {
    TBytes out = Bytes_;
    const auto size = RiffSize_.value_or(static_cast<std::uint32_t>(out.size() - 8));
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return out;
  }

  // The same chunks as an RF64 (or BW64) file: a ds64 chunk first, and the
  // RIFF and data sizes 0xFFFFFFFF with their 64-bit values in ds64
  // (dataSize: the value to state, else the data chunk's own).
  TBytes Rf64Bytes(std::string_view form = "RF64",
                   std::optional<std::uint64_t> dataSize = std::nullopt) const {
    TBytes out(Bytes_.begin(), Bytes_.begin() + 12);
    std::copy(form.begin(), form.end(), out.begin());
    TBytes ds64;
    const std::uint64_t riff = Bytes_.size() - 8 + 36;
    std::uint64_t data = 0;
    std::size_t dataAt = 0;
    for (std::size_t at = 12; at + 8 <= Bytes_.size();) {
      const std::uint32_t size = GetLe32(Bytes_.data() + at + 4);
      if (std::equal(Bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                     Bytes_.begin() + static_cast<std::ptrdiff_t>(at + 4), "data")) {
        data = size;
        dataAt = at;
        break;
      }
      at += 8 + size + (size & 1u);
    }
    AppendLe64(ds64, riff);
    const std::uint64_t stated = dataSize.value_or(data);
    AppendLe64(ds64, stated);
    AppendLe32(ds64, 0);
    AppendLe32(ds64, 0);
    AppendLe32(ds64, 0);  // table length
    for (int i = 0; i < 4; ++i) out[4 + i] = 0xFF;
    for (const char c : std::string_view("ds64")) out.push_back(static_cast<std::uint8_t>(c));
    AppendLe32(out, 28);
    out.insert(out.end(), ds64.begin(), ds64.end());
    const std::size_t shifted = out.size() - 12;
    out.insert(out.end(), Bytes_.begin() + 12, Bytes_.end());
    if (dataAt != 0) {
      for (int i = 0; i < 4; ++i) out[shifted + dataAt + 4 + i] = 0xFF;
    }
    return out;
  }

 private:
  TBytes Bytes_;
  std::optional<std::uint32_t> RiffSize_;
};

// A canonical file: RIFF header, 16-byte fmt chunk of integer PCM, n data bytes.
inline TBytes CanonicalWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                           std::size_t n) {
  return TWavBuilder().Fmt(1, channels, rate, bits).Data(n).Bytes();
}

}  // namespace zorv::test
