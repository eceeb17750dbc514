// SPDX-License-Identifier: GPL-3.0-or-later
// Counts what an audio thread must not do, on the thread that made a
// TCountAllocations and while it lives: heap allocations (operator new,
// malloc and their kin, from any library), releases (operator delete, free)
// and mutex locks (std::mutex and pthread_mutex_lock, from any library).
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
  std::size_t Releases() const;
  std::size_t Locks() const;
};

}  // namespace zorv::test
