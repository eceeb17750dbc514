// Builds WAV files in memory, chunk by chunk, for the tests and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zorv::test {

using TBytes = std::vector<std::uint8_t>;

// The sample bytes that Data() writes: byte i of the data chunk.
inline std::uint8_t SampleByte(std::size_t i) {
  return static_cast<std::uint8_t>(i * 7 + 3);
}

inline void Put16(TBytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(TBytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The 16 format fields; block align and byte rate follow from the others.
inline TBytes FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                      std::uint16_t bits) {
  const auto align = static_cast<std::uint16_t>(channels * bits / 8);
  TBytes b;
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * align);
  Put16(b, align);
  Put16(b, bits);
  return b;
}

// A 40-byte WAVE_FORMAT_EXTENSIBLE body whose sub-format GUID starts with
// sub_tag and continues with the standard base GUID.
inline TBytes ExtensibleBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                             std::uint16_t sub_tag, std::uint16_t cb_size = 22) {
  TBytes b = FmtBody(0xFFFE, channels, rate, bits);
  Put16(b, cb_size);
  Put16(b, bits);
  Put32(b, channels == 2 ? 3u : 4u);  // channel mask
  Put16(b, sub_tag);
  for (std::uint8_t x :
       {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
    b.push_back(x);
  }
  return b;
}

class TWavBuilder {
 public:
  // "RIFF", its size (set by Bytes()), "WAVE".
  TWavBuilder() {
    Id("RIFF");
    Put32(Bytes_, 0);
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
    Put32(Bytes_, size);
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
