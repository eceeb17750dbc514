// SPDX-License-Identifier: GPL-3.0-or-later
// The chunks of a WAV file as the reader found them, in the file's order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

// The container of a WAV file: plain RIFF with 32-bit sizes, or RF64 / BW64
// with 64-bit sizes in a ds64 chunk.
enum class TContainer { Riff, Rf64, Bw64 };

struct TChunkInfo {
  std::array<char, 4> Id{};
  // Bytes of the body (the pad byte after an odd body not counted); for the
  // data chunk of a stream that runs to its end, kUnknownSize.
  std::uint64_t Size = 0;
  // Position of the body in the input.
  std::uint64_t BodyOffset = 0;
  bool AfterData = false;
  // The body is kept by the reader (Held) or read from the input when needed.
  bool Held = false;
  std::uint64_t HeldOffset = 0;

  bool Is(std::string_view id) const {
    return id.size() == 4 && Id[0] == id[0] && Id[1] == id[1] && Id[2] == id[2] && Id[3] == id[3];
  }
  // The identifier without trailing spaces ("cue " -> "cue"); bytes outside
  // printable ASCII shown as '?'.
  std::string Name() const {
    std::string name;
    for (const char c : Id) name += c >= 0x20 && c < 0x7F ? c : '?';
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
  }
};

// Bytes a chunk takes in a file: header, body, pad byte after an odd body.
inline std::uint64_t ChunkBytes(std::uint64_t body) {
  return 8 + body + (body & 1u);
}

}  // namespace zorv
