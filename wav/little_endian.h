// SPDX-License-Identifier: GPL-3.0-or-later
// Little-endian integers in byte buffers, as RIFF and WAV store every field:
// read at a position, written at a position, or appended.
#pragma once

#include <cstdint>
#include <vector>

namespace zorv {

inline std::uint16_t GetLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(GetLe16(p)) |
         (static_cast<std::uint32_t>(GetLe16(p + 2)) << 16);
}
inline std::uint64_t GetLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(GetLe32(p)) |
         (static_cast<std::uint64_t>(GetLe32(p + 4)) << 32);
}

inline void SetLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void SetLe32(std::uint8_t* p, std::uint32_t v) {
  SetLe16(p, static_cast<std::uint16_t>(v));
  SetLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void SetLe64(std::uint8_t* p, std::uint64_t v) {
  SetLe32(p, static_cast<std::uint32_t>(v));
  SetLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline void AppendLe16(std::vector<std::uint8_t>& bytes, std::uint16_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<std::uint8_t>& bytes, std::uint32_t v) {
  AppendLe16(bytes, static_cast<std::uint16_t>(v));
  AppendLe16(bytes, static_cast<std::uint16_t>(v >> 16));
}
inline void AppendLe64(std::vector<std::uint8_t>& bytes, std::uint64_t v) {
  AppendLe32(bytes, static_cast<std::uint32_t>(v));
  AppendLe32(bytes, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace zorv
