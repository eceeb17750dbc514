// SPDX-License-Identifier: GPL-3.0-or-later
// Counts the heap allocations of the whole process (operator new, malloc and
// their kin, from any library) while a TCountAllocations lives.
#pragma once

#include <cstddef>

namespace zorv::test {

class TCountAllocations {
 public:
  TCountAllocations();
  ~TCountAllocations();
  TCountAllocations(const TCountAllocations&) = delete;
  TCountAllocations& operator=(const TCountAllocations&) = delete;
  std::size_t Count() const;
};

}  // namespace zorv::test
