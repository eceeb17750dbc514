// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace zorv {

// A zeroed buffer of whole pages taken from the system, for the working
// buffers of a run. Each page a process touches first costs it a fault, and
// on some machines (virtual ones above all) a fault costs as much as
// decoding a few hundred frames. A buffer of 256 KiB or more is therefore
// laid out on 2 MiB boundaries and the system asked to back it with large
// pages: one fault for 2 MiB instead of one for every 4 KiB. Where the
// system has no large pages it is backed by small ones, as any other memory.
// Under AddressSanitizer it comes from the heap, whose bounds that watches.
class TPageBuffer {
 public:
  TPageBuffer() = default;
  // Throws std::bad_alloc when the system has no memory for it.
  explicit TPageBuffer(std::size_t bytes);
  ~TPageBuffer();
  TPageBuffer(TPageBuffer&& other) noexcept;
  TPageBuffer& operator=(TPageBuffer&& other) noexcept;
  TPageBuffer(const TPageBuffer&) = delete;
  TPageBuffer& operator=(const TPageBuffer&) = delete;

  std::byte* Data() const { return Data_; }
  // The bytes asked for (the mapping may be larger).
  std::size_t Size() const { return Size_; }

 private:
  void Release();

  std::byte* Data_ = nullptr;
  std::size_t Size_ = 0;
  std::size_t MappingSize_ = 0;  // whole pages from Data_
};

}  // namespace zorv
