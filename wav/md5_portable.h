// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 in plain C++, for builds without OpenSSL's libcrypto (WebAssembly):
// the same digests as TMd5, fed the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorv {

class TPortableMd5 {
 public:
  TPortableMd5() { Reset(); }

  void Update(const void* data, std::size_t size);
  // The digest of everything fed since construction or the last Reset;
  // feeding may go on.
  std::array<std::uint8_t, 16> Digest() const;
  void Reset();

 private:
  void Transform(const std::uint8_t* block);

  std::uint32_t State_[4] = {};
  std::uint64_t Length_ = 0;  // bytes fed
  std::uint8_t Pending_[64] = {};
};

}  // namespace zorv
