// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 of a byte stream, fed in pieces: the fixity checksum that archives keep
// of a file's audio data (a BWF "MD5 " chunk, a report's checksum).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zorv {

using TMd5Digest = std::array<std::uint8_t, 16>;

class TMd5 {
 public:
  TMd5();
  ~TMd5();
  TMd5(const TMd5&) = delete;
  TMd5& operator=(const TMd5&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything fed since construction or the last Reset.
  TMd5Digest Digest() const;
  void Reset();

 private:
  struct TState;
  std::unique_ptr<TState> State_;
};

// 32 lower-case hexadecimal digits.
std::string HexDigest(const TMd5Digest& digest);

}  // namespace zorv
